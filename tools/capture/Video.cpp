#include "tools/capture/Video.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tools/capture/Interrupts.h"

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

TVideoEncoder::~TVideoEncoder() {
  std::string Ignored;
  Finish(false, Ignored);
}

bool TVideoEncoder::Start(const std::string& Path, int Width, int Height, int StepMs,
                          const std::string& MusicFile, std::string& Error) {
  const std::string Ffmpeg = FindOnPath("ffmpeg");
  if (Ffmpeg.empty()) {
    Error = "--video needs ffmpeg, which is not on PATH (Debian: apt install ffmpeg)";
    return false;
  }
  // ffmpeg picks the container from the name: the partial file keeps the target's extension.
  const std::string Extension = std::filesystem::path(Path).extension().string();
  if (!Output.Open(Path, false, ".partial" + (Extension.empty() ? ".mp4" : Extension), Error))
    return false;
  Output.Close();  // ffmpeg writes it

  const std::string Size = std::to_string(Width) + "x" + std::to_string(Height);
  const std::string Rate = "1000/" + std::to_string(StepMs);
  std::vector<std::string> Args = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y"};
  Args.insert(Args.end(), {"-f", "rawvideo", "-pixel_format", "rgb24", "-video_size", Size,
                           "-framerate", Rate, "-i", "pipe:0"});
  // Names go in as files: one that looks like a URL or an option stays a name.
  if (!MusicFile.empty()) {
    Args.insert(Args.end(), {"-i", "file:" + MusicFile, "-af", "apad"});
  } else {
    // A silent capture still has a sound track, of silence, as players expect.
    Args.insert(Args.end(), {"-f", "lavfi", "-i", "anullsrc=channel_layout=stereo:sample_rate=44100"});
  }
  Args.insert(Args.end(), {"-map", "0:v", "-map", "1:a", "-c:a", "aac", "-b:a", "192k", "-shortest"});
  // yuv420p plays everywhere; the glyphs stay sharp enough at CRF 18.
  Args.insert(Args.end(), {"-c:v", "libx264", "-crf", "18", "-pix_fmt", "yuv420p", "-movflags",
                           "+faststart", "file:" + Output.WritePath()});
  std::vector<char*> Argv;
  for (std::string& Arg : Args) Argv.push_back(Arg.data());
  Argv.push_back(nullptr);

  int Fds[2], Report[2];
  if (pipe2(Fds, O_CLOEXEC) != 0) {
    Error = std::string("cannot make a pipe for ffmpeg: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(Report, O_CLOEXEC) != 0) {
    Error = std::string("cannot make a pipe for ffmpeg: ") + std::strerror(errno);
    close(Fds[0]);
    close(Fds[1]);
    return false;
  }
  const pid_t Parent = getpid();
  Child = fork();
  if (Child == 0) {
    // Only async-signal-safe calls here: the capture may have threads. The child gets its own
    // process group (a Ctrl-C reaches only the capture, which then cleans up) and is killed when
    // the capture ends, even by SIGKILL; a failed exec says why through Report.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != Parent) _exit(127);
    dup2(Fds[0], STDIN_FILENO);
    execv(Ffmpeg.c_str(), Argv.data());
    const int Failure = errno;
    (void)!write(Report[1], &Failure, sizeof Failure);
    _exit(127);
  }
  const int Forked = errno;
  close(Fds[0]);
  close(Report[1]);
  int Failure = 0;
  const bool Failed = Child < 0 || read(Report[0], &Failure, sizeof Failure) == sizeof Failure;
  close(Report[0]);
  if (Failed) {
    Error = "cannot start " + Ffmpeg + ": " + std::strerror(Child < 0 ? Forked : Failure);
    close(Fds[1]);
    if (Child > 0) waitpid(Child, nullptr, 0);
    Child = -1;
    Output.Abandon();
    return false;
  }
  // Frames are written without blocking, so that an interruption ends a wait for ffmpeg.
  Pipe = Fds[1];
  fcntl(Pipe, F_SETFL, fcntl(Pipe, F_GETFL) | O_NONBLOCK);
  signal(SIGPIPE, SIG_IGN);  // an ffmpeg that quits shows as a failed write
  return true;
}

bool TVideoEncoder::Write(std::span<const uint8_t> Rgb) {
  const uint8_t* Data = Rgb.data();
  size_t Left = Rgb.size();
  while (Pipe >= 0 && Left > 0 && !Interrupted()) {
    const ssize_t Written = write(Pipe, Data, Left);
    if (Written > 0) {
      Data += Written;
      Left -= size_t(Written);
    } else if (Written < 0 && errno == EAGAIN) {
      // A signal that comes just before the wait ends it within the timeout.
      pollfd Ready{Pipe, POLLOUT, 0};
      poll(&Ready, 1, 100);
    } else if (!(Written < 0 && errno == EINTR)) {
      return false;
    }
  }
  return Pipe >= 0 && Left == 0;
}

bool TVideoEncoder::Finish(bool Keep, std::string& Error) {
  if (Child < 0) return false;
  // Abandoned, ffmpeg need not finish: it may be stuck opening an input.
  if (!Keep) kill(Child, SIGKILL);
  close(Pipe);
  Pipe = -1;
  int Status = 0;
  bool Killed = !Keep;
  for (;;) {
    const pid_t Done = waitpid(Child, &Status, WNOHANG);
    if (Done == Child || (Done < 0 && errno != EINTR)) break;
    if (!Killed && Interrupted()) {
      kill(Child, SIGKILL);
      Killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Child = -1;
  const bool Made = !Killed && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  if (Made) return Output.Commit(Error);
  Output.Abandon();
  if (!Keep) return false;
  Error = Interrupted() ? "interrupted" : "ffmpeg could not make " + Output.Name();
  return false;
}
