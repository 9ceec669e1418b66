#include "terminal/FlowControl.h"

#include <algorithm>
#include <cmath>

namespace {
// A rate is measured over at least this long, so that answers seen together (they are taken once
// a frame) do not read as a burst; the largest of the last RateWindowMs counts.
constexpr int64_t RateSpanMs = 200;
constexpr int64_t RateWindowMs = 2000;
// Until the link shows its rate, the window counts the round trip RampGain times over. It has
// shown it once held frames measure no RampGrowth more for RampFlatRounds round trips.
constexpr double RampGain = 2.0;
constexpr double RampGrowth = 1.25;
constexpr int RampFlatRounds = 2;
// Answers are taken once a frame, so the time between two answers is off by up to a frame either
// way: a crossing is counted a frame longer than it seemed, and only from a frame on.
constexpr int64_t AnswerReadMs = 16;
}  // namespace

int64_t TFlowControl::Window() const {
  if (RateBytesPerMs <= 0) return FirstWindowBytes;
  const double RoundTrip = (Ramping ? RampGain : 1.0) * double(MinRoundTripMs);
  double Window = RateBytesPerMs * (RoundTrip + double(AheadMs));
  if (Ramping) Window = std::max(Window, CrossingRate * double(MinRoundTripMs + AheadMs));
  return int64_t(Window);
}

int64_t TFlowControl::ExpectedAnswerMs(const TRequest& Asked) const {
  // After its round trip, and after the link has carried the bytes before it since the last answer.
  double Rate = RateBytesPerMs;
  if (Rate <= 0) Rate = double(Taken) / double(std::max<int64_t>(1, LastAnswerMs - FirstSentMs));
  const double Carry = double(Asked.Bytes - Taken) / std::max(Rate, 1e-3);
  return std::max(Asked.SentMs + MinRoundTripMs, LastAnswerMs + int64_t(std::ceil(Carry)));
}

void TFlowControl::Update(int64_t NowMs) {
  if (State == TState::Probing && AnySent && NowMs - FirstSentMs >= FirstAnswerTimeoutMs) State = TState::Silent;
  if (State == TState::Answering && !Unanswered.empty() &&
      NowMs >= ExpectedAnswerMs(Unanswered.front()) + StoppedMs)
    State = TState::Silent;
}

bool TFlowControl::MaySend(int64_t NowMs) {
  Update(NowMs);
  // Until the first answer nothing is held back: a terminal that never answers must not stall.
  // Nor is a frame held when no answer is awaited, as none could release it. A terminal that has
  // kept up for a while (no frame held for RateWindowMs) has only shown that the link carries what
  // the show wrote: a frame far larger than those before (a redraw after a resize) does not count
  // against its window until its answer tells how fast it went.
  Behind = HeldMs >= 0 && NowMs - HeldMs < RateWindowMs;
  if (State != TState::Answering || InFlight() < Window() || Unanswered.empty()) return true;
  if (!Behind) {
    int64_t Largest = 0, Before = Taken;
    for (const TRequest& Frame : Frames) {
      Largest = std::max(Largest, Frame.Bytes - Before);
      Before = Frame.Bytes;
    }
    if (InFlight() - Largest < Window()) return true;
  }
  ++Held;
  HeldMs = NowMs;
  Behind = true;
  return false;
}

bool TFlowControl::WantsRequest(int64_t FrameBytes) const {
  // The first frame asks at once; then every FramesPerRequest-th, and while the link is full every
  // one that fills the window, whose answer is what lets the next frame go.
  return State != TState::Silent && (!AnySent || FramesSinceRequest + 1 >= FramesPerRequest ||
                                     (Behind && InFlight() + FrameBytes >= Window()));
}

void TFlowControl::Sent(int64_t NowMs, int64_t Bytes, bool WithRequest) {
  Update(NowMs);
  Written += Bytes;
  if (State != TState::Silent) Frames.push_back({NowMs, Written});
  if (State == TState::Silent || !WithRequest) {
    ++FramesSinceRequest;
    return;
  }
  FramesSinceRequest = 0;
  if (!AnySent) {
    AnySent = true;
    FirstSentMs = NowMs;
  }
  Unanswered.push_back({NowMs, Written});
}

