// vorlek: the show in the terminal.
#include <csignal>
#include <string>
#include <vector>

#include "driver/Program.h"
#include "platform/Clock.h"
#include "platform/SystemAudio.h"
#include "platform/Terminal.h"

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  InstallSignalHandlers();
  int ExitCode;
  {
    TTerminalScreen Screen;
    TTerminalKeyboard Keyboard;
    TMonotonicClock Clock;
    auto Audio = CreateSystemAudio();
    TProgramPlatform Platform{Screen, Clock, Keyboard, *Audio};
    ExitCode = RunProgram(Args, Platform);
  }
  // The show ended like Escape; the exit code still tells why.
  if (StopSignal() != 0) return 128 + StopSignal();
  if (OutputLost()) return 128 + SIGPIPE;
  return ExitCode;
}
