// Start-up of the real program as a user meets it: from exec in an 80 x 50 pseudo-terminal to the
// first frame's bytes arriving there, then Escape. Each iteration is one launch; the reported
// time is that interval, with its median and maximum over the repetitions.
//
//   startup_bench [--benchmark_repetitions=25]
#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "harness/PtyShow.h"

namespace {

using TClock = std::chrono::steady_clock;

void BM_ExecToFirstFrame(benchmark::State& State) {
  TPtyOptions Options;
  Options.Program = VORLEK_PROGRAM;
  Options.Folder = VORLEK_BUILD_DIR;  // where the track is
  Options.Environment = {"TERM=xterm-256color"};
  for (auto _ : State) {
    const auto Start = TClock::now();
    TPtyShow Show(Options);
    if (!Show.Started()) {
      State.SkipWithError("the program could not be started");
      return;
    }
    const bool Arrived = Show.ReadUntil("\x1b[?2026h", 10);
    const auto Shown = TClock::now();
    Show.Type("\x1b");
    const int Status = Show.Finish(5);
    if (!Arrived || Status == -1 || !WIFEXITED(Status) || WEXITSTATUS(Status) != 0) {
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