void TFlowControl::Answered(int Count, int64_t NowMs) {
  if (Count <= 0 || Unanswered.empty()) return;  // more answers than requests: someone typed one
  const size_t Taking = std::min(size_t(Count), Unanswered.size());
  const TRequest Last = Unanswered[Taking - 1];
  const int64_t Before = Taking >= 2 ? Unanswered[Taking - 2].Bytes : Taken;  // the request before
  Unanswered.erase(Unanswered.begin(), Unanswered.begin() + std::ptrdiff_t(Taking));
  // Answers that come once the terminal was given up on at the start are counted, and tell only
  // how late they come.
  if (State == TState::Silent && !AnyAnswer) {
    LateMs = std::max(LateMs, NowMs - Last.SentMs);
    return;
  }
  if (State == TState::Probing) State = TState::Answering;
  AnyAnswer = true;
  const int64_t RoundTrip = std::max<int64_t>(1, NowMs - Last.SentMs);
  MinRoundTripMs = MinRoundTripMs == 0 ? RoundTrip : std::min(MinRoundTripMs, RoundTrip);
  // Half of AheadMs queued, beyond what the bytes since the request before take to cross: the link
  // is full, and what it carries is its rate.
  const double Crossing = RateBytesPerMs > 0 ? double(Last.Bytes - Before) / RateBytesPerMs : 0;
  if (double(RoundTrip - MinRoundTripMs) - Crossing >= double(AheadMs) / 2) EndRamp(NowMs);
  if (Ramping) TimeCrossing(NowMs, Last);
  MeasureRate(NowMs, Last);
  Taken = Last.Bytes;
  while (!Frames.empty() && Frames.front().Bytes <= Taken) Frames.pop_front();
  LastAnswerMs = NowMs;
}

void TFlowControl::TimeCrossing(int64_t NowMs, const TRequest& Last) {
  // The bytes written since the last answer cannot have begun to reach the terminal before it
  // came, nor before the first of them could have (a round trip after it went, less the answer's
  // way back and a small frame's crossing); by now the link has carried them all. So they cross
  // at least as fast as that (slower where the link idled meanwhile): a measure of the link that
  // does not wait for the window to fill it.
  // Frames holds just those: the ones the last answer covered went then.
  if (Frames.empty() || MinRoundTripMs == 0) return;
  const int64_t Crossing = NowMs - std::max(LastAnswerMs, Frames.front().SentMs + MinRoundTripMs);
  if (Crossing < AnswerReadMs) return;
  const double Rate = double(Last.Bytes - Taken) / double(Crossing + AnswerReadMs);
  CrossingRate = std::max(CrossingRate, Rate);
}

void TFlowControl::EndRamp(int64_t NowMs) {
  Ramping = false;
  if (CrossingRate > 0) AddRateSample(NowMs, CrossingRate);
}

void TFlowControl::AddRateSample(int64_t NowMs, double Sample) {
  while (!RateSamples.empty() && RateSamples.back().Value <= Sample) RateSamples.pop_back();
  RateSamples.push_back({NowMs, Sample});
}

void TFlowControl::MeasureRate(int64_t NowMs, const TRequest& Last) {
  // The newest earlier answer at least a span ago.
  while (Answers.size() >= 2 && Answers[1].Ms <= NowMs - RateSpanMs) Answers.pop_front();
  if (!Answers.empty() && Answers.front().Ms <= NowMs - RateSpanMs) {
    const TAnswer& From = Answers.front();
    const double Sample = double(Last.Bytes - From.Bytes) / double(NowMs - From.Ms);
    // While frames were held the link was full, and the sample is its rate (or, while the window is
    // still growing, what the window let through); otherwise the show wrote less than the link
    // carries, and the sample only tells that the link carries as much.
    const bool Full = Held > From.Held;
    if (Full && Ramping) {
      if (Sample >= RampGrowth * RampRate) {
        RampRate = Sample;
        RampSinceMs = NowMs;
      } else if (NowMs - RampSinceMs >= RampFlatRounds * std::max(MinRoundTripMs, RateSpanMs)) {
        EndRamp(NowMs);
      }
    }
    if (Full || Sample > RateBytesPerMs) AddRateSample(NowMs, Sample);
  }
  Answers.push_back({NowMs, Last.Bytes, Held});
  while (RateSamples.size() > 1 && RateSamples.front().Ms < NowMs - RateWindowMs) RateSamples.pop_front();
  // With no sample of the last window, the last measure stands.
  if (!RateSamples.empty()) RateBytesPerMs = RateSamples.front().Value;
}

int64_t TFlowControl::AnswersDueMs(int64_t NowMs) const {
  if (Unanswered.empty()) return NowMs;
  const TRequest& Newest = Unanswered.back();
  if (!AnyAnswer) return Newest.SentMs + std::max(UnansweredCloseWaitMs, LateMs + CloseSlackMs);
  return ExpectedAnswerMs(Newest) + CloseSlackMs;
}
