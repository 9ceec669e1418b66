// The real program as a remote user sees it: it runs in a pseudo-terminal behind a simulated slow
// link, and this program plays both the link and the terminal at the link's far end. It prints how
// many frames reach the terminal and how old they are when they land, how long Escape and the
// show's own end take to give the terminal back, and the program's CPU time.
//
// The link reads the pseudo-terminal as fast as bytes come, so the kernel's buffer never holds the
// program back (as with ssh's large windows), and delivers the bytes in order at a set rate after a
// set one-way latency. The terminal feeds what lands to libvterm and answers each status request
// (CSI 5 n) with CSI 0 n and the cell-size query (CSI 16 t) with 16 x 8 pixels; answers and keys
// reach the program one latency after the terminal sends them. Times are seconds of the show: zero
// is the moment its first frame was read from the pseudo-terminal.
//
//   slowlink_bench [--rate BYTES_PER_S] [--latency MS] [--escape-at S] [--until S]
//                  [--keys S:right,S:left,...] [--no-answer] [--size COLSxROWS] [--timeout S]
//                  [--window BYTES]
//
// A 1 Mbit/s link with Escape at 20 s: slowlink_bench --rate 131072 --latency 20 --escape-at 20
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
};

void Usage() {
  std::fputs(
      "usage: slowlink_bench [options]\n"
      "  --rate BYTES_PER_S   link rate towards the terminal (0: unlimited, the default)\n"
      "  --latency MS         one-way latency of the link (default 0)\n"
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
    if (Name == "--no-answer") {
      Options.Answer = false;
      continue;
    }
    if (I + 1 >= Argc) return std::nullopt;
    const std::string Value = Argv[++I];
    if (Name == "--keys") {
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
  double ExitedAt = 0;
  int Status = 0;
  bool Killed = false;
  double CpuSeconds = 0;
};

int Run(const TOptions& Options, TRun& Result) {
  TPtyOptions Pty;
  Pty.Program = VORLEK_PROGRAM;
  Pty.Folder = VORLEK_BUILD_DIR;  // where the track is
  Pty.Environment = {"TERM=xterm-256color"};
  Pty.Columns = Options.Columns;
  Pty.Rows = Options.Rows;
  TFarEndOptions Link;
  Link.Rate = Options.Rate;
  Link.Latency = Options.Latency;
  Link.AnswerStatus = Options.Answer;
  if (Options.Answer) Link.CellSizeAnswer = "\x1b[6;16;8t";
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
      "show: %zu bytes, %zu frames (%.0f bytes a frame) written in %.2f s; %zu status "
      "requests, %zu answers\n",
      Result.BytesWritten, Result.FramesWritten,
      Result.FramesWritten ? double(Result.BytesWritten) / double(Result.FramesWritten) : 0.0,
      ShowSeconds, Result.StatusRequests, Result.Answers);
  std::printf("link: at most %zu bytes queued", Result.MaxQueuedBytes);
  if (Options.Rate > 0)
    std::printf(" (%.2f s at its rate)", double(Result.MaxQueuedBytes) / Options.Rate);
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

}  // namespace

int main(int Argc, char** Argv) {
  const auto Options = ParseOptions(Argc, Argv);
  if (!Options) {
    Usage();
    return 2;
  }
  TRun Result;
  if (Run(*Options, Result) != 0) return 1;
  Report(*Options, Result);
  const bool Clean = !Result.Killed && WIFEXITED(Result.Status) && WEXITSTATUS(Result.Status) == 0;
  if (!Clean) std::printf("the program failed (wait status %d)\n", Result.Status);
  return Clean && Result.FirstFrameAt != Never ? 0 : 1;
}
