// vorlek: the show in the terminal.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Program.h"
#include "app/SystemProgram.h"
#include "gles/GLESStuff.h"
#include "system/StandardDescriptors.h"
#include "termio/Terminal.h"

int main(int argc, char** argv) {
  OpenStandardDescriptors();
  PreferInlineRenderer();  // before any thread starts: it changes the environment
  std::vector<std::string> Args(argv + 1, argv + argc);
  std::optional<TCellShape> Cell;
  // Answered without touching the terminal.
  if (auto Answered = AnswerBeforeTheShow(Args, Cell)) return *Answered;
  InstallSignalHandlers();
  int ExitCode;
  {
    TTerminalKeyboard Keyboard;
    TTerminalScreen Screen(&Keyboard, Cell);
    ExitCode = RunOnThisSystem(Args, Screen, Keyboard);
  }
  // The show ended like Escape; the exit code still tells why.
  if (StopSignal() != 0) return 128 + StopSignal();
  if (OutputLost()) {
    // The terminal is given back by now; standard error may still reach the user.
    std::fprintf(stderr, "vorlek: cannot write the screen: %s\n", std::strerror(OutputError()));
    return OutputError() == EPIPE ? 128 + SIGPIPE : 1;
  }
  return ExitCode;
}
