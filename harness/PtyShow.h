// The built vorlek on a pseudo-terminal whose other end the caller holds: it reads what the show
// writes when it chooses (or stops reading), types, signals the show and sees the terminal's mode
// after it.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

struct TPtyOptions {
  // "NAME=value" added; "NAME=" with nothing after unsets. TERM is "xterm-256color" unless set
  // here: the terminal the show sees does not depend on the one the tests run in.
  std::vector<std::string> Environment;
  std::vector<std::string> Args;
  int Columns = 80;
  int Rows = 50;
  bool ExpandTabs = false;  // the terminal's mode turns tabs into spaces on output
  // The show runs as a job of a small shell that owns the session, as in a login: a stop then
  // really stops it (a process group whose parent is outside its session is orphaned, and the
  // system discards its stops).
  bool JobControl = false;
  // The program and the folder it runs in; empty: vorlek in the build folder that
  // VORLEK_BUILD_DIR names.
  std::string Program;
  std::string Folder;
};

class TPtyShow {
 public:
  explicit TPtyShow(std::vector<std::string> Environment = {});
  explicit TPtyShow(TPtyOptions Options);
  ~TPtyShow();
  TPtyShow(const TPtyShow&) = delete;
  TPtyShow& operator=(const TPtyShow&) = delete;

  bool Started() const { return Child > 0 && ShowPid > 0; }
  pid_t Pid() const { return ShowPid; }  // the show's own process
  int Fd() const { return Master; }      // the terminal's end

  // Reads what the show writes until Output holds Want after From, for up to Seconds.
  bool ReadUntil(const std::string& Want, double Seconds, size_t From = 0);
  // Reads everything to the end and waits for the show's end, up to Seconds; or only waits,
  // reading nothing, with Read false. The wait status, or -1 when the show still runs.
  int Finish(double Seconds, bool Read = true);
  // Whether the show has ended, with its wait status in Status; it does not wait.
  bool Ended(int& Status);
  // Reads nothing until the terminal's buffer is full and the show's writes wait: what waits to
  // be read stays the same for half a second (the intro's first seconds write little). The bytes
  // waiting then, 0 when it never filled within Seconds.
  int WaitUntilOutputIsStuck(double Seconds);
  // Sends Bytes as typed at the terminal; whether all were taken.
  bool Type(const std::string& Bytes);
  void Signal(int Number);
  // The terminal's mode as the show left it: echo, line editing and output processing back as
  // they were.
  bool ModeGivenBack();
  // Appends what the show wrote to Output, at most Most bytes, waiting up to Ms for it; false when
  // nothing came (or the terminal is not open at the show's end yet, or no more).
  bool ReadSome(int Ms, size_t Most = 65536);
  // CPU seconds the show used, user and system, once it has ended.
  double CpuSeconds() const { return Cpu; }

  std::string Output;

 private:
  int Master = -1;
  pid_t Child = -1;  // the show, or the shell that runs it
  pid_t ShowPid = -1;
  bool Exited = false;
  int ExitStatus = 0;
  double Cpu = 0;
  termios Cooked{};
};
