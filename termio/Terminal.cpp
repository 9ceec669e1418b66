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

#include "terminal/ReadBudget.h"
#include "termio/ConsoleProbe.h"
#include "termio/GiveBack.h"
#include "termio/JobControl.h"
#include "termio/Output.h"
#include "termio/Signals.h"
#include "termio/StandardError.h"

using namespace Termio;

bool WantsTrueColor(const char* ColorTerm) {
  return ColorTerm && (std::strcmp(ColorTerm, "truecolor") == 0 || std::strcmp(ColorTerm, "24bit") == 0);
}

// --- Screen

namespace {
TTerminalKind DetectKind(const std::optional<TConsoleFont>& Font) {
  const char* Term = std::getenv("TERM");
  TTerminalKind Kind;
  Kind.LinuxConsole = (Term && IsLinuxConsoleTerm(Term)) || IsVirtualConsole(STDOUT_FILENO);
  Kind.TrueColor = !Kind.LinuxConsole && WantsTrueColor(std::getenv("COLORTERM"));
  Kind.BrightBackgrounds = !Font || Font->Glyphs <= 256;
  Kind.LineDrawing = Term && DrawsLineDrawing(Term);  // the encoder keeps it off the console
  return Kind;
}

constexpr const char* CellSizeQuery = "\x1b[16t";
// On the second row (never the row of a key's report: F3 with modifiers is reported as
// "CSI 1 ; M R"), a space and a no-break space (a glyph beyond ASCII), each repeated four times,
// and where the cursor stands then: column 11 after every repeat, 7 after those of the space alone,
// 3 after none. The first frame is written whole over them.
constexpr const char* RepeatTest = "\x1b[2H \x1b[4b\xc2\xa0\x1b[4b\x1b[6n";
constexpr int RepeatTestRow = 2;
TTerminalKind::TRepeat RepeatShown(int Column) {
  using enum TTerminalKind::TRepeat;
  return Column == 11 ? Every : Column == 7 ? Ascii : None;
}
}  // namespace

TTerminalScreen::TTerminalScreen(TTerminalKeyboard* Keys_, std::optional<TCellShape> UserCell)
    : TTerminalScreen(Keys_, UserCell, ConsoleFont(STDOUT_FILENO)) {}

TTerminalScreen::TTerminalScreen(TTerminalKeyboard* Keys_, std::optional<TCellShape> UserCell,
                                 std::optional<TConsoleFont> Font)
    : Keys(Keys_), Encoder(DetectKind(Font)) {
  CellSources.User = UserCell;
  if (Font) {
    CellSources.ConsoleFont = TCellShape{Font->Width, Font->Height};
    FontGlyphs = Font->Glyphs;
  }
  Buffer.reserve(1 << 16);
  Restore.OutFd = OpenScreenOutput();
  // From here, not from Open: whatever the start-up redirects meanwhile (the sound device's probe
  // silences standard error a moment) then nests inside.
  CaptureStandardError();
}

TTerminalScreen::~TTerminalScreen() {
  Close();
  ReleaseStandardError();  // never opened
  if (Restore.OutFd != STDOUT_FILENO) close(Restore.OutFd);
  Restore.OutFd = STDOUT_FILENO;
}

void TTerminalScreen::UpdateSize() {
  if (!SizeChanged) return;
  SizeChanged = 0;
  winsize Size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &Size) == 0 && Size.ws_col > 0 && Size.ws_row > 0) {
    CellSources.Window = CellFromWindowPixels(Size.ws_xpixel, Size.ws_ypixel, Size.ws_col, Size.ws_row);
    Encoder.Resize(Size.ws_col, Size.ws_row, ChooseCellShape(CellSources));
  } else {
    Encoder.Resize(TTerminalEncoder::Columns, TTerminalEncoder::Rows, TCellShape{1, 1});  // no terminal
  }
  if (Encoder.Layout().Reduced()) {
    ReducedColumns = Encoder.Layout().TerminalColumns();
    ReducedRows = Encoder.Layout().TerminalRows();
  }
}

