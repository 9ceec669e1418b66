// The real program as a remote user sees it: it runs in a pseudo-terminal behind a simulated slow
// link, and this program plays both the link and the terminal at the link's far end. It prints how
// many frames reach the terminal and how old they are when they land, how long Escape and the
// show's own end take to give the terminal back, and the program's CPU time.
//
// The link reads the pseudo-terminal as fast as bytes come, so the kernel's buffer never holds the
// program back (as with ssh's large windows), and delivers the bytes in order at a set rate after a
// set one-way latency. The terminal feeds what lands to libvterm and answers each status request
// (CSI 5 n) with CSI 0 n, the cell-size query (CSI 16 t) with 16 x 8 pixels and a cursor report
// (CSI 6 n) with where libvterm's cursor stands; answers and keys
// reach the program one latency after the terminal sends them. Times are seconds of the show: zero
// is the moment its first frame was read from the pseudo-terminal.
//
//   slowlink_bench [--rate BYTES_PER_S] [--latency MS] [--escape-at S] [--until S]
//                  [--keys S:right,S:left,...] [--no-answer] [--size COLSxROWS] [--timeout S]
//                  [--window BYTES] [--rtt MS] [--table] [--program PATH]
//
// A 1 Mbit/s link with Escape at 20 s: slowlink_bench --rate 131072 --latency 20 --escape-at 20
// The frames a second over the whole show for 20, 100 and 300 ms round trips, at 1 Mbit/s and
// unlimited: slowlink_bench --table
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "harness/FarEnd.h"

