#include "harness/FarEnd.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace {

constexpr std::pair<std::string_view, TMark> Watched[] = {
    {"\x1b[?2026h", TMark::FrameOpen},     {"\x1b[?2026l", TMark::FrameClose},
    {"\x1b[5n", TMark::StatusRequest},     {"\x1b[16t", TMark::CellSizeRequest},
    {"\x1b[6n", TMark::CursorRequest},     {"\x1b[?1049l", TMark::GiveBack},
};

}  // namespace

TMark TStreamScanner::Add(char Byte) {
  TMark Found = Match(Byte);
  if (Found == TMark::FrameOpen) {
    InFrame = true;
  } else if (Found == TMark::FrameClose) {
    if (!InFrame) return TMark::None;
    InFrame = false;
  }
  return Found;
}

// Each watched sequence starts with ESC and holds no other, so a match can only start at the last
// ESC seen: the bytes since it are all the state there is.
TMark TStreamScanner::Match(char Byte) {
  if (Byte == '\x1b') {
    Pending.assign(1, Byte);
    return TMark::None;
  }
  if (Pending.empty()) return TMark::None;
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
  return TMark::None;
}

void TSlowLink::Send(const char* Bytes, size_t Size, double Now) {
  Queue.push_back({std::string(Bytes, Size), 0, Now});
  Queued += Size;
  MaxQueued = std::max(MaxQueued, Queued);
}

