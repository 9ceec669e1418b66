#include "harness/PtyShow.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

namespace {

TPtyOptions WithEnvironment(std::vector<std::string> Environment) {
  TPtyOptions Options;
  Options.Environment = std::move(Environment);
  return Options;
}

}  // namespace

TPtyShow::TPtyShow(std::vector<std::string> Environment)
    : TPtyShow(WithEnvironment(std::move(Environment))) {}

TPtyShow::TPtyShow(TPtyOptions Options) {
  const char* Build = std::getenv("VORLEK_BUILD_DIR");
  std::string Folder = !Options.Folder.empty() ? Options.Folder : Build ? Build : "";
  std::string Program = !Options.Program.empty() ? Options.Program
                        : Build                  ? std::string(Build) + "/vorlek"
                                                 : "";
  if (Folder.empty() || Program.empty()) return;
  Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return;
  std::string Slave = ptsname(Master);
  winsize Size{uint16_t(Options.Rows), uint16_t(Options.Columns), 0, 0};
  ioctl(Master, TIOCSWINSZ, &Size);
  termios Mode{};
  tcgetattr(Master, &Mode);
  if (Options.ExpandTabs) {
    Mode.c_oflag = (Mode.c_oflag & ~tcflag_t(TABDLY)) | TAB3;
    tcsetattr(Master, TCSANOW, &Mode);
  }
  Cooked = Mode;
  std::vector<char*> Argv{Program.data()};
  for (std::string& Arg : Options.Args) Argv.push_back(Arg.data());
  Argv.push_back(nullptr);
  int PidPipe[2];
  if (pipe2(PidPipe, O_CLOEXEC) != 0) return;
  Child = fork();
  if (Child == 0) {
    // A session of its own, whose controlling terminal is the slave, as a login would give it.
    setsid();
    int Fd = open(Slave.c_str(), O_RDWR);
    for (int Std = 0; Std <= 2; ++Std) dup2(Fd, Std);
    if (Fd > 2) close(Fd);
    rlimit NoCore{0, 0};
    setrlimit(RLIMIT_CORE, &NoCore);
    if (chdir(Folder.c_str()) != 0) _exit(126);
    setenv("TERM", "xterm-256color", 1);
    for (std::string& Variable : Options.Environment) {
      if (Variable.back() == '=')
        unsetenv(Variable.substr(0, Variable.size() - 1).c_str());
      else
        putenv(Variable.data());
    }
    pid_t Show = Options.JobControl ? fork() : 0;
    if (Show == 0) {
      if (Options.JobControl) {
        // In front, as a shell puts a job it starts.
        setpgid(0, 0);
        signal(SIGTTOU, SIG_IGN);
        tcsetpgrp(STDIN_FILENO, getpgrp());
        signal(SIGTTOU, SIG_DFL);
      }
      execv(Program.c_str(), Argv.data());
      _exit(127);
    }
    pid_t Own = Show > 0 ? Show : -1;
    if (write(PidPipe[1], &Own, sizeof Own) != sizeof Own) _exit(125);
    // The shell ends as its job did, a death by signal too.
    int Status = 0;
    while (true) {
      pid_t Got = waitpid(Show, &Status, 0);
      if (Got < 0 && errno != EINTR) _exit(124);
      if (Got == Show && (WIFEXITED(Status) || WIFSIGNALED(Status))) break;
    }
    if (WIFEXITED(Status)) _exit(WEXITSTATUS(Status));
    signal(WTERMSIG(Status), SIG_DFL);
    kill(getpid(), WTERMSIG(Status));
    _exit(128 + WTERMSIG(Status));
  }
  close(PidPipe[1]);
  ShowPid = Child;
  if (Options.JobControl && read(PidPipe[0], &ShowPid, sizeof ShowPid) != sizeof ShowPid) ShowPid = -1;
  close(PidPipe[0]);
}

TPtyShow::~TPtyShow() {
  if (ShowPid > 0 && ShowPid != Child && !Exited) kill(ShowPid, SIGKILL);
  if (Child > 0 && !Exited) {
    kill(Child, SIGKILL);
    waitpid(Child, nullptr, 0);
  }
  if (Master >= 0) close(Master);
}

bool TPtyShow::ReadUntil(const std::string& Want, double Seconds, size_t From) {
  auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
  while (Output.find(Want, From) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= Until) return false;
    // Before the show opens its end, the terminal reads as hung up at once.
    if (!ReadSome(50)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

int TPtyShow::Finish(double Seconds, bool Read) {
  auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
  while (std::chrono::steady_clock::now() < Until) {
    int Status = 0;
    if (Ended(Status)) {
      while (ReadSome(0)) {
      }
      return Status;
    }
    if (!Read || !ReadSome(20)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

bool TPtyShow::Ended(int& Status) {
  if (Exited) {
    Status = ExitStatus;
    return true;
  }
  rusage Usage{};
  if (Child <= 0 || wait4(Child, &ExitStatus, WNOHANG, &Usage) != Child) return false;
  Exited = true;
  const auto Seconds = [](const timeval& T) { return double(T.tv_sec) + double(T.tv_usec) / 1e6; };
  Cpu = Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime);
  Status = ExitStatus;
  return true;
}

int TPtyShow::WaitUntilOutputIsStuck(double Seconds) {
  auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
  int Last = -1, Same = 0;
  while (std::chrono::steady_clock::now() < Until) {
    int Waiting = 0;
    ioctl(Master, FIONREAD, &Waiting);
    Same = Waiting == Last ? Same + 1 : 0;
    Last = Waiting;
    if (Same >= 5 && Waiting >= 2048) return Waiting;  // the line discipline holds 4 KiB
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

bool TPtyShow::Type(const std::string& Bytes) {
  return write(Master, Bytes.data(), Bytes.size()) == ssize_t(Bytes.size());
}

void TPtyShow::Signal(int Number) { kill(ShowPid, Number); }

bool TPtyShow::ModeGivenBack() {
  termios Mode{};
  tcgetattr(Master, &Mode);
  return Mode.c_lflag == Cooked.c_lflag && Mode.c_iflag == Cooked.c_iflag &&
         Mode.c_oflag == Cooked.c_oflag;
}

bool TPtyShow::ReadSome(int Ms, size_t Most) {
  pollfd In{Master, POLLIN, 0};
  if (Most == 0 || poll(&In, 1, Ms) <= 0) return false;
  char Bytes[65536];
  ssize_t Count = read(Master, Bytes, std::min(Most, sizeof Bytes));
  if (Count <= 0) return false;
  Output.append(Bytes, size_t(Count));
  return true;
}
