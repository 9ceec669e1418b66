// Flow control against simulated links: a terminal that drains at a set rate and answers after a
// set latency, one that answers at once, one that never answers, and one that loses an answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "terminal/FlowControl.h"

namespace {

// A link and terminal in 1 ms steps: bytes reach the terminal Latency ms after they are sent, at
// most Rate bytes a second; a request is answered once the terminal has taken everything up to it,
// and the answer reaches the show Latency ms later.
struct TSlowTerminal {
  TSlowTerminal(int64_t Rate, int64_t Latency) : RateBytesPerSecond(Rate), LatencyMs(Latency) {}
  int64_t RateBytesPerSecond;
  int64_t LatencyMs;
  bool Answers = true;
  int LoseAnswer = -1;  // the index of an answer that never arrives

  struct TChunk {
    int64_t SentMs;
    int64_t Bytes;
    bool Request;
  };
  std::deque<TChunk> OnTheWay;
  std::vector<int64_t> AnswersDue;
  int64_t Budget = 0;
  int AnswersSent = 0;
  std::vector<int64_t> FrameLagMs;  // per frame delivered: delivery time minus sending time
  int64_t Delivered = 0;

  void Send(int64_t NowMs, int64_t Bytes, bool Request) { OnTheWay.push_back({NowMs, Bytes, Request}); }