bool TTerminalScreen::Write(const std::string& Bytes) {
  if (OutputLost()) return false;
  int Error = WriteAll(Restore.OutFd, Bytes.data(), Bytes.size(), false);
  // Cut short by a stop or Ctrl-Z: the screen is given back next, and the bytes are no fault of
  // the output.
  if (Error != 0 && !(Error == EINTR && FrameCutShort())) NoteOutputError(Error);
  return Error == 0;
}

void TTerminalScreen::TakeReports() {
  if (!Asking) return;
  const TTerminalReports Reports = Keys->TakeReports();
  Flow.Answered(Reports.Status, NowMs());
  // Answers come in order: a status report after the cell-size query says it was answered or
  // never will be.
  if (Reports.Status > 0 || Reports.CellPixels) CellAnswerOwed = false;
  if (Reports.Status > 0 || Reports.Cursor) RepeatAnswerOwed = false;
  if (Reports.Cursor && Reports.Cursor->Row == RepeatTestRow)
    Encoder.UseRepeat(RepeatShown(Reports.Cursor->Column));
  if (const auto& Pixels = Reports.CellPixels) {
    const TCellShape Reply{Pixels->Width, Pixels->Height};
    if (CellSources.Reply != Reply) {
      // A late answer lays the picture out again, as a resize does.
      CellSources.Reply = Reply;
      SizeChanged = 1;
    }
  }
}

void TTerminalScreen::TellKeysWhatIsOwed() {
  if (Asking)
    Keys->ExpectAnswers(Flow.Asking() &&
                        (Flow.Outstanding() > 0 || CellAnswerOwed || RepeatAnswerOwed));
}

void TTerminalScreen::AwaitAnswers() {
  // Answers that came after the terminal was given back would land in the shell's input: every
  // request is waited for as long as the link needs for what is in flight, as its answers measured
  // it (a terminal that has not answered yet gets the time the first answer may take). What came
  // meanwhile is read and dropped; the give-back discards what came unread.
  const int64_t Until = NowMs() + MaxAnswersWaitMs;
  while (Asking && !OutputLost()) {
    TakeReports();
    const int64_t Now = NowMs();
    if (Flow.Outstanding() == 0 || Now >= std::min(Until, Flow.AnswersDueMs(Now))) return;
    poll(nullptr, 0, 5);
  }
}

void TTerminalScreen::Open(const std::string& Title, bool FullScreen) {
  // A tty that expands tabs into spaces would write them over the picture. The raw mode turns
  // that off on the terminal the show reads; elsewhere the output's own mode decides.
  termios Mode{};
  if (tcgetattr(Restore.OutFd, &Mode) == 0) {
    if (Restore.TermiosSaved && SameTerminal(Restore.TermiosFd, Restore.OutFd))
      Mode.c_oflag = Restore.RawTermios.c_oflag;
    Encoder.UseTabs(!(Mode.c_oflag & OPOST) || (Mode.c_oflag & TABDLY) != TAB3);
  }
  std::string Close = TTerminalEncoder::CloseSequence(Encoder.Kind());
  if (FullScreen) Close = "\x1b[10;0t" + Close;
  Close.copy(Restore.CloseBytes, sizeof Restore.CloseBytes - 1);
  Restore.CloseLength = std::min(Close.size(), sizeof Restore.CloseBytes - 1);
  OpenBytes = TTerminalEncoder::OpenSequence(Title, FullScreen, Encoder.Kind());
  // Only a terminal that we also read can be asked: its answers come as input.
  Asking = Keys && Keys->IsTerminal() && SameTerminal(Keys->Fd(), STDOUT_FILENO);
  if (AsksCell()) OpenBytes += CellSizeQuery;
  if (TestsRepeat()) OpenBytes += RepeatTest;
  Restore.ScreenOpen = 1;
  IsOpen = true;
  TakeTerminal();
}

void TTerminalScreen::TakeTerminal() {
  Continued = 0;
  if (!WaitForForeground()) return;  // ending, or still not ours: tried again on the next continue
  if (Restore.TermiosSaved && SetMode(Restore.RawTermios)) Restore.RawApplied = 1;
  // Shown before the bytes go out: a fatal signal meanwhile still sends the close bytes.
  Restore.ScreenShown = 1;
  CellAnswerOwed = AsksCell();
  RepeatAnswerOwed = TestsRepeat();
  TellKeysWhatIsOwed();
  Write(OpenBytes);
  SizeChanged = 1;
  Encoder.Invalidate();
}

