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

std::optional<std::string> ProgramInfo(const std::vector<std::string>& Args) {
  if (Args.empty()) return std::nullopt;
  if (Args[0] == "--version") return "vorlek " VORLEK_VERSION "\n";
  if (Args[0] != "--help" && Args[0] != "-h") return std::nullopt;
  return "usage: vorlek [1]\n"
         "\n"
         "Plays a 92-second audiovisual show in this terminal: 80 x 50 cells of coloured\n"
         "characters and one music track.\n"
         "\n"
         "  1            ask the terminal for full screen (exactly this first argument)\n"
         "  -h, --help   print this help and exit\n"
         "  --version    print the version and exit\n"
         "Other arguments are ignored.\n"
         "\n"
         "Keys:\n"
         "  Right        one second ahead\n"
         "  Left         one second back\n"
         "  Escape       stop (Ctrl-C too)\n"
         "\n"
         "Music: vorlek.ogg in the current folder, or else the one installed with the program\n"
         "(share/vorlek/vorlek.ogg); without either the show plays silent.\n"
         "\n"
         "A larger terminal shows the picture centred; a smaller one shows it reduced, and\n"
         "80 x 50 or more shows every cell. Square cells (an 8 x 8 font) give the intended shape.\n"
         "\n"
         "Environment:\n"
         "  COLORTERM        \"truecolor\" or \"24bit\": exact 24-bit colours\n"
         "  SDL_AUDIODRIVER  the sound output (SDL's own variable); no device plays silent\n";
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
