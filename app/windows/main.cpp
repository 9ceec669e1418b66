// vorlek.exe: the show in the Windows console.
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
  std::optional<TCellShape> Cell;
  // Answered without touching the console.
  if (auto Answered = AnswerBeforeTheShow(Args, Cell)) return *Answered;
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
