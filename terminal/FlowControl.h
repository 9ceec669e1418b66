// Flow control by the terminal's own answers. After every few frames the show asks for a status
// report (CSI 5 n), which a terminal answers (CSI 0 n) once it has processed everything before it.
// While too many requests are unanswered, frames are held back: the show's clock and music go on,
// and the next frame written is encoded against what was last written, so a slow link carries
// fewer frames instead of a growing backlog of old ones. A terminal that does not answer the
// first request within a second is never asked again and every frame is written, as without.
#pragma once

#include <cstdint>

class TFlowControl {
 public:
  static constexpr const char* Request = "\x1b[5n";
  // Every second frame carries a request, and three unanswered hold frames back: about 100 ms of
  // show at 16 ms a frame, with half the answers (each wakes the key reader) of one a frame.
  static constexpr int DefaultMaxOutstanding = 3;
  static constexpr int DefaultFramesPerRequest = 2;
  static constexpr int64_t FirstAnswerTimeoutMs = 1000;
  // No answer at all for this long while frames are held: the answers are taken as lost and the
  // count starts again, so a dropped answer cannot freeze the picture for good.
  static constexpr int64_t LostAnswersMs = 5000;

  explicit TFlowControl(int MaxOutstanding = DefaultMaxOutstanding,
                        int FramesPerRequest = DefaultFramesPerRequest);

  bool MaySend(int64_t NowMs);       // whether a frame may be written now
  bool WantsRequest() const;         // the next frame written carries Request after it
  void Sent(int64_t NowMs, bool WithRequest);  // a frame went out, with Request or without
  void Answered(int Count, int64_t NowMs);  // Count status reports arrived
  bool Asking() const { return State != TState::Silent; }  // requests go out with frames
  bool Answering() const { return State == TState::Answering; }  // the terminal has answered
  int Outstanding() const { return Pending; }              // requests not answered yet

 private:
  enum class TState { Probing, Answering, Silent };
  void Update(int64_t NowMs);

  int MaxOutstanding;
  int FramesPerRequest;
  int FramesSinceRequest = 0;  // frames written since the last one that carried a request
  TState State = TState::Probing;
  int Pending = 0;
  bool AnySent = false;
  int64_t FirstSentMs = 0;
  int64_t LastAnswerMs = 0;
};