void TTerminalScreen::ServiceJobControl() {
  if (SuspendRequested) {
    SuspendRequested = 0;
    AwaitAnswers();
    // Give the terminal back as at the end, then stop the way Ctrl-Z would have without us; taken
    // again once continued (also when the stop was refused: an orphaned process group).
    GiveBack(false);
    StopAs(SIGTSTP);
    AwaitContinueHandlers();
    TakeTerminal();
    return;
  }
  if (!Continued) return;
  Continued = 0;
  // A continue the show did not stop for (after SIGSTOP, or a late handler of its own stop's
  // continue). Its mode unchanged, nobody else had the terminal: a redraw is all. Otherwise the
  // shell had it meanwhile: given back and taken again, so that every title push keeps its pop.
  if (Restore.ScreenShown && !ModeChanged()) {
    SizeChanged = 1;
    Encoder.Invalidate();
    return;
  }
  GiveBack(false);
  TakeTerminal();
}

void TTerminalScreen::Present(std::span<const TCharInfo> Cells, const TFrameRecord&) {
  if (!IsOpen || OutputLost()) return;
  ServiceJobControl();
  if (!Restore.ScreenShown) return;  // in the background: drawn again once continued in front
  TakeReports();
  UpdateSize();
  // Too far behind: this frame is skipped whole; the next one is encoded against the last sent.
  const int64_t Now = NowMs();
  ++FramesShown;
  if (Asking && !Flow.MaySend(Now)) {
    ++FramesHeld;
    TellKeysWhatIsOwed();
    return;
  }
  Buffer.clear();
  Encoder.Encode(Cells, Buffer);
  const bool Ask = Asking && Flow.WantsRequest(int64_t(Buffer.size()));
  if (Ask) {
    Buffer += TFlowControl::Request;
    Keys->ExpectAnswers(true);  // before the request goes: its answer may come at once
  }
  if (Write(Buffer) && Asking) Flow.Sent(Now, int64_t(Buffer.size()), Ask);
  TellKeysWhatIsOwed();
}

void TTerminalScreen::SetTitle(const std::string& Title) {
  if (!IsOpen || !Restore.ScreenShown) return;
  Write(TTerminalEncoder::TitleSequence(Title));
}

void TTerminalScreen::Close() {
  if (!IsOpen) return;
  IsOpen = false;
  Restore.ScreenOpen = 0;
  if (Restore.ScreenShown) {
    Restore.ScreenShown = 0;
    if (!OutputLost() && WriteAll(Restore.OutFd, Restore.CloseBytes, Restore.CloseLength, true) == 0) {
      // One more request behind the closing bytes: its answer says they are shown.
      if (Asking && Flow.Answering() && WriteAll(Restore.OutFd, TFlowControl::Request, 4, true) == 0)
        Flow.Sent(NowMs(), int64_t(Restore.CloseLength) + 4, true);
      AwaitAnswers();
    }
  }
  // Only now, on the terminal given back, can the user read them.
  ReleaseStandardError();
  auto Note = [](const std::string& Text) {
    const std::string Line = "vorlek: " + Text + "\n";
    WriteAll(STDERR_FILENO, Line.data(), Line.size(), true);
  };
  if (ReducedColumns > 0) Note(ReducedViewMessage(ReducedColumns, ReducedRows));
  if (FramesHeld > 0)
    Note("the terminal showed frames slower than the show made them: " + std::to_string(FramesHeld) +
         " of " + std::to_string(FramesShown) + " frames were left out to stay in time");
  if (Encoder.Kind().LinuxConsole && !Encoder.Kind().BrightBackgrounds)
    Note("the console font has " + std::to_string(FontGlyphs) +
         " glyphs, which leaves no bright backgrounds, so they showed dark; a 256-glyph font "
         "shows every colour (setfont Lat15-VGA8)");
}

// --- Keyboard

