// The real terminal: the screen on standard output, the keys on standard input, and the signals
// that end the show. Whatever happens, the terminal is given back as it was found.
#pragma once

#include <string>

#include "platform/KeyParser.h"
#include "platform/Keyboard.h"
#include "platform/Screen.h"
#include "platform/TerminalEncoder.h"

// --- Ending the show from outside
// Installs the handlers: SIGINT, SIGTERM and SIGHUP ask the show to stop like Escape; fatal
// signals give the terminal back and re-raise; SIGPIPE is ignored so a vanished output is seen
// as an error of write.
void InstallSignalHandlers();
int StopSignal();     // the signal that asked the show to stop, or 0
bool OutputLost();    // standard output went away (EPIPE)
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
  TTerminalEncoder Encoder;
  std::string Buffer;  // reused every frame
  bool IsOpen = false;
  int ReducedColumns = 0;  // the last terminal size that could not show every cell
  int ReducedRows = 0;
};

// --- Keys on standard input (raw mode when it is a terminal; a pipe is read the same way)
class TTerminalKeyboard final : public IKeyboard {
 public:
  TTerminalKeyboard();
  ~TTerminalKeyboard() override;
  bool KeyState(TKey Key) override;

 private:
  void Poll();
  TKeyParser Parser;
  bool EndOfInput = false;
};

// Gives the terminal back now (screen, cursor, colours, title, termios); safe to call twice.
void RestoreTerminal();

bool WantsTrueColor(const char* ColorTerm);  // COLORTERM is "truecolor" or "24bit"
