#include "platform/Terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/Halt.h"

namespace {
volatile sig_atomic_t PendingStopSignal = 0;
volatile sig_atomic_t SizeChanged = 1;
std::atomic<bool> LostOutput{false};

// What the restore needs, prepared in advance so a signal handler only calls write and tcsetattr.
struct TRestoreState {
  volatile sig_atomic_t ScreenOpen = 0;
  volatile sig_atomic_t TermiosSaved = 0;
  termios SavedTermios{};
  char CloseBytes[128] = {};
  size_t CloseLength = 0;
};
TRestoreState Restore;

void WriteAll(int Fd, const char* Data, size_t Length) {
  while (Length > 0) {
    ssize_t Written = write(Fd, Data, Length);
    if (Written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    Data += Written;
    Length -= size_t(Written);
  }
}

// Async-signal-safe: only write and tcsetattr.
void RestoreNow() {
  if (Restore.ScreenOpen) {
    Restore.ScreenOpen = 0;
    WriteAll(STDOUT_FILENO, Restore.CloseBytes, Restore.CloseLength);
  }
  if (Restore.TermiosSaved) {
    Restore.TermiosSaved = 0;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &Restore.SavedTermios);
  }
}

void OnStopSignal(int Signal) { PendingStopSignal = Signal; }
void OnResize(int) { SizeChanged = 1; }

void OnFatalSignal(int Signal) {
  RestoreNow();
  signal(Signal, SIG_DFL);
  raise(Signal);
}

int64_t NowMs() {
  timespec Ts{};
  clock_gettime(CLOCK_MONOTONIC, &Ts);
  return int64_t(Ts.tv_sec) * 1000 + Ts.tv_nsec / 1000000;
}
}  // namespace

void RestoreTerminal() { RestoreNow(); }

void InstallSignalHandlers() {
  struct sigaction Action {};
  sigemptyset(&Action.sa_mask);
  Action.sa_handler = OnStopSignal;
  for (int Signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(Signal, &Action, nullptr);
  Action.sa_handler = OnResize;
  Action.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &Action, nullptr);
  Action.sa_handler = OnFatalSignal;
  Action.sa_flags = SA_RESETHAND;
  for (int Signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGQUIT}) sigaction(Signal, &Action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  AddHaltHook(RestoreTerminal);
}

int StopSignal() { return PendingStopSignal; }
bool OutputLost() { return LostOutput.load(); }
bool StopRequested() { return PendingStopSignal != 0 || LostOutput.load(); }

bool WantsTrueColor(const char* ColorTerm) {
  return ColorTerm && (std::strcmp(ColorTerm, "truecolor") == 0 || std::strcmp(ColorTerm, "24bit") == 0);
}

// --- Screen

TTerminalScreen::TTerminalScreen() : Encoder(WantsTrueColor(std::getenv("COLORTERM"))) {
  Buffer.reserve(1 << 16);
}

TTerminalScreen::~TTerminalScreen() { Close(); }

void TTerminalScreen::UpdateSize() {
  if (!SizeChanged) return;
  SizeChanged = 0;
  winsize Size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &Size) == 0 && Size.ws_col > 0 && Size.ws_row > 0)
    Encoder.Resize(Size.ws_col, Size.ws_row);
  else
    Encoder.Resize(TTerminalEncoder::Columns, TTerminalEncoder::Rows);  // not a terminal
  if (Encoder.Layout().Reduced()) {
    ReducedColumns = Encoder.Layout().TerminalColumns();
    ReducedRows = Encoder.Layout().TerminalRows();
  }
}

void TTerminalScreen::Open(const std::string& Title, bool FullScreen) {
  std::string Close = TTerminalEncoder::CloseSequence();
  if (FullScreen) Close = "\x1b[10;0t" + Close;
  Close.copy(Restore.CloseBytes, sizeof Restore.CloseBytes - 1);
  Restore.CloseLength = std::min(Close.size(), sizeof Restore.CloseBytes - 1);
  std::string Bytes = TTerminalEncoder::OpenSequence(Title, FullScreen);
  Restore.ScreenOpen = 1;
  IsOpen = true;
  WriteAll(STDOUT_FILENO, Bytes.data(), Bytes.size());
  Encoder.Invalidate();
}

void TTerminalScreen::Present(std::span<const TCharInfo> Cells) {
  if (!IsOpen || LostOutput) return;
  UpdateSize();
  Buffer.clear();
  Encoder.Encode(Cells, Buffer);
  const char* Data = Buffer.data();
  size_t Length = Buffer.size();
  while (Length > 0) {
    ssize_t Written = write(STDOUT_FILENO, Data, Length);
    if (Written < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) LostOutput = true;
      return;
    }
    Data += Written;
    Length -= size_t(Written);
  }
}

void TTerminalScreen::SetTitle(const std::string& Title) {
  if (!IsOpen) return;
  std::string Bytes = TTerminalEncoder::TitleSequence(Title);
  WriteAll(STDOUT_FILENO, Bytes.data(), Bytes.size());
}

void TTerminalScreen::Close() {
  if (!IsOpen) return;
  IsOpen = false;
  if (Restore.ScreenOpen) {
    Restore.ScreenOpen = 0;
    if (!LostOutput) WriteAll(STDOUT_FILENO, Restore.CloseBytes, Restore.CloseLength);
  }
  // Only now, on the terminal given back, can the user read it.
  if (ReducedColumns > 0) {
    std::string Line = "vorlek: " + ReducedViewMessage(ReducedColumns, ReducedRows) + "\n";
    WriteAll(STDERR_FILENO, Line.data(), Line.size());
  }
}

// --- Keyboard

TTerminalKeyboard::TTerminalKeyboard() {
  if (!isatty(STDIN_FILENO)) return;
  termios Raw{};
  if (tcgetattr(STDIN_FILENO, &Raw) != 0) return;
  Restore.SavedTermios = Raw;
  Restore.TermiosSaved = 1;
  // Raw input, but ISIG stays so that Ctrl-C still signals.
  Raw.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  Raw.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | IEXTEN);
  Raw.c_cc[VMIN] = 0;
  Raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &Raw);
}

TTerminalKeyboard::~TTerminalKeyboard() {
  if (Restore.TermiosSaved) {
    Restore.TermiosSaved = 0;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &Restore.SavedTermios);
  }
}

void TTerminalKeyboard::Poll() {
  uint8_t Bytes[256];
  while (!EndOfInput) {
    pollfd Fd{STDIN_FILENO, POLLIN, 0};
    if (poll(&Fd, 1, 0) <= 0 || !(Fd.revents & (POLLIN | POLLHUP))) break;
    ssize_t Count = read(STDIN_FILENO, Bytes, sizeof Bytes);
    if (Count < 0 && errno == EINTR) continue;
    if (Count <= 0) {
      EndOfInput = Count == 0 || errno != EAGAIN;
      break;
    }
    const int64_t Now = NowMs();
    for (ssize_t I = 0; I < Count; ++I) Parser.Add(Bytes[I], Now);
  }
  Parser.Timeout(NowMs());
}

bool TTerminalKeyboard::KeyState(TKey Key) {
  Poll();
  bool Down = Parser.Take(Key);
  if (Key == TKey::Escape && StopRequested()) return true;
  return Down;
}
