#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/ConsoleTimeline.h"

namespace {

using TLog = std::vector<std::string>;

// Counter readings given one by one; Sleep only counts.
class TScriptClock final : public IClock {
 public:
  int64_t Frequency() const override { return 1000000; }
  int64_t Counter() override {
    if (!Readings.empty()) {
      Now = Readings.front();
      Readings.pop_front();
    }
    return Now;
  }
  void Sleep(int Ms) override {
    ++Sleeps;
    Slept.push_back(Ms);
  }
  std::deque<int64_t> Readings;
  int64_t Now = 0;
  int Sleeps = 0;
  std::vector<int> Slept;  // ms asked for, sleep by sleep
};

class TFakeAudio final : public IAudio {
 public:
  bool Init(int Rate) override {
    InitRate = Rate;
    return true;
  }
  TStream OpenFile(const std::string& Name) override { return Name == "music.ogg" ? 7 : 0; }
  bool Play(TStream) override { return ++Plays, true; }
  uint64_t SecondsToPosition(TStream, float Seconds) override { return uint64_t(Seconds * 1000); }
  bool SetPosition(TStream, uint64_t Position) override {
    Positions.push_back(Position);
    return true;
  }
  bool GetSpectrum512(TStream Stream, float* Out) override {
    if (Stream == 0) return false;
    for (int I = 0; I < 256; ++I) Out[I] = 1.0f;
    return true;
  }
  void Free() override {
    if (Log) Log->push_back("audio free");
  }
  int InitRate = 0;
  int Plays = 0;
  std::vector<uint64_t> Positions;
  TLog* Log = nullptr;
};

class TLoggingScene final : public TConsoleScene {
 public:
  TLoggingScene(std::string Name_, int32_t Start, int32_t Length, TLog& Log_)
      : Name(std::move(Name_)), Log(Log_) {
    StartTime = Start;
    Duration = Length;
  }
  ~TLoggingScene() override { Log.push_back(Name + " destroyed"); }
  void Render() override {
    Log.push_back(Name + " render " + std::to_string(Elapsed));
    if (OnRender) OnRender(*this);
  }
  void Enter() override {
    TConsoleScene::Enter();
    Log.push_back(Name + " enter");
  }
  void Advance(int32_t DeltaMs) override {
    TConsoleScene::Advance(DeltaMs);
    if (LogAdvance) Log.push_back(Name + " advance " + std::to_string(DeltaMs));
  }
  void Leave() override { Log.push_back(Name + " leave"); }

  std::string Name;
  TLog& Log;
  bool LogAdvance = false;
  std::function<void(TLoggingScene&)> OnRender;
};

class TLoggingScreen final : public IScreen {
 public:
  explicit TLoggingScreen(TLog& Log_) : Log(Log_) {}
  void Open(const std::string& T, bool) override { Title = T; }
  void Present(std::span<const TCharInfo>, const TFrameRecord&) override {}
  void SetTitle(const std::string& T) override { Title = T; }
  void Close() override { Log.push_back("console closed"); }
  TLog& Log;
  std::string Title;
};

// A console timeline with scenes of the given spans, on a clock that moves 16 ms per frame.
struct TRig {
  TLog Log;
  TLoggingScreen Screen{Log};
  TManualClock Clock;
  TScriptedKeyboard Keys;
  TFakeAudio Audio;
  std::unique_ptr<TConsoleTimeline> Timeline;
  std::vector<TLoggingScene*> Scenes;

