#include "terminal/FlowControl.h"

#include <algorithm>

TFlowControl::TFlowControl(int MaxOutstanding_, int FramesPerRequest_)
    : MaxOutstanding(std::max(1, MaxOutstanding_)), FramesPerRequest(std::max(1, FramesPerRequest_)) {}

void TFlowControl::Update(int64_t NowMs) {
  if (State == TState::Probing && AnySent && NowMs - FirstSentMs >= FirstAnswerTimeoutMs) {
    State = TState::Silent;
    Pending = 0;
  }
  if (State == TState::Answering && Pending >= MaxOutstanding && NowMs - LastAnswerMs >= LostAnswersMs) {
    Pending = 0;
    LastAnswerMs = NowMs;
  }
}

bool TFlowControl::MaySend(int64_t NowMs) {
  Update(NowMs);
  // Until the first answer nothing is held back: a terminal that never answers must not stall.
  return State != TState::Answering || Pending < MaxOutstanding;
}

bool TFlowControl::WantsRequest() const {
  // The first frame asks at once; then every FramesPerRequest-th.
  return State != TState::Silent && (!AnySent || FramesSinceRequest + 1 >= FramesPerRequest);
}

void TFlowControl::Sent(int64_t NowMs, bool WithRequest) {
  Update(NowMs);
  if (State == TState::Silent) return;
  if (!WithRequest) {
    ++FramesSinceRequest;
    return;
  }
  FramesSinceRequest = 0;
  if (!AnySent) {
    AnySent = true;
    FirstSentMs = NowMs;
  }
  ++Pending;
}

void TFlowControl::Answered(int Count, int64_t NowMs) {
  if (Count <= 0 || State == TState::Silent) return;
  State = TState::Answering;
  LastAnswerMs = NowMs;
  Pending = std::max(0, Pending - Count);  // more answers than requests: someone typed one
}