namespace {

constexpr double Never = TSlowLink::Never;

// ---- Options ----------------------------------------------------------------------------------

struct TKeyPress {
  double At = 0;      // show second the key is pressed at the terminal
  std::string Bytes;  // what the terminal sends for it
};

struct TOptions {
  double Rate = 0;     // bytes a second through the link, both ways; 0: unlimited
  double Latency = 0;  // one way, seconds
  std::vector<TKeyPress> Keys;
  bool Answer = true;  // false: a terminal that answers no request
  int Columns = 80;
  int Rows = 50;
  double Timeout = 200;  // the program is killed if it still runs this long after launch
  size_t Window = 0;     // bytes the link holds before it stops reading; 0: no limit
  std::string Program = VORLEK_PROGRAM;
  bool Table = false;  // the round trips and rates of the table, one run each
};

void Usage() {
  std::fputs(
      "usage: slowlink_bench [options]\n"
      "  --rate BYTES_PER_S   link rate towards the terminal (0: unlimited, the default)\n"
      "  --latency MS         one-way latency of the link (default 0)\n"
      "  --rtt MS             round trip of the link: half of it each way\n"
      "  --table              one run for each of 20, 100 and 300 ms round trips, at 1 Mbit/s and\n"
      "                       unlimited, and a table of them (other options apply to each run)\n"
      "  --program PATH       the program to run (default: the built vorlek)\n"
      "  --escape-at S        press Escape at show second S (--until S is the same)\n"
      "  --keys S:KEY,...     press keys (right, left, esc) at show seconds\n"
      "  --no-answer          a terminal that answers no request\n"
      "  --size COLSxROWS     the pseudo-terminal's size (default 80x50)\n"
      "  --window BYTES       stop reading while the link holds this many (default: no limit)\n"
      "  --timeout S          kill the program if it still runs S seconds after launch (200)\n",
      stderr);
}

// A number from the whole of Text, or none.
std::optional<double> Number(const std::string& Text) {
  char* End = nullptr;
  errno = 0;
  const double Value = std::strtod(Text.c_str(), &End);
  if (Text.empty() || *End != '\0' || errno != 0 || !std::isfinite(Value) || Value < 0)
    return std::nullopt;
  return Value;
}

std::optional<std::string> KeyBytes(const std::string& Name) {
  if (Name == "right") return "\x1b[C";
  if (Name == "left") return "\x1b[D";
  if (Name == "esc") return "\x1b";
  return std::nullopt;
}

// "3:right,4.5:left" into key presses; false if any is malformed.
bool ParseKeys(const std::string& List, std::vector<TKeyPress>& Keys) {
  size_t Begin = 0;
  while (Begin <= List.size()) {
    const size_t End = std::min(List.find(',', Begin), List.size());
    const std::string Item = List.substr(Begin, End - Begin);
    const size_t Colon = Item.find(':');
    if (Colon == std::string::npos) return false;
    const auto At = Number(Item.substr(0, Colon));
    const auto Bytes = KeyBytes(Item.substr(Colon + 1));
    if (!At || !Bytes) return false;
    Keys.push_back({*At, *Bytes});
    Begin = End + 1;
  }
  return true;
}

std::optional<TOptions> ParseOptions(int Argc, char** Argv) {
  TOptions Options;
  for (int I = 1; I < Argc; ++I) {
    const std::string Name = Argv[I];
    if (Name == "--no-answer" || Name == "--table") {
      (Name == "--table" ? Options.Table : Options.Answer) = Name == "--table";
      continue;
    }
    if (I + 1 >= Argc) return std::nullopt;
    const std::string Value = Argv[++I];
    if (Name == "--program") {
      Options.Program = Value;
    } else if (Name == "--keys") {
      if (!ParseKeys(Value, Options.Keys)) return std::nullopt;
    } else if (Name == "--size") {
      int Columns = 0, Rows = 0;
      char Tail = 0;
      if (std::sscanf(Value.c_str(), "%dx%d%c", &Columns, &Rows, &Tail) != 2 || Columns <= 0 ||
          Rows <= 0)
        return std::nullopt;
      Options.Columns = Columns;
      Options.Rows = Rows;
    } else {
      const auto Parsed = Number(Value);
      if (!Parsed) return std::nullopt;
      if (Name == "--rate")
        Options.Rate = *Parsed;
      else if (Name == "--latency")
        Options.Latency = *Parsed / 1000;
      else if (Name == "--rtt")
        Options.Latency = *Parsed / 2000;
      else if (Name == "--escape-at" || Name == "--until")
        Options.Keys.push_back({*Parsed, "\x1b"});
      else if (Name == "--timeout")
        Options.Timeout = *Parsed;
      else if (Name == "--window")
        Options.Window = size_t(*Parsed);
      else
        return std::nullopt;
    }
  }
  return Options;
}

// ---- One run ----------------------------------------------------------------------------------

struct TRun {
  size_t BytesWritten = 0;
  size_t FramesWritten = 0;
  size_t StatusRequests = 0;  // read from the program
  size_t Answers = 0;         // sent back, status and cell size
  double FirstFrameAt = Never;
  std::vector<double> FrameLandedAt;
  std::vector<double> FrameLag;
  std::optional<double> EscapeWrittenAt;
  std::optional<double> GiveBackReadAt;
  std::optional<double> GiveBackLandedAt;
  size_t MaxQueuedBytes = 0;
  double LinkIdle = 0;  // seconds the link carried nothing, from the first frame to the give-back
  double ExitedAt = 0;
  int Status = 0;
  bool Killed = false;
  double CpuSeconds = 0;
};

int Run(const TOptions& Options, TRun& Result) {
  TPtyOptions Pty;
  Pty.Program = Options.Program;
  Pty.Folder = VORLEK_BUILD_DIR;  // where the track is
  Pty.Environment = {"TERM=xterm-256color"};
  Pty.Columns = Options.Columns;
  Pty.Rows = Options.Rows;
  TFarEndOptions Link;
  Link.Rate = Options.Rate;
  Link.Latency = Options.Latency;
  Link.AnswerStatus = Options.Answer;
  if (Options.Answer) Link.CellSizeAnswer = "\x1b[6;16;8t";
  Link.AnswerCursor = Options.Answer;
  for (const TKeyPress& Key : Options.Keys) Link.Keys.emplace_back(Key.At, Key.Bytes);
  Link.Window = Options.Window;
  Link.KillAfter = Options.Timeout;
  TVTermScreen Screen(Options.Rows, Options.Columns);
  TFarEnd Far(Pty, Link, &Screen);
  if (!Far.Show.Started()) {
    std::perror("the program could not be started");
    return 1;
  }
  // After the kill, the link still delivers what it holds.
  const int Status = Far.Finish(Options.Timeout + 600);
  if (Status == -1) {
    std::fprintf(stderr, "the program or its link never ended\n");
    return 1;
  }

  const double Zero = Far.FirstFrameAt;
  Result.BytesWritten = Far.Show.Output.size();
  Result.FramesWritten = Far.Written.FrameCloses.size();
  Result.StatusRequests = Far.Written.StatusRequests.size();
  Result.Answers = size_t(Far.Answered);
  Result.FirstFrameAt = Zero;
  for (double At : Far.Drawn.FrameCloses) Result.FrameLandedAt.push_back(At - Zero);
  Result.FrameLag = Far.FrameLag;
  if (Far.EscapeAt) Result.EscapeWrittenAt = *Far.EscapeAt - Zero;
  if (!Far.Written.GiveBacks.empty()) Result.GiveBackReadAt = Far.Written.GiveBacks.front() - Zero;
  if (!Far.Drawn.GiveBacks.empty()) Result.GiveBackLandedAt = Far.Drawn.GiveBacks.front() - Zero;
  Result.MaxQueuedBytes = Far.MaxQueuedBytes();
  Result.LinkIdle = Far.LinkIdleSeconds(
      Zero, Far.Written.GiveBacks.empty() ? Far.EndedAt : Far.Written.GiveBacks.front());
  Result.ExitedAt = Far.EndedAt;
  Result.Status = Status;
  Result.Killed = Far.Killed;
  Result.CpuSeconds = Far.Show.CpuSeconds();
  return 0;
}

// ---- Report -----------------------------------------------------------------------------------

// The value below which a share Fraction of the sorted Values lie.
double Percentile(const std::vector<double>& Sorted, double Fraction) {
  const size_t Index = size_t(std::ceil(Fraction * double(Sorted.size())));
  return Sorted[std::min(Sorted.size() - 1, Index == 0 ? 0 : Index - 1)];
}

// Frames written a second, from the first frame to the give-back (or the end).
double FramesWrittenPerSecond(const TRun& Result) {
  const double Seconds = Result.GiveBackReadAt.value_or(Result.ExitedAt - Result.FirstFrameAt);
  return Seconds > 0 ? double(Result.FramesWritten) / Seconds : 0;
}

void Report(const TOptions& Options, const TRun& Result) {
  if (Options.Rate > 0)
    std::printf("link: %.0f bytes/s (%.2f Mbit/s), %.0f ms one way; ", Options.Rate,
                Options.Rate * 8 / 1048576, Options.Latency * 1000);
  else
    std::printf("link: unlimited, %.0f ms one way; ", Options.Latency * 1000);
  if (Options.Window > 0) std::printf("window %zu bytes; ", Options.Window);
  std::printf("terminal %dx%d, %s\n", Options.Columns, Options.Rows,
              Options.Answer ? "answers requests" : "answers nothing");

  if (Result.FirstFrameAt == Never) {
    std::printf("no frame arrived\n");
    return;
  }
  const double ShowSeconds = Result.ExitedAt - Result.FirstFrameAt;
  std::printf(
      "show: %zu bytes, %zu frames (%.0f bytes a frame, %.1f a second) written in %.2f s; %zu status "
      "requests, %zu answers\n",
      Result.BytesWritten, Result.FramesWritten,
      Result.FramesWritten ? double(Result.BytesWritten) / double(Result.FramesWritten) : 0.0,
      FramesWrittenPerSecond(Result), ShowSeconds, Result.StatusRequests, Result.Answers);
  std::printf("link: at most %zu bytes queued", Result.MaxQueuedBytes);
  if (Options.Rate > 0)
    std::printf(" (%.2f s at its rate); idle %.2f s of the show",
                double(Result.MaxQueuedBytes) / Options.Rate, Result.LinkIdle);
  std::printf("\n");

  const auto& Landed = Result.FrameLandedAt;
  if (Landed.size() >= 2) {
    const double Last = Landed.back();
    const double Overall = double(Landed.size() - 1) / (Last - Landed.front());
    // The last ten seconds, or the whole run where it is shorter.
    const double Window = std::min(10.0, Last - Landed.front());
    const auto Recent =
        Landed.end() - std::upper_bound(Landed.begin(), Landed.end(), Last - Window);
    std::printf("terminal: %zu frames landed, %.1f a second overall, %.1f over the last %.0f s\n",
                Landed.size(), Overall, double(Recent) / Window, Window);
    std::vector<double> Lag = Result.FrameLag;
    std::sort(Lag.begin(), Lag.end());
    std::printf("frame lag: median %.3f s, p99 %.3f s, max %.3f s\n", Percentile(Lag, 0.5),
                Percentile(Lag, 0.99), Lag.back());
  }

  if (Result.EscapeWrittenAt) {
    std::printf("escape: written at %.2f s; ", *Result.EscapeWrittenAt);
    if (Result.GiveBackLandedAt)
      std::printf("terminal given back %.3f s later\n",
                  *Result.GiveBackLandedAt - *Result.EscapeWrittenAt);
    else
      std::printf("terminal never given back\n");
  }
  if (Result.GiveBackReadAt && Result.GiveBackLandedAt)
    std::printf("end: give-back written at %.2f s, landed %.3f s later\n", *Result.GiveBackReadAt,
                *Result.GiveBackLandedAt - *Result.GiveBackReadAt);

  const double Wall = Result.ExitedAt;
  std::printf("cpu: %.2f s, %.1f %% of one core over %.2f s from launch to exit\n",
              Result.CpuSeconds, 100 * Result.CpuSeconds / Wall, Wall);
  if (Result.Killed) std::printf("the program was killed after %.0f s\n", Options.Timeout);
}

int Table(TOptions Options) {
  std::printf("| link | round trip | frames written a second | landed a second | "
              "frame lag median / max | end to given back | link idle | cpu |\n"
              "| --- | --- | --- | --- | --- | --- | --- | --- |\n");
  bool Clean = true;
  for (const double Rate : {131072.0, 0.0})
    for (const double RoundTrip : {0.020, 0.100, 0.300}) {
      Options.Rate = Rate;
      Options.Latency = RoundTrip / 2;
      TRun Result;
      if (Run(Options, Result) != 0 || Result.FirstFrameAt == Never) return 1;
      Clean = Clean && !Result.Killed && WIFEXITED(Result.Status) && WEXITSTATUS(Result.Status) == 0;
      std::vector<double> Lag = Result.FrameLag;
      std::sort(Lag.begin(), Lag.end());
      const auto& Landed = Result.FrameLandedAt;
      const double LandedRate =
          Landed.size() >= 2 ? double(Landed.size() - 1) / (Landed.back() - Landed.front()) : 0;
      const double GivenBack = Result.GiveBackReadAt && Result.GiveBackLandedAt
                                   ? *Result.GiveBackLandedAt - *Result.GiveBackReadAt
                                   : -1;
      char Idle[32] = "-";
      if (Rate > 0) std::snprintf(Idle, sizeof Idle, "%.2f s", Result.LinkIdle);
      std::printf("| %s | %.0f ms | %.1f | %.1f | %.3f / %.3f s | %.3f s | %s | %.1f %% |\n",
                  Rate > 0 ? "1 Mbit/s" : "unlimited", RoundTrip * 1000, FramesWrittenPerSecond(Result),
                  LandedRate, Lag.empty() ? 0 : Percentile(Lag, 0.5), Lag.empty() ? 0 : Lag.back(), GivenBack,
                  Idle, 100 * Result.CpuSeconds / Result.ExitedAt);
      std::fflush(stdout);
    }
  return Clean ? 0 : 1;
}

}  // namespace

int main(int Argc, char** Argv) {
  const auto Options = ParseOptions(Argc, Argv);
  if (!Options) {
    Usage();
    return 2;
  }
  if (Options->Table) return Table(*Options);
  TRun Result;
  if (Run(*Options, Result) != 0) return 1;
  Report(*Options, Result);
  const bool Clean = !Result.Killed && WIFEXITED(Result.Status) && WEXITSTATUS(Result.Status) == 0;
  if (!Clean) std::printf("the program failed (wait status %d)\n", Result.Status);
  return Clean && Result.FirstFrameAt != Never ? 0 : 1;
}
