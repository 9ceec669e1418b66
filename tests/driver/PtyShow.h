// The built vorlek on a pseudo-terminal whose other end the test holds: it reads what the show
// writes when it chooses (or stops reading), types, signals the show and sees the terminal's mode
// after it.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct TPtyOptions {
  std::vector<std::string> Environment;  // "NAME=value" added; "NAME=" with nothing after unsets
  std::vector<std::string> Args;
  int Columns = 80;
  int Rows = 50;
  // The show runs as a job of a small shell that owns the session, as in a login: a stop then
  // really stops it (a process group whose parent is outside its session is orphaned, and the
  // system discards its stops).
  bool JobControl = false;
};

class TPtyShow {
 public:
  // Starts build/vorlek in the build folder.
  explicit TPtyShow(std::vector<std::string> Environment = {})
      : TPtyShow(WithEnvironment(std::move(Environment))) {}
  explicit TPtyShow(TPtyOptions Options) {
    const char* Build = std::getenv("VORLEK_BUILD_DIR");
    if (!Build) return;
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return;
    std::string Slave = ptsname(Master);
    winsize Size{uint16_t(Options.Rows), uint16_t(Options.Columns), 0, 0};
    ioctl(Master, TIOCSWINSZ, &Size);
    termios Mode{};
    tcgetattr(Master, &Mode);
    Cooked = Mode;
    std::string Program = std::string(Build) + "/vorlek";
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
      if (chdir(Build) != 0) _exit(126);
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
  ~TPtyShow() {
    if (ShowPid > 0 && ShowPid != Child && !Exited) kill(ShowPid, SIGKILL);
    if (Child > 0 && !Exited) {
      kill(Child, SIGKILL);
      waitpid(Child, nullptr, 0);
    }
    if (Master >= 0) close(Master);
  }
  TPtyShow(const TPtyShow&) = delete;
  TPtyShow& operator=(const TPtyShow&) = delete;

  bool Started() const { return Child > 0 && ShowPid > 0; }
  pid_t Pid() const { return ShowPid; }  // the show's own process

  // Reads what the show writes until Output holds Want after From, for up to Seconds.
  bool ReadUntil(const std::string& Want, double Seconds, size_t From = 0) {
    auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    while (Output.find(Want, From) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= Until) return false;
      if (!ReadSome(50)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  // Reads everything to the end and waits for the show's end, up to Seconds; or only waits,
  // reading nothing, with Read false. The wait status, or -1 when the show still runs.
  int Finish(double Seconds, bool Read = true) {
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
  // Whether the show has ended, with its wait status in Status; it does not wait.
  bool Ended(int& Status) {
    if (Exited) {
      Status = ExitStatus;
      return true;
    }
    if (waitpid(Child, &ExitStatus, WNOHANG) != Child) return false;
    Exited = true;
    Status = ExitStatus;
    return true;
  }
  // Reads nothing until the terminal's buffer is full and the show's writes wait: what waits to
  // be read stays the same for half a second (the intro's first seconds write little). The bytes
  // waiting then, 0 when it never filled within Seconds.
  int WaitUntilOutputIsStuck(double Seconds) {
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
  void Type(const std::string& Bytes) { EXPECT_EQ(write(Master, Bytes.data(), Bytes.size()), ssize_t(Bytes.size())); }
  void Signal(int Number) { kill(ShowPid, Number); }
  // The terminal's mode as the show left it: echo and line editing back as they were.
  bool ModeGivenBack() {
    termios Mode{};
    tcgetattr(Master, &Mode);
    return Mode.c_lflag == Cooked.c_lflag && Mode.c_iflag == Cooked.c_iflag;
  }
  // Appends what the show wrote to Output, waiting up to Ms for it; false when nothing came (or
  // the terminal is not open at the show's end yet, or no more).
  bool ReadSome(int Ms) {
    pollfd In{Master, POLLIN, 0};
    if (poll(&In, 1, Ms) <= 0) return false;
    char Bytes[65536];
    ssize_t Count = read(Master, Bytes, sizeof Bytes);
    if (Count <= 0) return false;
    Output.append(Bytes, size_t(Count));
    return true;
  }

  std::string Output;

 private:
  static TPtyOptions WithEnvironment(std::vector<std::string> Environment) {
    TPtyOptions Options;
    Options.Environment = std::move(Environment);
    return Options;
  }

  int Master = -1;
  pid_t Child = -1;    // the show, or the shell that runs it
  pid_t ShowPid = -1;
  bool Exited = false;
  int ExitStatus = 0;
  termios Cooked{};
};
