// Flow control against simulated links: a terminal that drains at a set rate and answers after a
// set latency, one that answers at once, one that never answers, one that stops answering and one
// that loses an answer.
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
  int64_t AnswerUntilMs = 1 << 30;  // no answer to a request that lands later

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
  std::vector<int64_t> FrameSentMs;
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
      FrameSentMs.push_back(Chunk.SentMs);
      if (Chunk.Request && Answers && NowMs < AnswerUntilMs && AnswersSent++ != LoseAnswer)
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
  int Frames = 0, Written = 0;
  bool AskingAtEnd = false;
  std::vector<int64_t> WrittenAtMs;
  int64_t Outstanding = 0;  // at the end
  int64_t DueMs = 0;        // when the flow control expects the last of their answers
  int64_t LastAnswerMs = 0;  // when it came
  std::vector<int64_t> DeliveredBySecond;  // bytes the terminal had taken at the end of each second
};

// Plays DurationMs of show at one frame per 16 ms, each FrameBytes long (every BigEvery-th twenty
// times as long: a redraw; a twentieth as long before LightUntilMs), then waits as the closing
// wait does for the answers in flight.
TRun Play(TSlowTerminal& Link, int64_t DurationMs, int64_t FrameBytes, int BigEvery = 0,
          int64_t LightUntilMs = 0) {
  TFlowControl Flow;
  TRun Run;
  int64_t Now = 0;
  for (; Now < DurationMs; ++Now) {
    Flow.Answered(Link.Step(Now), Now);
    if (Now % 1000 == 999) Run.DeliveredBySecond.push_back(Link.Delivered);
    if (Now % 16 != 0) continue;
    ++Run.Frames;
    if (!Flow.MaySend(Now)) continue;
    ++Run.Written;
    Run.WrittenAtMs.push_back(Now);
    const int64_t Bytes = Now < LightUntilMs                                  ? FrameBytes / 20
                          : BigEvery > 0 && Run.Frames % BigEvery == 0 ? 20 * FrameBytes
                                                                       : FrameBytes;
    const bool Ask = Flow.WantsRequest(Bytes);
    Link.Send(Now, Bytes + (Ask ? 4 : 0), Ask);
    Flow.Sent(Now, Bytes + (Ask ? 4 : 0), Ask);
  }
  Run.AskingAtEnd = Flow.Asking();
  Run.Outstanding = Flow.Outstanding();
  Run.DueMs = Flow.AnswersDueMs(Now);
  for (; Flow.Outstanding() > 0 && Now < DurationMs + 60000; ++Now) {
    const int Count = Link.Step(Now);
    if (Count > 0) Run.LastAnswerMs = Now;
    Flow.Answered(Count, Now);
  }
  return Run;
}

// The largest lag of the frames sent from FromMs on: the first answer takes a round trip, and
// what was sent before it (nothing is held) drains at the link's rate.
int64_t LargestLag(const TSlowTerminal& Link, int64_t FromMs) {
  const auto First = std::lower_bound(Link.FrameSentMs.begin(), Link.FrameSentMs.end(), FromMs);
  const auto Lags = Link.FrameLagMs.begin() + (First - Link.FrameSentMs.begin());
  return Lags == Link.FrameLagMs.end() ? -1 : *std::max_element(Lags, Link.FrameLagMs.end());
}

// From 256 kbit/s to a link with no limit, near and far, 6 KB frames: the terminal never falls
// more than a round trip and a tenth of a second (and a frame) behind, the link stays busy, and
// the closing wait expects the last answer in time, and not much earlier than it comes.
TEST(FlowControlTest, FramesInFlightFollowTheLink) {
  struct TCase {
    int64_t Rate, Latency;
  };
  for (const TCase Case : {TCase{32768, 50}, TCase{131072, 20}, TCase{1310720, 20}, TCase{1 << 30, 50},
                           TCase{1 << 30, 150}}) {
    SCOPED_TRACE(std::to_string(Case.Rate) + " B/s, " + std::to_string(Case.Latency) + " ms");
    TSlowTerminal Link(Case.Rate, Case.Latency);
    const TRun Run = Play(Link, 20000, 6000);
    EXPECT_TRUE(Run.AskingAtEnd);
    // After the first seconds: frames arrive within the queue that the flow control allows.
    const int64_t Frame = 6004 * 1000 / Case.Rate;
    EXPECT_LE(LargestLag(Link, 6000), 2 * Case.Latency + TFlowControl::AheadMs + 2 * Frame + 40);
    // Busy: close to the rate over the run, where the show asks for more than it carries.
    const double Asked = 6004.0 * 1000 / 16;
    EXPECT_GE(double(Link.Delivered), 0.85 * std::min(double(Case.Rate), Asked) * 19);
    if (Case.Rate == 131072) {
      EXPECT_LT(Run.Written, Run.Frames / 2);  // most frames dropped, as a video player would
    }
    ASSERT_GT(Run.Outstanding, 0);
    EXPECT_GE(Run.DueMs, Run.LastAnswerMs);
    EXPECT_LE(Run.DueMs, Run.LastAnswerMs + 2 * TFlowControl::CloseSlackMs + 2 * Frame);
  }
}

