// The real terminal: the screen on standard output, the keys on standard input, and the signals
// that end the show. Whatever happens, the terminal is given back as it was found.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "terminal/FlowControl.h"
#include "terminal/KeyParser.h"
#include "terminal/Keyboard.h"
#include "terminal/Screen.h"
#include "terminal/TerminalEncoder.h"
#include "terminal/TerminalTraits.h"
#include "termio/ConsoleProbe.h"

class TTerminalKeyboard;

// The terminal's answers that the key reader took out of the input.
struct TTerminalReports {
  int Status = 0;                         // status reports ("CSI 0 n")
  std::optional<TCellPixels> CellPixels;  // the latest cell-size answer
  std::optional<TCursorReport> Cursor;    // the latest cursor report
};

// --- Ending the show from outside
// Installs the handlers: SIGINT, SIGTERM and SIGHUP ask the show to stop like Escape; Ctrl-Z
// (SIGTSTP) gives the terminal back and stops, and SIGCONT takes it again with a full redraw, once
// the show is in the foreground; every other signal that would end the process gives the terminal
// back first and then ends it; a read from the background fails instead of stopping the show;
// SIGPIPE is ignored so a vanished output is seen as an error of write.
void InstallSignalHandlers();
int StopSignal();      // the signal that asked the show to stop, or 0
int OutputError();     // errno of the write of the screen that failed (EPIPE, EIO, ...), or 0
bool OutputLost();     // a write of the screen failed: the show ends
bool StopRequested();  // either of the two

// --- Screen on standard output
// 24-bit colour when COLORTERM says truecolor or 24bit, except on the Linux console (TERM, or a
// virtual console on standard output), which gets its own colour rules and the show's palette.
// The cell's shape is UserCell when given, else what the terminal tells (its pixel size, its
// answer to a query, its console font), else tall. When Keys reads the same terminal, the screen
// asks it for its cell size and, after every second frame, for a status report, and holds frames back
// while the terminal falls behind (TFlowControl); and, but on the Linux console, it tests whether
// the terminal repeats glyphs (REP), which shortens runs of one glyph once it has shown it does.
class TTerminalScreen final : public IScreen {
 public:
  explicit TTerminalScreen(TTerminalKeyboard* Keys = nullptr,
                           std::optional<TCellShape> UserCell = std::nullopt);
  ~TTerminalScreen() override;
  void Open(const std::string& Title, bool FullScreen) override;
  void Present(std::span<const TCharInfo> Cells, const TFrameRecord&) override;
  void SetTitle(const std::string& Title) override;
  void Close() override;

 private:
  // The longest wait for the answers in flight when giving the terminal back: beyond it, a link
  // slower than this for what is in flight lets them reach the shell.
  static constexpr int64_t MaxAnswersWaitMs = 5000;

  TTerminalScreen(TTerminalKeyboard* Keys, std::optional<TCellShape> UserCell,
                  std::optional<TConsoleFont> Font);

  void UpdateSize();
  // What the show asks of a terminal it takes: its cell size, unless the user gave it, and
  // whether it repeats glyphs, but on the Linux console.
  bool AsksCell() const { return Asking && !CellSources.User; }
  bool TestsRepeat() const { return Asking && !Encoder.Kind().LinuxConsole; }
  void TakeReports();                    // the answers the key reader took out
  void TellKeysWhatIsOwed();  // whether the terminal owes answers, for the key reader
  void AwaitAnswers();        // until every request is answered, or none is expected any more
  void TakeTerminal();       // raw mode and the show's screen, once in the foreground
  void ServiceJobControl();  // a pending Ctrl-Z or continue, between two frames
  bool Write(const std::string& Bytes);  // false once a write failed or was cut short
  TTerminalKeyboard* Keys;
  TTerminalEncoder Encoder;
  TCellSources CellSources;
  TFlowControl Flow;
  bool Asking = false;    // the keyboard reads the terminal we write: it may be asked
  bool CellAnswerOwed = false;  // the cell size was asked and no answer has come after it
  bool RepeatAnswerOwed = false;  // the same for the test of REP
  int FontGlyphs = 0;     // the Linux console's font, when known
  int FramesShown = 0;    // frames the show drew while the terminal was ours
  int FramesHeld = 0;     // of them, left out while the terminal fell behind
  std::string Buffer;     // reused every frame
  std::string OpenBytes;  // sent again when the show takes the terminal again after a stop
  bool IsOpen = false;
  int ReducedColumns = 0;  // the last terminal size that could not show every cell
  int ReducedRows = 0;
};

// --- Keys on standard input (raw mode when it is a terminal; a pipe is read the same way)
// A thread reads the bytes as they arrive, so that a lone Escape is told from the start of a key
// sequence by when its bytes came, not by when the frame loop asked. Endless input is read at a
// bounded rate (TReadBudget).
class TTerminalKeyboard final : public IKeyboard {
 public:
  explicit TTerminalKeyboard(int Fd = 0);  // reads Fd; raw mode when it is a terminal
  ~TTerminalKeyboard() override;
  TTerminalKeyboard(const TTerminalKeyboard&) = delete;
  TTerminalKeyboard& operator=(const TTerminalKeyboard&) = delete;
  bool KeyState(TKey Key) override;

  // --- The terminal's answers, which are never keys
  bool IsTerminal() const { return Terminal; }  // reads a terminal, in raw mode
  int Fd() const { return InFd; }
  TTerminalReports TakeReports();  // what came since the last call
  // The terminal owes answers: a lone ESC may be the start of one split in transit, and waits
  // longer (TKeyParser::AnswerTimeoutMs) before it counts as Escape.
  void ExpectAnswers(bool Expected);

 private:
  // A read refused to the background, or empty from a terminal still there, is tried again then.
  static constexpr int RetryMs = 100;
  void ReadLoop();
  void NoteEscape();  // under Lock
  int InFd;
  bool Terminal = false;
  int Wake[2] = {-1, -1};  // a byte here ends the reader
  std::mutex Lock;
  TKeyParser Parser;           // under Lock
  bool EscapePending = false;  // under Lock
  std::thread Reader;
};

// Gives the terminal back now (screen, cursor, colours, title, termios); safe to call twice.
void RestoreTerminal();

bool WantsTrueColor(const char* ColorTerm);  // COLORTERM is "truecolor" or "24bit"
