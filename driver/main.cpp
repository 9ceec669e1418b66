// vorlek: the show in the terminal.
#include <string>
#include <vector>

#include "driver/Program.h"
#include "platform/SystemAudio.h"
#include "platform/Clock.h"
#include "platform/Keyboard.h"
#include "platform/Screen.h"

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  TRecordingScreen Screen;  // placeholder until the terminal screen exists
  TMonotonicClock Clock;
  TScriptedKeyboard Keyboard;
  auto Audio = CreateSystemAudio();
  TProgramPlatform Platform{Screen, Clock, Keyboard, *Audio};
  return RunProgram(Args, Platform);
}