// After light frames the show turns heavy: near or far, within a second the link is busy, and
// learning its rate never lets the terminal fall more than a tenth of a second further behind.
TEST(FlowControlTest, FarLinkLearnsItsRateQuickly) {
  for (const int64_t Latency : {10, 50, 150}) {
    SCOPED_TRACE(std::to_string(Latency) + " ms");
    TSlowTerminal Link(131072, Latency);
    const TRun Run = Play(Link, 8000, 6000, 0, 2000);
    for (size_t Second = 3; Second < Run.DeliveredBySecond.size(); ++Second)
      EXPECT_GE(Run.DeliveredBySecond[Second] - Run.DeliveredBySecond[Second - 1], 0.9 * 131072)
          << Second;
    const int64_t Frame = 6004 * 1000 / 131072;
    EXPECT_LE(LargestLag(Link, 2000), 2 * Latency + TFlowControl::AheadMs + 2 * Frame + 40);
  }
}

// A terminal on this machine answers at once: not one frame is held back, not even after a
// redraw far larger than what the show wrote before.
TEST(FlowControlTest, FastTerminalGetsEveryFrame) {
  for (const int BigEvery : {0, 100}) {
    TSlowTerminal Link(1 << 30, BigEvery > 0 ? 10 : 1);
    const TRun Run = Play(Link, 20000, BigEvery > 0 ? 1000 : 9000, BigEvery);
    EXPECT_EQ(Run.Written, Run.Frames) << BigEvery;
    EXPECT_TRUE(Run.AskingAtEnd);
  }
  // Every second frame asks, the first at once.
  TFlowControl Flow;
  std::string Asks;
  for (int Frame = 0; Frame < 7; ++Frame) {
    Asks += Flow.WantsRequest() ? 'R' : '-';
    Flow.Sent(Frame * 16, 100, Flow.WantsRequest());
  }
  EXPECT_EQ(Asks, "R-R-R-R");
}

// No answer within a second of the first request: no more requests, every frame written. The
// closing wait still waits a while for the requests sent, and for answers as late as they came.
TEST(FlowControlTest, TerminalThatNeverAnswersIsNotWaitedFor) {
  TSlowTerminal Link(1 << 30, 1);
  Link.Answers = false;
  const TRun Run = Play(Link, 3000, 6000);
  EXPECT_EQ(Run.Written, Run.Frames);
  EXPECT_FALSE(Run.AskingAtEnd);

  // Answers only after the first second (a link too slow for the first frame) count as none.
  TFlowControl Flow;
  Flow.Sent(0, 6000, true);
  Flow.Sent(16, 6000, true);
  EXPECT_TRUE(Flow.MaySend(999));
  EXPECT_TRUE(Flow.Asking());
  EXPECT_EQ(Flow.AnswersDueMs(999), 16 + TFlowControl::UnansweredCloseWaitMs);
  EXPECT_TRUE(Flow.MaySend(1000));
  EXPECT_FALSE(Flow.Asking());
  Flow.Answered(1, 2500);
  for (int Frame = 0; Frame < 20; ++Frame) {
    EXPECT_FALSE(Flow.WantsRequest());
    Flow.Sent(2500 + Frame * 16, 6000, false);
    EXPECT_TRUE(Flow.MaySend(2500 + Frame * 16));
  }
  EXPECT_EQ(Flow.Outstanding(), 1);
  EXPECT_EQ(Flow.AnswersDueMs(2900), 16 + 2500 + TFlowControl::CloseSlackMs);
}

// A terminal that answers for ten seconds and then never again is given up on within about a
// second: every frame is written from then on. A lost answer (taken as the next one's, so the
// count is off by one for good) or a stray one typed by hand never freezes the picture.
TEST(FlowControlTest, StoppedLostAndStrayAnswers) {
  for (const int LoseAnswer : {-1, 40}) {
    SCOPED_TRACE(LoseAnswer);
    TSlowTerminal Link(131072, 20);
    Link.LoseAnswer = LoseAnswer;
    Link.AnswerUntilMs = LoseAnswer < 0 ? 10000 : 1 << 30;
    const TRun Run = Play(Link, 20000, 6000);
    const auto After = [&](int64_t Ms) {
      return Run.WrittenAtMs.end() - std::lower_bound(Run.WrittenAtMs.begin(), Run.WrittenAtMs.end(), Ms);
    };
    if (LoseAnswer < 0) {
      EXPECT_FALSE(Run.AskingAtEnd);
      EXPECT_EQ(After(11300), (20000 + 15) / 16 - (11300 + 15) / 16);  // every frame
    }
    EXPECT_GT(After(19000), 10);
  }
  TFlowControl Flow;
  Flow.Sent(0, 100, true);
  Flow.Answered(5, 10);  // more than were asked for
  EXPECT_EQ(Flow.Outstanding(), 0);
  EXPECT_TRUE(Flow.Answering());
}

}  // namespace
