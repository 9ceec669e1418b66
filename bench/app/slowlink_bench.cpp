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
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vterm.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr double Never = std::numeric_limits<double>::infinity();

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

// ---- The byte stream's landmarks --------------------------------------------------------------

enum class TSequence { None, FrameOpen, FrameClose, StatusRequest, CellSizeRequest, GiveBack };

// Finds the sequences that matter to the harness in a byte stream, however it is split into reads.
// A close counts as a frame only after an open: the give-back also ends a synchronized update.
class TStreamScanner {
 public:
  TSequence Add(char Byte) {
    TSequence Found = Match(Byte);
    if (Found == TSequence::FrameOpen) {
      InFrame = true;
    } else if (Found == TSequence::FrameClose) {
      if (!InFrame) return TSequence::None;
      InFrame = false;
    }
    return Found;
  }

 private:
  // Each watched sequence starts with ESC and holds no other, so a match can only start at the last
  // ESC seen: the bytes since it are all the state there is.
  TSequence Match(char Byte) {
    if (Byte == '\x1b') {
      Pending.assign(1, Byte);
      return TSequence::None;
    }
    if (Pending.empty()) return TSequence::None;
    Pending += Byte;
    bool Prefix = false;
    for (const auto& [Text, Kind] : Watched) {
      if (Text == Pending) {
        Pending.clear();
        return Kind;
      }
      Prefix = Prefix || Text.starts_with(Pending);
    }
    if (!Prefix) Pending.clear();
    return TSequence::None;
  }

  static constexpr std::pair<std::string_view, TSequence> Watched[] = {
      {"\x1b[?2026h", TSequence::FrameOpen}, {"\x1b[?2026l", TSequence::FrameClose},
      {"\x1b[5n", TSequence::StatusRequest}, {"\x1b[16t", TSequence::CellSizeRequest},
      {"\x1b[?1049l", TSequence::GiveBack},
  };
  std::string Pending;
  bool InFrame = false;
};

// ---- The link -------------------------------------------------------------------------------

// Bytes queue in order; each may land once the latency has passed since it was read, and they land
// no faster than the rate, in ticks of a millisecond. For one queue in order, latency before the
// rate limit gives the same landing times as latency after it.
class TLink {
 public:
  TLink(double Rate_, double Latency_) : Rate(Rate_), Latency(Latency_) {}

  void Send(const char* Bytes, size_t Size, double Now) {
    Queue.push_back({std::string(Bytes, Size), 0, Now});
    Queued += Size;
    MaxQueued = std::max(MaxQueued, Queued);
  }

  // The bytes that land at Now, in order.
  std::string Land(double Now) {
    // Credit for the time since the last call; an idle link earns none until its next byte is due.
    if (!Idle)
      Tokens += (Now - LastLand) * Rate;
    else if (Ready(Now))
      Tokens += (Now - (Queue.front().ReadAt + Latency)) * Rate;
    LastLand = Now;
    std::string Out;
    while (Ready(Now)) {
      TChunk& Front = Queue.front();
      size_t Take = Front.Bytes.size() - Front.Sent;
      if (Rate > 0) Take = std::min(Take, size_t(Tokens));
      if (Take == 0) break;
      Out.append(Front.Bytes, Front.Sent, Take);
      Front.Sent += Take;
      Queued -= Take;
      if (Rate > 0) Tokens -= double(Take);
      if (Front.Sent == Front.Bytes.size()) Queue.pop_front();
    }
    // An idle link keeps no credit beyond a short burst, or a gap would let a later burst through
    // faster than the rate.
    Idle = !Ready(Now);
    if (Idle) Tokens = std::min(Tokens, Rate * BurstSeconds);
    return Out;
  }

  // When Land may next have bytes to give; Never while the link is empty.
  double NextLanding(double Now) const {
    if (Queue.empty()) return Never;
    if (!Ready(Now)) return Queue.front().ReadAt + Latency;
    return Rate > 0 ? Now + TickSeconds : Now;
  }