  explicit TRig(std::vector<std::pair<int32_t, int32_t>> Spans, bool Benchmark = false,
                std::string Music = "") {
    Timeline = std::make_unique<TConsoleTimeline>(std::make_unique<TConsole>(Screen, "vorlek", false),
                                                  Benchmark, Music,
                                                  TTimelinePlatform{Clock, Keys, Audio});
    char Name = 'A';
    for (auto [Start, Length] : Spans) {
      auto Scene = std::make_unique<TLoggingScene>(std::string(1, Name++), Start, Length, Log);
      Scenes.push_back(Scene.get());
      Timeline->AddScene(std::move(Scene));
    }
  }
  // Log entries that match Prefix, in order.
  TLog Filter(const std::string& Prefix) const {
    TLog Out;
    for (auto& Line : Log)
      if (Line.rfind(Prefix, 0) == 0) Out.push_back(Line);
    return Out;
  }
};

TEST(TimelineTest, RoundsHalvesToEven) {
  EXPECT_EQ(RoundMs(1234.5f), 1234);
  EXPECT_EQ(RoundMs(1235.5f), 1236);
  EXPECT_EQ(RoundMs(-0.5f), 0);
}

TEST(TimelineTest, SwitchesInTheFrameThatReachesTheBoundary) {
  TRig Rig({{0, 10000}, {10000, 16000}});
  Rig.Scenes[0]->LogAdvance = Rig.Scenes[1]->LogAdvance = true;
  Rig.Scenes[1]->OnRender = [&](TLoggingScene&) { Rig.Keys.Press(TKey::Escape); };
  Rig.Timeline->Run();
  // 625 frames of 16 ms reach exactly 10000: the first scene renders it, then the second enters.
  auto A = Rig.Filter("A render");
  ASSERT_EQ(A.size(), 625u);
  EXPECT_EQ(A.back(), "A render 9984");
  TLog Tail(Rig.Log.end() - 7, Rig.Log.end());
  EXPECT_EQ(Tail, (TLog{"A render 9984", "A advance 16", "A leave", "B enter", "B advance 0",
                        "B render 0", "B advance 16"}));
  EXPECT_EQ(Rig.Timeline->Current, Rig.Scenes[1]);
  // Escape after the render: no Leave for the second scene.
  EXPECT_TRUE(Rig.Filter("B leave").empty());
  EXPECT_FALSE(Rig.Timeline->Running);
}

TEST(TimelineTest, StartsAtTheFirstSceneWithItsEnterAndAdvance) {
  TRig Rig({{500, 1000}});
  Rig.Scenes[0]->LogAdvance = true;
  Rig.Scenes[0]->OnRender = [&](TLoggingScene&) { Rig.Keys.Press(TKey::Escape); };
  Rig.Timeline->Run();
  EXPECT_EQ(Rig.Log, (TLog{"A enter", "A advance -500", "A render 0", "A advance 16"}));
  EXPECT_FLOAT_EQ(Rig.Timeline->Time, 516.0f);
  EXPECT_EQ(Rig.Scenes[0]->Elapsed, 16);
}

TEST(TimelineTest, PassesSeveralScenesInOneFrame) {
  TRig Rig({{0, 100}, {100, 100}, {200, 100}, {300, 1000}});
  Rig.Scenes[0]->OnRender = [&](TLoggingScene&) {
    if (Rig.Clock.Now < 100000) Rig.Clock.Now += 300000;  // one long frame
  };
  Rig.Scenes[3]->OnRender = [&](TLoggingScene&) { Rig.Keys.Press(TKey::Escape); };
  Rig.Timeline->Run();
  TLog Switches;
  for (auto& Line : Rig.Log)
    if (Line.find("render") == std::string::npos) Switches.push_back(Line);
  EXPECT_EQ(Switches, (TLog{"A enter", "A leave", "B enter", "B leave", "C enter", "C leave",
                            "D enter"}));
  EXPECT_EQ(Rig.Filter("D render"), (TLog{"D render 16"}));  // 316 ms - 300 ms
}

TEST(TimelineTest, EndsAfterTheLastSceneWithItsLeave) {
  TRig Rig({{0, 160}, {160, 160}});
  Rig.Timeline->Run();
  EXPECT_EQ(Rig.Filter("A render").size(), 10u);
  EXPECT_EQ(Rig.Filter("B render").size(), 10u);
  EXPECT_EQ(Rig.Log.back(), "B leave");
  EXPECT_FALSE(Rig.Timeline->Running);
  EXPECT_EQ(Rig.Timeline->CurrentIndex, 2);
}

TEST(TimelineTest, LeftStopsAtTheFirstScenesStart) {
  TRig Rig({{1000, 5000}});
  int Frames = 0;
  Rig.Scenes[0]->OnRender = [&](TLoggingScene& S) {
    ++Frames;
    if (S.Elapsed == 400) Rig.Keys.Press(TKey::Left);
    if (Frames == 40) Rig.Keys.Press(TKey::Escape);
  };
  float AfterLeft = -1;
  Rig.Timeline->AfterFrame = [&](const TFrameRecord& Frame) {
    if (AfterLeft < 0 && Frame.ShownMs - 1000 == 416) AfterLeft = Rig.Timeline->Time;
  };
  Rig.Timeline->Run();
  EXPECT_FLOAT_EQ(AfterLeft, 1000.0f);
}

TEST(TimelineTest, LeftInTheSecondSceneStepsBackAFrameLater) {
  TRig Rig({{0, 1000}, {1000, 1000}}, false, "music.ogg");
  Rig.Scenes[0]->LogAdvance = true;
  bool Pressed = false;
  Rig.Scenes[1]->OnRender = [&](TLoggingScene& S) {
    // Put the clock 300 ms into the scene, then press Left.
    if (!Pressed && S.Elapsed >= 0) {
      Rig.Timeline->Time = 1300;
      Rig.Keys.Press(TKey::Left);
      Pressed = true;
    }
  };
  float TimeAfterKey = 0;
  int Frame = 0;
  Rig.Timeline->AfterFrame = [&](const TFrameRecord&) {
    if (Pressed && ++Frame == 1) TimeAfterKey = Rig.Timeline->Time;
    if (Frame == 2) Rig.Keys.Press(TKey::Escape);
  };
  Rig.Timeline->Run();
  EXPECT_FLOAT_EQ(TimeAfterKey, 300.0f);
  EXPECT_EQ(Rig.Audio.Positions.back(), 300u);
  TLog Tail(Rig.Log.end() - 5, Rig.Log.end());
  EXPECT_EQ(Tail, (TLog{"B leave", "A enter", "A advance 316", "A render 316", "A advance 16"}));
}

TEST(TimelineTest, RightInTheLastSecondEndsTheShowNextFrame) {
  TRig Rig({{0, 2000}});
  Rig.Scenes[0]->OnRender = [&](TLoggingScene& S) {
    if (S.Elapsed == 1504) Rig.Keys.Press(TKey::Right);
  };
  Rig.Timeline->Run();
  // The frame after the key still renders (with the old Elapsed), then the scene ends.
  EXPECT_EQ(Rig.Filter("A render").back(), "A render 1520");
  EXPECT_EQ(Rig.Log.back(), "A leave");
}

TEST(TimelineTest, PacesFramesAtLeastSixteenMillisecondsApart) {
  TLog Log;
  TLoggingScreen Screen{Log};
  TScriptClock Clock;
  Clock.Readings = {0, 2500, 16000};
  TScriptedKeyboard Keys;
  TFakeAudio Audio;
  TConsoleTimeline Timeline(std::make_unique<TConsole>(Screen, "vorlek", false), false, "",
                            TTimelinePlatform{Clock, Keys, Audio});
  auto Scene = std::make_unique<TLoggingScene>("A", 0, 1000, Log);
  Scene->OnRender = [&](TLoggingScene&) { Keys.Press(TKey::Escape); };
  Timeline.AddScene(std::move(Scene));
  Timeline.Run();
  EXPECT_EQ(Clock.Slept, std::vector<int>{14});  // straight to the deadline, rounded up
  EXPECT_EQ(Log, (TLog{"A enter", "A render 0"}));
  EXPECT_FLOAT_EQ(Timeline.Time, 16.0f);
}

TEST(TimelineTest, AnyGapBetweenFramesMovesTheShowOn) {
  // A counter in microseconds; a frame loop that only sleeps from some point on fails the test
  // instead of hanging it.
  class TGuardedClock final : public IClock {
   public:
    int64_t Frequency() const override { return 1000000; }
    int64_t Counter() override { return Now; }
    void Sleep(int Ms) override {
      Now += Ms * 1000;
      if (++Sleeps > 1000000) throw std::runtime_error("the frame loop only sleeps");
    }
    int64_t Now = 0;
    int Sleeps = 0;
  };
  // A stop of half a minute, one past what 32-bit microseconds hold, and one no product of the
  // counter with a million fits in.
  for (int64_t GapUs : {int64_t(30) * 1000000, int64_t(2200) * 1000000, int64_t(1) << 60}) {
    TLog Log;
    TLoggingScreen Screen{Log};
    TGuardedClock Clock;
    TScriptedKeyboard Keys;
    TFakeAudio Audio;
    TConsoleTimeline Timeline(std::make_unique<TConsole>(Screen, "vorlek", false), false, "",
                              TTimelinePlatform{Clock, Keys, Audio});
    auto Scene = std::make_unique<TLoggingScene>("A", 0, 92000, Log);
    int Frames = 0;
    Scene->OnRender = [&](TLoggingScene&) {
      if (++Frames == 3) Clock.Now += GapUs;
      if (Frames == 5) Keys.Press(TKey::Escape);
    };
    Timeline.AddScene(std::move(Scene));
    ASSERT_NO_THROW(Timeline.Run()) << GapUs;
    if (GapUs < 92000000) {
      EXPECT_EQ(Log, (TLog{"A enter", "A render 0", "A render 16", "A render 32", "A render 48",
                           "A render 30048"}));
    } else {
      // The frame that measured the gap still renders; then the show is past its end.
      EXPECT_EQ(Log, (TLog{"A enter", "A render 0", "A render 16", "A render 32", "A render 48",
                           "A leave"})) << GapUs;
    }
  }
}

TEST(TimelineTest, BenchmarkStatusComesOnceMoreThanASecondHasPassed) {
  TLog Log;
  TLoggingScreen Screen{Log};
  TScriptClock Clock;
  Clock.Readings = {0, 250000, 500000, 750000, 1000000, 1250000, 1500000};
  TScriptedKeyboard Keys;
  TFakeAudio Audio;
  TConsoleTimeline Timeline(std::make_unique<TConsole>(Screen, "vorlek", false), true, "",
                            TTimelinePlatform{Clock, Keys, Audio});
  auto Scene = std::make_unique<TLoggingScene>("A", 0, 100000, Log);
  int Frames = 0;
  std::vector<std::string> Titles;
  Scene->OnRender = [&](TLoggingScene&) {
    Titles.push_back(Screen.Title);
    if (++Frames == 6) Keys.Press(TKey::Escape);
  };
  Timeline.AddScene(std::move(Scene));
  Timeline.Run();
  EXPECT_EQ(Clock.Sleeps, 0);
  // Exactly one second does not count; the fifth frame (1.25 s) reports five frames.
  EXPECT_EQ(Titles, (std::vector<std::string>{"vorlek", "vorlek", "vorlek", "vorlek",
                                              "time: 1250; fps: 5", "time: 1250; fps: 5"}));
  Timeline.Time = 1234.5f;
  Timeline.Fps = 60;
  EXPECT_EQ(Timeline.StatusText(), "time: 1234; fps: 60");
  Timeline.Time = 1235.5f;
  EXPECT_EQ(Timeline.StatusText(), "time: 1236; fps: 60");
  Timeline.Time = -3.0f;
  EXPECT_EQ(Timeline.StatusText(), "time: -3; fps: 60");
}

TEST(TimelineTest, SpectrumFeedsSmoothedLevels) {
  TRig Rig({{0, 1000}}, false, "music.ogg");
  std::vector<float> Lows;
  Rig.Scenes[0]->OnRender = [&](TLoggingScene& S) {
    Lows.push_back(S.LowLevel);
    if (Lows.size() == 2) {
      EXPECT_FLOAT_EQ(S.MidLevel, 75.75f);
      EXPECT_FLOAT_EQ(S.HighLevel, 42.0f);  // bins 200..255 only: 56 per frame
      for (int I = 256; I < 512; ++I) ASSERT_EQ(S.Spectrum[size_t(I)], 0.0f) << I;
      Rig.Keys.Press(TKey::Escape);
    }
  };
  Rig.Timeline->Run();
  EXPECT_EQ(Lows, (std::vector<float>{50.5f, 75.75f}));
  EXPECT_EQ(Rig.Audio.InitRate, 44100);
  EXPECT_EQ(Rig.Audio.Plays, 1);
  EXPECT_EQ(Rig.Audio.Positions, (std::vector<uint64_t>{0}));  // positioned once at the start
}

TEST(TimelineTest, WithoutMusicLevelsStayZero) {
  TRig Rig({{0, 1000}}, false, "missing.ogg");
  Rig.Scenes[0]->OnRender = [&](TLoggingScene& S) {
    EXPECT_EQ(S.LowLevel, 0.0f);
    if (S.Elapsed > 100) Rig.Keys.Press(TKey::Escape);
  };
  Rig.Timeline->Run();
  EXPECT_EQ(Rig.Timeline->Stream, 0u);
  EXPECT_EQ(Rig.Audio.Plays, 0);
  EXPECT_TRUE(Rig.Audio.Positions.empty());
}

TEST(TimelineTest, DestroysConsoleThenAudioThenScenesInOrder) {
  auto Rig = std::make_unique<TRig>(std::vector<std::pair<int32_t, int32_t>>{{0, 10}, {10, 10}});
  Rig->Audio.Log = &Rig->Log;
  Rig->Timeline.reset();
  EXPECT_EQ(Rig->Log, (TLog{"console closed", "audio free", "A destroyed", "B destroyed"}));
}

// The console goes to each scene as it is added; watchers get the frame's part, the time it shows,
// the show's end and whether music plays, and can stop the run.
TEST(TimelineTest, HandsScenesTheConsoleAndWatchersARecordOfEachFrame) {
  TRig Rig({{0, 32}, {32, 32}}, false, "music.ogg");
  for (TLoggingScene* Scene : Rig.Scenes) EXPECT_EQ(Scene->Console, Rig.Timeline->Console.get());
  const TFrameRecord Before = Rig.Timeline->Record();
  EXPECT_EQ(Before.Part, -1);
  EXPECT_EQ(Before.PartCount, 2);
  EXPECT_EQ(Before.EndMs, 64);
  EXPECT_TRUE(Before.MusicPlays);
  std::vector<std::pair<int32_t, int32_t>> Seen;  // part and time shown, after each frame
  Rig.Timeline->AfterFrame = [&](const TFrameRecord& Frame) {
    EXPECT_EQ(Frame.PartCount, 2);
    EXPECT_EQ(Frame.EndMs, 64);
    EXPECT_TRUE(Frame.MusicPlays);
    Seen.emplace_back(Frame.Part, Frame.ShownMs);
    if (Seen.size() == 3) Rig.Timeline->Stop();
  };
  Rig.Timeline->Run();
  // The second frame reaches 32 ms and switches to B before the watcher sees it.
  EXPECT_EQ(Seen, (std::vector<std::pair<int32_t, int32_t>>{{0, 16}, {1, 32}, {1, 48}}));
  EXPECT_EQ(Rig.Filter("B render"), (TLog{"B render 0"}));  // stopped after B's first frame

  TRig Silent({{0, 32}}, false, "missing.ogg");
  EXPECT_FALSE(Silent.Timeline->Record().MusicPlays);
}

}  // namespace

#include "system/FloatControl.h"

namespace {
TEST(FloatControlTest, ShowRunsUnderTheControlWord) {
  SetFloatControlWord();
#if defined(__i386__) || defined(__x86_64__)
  EXPECT_EQ(GetFloatControlWord() & 0x1F3F, 0x103F);
#endif
  // Float maths keeps rounding halves to even.
  EXPECT_EQ(RoundMs(2.5f), 2);
  EXPECT_EQ(RoundMs(3.5f), 4);
}
}  // namespace
