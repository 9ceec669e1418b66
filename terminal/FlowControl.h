// Flow control by the terminal's own answers. After every second frame (and, while the link is
// full, after each frame that fills what may be in flight) the show asks for a status report
// (CSI 5 n), which a terminal answers (CSI 0 n) once it has processed everything before it.
// Each answer says how many bytes the terminal has taken and when; from them the show learns how
// fast the link delivers and its round trip, and writes ahead of the terminal no more than the
// link carries in a round trip and a tenth of a second. Frames held back at that window measure
// only what it let through: until the measure has not grown by a quarter for two round trips, or
// the answers show a queue in the link, the window counts the round trip twice, so that a far
// link shows its rate within a few round trips, not seconds. Meanwhile the time the bytes since an
// answer took to cross (from that answer, or from a round trip after they went) shows a rate the
// link has at least, and the window is never less than that rate fills after the ramp: the first
// large frames that cross slowly fill the link. Beyond the window frames are held
// back: the show's clock and music go on, and the next frame written is encoded against what was
// last written, so a slow link carries fewer frames instead of a growing backlog of old ones, and
// a far but fast one gets every frame.
//
// A terminal that does not answer the first request within a second, or that stops answering
// (no answer for a second beyond what the link needs), is not asked again and every frame is
// written, as without. Answers that still come are counted, so that the show knows, when it gives
// the terminal back, whose answers are still on their way.
#pragma once

#include <cstdint>
#include <deque>

class TFlowControl {
 public:
  static constexpr const char* Request = "\x1b[5n";
  static constexpr int FramesPerRequest = 2;  // half the answers (each wakes the key reader) of one a frame
  static constexpr int64_t FirstAnswerTimeoutMs = 1000;
  // How far the terminal may fall behind what the link can deliver.
  static constexpr int64_t AheadMs = 100;
  // No answer for this long beyond the time the link needs: the terminal has stopped answering.
  static constexpr int64_t StoppedMs = 1000;
  // Until the link's rate is measured, the bytes that may be in flight.
  static constexpr int64_t FirstWindowBytes = 32768;
  // The closing wait for a terminal that has never answered: this long after its last request.
  static constexpr int64_t UnansweredCloseWaitMs = 2000;
  // The closing wait's margin beyond the time the link needs for what is in flight.
  static constexpr int64_t CloseSlackMs = 250;

  bool MaySend(int64_t NowMs);  // whether a frame may be written now
  // Whether the next frame written, of FrameBytes, carries Request after it.
  bool WantsRequest(int64_t FrameBytes = 0) const;
  // A frame of Bytes went out (the request's included), with Request or without.
  void Sent(int64_t NowMs, int64_t Bytes, bool WithRequest);
  void Answered(int Count, int64_t NowMs);  // Count status reports arrived
  bool Asking() const { return State != TState::Silent; }  // requests go out with frames
  bool Answering() const { return State == TState::Answering; }  // answers hold frames back
  int Outstanding() const { return int(Unanswered.size()); }    // requests not answered yet
  // Until when answers to the requests not answered yet may still come, as far as the link's
  // measure tells; at or before NowMs when none is expected.
  int64_t AnswersDueMs(int64_t NowMs) const;

  // What the answers told: bytes a millisecond the link delivers (0 while unknown), the shortest
  // round trip seen, the bytes written that the terminal has not taken yet, and how many may be.
  double Rate() const { return RateBytesPerMs; }
  int64_t RoundTripMs() const { return MinRoundTripMs; }
  int64_t InFlight() const { return Written - Taken; }
  int64_t Window() const;

 private:
  enum class TState { Probing, Answering, Silent };
  struct TRequest {
    int64_t SentMs;
    int64_t Bytes;  // written up to it, itself included
  };
  struct TAnswer {
    int64_t Ms;     // when it came
    int64_t Bytes;  // written up to its request
    int64_t Held;   // frames held back before it came
  };
  struct TSample {
    int64_t Ms;
    double Value;
  };
  void Update(int64_t NowMs);
  void MeasureRate(int64_t NowMs, const TRequest& Last);
  // While the link has not shown its rate: how fast the bytes up to Last, answered now, crossed.
  void TimeCrossing(int64_t NowMs, const TRequest& Last);
  void EndRamp(int64_t NowMs);
  void AddRateSample(int64_t NowMs, double Sample);
  int64_t ExpectedAnswerMs(const TRequest& Asked) const;  // once the terminal has answered

  TState State = TState::Probing;
  int FramesSinceRequest = 0;  // frames written since the last one that carried a request
  bool AnySent = false;
  bool AnyAnswer = false;
  int64_t FirstSentMs = 0;
  int64_t LastAnswerMs = 0;
  int64_t Written = 0;  // bytes, all frames
  int64_t Taken = 0;    // of them, those the terminal has said it took
  int64_t Held = 0;     // frames held back so far
  int64_t HeldMs = -1;  // when the last was
  bool Behind = false;  // a frame was held in the last RateWindowMs
  std::deque<TRequest> Unanswered;
  std::deque<TRequest> Frames;  // every frame not known to be taken, request or not
  std::deque<TAnswer> Answers;     // recent ones, for the rate
  std::deque<TSample> RateSamples;  // the largest in the last RateWindowMs, decreasing
  double RateBytesPerMs = 0;
  bool Ramping = true;     // the link has not shown its rate yet
  double RampRate = 0;     // the rate when the measure last grew by RampGrowth
  int64_t RampSinceMs = 0;  // and when
  // While ramping: the least rate the link has shown by how fast bytes crossed, which holds a
  // window as after the ramp.
  double CrossingRate = 0;
  int64_t MinRoundTripMs = 0;  // 0 while unknown
  int64_t LateMs = 0;  // the latest answer from a terminal given up on at the start, after its request
};