  bool Empty() const { return Queue.empty(); }
  size_t QueuedBytes() const { return Queued; }
  size_t MaxQueuedBytes() const { return MaxQueued; }

 private:
  static constexpr double TickSeconds = 0.001;
  static constexpr double BurstSeconds = 0.002;

  struct TChunk {
    std::string Bytes;
    size_t Sent;
    double ReadAt;
  };

  bool Ready(double Now) const { return !Queue.empty() && Queue.front().ReadAt + Latency <= Now; }

  const double Rate;
  const double Latency;
  std::deque<TChunk> Queue;
  double Tokens = 0;  // bytes the rate allows now
  double LastLand = 0;
  bool Idle = true;  // nothing could land at the last call
  size_t Queued = 0;
  size_t MaxQueued = 0;
};

// ---- The terminal at the far end -------------------------------------------------------------

// A real screen state for the bytes that land; libvterm's own answers to requests are dropped, as
// the harness answers them itself with the link's latency.
class TFarScreen {
 public:
  TFarScreen(int Rows, int Columns) : Term(vterm_new(Rows, Columns)) {
    vterm_set_utf8(Term, 1);
    vterm_output_set_callback(Term, DropOutput, nullptr);
    VTermScreen* Screen = vterm_obtain_screen(Term);
    vterm_screen_enable_altscreen(Screen, 1);
    vterm_screen_reset(Screen, 1);
  }
  ~TFarScreen() { vterm_free(Term); }
  TFarScreen(const TFarScreen&) = delete;
  TFarScreen& operator=(const TFarScreen&) = delete;

  void Feed(const std::string& Bytes) { vterm_input_write(Term, Bytes.data(), Bytes.size()); }

 private:
  static void DropOutput(const char*, size_t, void*) {}

  VTerm* Term;
};

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

// What the terminal sends back to the program, by the time it reaches the program.
struct TOutgoing {
  std::string Bytes;
  bool Escape = false;
};

