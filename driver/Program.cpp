#include "driver/Program.h"

#include <cstdio>
#include <memory>

#include "driver/ConsoleTimeline.h"
#include "gles/GLESStuff.h"
#include "parts/Scene1.h"
#include "parts/Scene2.h"
#include "parts/Scene3.h"
#include "parts/Scene4.h"
#include "parts/Scene5.h"
#include "parts/Scene6.h"
#include "platform/FloatControl.h"

bool WantsFullScreen(const std::vector<std::string>& Args) {
  return !Args.empty() && Args[0] == "1";
}

int RunProgram(const std::vector<std::string>& Args, TProgramPlatform& Platform,
               void (*OnBuilt)(TConsoleTimeline&, void*), void* Context) {
  SetFloatControlWord();
  InitEGL();
  CreateOverlayTextures();
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
  FreeOverlayTextures();
  DoneEGL();
  // The terminal is ours again, so the one message of the run can go out.
  if (!EGLFailureReason().empty()) {
    std::fprintf(stderr, "vorlek: 3D rendering was unavailable: %s\n", EGLFailureReason().c_str());
  }
  return 0;
}
