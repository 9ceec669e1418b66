#include "app/Program.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "driver/ConsoleTimeline.h"
#include "gles/GLESStuff.h"
#include "parts/GLScene.h"
#include "terminal/TerminalTraits.h"
#include "terminal/Utf8.h"
#include "parts/Show.h"
#include "system/FloatControl.h"

bool WantsFullScreen(const std::vector<std::string>& Args) {
  return !Args.empty() && Args[0] == "1";
}

std::optional<std::string> ProgramInfo(const std::vector<std::string>& Args) {
  if (Args.empty()) return std::nullopt;
  if (Args[0] == "--version") return "vorlek " VORLEK_VERSION "\n";
  if (Args[0] != "--help" && Args[0] != "-h") return std::nullopt;
  return "usage: vorlek [1] [--cell WxH]\n"
         "\n"
         "Plays a " + std::to_string(ShowEnd / 1000) +
         "-second audiovisual show in this terminal: 80 x 50 cells of coloured\n"
         "characters and one music track.\n"
         "\n"
         "  1            ask the terminal for full screen (exactly this first argument)\n"
         "  --cell WxH   the terminal's character cell is W pixels wide and H high (8x16)\n"
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
         "The picture keeps its proportions: show columns and rows are repeated so that its\n"
         "shape is closest to 8:5 for the terminal's cell shape, as large as fits (with cells\n"
         "twice as tall as wide, 160 x 50 shows every column twice), centred. The cell shape is\n"
         "--cell, else VORLEK_CELL, else what the terminal reports, else twice as tall as wide.\n"
         "A terminal smaller than 80 x 50 shows the picture reduced. On the Linux console the\n"
         "show uses that console's colour rules and sets its palette for the show.\n"
         "\n"
         "Environment:\n"
         "  COLORTERM        \"truecolor\" or \"24bit\": exact 24-bit colours\n"
         "  VORLEK_CELL      the cell shape as WxH, like --cell (which comes first)\n"
         "  TERM             \"linux\" or \"linux-*\": the Linux console\n"
         "  SDL_AUDIODRIVER  the sound output (SDL's own variable); no device plays silent\n";
}

std::optional<TCellShape> UserCellShape(const std::vector<std::string>& Args, const char* Environment,
                                        std::string& Error) {
  Error.clear();
  for (size_t Index = 0; Index < Args.size(); ++Index) {
    if (Args[Index] != "--cell") continue;
    const std::string Value = Index + 1 < Args.size() ? Args[Index + 1] : "";
    if (auto Shape = ParseCellShape(Value)) return Shape;
    Error = "--cell takes WxH, the cell's width and height in pixels from 1 to 512 (for example "
            "8x16), not \"" + EscapeControls(Value) + "\"";
    return std::nullopt;
  }
  if (!Environment || !*Environment) return std::nullopt;
  if (auto Shape = ParseCellShape(Environment)) return Shape;
  Error = "VORLEK_CELL takes WxH, the cell's width and height in pixels from 1 to 512 (for "
          "example 8x16), not \"" + EscapeControls(Environment) + "\"";
  return std::nullopt;
}

std::optional<int> AnswerBeforeTheShow(const std::vector<std::string>& Args,
                                       std::optional<TCellShape>& Cell) {
  if (auto Info = ProgramInfo(Args)) {
    std::fputs(Info->c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::string Error;
  Cell = UserCellShape(Args, std::getenv("VORLEK_CELL"), Error);
  if (Error.empty()) return std::nullopt;
  std::fprintf(stderr, "vorlek: %s\n", Error.c_str());
  return 2;
}

namespace {
// Brings up EGL and prepares the 3D parts' GL, in show order, on a second thread: neither needs
// the intro, so the first frame does not wait for them, and no part's first frame pays for the
// renderer's first-use compilation. A part entered before its turn waits for it.
class TGLPreparation {
 public:
  explicit TGLPreparation(TEGLDisplay& Display_) : Display(Display_), Thread([this] { Work(); }) {}
  ~TGLPreparation() { Finish(); }
  TGLPreparation(const TGLPreparation&) = delete;
  TGLPreparation& operator=(const TGLPreparation&) = delete;

  // Hands over the parts; each is queued before this returns.
  void Prepare(const std::vector<TGLScene*>& NewParts) {
    for (TGLScene* Part : NewParts) Part->QueuePreparation();
    std::lock_guard Lock(Mutex);
    Parts = NewParts;
    Handed = true;
    Wake.notify_all();
  }
  // Stops after the part in hand; parts not reached are left to prepare when entered.
  void Finish() {
    {
      std::lock_guard Lock(Mutex);
      Stopping = true;
      Wake.notify_all();
    }
    if (Thread.joinable()) Thread.join();
  }

 private:
  void Work() {
    // EGL waits for the parts: loading the driver holds the dynamic loader's lock for tens of
    // milliseconds, and any thread the main thread starts meanwhile (the audio's) would wait.
    std::unique_lock Lock(Mutex);
    Wake.wait(Lock, [this] { return Handed || Stopping; });
    if (!Stopping) {
      Lock.unlock();
      Display.Init();
      Lock.lock();
    }
    for (TGLScene* Part : Parts) {
      if (Stopping) {
        Part->CancelPreparation();
        continue;
      }
      Lock.unlock();
      Part->RunPreparation();
      Lock.lock();
    }
    Lock.unlock();
    TEGLDisplay::DoneThread();
  }

  TEGLDisplay& Display;
  std::mutex Mutex;
  std::condition_variable Wake;
  std::vector<TGLScene*> Parts;
  bool Handed = false;
  bool Stopping = false;
  std::thread Thread;  // last: starts once the members above exist
};
}  // namespace

int RunProgram(const std::vector<std::string>& Args, TProgramPlatform& Platform,
               const TProgramWatcher& Watcher) {
  SetFloatControlWord();
  // Everything the parts share, the overlay textures first; the colour table is made here, not
  // inside the first frame that maps colours. It outlives the parts and the GL thread.
  TShowContext Show(Platform.WorkingDirectory);
  auto GL = std::make_unique<TGLPreparation>(Show.Display);
  bool FullScreen = WantsFullScreen(Args);
  auto Console = std::make_unique<TConsole>(Platform.Screen, "vorlek", FullScreen);
  TTimelinePlatform TimelinePlatform{Platform.Clock, Platform.Keyboard, Platform.Audio};
  auto Timeline = std::make_unique<TConsoleTimeline>(std::move(Console), Platform.BenchmarkMode,
                                                     Platform.MusicFile, TimelinePlatform);
  // Each part is made once the one before it is added, in the table's order.
  std::vector<TGLScene*> GLParts;
  for (const TShowPart& Part : ShowParts) {
    TMadePart Made = MakePart(Part, Show);
    if (Made.GL) GLParts.push_back(Made.GL);
    Timeline->AddScene(std::move(Made.Scene));
  }
  GL->Prepare(GLParts);
  if (Watcher.AfterFrame) {
    Timeline->AfterFrame = [&Watcher, &Timeline](const TFrameRecord& Frame) {
      if (!Watcher.AfterFrame(Frame)) Timeline->Stop();
    };
  }
  if (Watcher.Built) Watcher.Built(Timeline->Record());
  Timeline->Run();
  GL.reset();  // nothing may prepare a part that is being freed
  Timeline.reset();
  Show.Display.Done();
  // The terminal is ours again, so the one message of the run can go out.
  if (!Show.Display.FailureReason().empty()) {
    std::fprintf(stderr, "vorlek: 3D rendering was unavailable: %s\n",
                 Show.Display.FailureReason().c_str());
  }
  return 0;
}
