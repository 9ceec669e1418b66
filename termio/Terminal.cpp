#include "termio/Terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "system/Halt.h"

namespace {
volatile sig_atomic_t PendingStopSignal = 0;
volatile sig_atomic_t SizeChanged = 1;
volatile sig_atomic_t SuspendRequested = 0;  // Ctrl-Z, served between two frames
volatile sig_atomic_t Continued = 0;         // SIGCONT: the terminal may have been changed meanwhile
std::atomic<int> FailedWriteErrno{0};

// What the restore needs, prepared in advance so a signal handler only calls write and tcsetattr.
struct TRestoreState {
  volatile sig_atomic_t ScreenOpen = 0;
  volatile sig_atomic_t TermiosSaved = 0;
  int TermiosFd = STDIN_FILENO;
  termios SavedTermios{};
  termios RawTermios{};
  char CloseBytes[128] = {};
  size_t CloseLength = 0;
};
TRestoreState Restore;

// Errno of the first failed write, 0 when all went out. Waits while a non-blocking descriptor is
// full. With StopEnds a stop signal cuts the write short (EINTR): the show is ending anyway.
int WriteAll(int Fd, const char* Data, size_t Length, bool StopEnds = false) {
  while (Length > 0) {
    ssize_t Written = write(Fd, Data, Length);
    if (Written < 0) {
      if (errno == EINTR && !(StopEnds && PendingStopSignal)) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd Out{Fd, POLLOUT, 0};
        if (poll(&Out, 1, -1) >= 0 || (errno == EINTR && !(StopEnds && PendingStopSignal))) continue;
      }
      return errno;
    }
    Data += Written;
    Length -= size_t(Written);
  }
  return 0;
}

// Gives the terminal back as it was: for good, or for a while (a stop) when the show will take it
// again. Async-signal-safe: only write and tcsetattr.
void GiveBack(bool ForGood) {
  if (Restore.ScreenOpen) {
    if (ForGood) Restore.ScreenOpen = 0;
    WriteAll(STDOUT_FILENO, Restore.CloseBytes, Restore.CloseLength);
  }
  if (Restore.TermiosSaved) {
    if (ForGood) Restore.TermiosSaved = 0;
    tcsetattr(Restore.TermiosFd, TCSAFLUSH, &Restore.SavedTermios);
  }
}

void RestoreNow() { GiveBack(true); }

void OnStopSignal(int Signal) { PendingStopSignal = Signal; }
void OnResize(int) { SizeChanged = 1; }
void OnSuspend(int) { SuspendRequested = 1; }
void OnContinue(int) { Continued = 1; }

void OnFatalSignal(int Signal) {
  RestoreNow();
  signal(Signal, SIG_DFL);
  raise(Signal);
}

void InstallSuspendHandler() {
  struct sigaction Action {};
  sigemptyset(&Action.sa_mask);
  Action.sa_handler = OnSuspend;
  Action.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, &Action, nullptr);
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
  Action.sa_handler = OnContinue;
  sigaction(SIGCONT, &Action, nullptr);
  InstallSuspendHandler();
  Action.sa_handler = OnFatalSignal;
  Action.sa_flags = SA_RESETHAND;
  for (int Signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGQUIT}) sigaction(Signal, &Action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  AddHaltHook(RestoreTerminal);
}

int StopSignal() { return PendingStopSignal; }
int OutputError() { return FailedWriteErrno.load(); }
bool OutputLost() { return FailedWriteErrno.load() != 0; }
bool StopRequested() { return PendingStopSignal != 0 || OutputLost(); }

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
    Encoder.Resize(Size.ws_col, Size.ws_row, TCellShape{});
  else
    Encoder.Resize(TTerminalEncoder::Columns, TTerminalEncoder::Rows, TCellShape{});  // not a terminal
  if (Encoder.Layout().Reduced()) {
    ReducedColumns = Encoder.Layout().TerminalColumns();
    ReducedRows = Encoder.Layout().TerminalRows();
  }
}

bool TTerminalScreen::Write(const std::string& Bytes) {
  if (OutputLost()) return false;
  int Error = WriteAll(STDOUT_FILENO, Bytes.data(), Bytes.size(), true);
  // Cut short by a stop signal: the show ends anyway, and the bytes are no fault of the output.
  if (Error != 0 && !(Error == EINTR && PendingStopSignal)) {
    int None = 0;
    FailedWriteErrno.compare_exchange_strong(None, Error);
  }
  return Error == 0;
}

void TTerminalScreen::Open(const std::string& Title, bool FullScreen) {
  std::string Close = TTerminalEncoder::CloseSequence();
  if (FullScreen) Close = "\x1b[10;0t" + Close;
  Close.copy(Restore.CloseBytes, sizeof Restore.CloseBytes - 1);
  Restore.CloseLength = std::min(Close.size(), sizeof Restore.CloseBytes - 1);
  OpenBytes = TTerminalEncoder::OpenSequence(Title, FullScreen);
  Restore.ScreenOpen = 1;
  IsOpen = true;
  Write(OpenBytes);
  Encoder.Invalidate();
}

