// The real terminal: the screen on standard output, the keys on standard input, and the signals
// that end the show. Whatever happens, the terminal is given back as it was found.
#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "terminal/KeyParser.h"
#include "terminal/Keyboard.h"
#include "terminal/Screen.h"
#include "terminal/TerminalEncoder.h"

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
class TTerminalScreen final : public IScreen {
 public:
  TTerminalScreen();  // 24-bit colour when COLORTERM says truecolor or 24bit
  ~TTerminalScreen() override;
  void Open(const std::string& Title, bool FullScreen) override;
  void Present(std::span<const TCharInfo> Cells) override;
  void SetTitle(const std::string& Title) override;
  void Close() override;

 private:
  void UpdateSize();
  void TakeTerminal();       // raw mode and the show's screen, once in the foreground
  void ServiceJobControl();  // a pending Ctrl-Z or continue, between two frames
  bool Write(const std::string& Bytes);  // false once a write failed or was cut short
  TTerminalEncoder Encoder;
  std::string Buffer;     // reused every frame
  std::string OpenBytes;  // sent again when the show takes the terminal again after a stop
  bool IsOpen = false;
  int ReducedColumns = 0;  // the last terminal size that could not show every cell
  int ReducedRows = 0;
};

// --- Keys on standard input (raw mode when it is a terminal; a pipe is read the same way)
// A thread reads the bytes as they arrive, so that a lone Escape is told from the start of a key
// sequence by when its bytes came, not by when the frame loop asked. Endless input is read at a
// bounded rate.
class TTerminalKeyboard final : public IKeyboard {
 public:
  explicit TTerminalKeyboard(int Fd = 0);  // reads Fd; raw mode when it is a terminal
  ~TTerminalKeyboard() override;
  TTerminalKeyboard(const TTerminalKeyboard&) = delete;
  TTerminalKeyboard& operator=(const TTerminalKeyboard&) = delete;
  bool KeyState(TKey Key) override;

 private:
  static constexpr int FloodRestMs = 10;        // after a full buffer: 400 KB/s at most
  static constexpr int BackgroundRetryMs = 100;  // a read refused to the background is tried again
  void ReadLoop();
  void NoteEscape();  // under Lock
  int Fd;
  int Wake[2] = {-1, -1};  // a byte here ends the reader
  std::mutex Lock;
  TKeyParser Parser;           // under Lock
  bool EscapePending = false;  // under Lock
  std::thread Reader;
};

// Gives the terminal back now (screen, cursor, colours, title, termios); safe to call twice.
void RestoreTerminal();

bool WantsTrueColor(const char* ColorTerm);  // COLORTERM is "truecolor" or "24bit"
