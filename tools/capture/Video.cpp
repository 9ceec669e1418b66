#include "tools/capture/Video.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "console/ColorMappers.h"

extern char** environ;

namespace {
volatile sig_atomic_t InterruptSignal = 0;
void OnInterrupt(int Signal) { InterruptSignal = Signal; }
}  // namespace

void CatchInterrupts() {
  struct sigaction Action {};
  sigemptyset(&Action.sa_mask);
  Action.sa_handler = OnInterrupt;
  for (int Signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(Signal, &Action, nullptr);
}

bool Interrupted() { return InterruptSignal != 0; }

std::string FindOnPath(const std::string& Name) {
  const char* Path = std::getenv("PATH");
  if (!Path) return {};
  std::string Dirs = Path;
  for (size_t Begin = 0; Begin <= Dirs.size();) {
    size_t End = Dirs.find(':', Begin);
    if (End == std::string::npos) End = Dirs.size();
    std::string Dir = Dirs.substr(Begin, End - Begin);
    std::string Candidate = (Dir.empty() ? "." : Dir) + "/" + Name;
    struct stat Info {};
    if (stat(Candidate.c_str(), &Info) == 0 && S_ISREG(Info.st_mode) &&
        access(Candidate.c_str(), X_OK) == 0)
      return Candidate;
    Begin = End + 1;
  }
  return {};
}

void ExpandPicture(const TIndexedPicture& Picture, int Scale, std::vector<uint8_t>& Rgb) {
  const size_t RowBytes = size_t(Picture.Width) * size_t(Scale) * 3;
  Rgb.resize(RowBytes * size_t(Picture.Height) * size_t(Scale));
  uint8_t* Out = Rgb.data();
  for (int Y = 0; Y < Picture.Height; ++Y) {
    uint8_t* Row = Out;
    for (int X = 0; X < Picture.Width; ++X) {
      const TPaletteColor& Color =
          ConsolePalette[Picture.Pixels[size_t(Y * Picture.Width + X)] & 15];
      for (int Repeat = 0; Repeat < Scale; ++Repeat) {
        *Out++ = uint8_t(Color.R);
        *Out++ = uint8_t(Color.G);
        *Out++ = uint8_t(Color.B);
      }
    }
    for (int Repeat = 1; Repeat < Scale; ++Repeat, Out += RowBytes) std::memcpy(Out, Row, RowBytes);
  }
}

TVideoEncoder::~TVideoEncoder() {
  std::string Ignored;
  Finish(false, Ignored);
}

bool TVideoEncoder::Start(const std::string& Path_, int Width, int Height, int StepMs,
                          const std::string& MusicFile, std::string& Error) {
  namespace fs = std::filesystem;
  const std::string Ffmpeg = FindOnPath("ffmpeg");
  if (Ffmpeg.empty()) {
    Error = "--video needs ffmpeg, which is not on PATH (Debian: apt install ffmpeg)";
    return false;
  }
  Path = Path_;
  const fs::path Target(Path);
  Partial = (Target.parent_path() / ("." + Target.filename().string() + ".partial")).string();
  // ffmpeg picks the container from the name: the partial file keeps the target's extension.
  const std::string Extension = Target.extension().string();
  Partial += Extension.empty() ? ".mp4" : Extension;

  const std::string Size = std::to_string(Width) + "x" + std::to_string(Height);
  const std::string Rate = "1000/" + std::to_string(StepMs);
  std::vector<std::string> Args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y"};
  Args.insert(Args.end(), {"-f", "rawvideo", "-pixel_format", "rgb24", "-video_size", Size,
                           "-framerate", Rate, "-i", "pipe:0"});
  if (!MusicFile.empty()) {
    Args.insert(Args.end(), {"-i", MusicFile, "-map", "0:v", "-map", "1:a", "-c:a", "aac", "-b:a",
                             "192k", "-af", "apad", "-shortest"});
  }
  // yuv420p plays everywhere; the glyphs stay sharp enough at CRF 18.
  Args.insert(Args.end(), {"-c:v", "libx264", "-crf", "18", "-pix_fmt", "yuv420p", "-movflags",
                           "+faststart", Partial});
  std::vector<char*> Argv;
  for (std::string& Arg : Args) Argv.push_back(Arg.data());
  Argv.push_back(nullptr);

  int Fds[2];
  if (pipe2(Fds, O_CLOEXEC) != 0) {
    Error = std::string("cannot make a pipe for ffmpeg: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Fds[0], STDIN_FILENO);
  // Its own process group: a Ctrl-C reaches only this program, which then cleans up.
  posix_spawnattr_t Attributes;
  posix_spawnattr_init(&Attributes);
  posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&Attributes, 0);
  const int Spawned =
      posix_spawn(&Child, Ffmpeg.c_str(), &Actions, &Attributes, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  posix_spawnattr_destroy(&Attributes);
  close(Fds[0]);
  if (Spawned != 0) {
    close(Fds[1]);
    Child = -1;
    Error = "cannot start " + Ffmpeg + ": " + std::strerror(Spawned);
    return false;
  }
  Pipe = Fds[1];
  signal(SIGPIPE, SIG_IGN);  // an ffmpeg that quits shows as a failed write
  return true;
}

bool TVideoEncoder::Write(std::span<const uint8_t> Rgb) {
  const uint8_t* Data = Rgb.data();
  size_t Left = Rgb.size();
  while (Pipe >= 0 && Left > 0) {
    ssize_t Written = write(Pipe, Data, Left);
    if (Written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    Data += Written;
    Left -= size_t(Written);
  }
  return Pipe >= 0;
}

bool TVideoEncoder::Finish(bool Keep, std::string& Error) {
  if (Child < 0) return false;
  if (!Keep) kill(Child, SIGTERM);
  close(Pipe);
  Pipe = -1;
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
  Child = -1;
  const bool Made = WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  if (Keep && Made && std::rename(Partial.c_str(), Path.c_str()) == 0) return true;
  std::remove(Partial.c_str());
  if (!Keep) return false;
  Error = Made ? "cannot write " + Path : "ffmpeg could not make " + Path;
  return false;
}
