// vorlek.exe: the show in the Windows console.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Program.h"
#include "audio/SystemAudio.h"
#include "system/Clock.h"
#include "system/DataFile.h"
#include "system/WorkingDirectory.h"
#include "termio/windows/Console.h"

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  if (auto Info = ProgramInfo(Args)) {
    std::fputs(Info->c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::string Error;
  const auto Cell = UserCellShape(Args, std::getenv("VORLEK_CELL"), Error);
  if (!Error.empty()) {
    std::fprintf(stderr, "vorlek: %s\n", Error.c_str());
    return 2;
  }
  InstallConsoleHandler();
  int ExitCode;
  {
    TConsoleKeyboard Keyboard;
    TConsoleScreen Screen(Cell);
    TMonotonicClock Clock;
    auto Audio = CreateSystemAudio();
    TProgramPlatform Platform{.Screen = Screen,
                              .Clock = Clock,
                              .Keyboard = Keyboard,
                              .Audio = *Audio,
                              .MusicFile = FindDataFile("vorlek.ogg"),
                              .WorkingDirectory = GetWorkingDirectory()};
    ExitCode = RunProgram(Args, Platform);
  }
  // Ended like Escape; the exit code still tells that Ctrl-C or Ctrl-Break did it, as the
  // console's own programs do.
  if (StopRequested()) return int(0xC000013AU);
  return ExitCode;
}
