// vorlek.exe: the show in the Windows console.
#include <string>
#include <vector>

#include "app/Program.h"
#include "app/SystemProgram.h"
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
    ExitCode = RunOnThisSystem(Args, Screen, Keyboard);
  }
  // Ended like Escape; the exit code still tells that Ctrl-C or Ctrl-Break did it, as the
  // console's own programs do.
  if (StopRequested()) return int(0xC000013AU);
  return ExitCode;
}
