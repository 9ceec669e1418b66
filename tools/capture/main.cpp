// vorlek-capture: the show played offline, frame-exact, into text, PNG pictures, a cast, a video
// or timings.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "gles/GLESStuff.h"
#include "system/DataFile.h"
#include "system/StandardDescriptors.h"
#include "tools/capture/Capture.h"
#include "tools/capture/CaptureOptions.h"

int main(int argc, char** argv) {
  const auto Start = std::chrono::steady_clock::now();
  // A closed standard output must not become a picture file that frames are then printed into.
  OpenStandardDescriptors();
  PreferInlineRenderer();  // before any thread starts: it changes the environment
  std::vector<std::string> Args(argv + 1, argv + argc);
  std::string Error;
  auto Options = ParseCaptureArgs(Args, Error);
  if (!Options) {
    std::fprintf(stderr, "vorlek-capture: %s; %s\n", Error.c_str(), CaptureUsage());
    return 2;
  }
  if (Options->Help || Options->Version) {
    std::fputs(Options->Help ? CaptureHelp() : "vorlek-capture " VORLEK_VERSION "\n", stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // Only the default is looked up where the program is installed; a named file is taken as named.
  if (!Options->MusicGiven) Options->MusicFile = FindDataFile(Options->MusicFile);
  TCapture Capture(std::move(*Options), Start);
  return Capture.Run();
}
