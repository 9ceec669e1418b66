#include "app/SystemProgram.h"

#include "app/Program.h"
#include "audio/SystemAudio.h"
#include "system/Clock.h"
#include "system/DataFile.h"
#include "system/WorkingDirectory.h"

int RunOnThisSystem(const std::vector<std::string>& Args, IScreen& Screen, IKeyboard& Keyboard) {
  TMonotonicClock Clock;
  auto Audio = CreateSystemAudio();
  TProgramPlatform Platform{.Screen = Screen,
                            .Clock = Clock,
                            .Keyboard = Keyboard,
                            .Audio = *Audio,
                            .MusicFile = FindDataFile("vorlek.ogg"),
                            .WorkingDirectory = GetWorkingDirectory()};
  return RunProgram(Args, Platform);
}