int Run(const TOptions& Options, TRun& Result) {
  using TClock = std::chrono::steady_clock;
  const auto Start = TClock::now();
  const auto Now = [Start] { return std::chrono::duration<double>(TClock::now() - Start).count(); };

  winsize Size{};
  Size.ws_row = static_cast<unsigned short>(Options.Rows);
  Size.ws_col = static_cast<unsigned short>(Options.Columns);
  int Fd = -1;
  const pid_t Child = forkpty(&Fd, nullptr, nullptr, &Size);
  if (Child < 0) {
    std::perror("forkpty");
    return 1;
  }
  if (Child == 0) {
    // From the build folder, where the track is.
    if (chdir(VORLEK_BUILD_DIR) != 0) _exit(127);
    setenv("TERM", "xterm-256color", 1);
    execl(VORLEK_PROGRAM, VORLEK_PROGRAM, static_cast<char*>(nullptr));
    _exit(127);
  }
  fcntl(Fd, F_SETFL, fcntl(Fd, F_GETFL) | O_NONBLOCK);

  TLink Link(Options.Rate, Options.Latency);
  TFarScreen Screen(Options.Rows, Options.Columns);
  TStreamScanner Written, Landed;
  std::deque<double> FramesInFlight;  // when each frame's close was read, oldest first
  std::multimap<double, TOutgoing> Outbox;
  bool Open = true;  // the program still holds the pseudo-terminal
  char Buffer[65536];

  for (;;) {
    double Time = Now();

    // Answers and keys that reach the program now.
    while (Open && !Outbox.empty() && Outbox.begin()->first <= Time) {
      const TOutgoing& Out = Outbox.begin()->second;
      if (write(Fd, Out.Bytes.data(), Out.Bytes.size()) < 0 && errno == EAGAIN) break;
      if (Out.Escape && !Result.EscapeWrittenAt)
        Result.EscapeWrittenAt = Time - Result.FirstFrameAt;
      Outbox.erase(Outbox.begin());
    }

    // Bytes that land at the terminal now.
    const std::string Bytes = Link.Land(Time);
    for (char Byte : Bytes) {
      switch (Landed.Add(Byte)) {
        case TSequence::FrameClose:
          Result.FrameLandedAt.push_back(Time - Result.FirstFrameAt);
          Result.FrameLag.push_back(Time - FramesInFlight.front());
          FramesInFlight.pop_front();
          break;
        case TSequence::GiveBack:
          if (!Result.GiveBackLandedAt) Result.GiveBackLandedAt = Time - Result.FirstFrameAt;
          break;
        case TSequence::StatusRequest:
          if (Options.Answer) {
            Outbox.emplace(Time + Options.Latency, TOutgoing{"\x1b[0n"});
            ++Result.Answers;
          }
          break;
        case TSequence::CellSizeRequest:
          if (Options.Answer) {
            Outbox.emplace(Time + Options.Latency, TOutgoing{"\x1b[6;16;8t"});
            ++Result.Answers;
          }
          break;
        default:
          break;
      }
    }
    Screen.Feed(Bytes);
    if (!Open && Link.Empty()) break;

    if (Open && Time > Options.Timeout && !Result.Killed) {
      kill(Child, SIGKILL);
      Result.Killed = true;
    }

    // Wait for the program's bytes or the next landing, answer or key.
    double Next = Link.NextLanding(Time);
    if (!Outbox.empty()) Next = std::min(Next, Outbox.begin()->first);
    if (Open) Next = std::min(Next, Options.Timeout + 0.01);
    const double Wait = std::max(0.0, Next - Time);
    const timespec Timeout{time_t(Wait), long((Wait - std::floor(Wait)) * 1e9)};
    // A full window leaves the bytes in the kernel's buffer, and the program's writes wait.
    const auto Room = [&] {
      if (Options.Window == 0) return sizeof Buffer;
      return std::min(sizeof Buffer, Options.Window - std::min(Options.Window, Link.QueuedBytes()));
    };
    const bool Reading = Open && Room() > 0;
    pollfd Poll{Fd, POLLIN, 0};
    if (ppoll(&Poll, Reading ? 1 : 0, Wait == Never ? nullptr : &Timeout, nullptr) <= 0 || !Reading)
      continue;

    Time = Now();
    while (Room() > 0) {
      const ssize_t Got = read(Fd, Buffer, Room());
      if (Got < 0 && errno == EAGAIN) break;
      if (Got <= 0) {  // EIO once the program has closed its end
        Open = false;
        break;
      }
      Result.BytesWritten += size_t(Got);
      for (ssize_t I = 0; I < Got; ++I) {
        switch (Written.Add(Buffer[I])) {
          case TSequence::FrameOpen:
            if (Result.FirstFrameAt == Never) {
              // The show's clock starts: the keys are pressed on it, and reach it one latency
              // later.
              Result.FirstFrameAt = Time;
              for (const TKeyPress& Key : Options.Keys)
                Outbox.emplace(Time + Key.At + Options.Latency,
                               TOutgoing{Key.Bytes, Key.Bytes == "\x1b"});
            }
            break;
          case TSequence::FrameClose:
            ++Result.FramesWritten;
            FramesInFlight.push_back(Time);
            break;
          case TSequence::StatusRequest:
            ++Result.StatusRequests;
            break;
          case TSequence::GiveBack:
            if (!Result.GiveBackReadAt) Result.GiveBackReadAt = Time - Result.FirstFrameAt;
            break;
          default:
            break;
        }
      }
      Link.Send(Buffer, size_t(Got), Time);
    }
    if (!Open) {
      close(Fd);
      waitpid(Child, &Result.Status, 0);
      Result.ExitedAt = Now();
      rusage Children{};
      getrusage(RUSAGE_CHILDREN, &Children);
      const auto Seconds = [](const timeval& T) {
        return double(T.tv_sec) + double(T.tv_usec) / 1e6;
      };
      Result.CpuSeconds = Seconds(Children.ru_utime) + Seconds(Children.ru_stime);
    }
  }
  Result.MaxQueuedBytes = Link.MaxQueuedBytes();
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
