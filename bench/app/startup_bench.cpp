// Start-up of the real program as a user meets it: from exec in an 80 x 50 pseudo-terminal to the
// first frame's bytes arriving there, then Escape. Each iteration is one launch; the reported
// time is that interval, with its median and maximum over the repetitions.
//
//   startup_bench [--benchmark_repetitions=25]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// Reads from Fd until Wanted has arrived or Deadline passes; whether it arrived.
bool ReadUntil(int Fd, const std::string& Wanted, TClock::time_point Deadline) {
  std::string Seen;
  char Buffer[4096];
  while (Seen.find(Wanted) == std::string::npos) {
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now());
    pollfd Poll{Fd, POLLIN, 0};
    if (Left.count() <= 0 || poll(&Poll, 1, int(Left.count())) <= 0) return false;
    const ssize_t Got = read(Fd, Buffer, sizeof Buffer);
    if (Got <= 0) return false;
    Seen.append(Buffer, size_t(Got));
  }
  return true;
}

// Drains Fd until the program has closed its end or a few seconds pass.
void Drain(int Fd) {
  char Buffer[4096];
  const auto Deadline = TClock::now() + std::chrono::seconds(5);
  pollfd Poll{Fd, POLLIN, 0};
  while (TClock::now() < Deadline && poll(&Poll, 1, 100) >= 0) {
    if (Poll.revents & POLLIN) {
      if (read(Fd, Buffer, sizeof Buffer) <= 0) return;  // EIO once the other end is closed
    } else if (Poll.revents & (POLLHUP | POLLERR)) {
      return;
    }
  }
}

void BM_ExecToFirstFrame(benchmark::State& State) {
  const std::string Program = VORLEK_PROGRAM;
  for (auto _ : State) {
    winsize Size{};
    Size.ws_row = 50;
    Size.ws_col = 80;
    int Fd = -1;
    const auto Start = TClock::now();
    const pid_t Child = forkpty(&Fd, nullptr, nullptr, &Size);
    if (Child < 0) {
      State.SkipWithError("forkpty failed");
      return;
    }
    if (Child == 0) {
      // From the build folder, where the track is.
      if (chdir(VORLEK_BUILD_DIR) != 0) _exit(127);
      setenv("TERM", "xterm-256color", 1);
      execl(Program.c_str(), Program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    const bool Arrived = ReadUntil(Fd, "\x1b[?2026h", Start + std::chrono::seconds(10));
    const auto Shown = TClock::now();
    (void)!write(Fd, "\x1b", 1);
    Drain(Fd);
    close(Fd);
    int Status = 0;
    waitpid(Child, &Status, 0);
    if (!Arrived || !WIFEXITED(Status) || WEXITSTATUS(Status) != 0) {
      State.SkipWithError("the program showed no frame, or failed");
      return;
    }
    State.SetIterationTime(std::chrono::duration<double>(Shown - Start).count());
  }
}

BENCHMARK(BM_ExecToFirstFrame)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(25)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("max",
                        [](const std::vector<double>& V) {
                          return *std::max_element(V.begin(), V.end());
                        })
    ->ReportAggregatesOnly(false);

}  // namespace
