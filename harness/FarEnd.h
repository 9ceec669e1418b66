// The far end of a link to the show: the show runs on a pseudo-terminal, this side reads all it
// writes at once (as ssh with its large windows does), carries it over a slow link and plays the
// terminal there, which answers the show's requests, late or never, and types keys. Tests and
// benchmarks watch when frames, requests and the give-back are written and when they land.
#pragma once

#include <chrono>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "harness/PtyShow.h"
#include "harness/VTermScreen.h"

// The sequences that matter to a watcher of the show's bytes.
enum class TMark {
  None, FrameOpen, FrameClose, StatusRequest, CellSizeRequest, CursorRequest, GiveBack
};

// Finds the marks in a byte stream, however it is split into reads. A close counts as a frame only
// after an open: the give-back also ends a synchronized update.
class TStreamScanner {
 public:
  TMark Add(char Byte);

 private:
  TMark Match(char Byte);

  std::string Pending;  // since the last ESC, while it may still start a mark
  bool InFrame = false;
};

// Bytes queue in order; each may land once the latency has passed since it was sent, and they
// land no faster than the rate, in ticks of a millisecond. For one queue in order, latency before
// the rate limit gives the same landing times as latency after it.
class TSlowLink {
 public:
  static constexpr double Never = std::numeric_limits<double>::infinity();

  TSlowLink(double Rate_, double Latency_) : Rate(Rate_), Latency(Latency_) {}

  void Send(const char* Bytes, size_t Size, double Now);
  // The bytes that land at Now, in order.
  std::string Land(double Now);
  // When Land may next have bytes to give; Never while the link is empty.
  double NextLanding(double Now) const;

  bool Empty() const { return Queue.empty(); }
  size_t QueuedBytes() const { return Queued; }
  size_t MaxQueuedBytes() const { return MaxQueued; }
  // Seconds between From and To in which the link, limited by its rate, carried nothing: no byte
  // was queued, or none had yet come through the latency.
  double IdleSeconds(double From, double To) const;

 private:
  static constexpr double TickSeconds = 0.001;
  static constexpr double BurstSeconds = 0.002;

  struct TChunk {
    std::string Bytes;
    size_t Sent;
    double SentAt;
  };

  bool Ready(double Now) const { return !Queue.empty() && Queue.front().SentAt + Latency <= Now; }

  const double Rate;
  const double Latency;
  std::deque<TChunk> Queue;
  double Tokens = 0;  // bytes the rate allows now
  double LastLand = 0;
  bool Idle = true;  // nothing could land at the last call
  size_t Queued = 0;
  size_t MaxQueued = 0;
  std::vector<std::pair<double, double>> IdleSpans;  // in order, apart
};

struct TFarEndOptions {
  double Rate = 0;     // bytes a second towards the terminal; 0: unlimited
  double Latency = 0;  // one way, seconds, both ways
  // A request is answered this long after it lands, until AnswerUntil seconds from the moment the
  // first frame was read; status requests never, with AnswerStatus false.
  double AnswerDelay = 0;
  double AnswerUntil = std::numeric_limits<double>::infinity();
  bool AnswerStatus = true;
  // The answer to the cell-size query; empty: none.
  std::string CellSizeAnswer;
  // Cursor reports (CSI 6 n) answered where the screen's cursor stands then; only with a screen.
  bool AnswerCursor = false;
  // Typed at the terminal at seconds from the moment the first frame was read; each reaches the
  // show one latency later.
  std::vector<std::pair<double, std::string>> Keys;
  size_t Window = 0;  // bytes the link holds before this side stops reading; 0: no limit
  double KillAfter = 0;  // the show is killed if it still runs this long after the start; 0: never
  // Each answer's ESC reaches the show this long before its rest, as when a link splits it across
  // two packets; answers stay in order, each one whole before the next one's ESC. 0: whole.
  double AnswerSplit = 0;
};

class TFarEnd {
 public:
  TFarEnd(TPtyOptions Pty, TFarEndOptions Options_, TVTermScreen* Screen_ = nullptr);

  // Seconds since the start.
  double Now() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count(); }
  // Plays the terminal for up to Seconds more, until Done holds.
  template <typename TDone>
  bool RunUntil(double Seconds, TDone Done) {
    const double Until = Now() + Seconds;
    while (Now() < Until) {
      Step(Until);
      if (Done()) return true;
    }
    return false;
  }
  void RunFor(double Seconds) {
    RunUntil(Seconds, [] { return false; });
  }
  // Plays on until the show has ended and all it wrote has landed, up to Seconds; the wait status
  // then, -1 when the show still runs or bytes are still on their way.
  int Finish(double Seconds);
  // How many of Times fall in [From, To).
  static int Count(const std::vector<double>& Times, double From, double To);

  // When each mark was read from the show (Written) or landed at the terminal (Drawn), in seconds
  // from the start.
  struct TMarks {
    std::vector<double> FrameOpens, FrameCloses, StatusRequests, CellSizeRequests, GiveBacks;
  };

  TPtyShow Show;
  TMarks Written, Drawn;
  std::vector<double> FrameLag;  // for each frame landed, the seconds since its close was read
  std::vector<double> KeyTimes;  // when each key reached the show
  std::optional<double> EscapeAt;  // when the first key that is a lone Escape reached the show
  int Answered = 0;        // answers typed: status, cell size and cursor
  int StatusAnswered = 0;  // of them, status answers
  int LostWrites = 0;      // answers and keys the terminal's input did not take
  double FirstFrameAt = TSlowLink::Never;  // when the first frame was read
  double EndedAt = -1;                     // when the show's end was seen
  bool Killed = false;
  size_t LandedBytes = 0;  // of Show.Output
  size_t MaxQueuedBytes() const { return Link.MaxQueuedBytes(); }
  double LinkIdleSeconds(double From, double To) const { return Link.IdleSeconds(From, To); }

 private:
  void Step(double Until);
  void Mark(TMarks& Marks, TMark Found, double At);
  void Answer(double At, const std::string& Bytes, TMark Request);  // typed at At, or split

  TFarEndOptions Options;
  TVTermScreen* Screen;
  std::chrono::steady_clock::time_point Start;
  TSlowLink Link;
  TStreamScanner WrittenScanner, DrawnScanner;
  std::deque<double> ClosesInFlight;  // when each frame's close was read, oldest first
  // What the terminal types, by when it reaches the terminal's input: bytes, and the request they
  // answer (None for a key).
  std::multimap<double, std::pair<std::string, TMark>> Outbox;
  double AnswersWholeAt = 0;  // when the last answer queued has all reached the show
  bool Closed = false;  // the show has ended and its end of the terminal is read to the end
};