  // Moves the link on to NowMs; returns the answers reaching the show now.
  int Step(int64_t NowMs) {
    Budget = std::min(Budget + RateBytesPerSecond, RateBytesPerSecond * 20);  // per second of ms
    while (!OnTheWay.empty() && OnTheWay.front().SentMs + LatencyMs <= NowMs && Budget >= 1000) {
      TChunk& Chunk = OnTheWay.front();
      const int64_t Take = std::min(Chunk.Bytes, Budget / 1000);
      Chunk.Bytes -= Take;
      Budget -= Take * 1000;
      Delivered += Take;
      if (Chunk.Bytes > 0) break;
      FrameLagMs.push_back(NowMs - Chunk.SentMs);
      if (Chunk.Request && Answers && AnswersSent++ != LoseAnswer)
        AnswersDue.push_back(NowMs + LatencyMs);
      OnTheWay.pop_front();
    }
    const auto Due = std::partition(AnswersDue.begin(), AnswersDue.end(),
                                    [&](int64_t At) { return At > NowMs; });
    const int Count = int(AnswersDue.end() - Due);
    AnswersDue.erase(Due, AnswersDue.end());
    return Count;
  }
};

struct TRun {
  int Frames = 0, Written = 0, MostOutstanding = 0;
  bool AskingAtEnd = false;
  std::vector<int64_t> WrittenAtMs;
};

// Plays DurationMs of show at one frame per 16 ms, each FrameBytes long.
TRun Play(TSlowTerminal& Link, int64_t DurationMs, int64_t FrameBytes) {
  TFlowControl Flow;
  TRun Run;
  for (int64_t Now = 0; Now < DurationMs; ++Now) {
    Flow.Answered(Link.Step(Now), Now);
    if (Now % 16 != 0) continue;
    ++Run.Frames;
    if (!Flow.MaySend(Now)) continue;
    ++Run.Written;
    Run.WrittenAtMs.push_back(Now);
    const bool Ask = Flow.WantsRequest();
    Link.Send(Now, FrameBytes + (Ask ? 4 : 0), Ask);
    Flow.Sent(Now, Ask);
    Run.MostOutstanding = std::max(Run.MostOutstanding, Flow.Outstanding());
  }
  Run.AskingAtEnd = Flow.Asking();
  return Run;
}

int64_t Largest(const std::vector<int64_t>& Values, size_t From) {
  return *std::max_element(Values.begin() + std::ptrdiff_t(From), Values.end());
}

// 1 and 10 Mbit/s with 20 ms each way, 6 KB frames: the terminal never falls more than the few
// frames in flight behind, and the link stays busy.
TEST(FlowControlTest, SlowLinkStaysInTimeAndBusy) {
  for (int64_t Rate : {131072, 1310720}) {
    SCOPED_TRACE(Rate);
    TSlowTerminal Link(Rate, 20);
    const TRun Run = Play(Link, 20000, 6000);
    EXPECT_TRUE(Run.AskingAtEnd);
    EXPECT_LE(Run.MostOutstanding, TFlowControl::DefaultMaxOutstanding);
    // After the first second: frames arrive within the queue that the limit allows.
    const int64_t Queue = TFlowControl::DefaultMaxOutstanding * TFlowControl::DefaultFramesPerRequest *
                          6004 * 1000 / Rate;
    EXPECT_LE(Largest(Link.FrameLagMs, 70), Queue + 2 * Link.LatencyMs + 20);
    // Busy: close to the rate over the run, where the show asks for more than it carries.
    const double Asked = 6004.0 * 1000 / 16;
    EXPECT_GE(double(Link.Delivered), 0.85 * std::min(double(Rate), Asked) * 19);
    if (Rate == 131072) {
      EXPECT_LT(Run.Written, Run.Frames / 2);  // most frames dropped, as a video player would
    }
  }
}

// A terminal on this machine answers at once: not one frame is held back.
TEST(FlowControlTest, FastTerminalGetsEveryFrame) {
  TSlowTerminal Link(1 << 30, 1);
  const TRun Run = Play(Link, 20000, 9000);
  EXPECT_EQ(Run.Written, Run.Frames);
  EXPECT_TRUE(Run.AskingAtEnd);
  // Every second frame asks, the first at once.
  TFlowControl Flow;
  std::string Asks;
  for (int Frame = 0; Frame < 7; ++Frame) {
    Asks += Flow.WantsRequest() ? 'R' : '-';
    Flow.Sent(Frame * 16, Flow.WantsRequest());
  }
  EXPECT_EQ(Asks, "R-R-R-R");
}

// No answer within a second of the first request: no more requests, every frame written.
TEST(FlowControlTest, TerminalThatNeverAnswersIsNotWaitedFor) {
  TSlowTerminal Link(1 << 30, 1);
  Link.Answers = false;
  const TRun Run = Play(Link, 3000, 6000);
  EXPECT_EQ(Run.Written, Run.Frames);
  EXPECT_FALSE(Run.AskingAtEnd);

  // Answers only after the first second (a link too slow for the first frame) count as none.
  TFlowControl Flow;
  Flow.Sent(0, true);
  EXPECT_TRUE(Flow.MaySend(999));
  EXPECT_TRUE(Flow.Asking());
  EXPECT_TRUE(Flow.MaySend(1000));
  EXPECT_FALSE(Flow.Asking());
  Flow.Answered(1, 1200);
  for (int Frame = 0; Frame < 20; ++Frame) {
    EXPECT_FALSE(Flow.WantsRequest());
    Flow.Sent(1200 + Frame * 16, false);
    EXPECT_TRUE(Flow.MaySend(1200 + Frame * 16));
  }
  EXPECT_EQ(Flow.Outstanding(), 0);
}

// A lost answer or a stray one typed by hand changes the count, never freezes the picture.
TEST(FlowControlTest, LostAndStrayAnswers) {
  TSlowTerminal Link(131072, 20);
  Link.LoseAnswer = 40;
  const TRun Run = Play(Link, 30000, 6000);
  // Frames keep coming after the lost answer (the writes after 20 s prove it).
  EXPECT_GT(Run.WrittenAtMs.back(), 29000);

  TFlowControl Flow(2, 1);
  Flow.Sent(0, true);
  Flow.Answered(5, 10);  // more than were asked for
  EXPECT_EQ(Flow.Outstanding(), 0);
  Flow.Sent(20, true);
  Flow.Sent(36, true);
  EXPECT_FALSE(Flow.MaySend(40));
  EXPECT_FALSE(Flow.MaySend(10 + TFlowControl::LostAnswersMs - 1));
  EXPECT_TRUE(Flow.MaySend(10 + TFlowControl::LostAnswersMs));
}

}  // namespace