std::string TSlowLink::Land(double Now) {
  if (Idle && Rate > 0) {
    const double Until = Ready(Now) ? Queue.front().SentAt + Latency : Now;
    if (!IdleSpans.empty() && IdleSpans.back().second >= LastLand)
      IdleSpans.back().second = std::max(IdleSpans.back().second, Until);
    else if (Until > LastLand)
      IdleSpans.emplace_back(LastLand, Until);
  }
  // Credit for the time since the last call; an idle link earns none until its next byte is due.
  if (!Idle)
    Tokens += (Now - LastLand) * Rate;
  else if (Ready(Now))
    Tokens += (Now - (Queue.front().SentAt + Latency)) * Rate;
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

double TSlowLink::IdleSeconds(double From, double To) const {
  double Seconds = 0;
  for (const auto& [Begin, End] : IdleSpans)
    Seconds += std::max(0.0, std::min(End, To) - std::max(Begin, From));
  return Seconds;
}

double TSlowLink::NextLanding(double Now) const {
  if (Queue.empty()) return Never;
  if (!Ready(Now)) return Queue.front().SentAt + Latency;
  return Rate > 0 ? Now + TickSeconds : Now;
}

TFarEnd::TFarEnd(TPtyOptions Pty, TFarEndOptions Options_, TVTermScreen* Screen_)
    : Show(std::move(Pty)), Options(std::move(Options_)), Screen(Screen_),
      Start(std::chrono::steady_clock::now()), Link(Options.Rate, Options.Latency) {
  std::stable_sort(Options.Keys.begin(), Options.Keys.end(),
                   [](const auto& A, const auto& B) { return A.first < B.first; });
}

int TFarEnd::Finish(double Seconds) {
  int Status = -1;
  const bool Done = RunUntil(Seconds, [&] { return Closed && Link.Empty() && Outbox.empty(); });
  return Done && Show.Ended(Status) ? Status : -1;
}

int TFarEnd::Count(const std::vector<double>& Times, double From, double To) {
  return int(std::count_if(Times.begin(), Times.end(), [&](double T) { return T >= From && T < To; }));
}

void TFarEnd::Mark(TMarks& Marks, TMark Found, double At) {
  switch (Found) {
    case TMark::FrameOpen: Marks.FrameOpens.push_back(At); break;
    case TMark::FrameClose: Marks.FrameCloses.push_back(At); break;
    case TMark::StatusRequest: Marks.StatusRequests.push_back(At); break;
    case TMark::CellSizeRequest: Marks.CellSizeRequests.push_back(At); break;
    case TMark::CursorRequest: break;
    case TMark::GiveBack: Marks.GiveBacks.push_back(At); break;
    case TMark::None: break;
  }
}

void TFarEnd::Answer(double At, const std::string& Bytes, TMark Request) {
  if (Options.AnswerSplit <= 0) {
    Outbox.emplace(At, std::pair{Bytes, Request});
    return;
  }
  // Queued after the rest of the answer before (equal times keep their order).
  At = std::max(At, AnswersWholeAt);
  AnswersWholeAt = At + Options.AnswerSplit;
  Outbox.emplace(At, std::pair{Bytes.substr(0, 1), Request});
  Outbox.emplace(AnswersWholeAt, std::pair{Bytes.substr(1), Request});
}

void TFarEnd::Step(double Until) {
  double Time = Now();

  // Answers and keys that reach the terminal's input now. Answers go on after the show's end
  // (whoever reads the terminal then gets them); keys stop.
  while (!Outbox.empty() && Outbox.begin()->first <= Time) {
    const auto& [Bytes, Kind] = Outbox.begin()->second;
    if (Kind != TMark::None || !Closed) {
      if (!Show.Type(Bytes)) ++LostWrites;
      if (Kind == TMark::None) {
        KeyTimes.push_back(Time);
        if (Bytes == "\x1b" && !EscapeAt) EscapeAt = Time;
      } else if (Bytes != "\x1b") {  // a split answer counts once whole
        ++Answered;
        if (Kind == TMark::StatusRequest) ++StatusAnswered;
      }
    }
    Outbox.erase(Outbox.begin());
  }

  // Bytes that land at the terminal now.
  const std::string Bytes = Link.Land(Time);
  size_t Fed = 0;  // of Bytes, to the screen
  for (size_t At = 0; At < Bytes.size(); ++At) {
    const TMark Found = DrawnScanner.Add(Bytes[At]);
    Mark(Drawn, Found, Time);
    if (Found == TMark::FrameClose && !ClosesInFlight.empty()) {
      FrameLag.push_back(Time - ClosesInFlight.front());
      ClosesInFlight.pop_front();
      continue;
    }
    const double Due = Time + Options.AnswerDelay + Options.Latency;
    if (Time - FirstFrameAt >= Options.AnswerUntil) continue;
    if (Found == TMark::StatusRequest && Options.AnswerStatus)
      Answer(Due, "\x1b[0n", TMark::StatusRequest);
    else if (Found == TMark::CellSizeRequest && !Options.CellSizeAnswer.empty())
      Answer(Due, Options.CellSizeAnswer, TMark::CellSizeRequest);
    if (Found == TMark::CursorRequest && Options.AnswerCursor && Screen) {
      Screen->Feed(Bytes.substr(Fed, At + 1 - Fed));
      Fed = At + 1;
      const auto [Row, Column] = Screen->Cursor();
      Answer(Due, "\x1b[" + std::to_string(Row + 1) + ";" + std::to_string(Column + 1) + "R",
             TMark::CursorRequest);
    }
  }
  LandedBytes += Bytes.size();
  if (Screen) Screen->Feed(Bytes.substr(Fed));

  int Status = 0;
  if (EndedAt < 0 && Show.Ended(Status)) EndedAt = Time;
  if (EndedAt < 0 && Options.KillAfter > 0 && Time > Options.KillAfter && !Killed) {
    Show.Signal(SIGKILL);
    Killed = true;
  }

  // Wait for the show's bytes or the next landing, answer or key, a few milliseconds at most so
  // that the caller's condition is looked at often.
  double Next = std::min({Link.NextLanding(Time), Time + 0.005, Until});
  if (!Outbox.empty()) Next = std::min(Next, Outbox.begin()->first);
  const int Ms = int(std::ceil(std::max(0.0, Next - Time) * 1000));
  const size_t Room = Options.Window == 0 ? size_t(65536)
                                          : Options.Window - std::min(Options.Window, Link.QueuedBytes());
  if (Closed || Room == 0) {
    poll(nullptr, 0, Ms);
    return;
  }
  const size_t Before = Show.Output.size();
  if (!Show.ReadSome(Ms, Room)) {
    // Read to the end once the show has ended (and no other holds the terminal).
    if (EndedAt >= 0) Closed = true;
    return;
  }
  // Everything the terminal holds now, as the link reads it.
  while (Show.Output.size() - Before < Room && Show.ReadSome(0, Room - (Show.Output.size() - Before))) {
  }
  Time = Now();
  for (size_t I = Before; I < Show.Output.size(); ++I) {
    const TMark Found = WrittenScanner.Add(Show.Output[I]);
    Mark(Written, Found, Time);
    if (Found == TMark::FrameOpen && FirstFrameAt == TSlowLink::Never) {
      // The show's clock starts: the keys are typed on it, and reach the show one latency later.
      FirstFrameAt = Time;
      for (const auto& [At, Key] : Options.Keys) Outbox.emplace(Time + At + Options.Latency, std::pair{Key, TMark::None});
    } else if (Found == TMark::FrameClose) {
      ClosesInFlight.push_back(Time);
    }
  }
  Link.Send(Show.Output.data() + Before, Show.Output.size() - Before, Time);
}