TTerminalKeyboard::TTerminalKeyboard(int Fd_) : InFd(Fd_) {
  StopKeyPressed = 0;
  if (isatty(InFd)) {
    termios Raw{};
    if (tcgetattr(InFd, &Raw) == 0) {
      Terminal = true;
      Restore.TermiosFd = InFd;
      Restore.SavedTermios = Raw;
      // Raw input, but ISIG stays so that Ctrl-C still signals.
      Raw.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
      Raw.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | IEXTEN);
      // Tabs pass as they are: the screen moves the cursor by them.
      Raw.c_oflag = (Raw.c_oflag & ~tcflag_t(TABDLY)) | TAB0;
      Raw.c_cc[VMIN] = 0;
      Raw.c_cc[VTIME] = 0;
      Restore.RawTermios = Raw;
      Restore.TermiosSaved = 1;
      // Started in the background (`vorlek &`), the show waits here to be brought to the front.
      if (WaitForForeground() && SetMode(Raw)) Restore.RawApplied = 1;
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
  if (Restore.RawApplied) {
    Restore.RawApplied = 0;
    SetMode(Restore.SavedTermios);
  }
  Restore.TermiosSaved = 0;
}

void TTerminalKeyboard::ReadLoop() {
  uint8_t Bytes[4096];
  bool EndOfInput = false;
  int64_t ReadAgainAt = 0;  // a read refused to the background is tried again then
  TReadBudget Budget;
  while (true) {
    int TimeoutMs = -1;
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Parser.Timeout(NowMs());
      NoteEscape();
      if (auto Due = Parser.Deadline()) TimeoutMs = int(std::clamp<int64_t>(*Due - NowMs(), 0, 1000));
    }
    const int64_t Rest = std::max(ReadAgainAt, Budget.ReadyAt()) - NowMs();
    if (Rest > 0) TimeoutMs = TimeoutMs < 0 ? int(Rest) : std::min(TimeoutMs, int(Rest));
    // After the end of input only the wake-up and a pending Escape's deadline are waited for.
    pollfd Fds[2] = {{EndOfInput || Rest > 0 ? -1 : InFd, POLLIN, 0}, {Wake[0], POLLIN, 0}};
    int Ready = poll(Fds, 2, TimeoutMs);
    if (Ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (Fds[1].revents != 0) return;
    if (Ready == 0 || Fds[0].revents == 0) continue;
    ssize_t Count = read(InFd, Bytes, sizeof Bytes);
    if (Count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    // Tried again in a moment: a read from the background (SIGTTIN is ignored), where the keys are
    // the shell's until we are back; and an empty read from a terminal that has not hung up, which
    // has only nothing to read just now (a flush of its input, taking or giving back the terminal,
    // came between the poll and the read, or another program's line mode turned an end-of-file key
    // into an empty read). Not at once, so that no terminal that keeps reading empty keeps a core
    // busy.
    const bool Background = Count < 0 && errno == EIO && isatty(InFd);
    const bool Empty = Count == 0 && Terminal && !(Fds[0].revents & (POLLHUP | POLLERR));
    if (Background || Empty) {
      ReadAgainAt = NowMs() + RetryMs;
      continue;
    }
    if (Count <= 0) {
      EndOfInput = true;
      continue;
    }
    const int64_t Now = NowMs();
    Budget.Took(size_t(Count), Now);
    std::lock_guard<std::mutex> Guard(Lock);
    for (ssize_t I = 0; I < Count; ++I) Parser.Add(Bytes[I], Now);
    NoteEscape();
  }
}

void TTerminalKeyboard::NoteEscape() {
  // Taken here, not at the next frame: a frame stuck on a full output is cut short by it.
  if (Parser.Take(TKey::Escape)) {
    EscapePending = true;
    StopKeyPressed = 1;
  }
}

bool TTerminalKeyboard::KeyState(TKey Key) {
  bool Down;
  {
    std::lock_guard<std::mutex> Guard(Lock);
    Down = Parser.Take(Key);
    if (Key == TKey::Escape) {
      Down = Down || EscapePending;
      EscapePending = false;
    }
  }
  if (Key == TKey::Escape && StopRequested()) return true;
  return Down;
}

void TTerminalKeyboard::ExpectAnswers(bool Expected) {
  std::lock_guard<std::mutex> Guard(Lock);
  Parser.ExpectAnswers(Expected);
}

TTerminalReports TTerminalKeyboard::TakeReports() {
  std::lock_guard<std::mutex> Guard(Lock);
  return TTerminalReports{Parser.TakeStatusReports(), Parser.TakeCellPixels(), Parser.TakeCursor()};
}