void TTerminalScreen::ServiceJobControl() {
  if (SuspendRequested) {
    SuspendRequested = 0;
    // Give the terminal back as at the end, then stop the way Ctrl-Z would have without us.
    GiveBack(false);
    signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
    InstallSuspendHandler();
    Continued = 1;  // also when the stop was not allowed (an orphaned process group)
  }
  if (!Continued) return;
  Continued = 0;
  // The shell has had the terminal: raw mode, the show's screen and every cell again.
  if (Restore.TermiosSaved) tcsetattr(Restore.TermiosFd, TCSAFLUSH, &Restore.RawTermios);
  if (Restore.ScreenOpen) Write(OpenBytes);
  SizeChanged = 1;
  Encoder.Invalidate();
}

void TTerminalScreen::Present(std::span<const TCharInfo> Cells) {
  if (!IsOpen || OutputLost()) return;
  ServiceJobControl();
  UpdateSize();
  Buffer.clear();
  Encoder.Encode(Cells, Buffer);
  Write(Buffer);
}

void TTerminalScreen::SetTitle(const std::string& Title) {
  if (!IsOpen) return;
  Write(TTerminalEncoder::TitleSequence(Title));
}

void TTerminalScreen::Close() {
  if (!IsOpen) return;
  IsOpen = false;
  if (Restore.ScreenOpen) {
    Restore.ScreenOpen = 0;
    if (!OutputLost()) WriteAll(STDOUT_FILENO, Restore.CloseBytes, Restore.CloseLength);
  }
  // Only now, on the terminal given back, can the user read it.
  if (ReducedColumns > 0) {
    std::string Line = "vorlek: " + ReducedViewMessage(ReducedColumns, ReducedRows) + "\n";
    WriteAll(STDERR_FILENO, Line.data(), Line.size());
  }
}

// --- Keyboard

TTerminalKeyboard::TTerminalKeyboard(int Fd_) : Fd(Fd_) {
  if (isatty(Fd)) {
    termios Raw{};
    if (tcgetattr(Fd, &Raw) == 0) {
      Restore.TermiosFd = Fd;
      Restore.SavedTermios = Raw;
      // Raw input, but ISIG stays so that Ctrl-C still signals.
      Raw.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
      Raw.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | IEXTEN);
      Raw.c_cc[VMIN] = 0;
      Raw.c_cc[VTIME] = 0;
      Restore.RawTermios = Raw;
      Restore.TermiosSaved = 1;
      tcsetattr(Fd, TCSAFLUSH, &Raw);
    }
  }
  if (pipe2(Wake, O_CLOEXEC) != 0) Wake[0] = Wake[1] = -1;
  Reader = std::thread([this] { ReadLoop(); });
}

TTerminalKeyboard::~TTerminalKeyboard() {
  if (Wake[1] >= 0) {
    char Byte = 0;
    while (write(Wake[1], &Byte, 1) < 0 && errno == EINTR) {
    }
  }
  if (Reader.joinable()) Reader.join();
  for (int End : Wake)
    if (End >= 0) close(End);
  if (Restore.TermiosSaved) {
    Restore.TermiosSaved = 0;
    tcsetattr(Restore.TermiosFd, TCSAFLUSH, &Restore.SavedTermios);
  }
}

void TTerminalKeyboard::ReadLoop() {
  uint8_t Bytes[256];
  bool EndOfInput = false;
  while (true) {
    int TimeoutMs = -1;
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Parser.Timeout(NowMs());
      if (auto Due = Parser.Deadline()) TimeoutMs = int(std::clamp<int64_t>(*Due - NowMs(), 0, 1000));
    }
    // After the end of input only the wake-up and a pending Escape's deadline are waited for.
    pollfd Fds[2] = {{EndOfInput ? -1 : Fd, POLLIN, 0}, {Wake[0], POLLIN, 0}};
    int Ready = poll(Fds, 2, TimeoutMs);
    if (Ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (Fds[1].revents != 0) return;
    if (Ready == 0 || Fds[0].revents == 0) continue;
    ssize_t Count = read(Fd, Bytes, sizeof Bytes);
    if (Count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (Count <= 0) {
      EndOfInput = true;
      continue;
    }
    const int64_t Now = NowMs();
    std::lock_guard<std::mutex> Guard(Lock);
    for (ssize_t I = 0; I < Count; ++I) Parser.Add(Bytes[I], Now);
  }
}

bool TTerminalKeyboard::KeyState(TKey Key) {
  bool Down;
  {
    std::lock_guard<std::mutex> Guard(Lock);
    Down = Parser.Take(Key);
  }
  if (Key == TKey::Escape && StopRequested()) return true;
  return Down;
}
