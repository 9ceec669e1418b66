#include "driver/Program.h"

#include <memory>

#include "driver/ConsoleTimeline.h"
#include "parts/Scene1.h"
#include "parts/Scene2.h"
#include "parts/Scene3.h"
#include "parts/Scene4.h"
#include "parts/Scene5.h"
#include "parts/Scene6.h"

bool WantsFullScreen(const std::vector<std::string>& Args) {
  return !Args.empty() && Args[0] == "1";
}

int RunProgram(const std::vector<std::string>& Args, TProgramPlatform& Platform,
               void (*OnBuilt)(TConsoleTimeline&, void*), void* Context) {
  bool FullScreen = WantsFullScreen(Args);
  auto Console = std::make_unique<TConsole>(Platform.Screen, "vorlek", FullScreen);
  TTimelinePlatform TimelinePlatform{Platform.Clock, Platform.Keyboard, Platform.Audio};
  auto Timeline = std::make_unique<TConsoleTimeline>(std::move(Console), Platform.BenchmarkMode,
                                                     Platform.MusicFile, TimelinePlatform);
  Timeline->AddScene(std::make_unique<TScene1>());
  Timeline->AddScene(std::make_unique<TScene2>());
  Timeline->AddScene(std::make_unique<TScene3>());
  Timeline->AddScene(std::make_unique<TScene4>());
  Timeline->AddScene(std::make_unique<TScene5>());
  Timeline->AddScene(std::make_unique<TScene6>());
  if (OnBuilt) OnBuilt(*Timeline, Context);
  Timeline->Run();
  Timeline.reset();
  return 0;
}
