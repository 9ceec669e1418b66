#include "driver/Timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

int32_t RoundMs(float Time) { return int32_t(std::lrintf(Time)); }

int32_t ElapsedUs(int64_t Ticks, int64_t Frequency) {
  constexpr int64_t Most = std::numeric_limits<int32_t>::max();
  if (Ticks <= 0 || Frequency <= 0) return 0;
  // Saturated before any product could overflow, however long the gap.
  if (Ticks / Frequency > Most / 1000000) return int32_t(Most);
  return int32_t(std::min(ScaleTicks(Ticks, 1000000, Frequency), Most));
}

void TTimeScene::UpdateLevels() {
  // Bins 100 and 200 count in two bands each.
  float S1 = 0, S2 = 0, S3 = 0;
  for (int I = 0; I <= 100; ++I) {
    S1 += Spectrum[I];
    S2 += Spectrum[I + 100];
    S3 += Spectrum[I + 200];
  }
  LowLevel = (LowLevel + S1) / 2;
  MidLevel = (MidLevel + S2) / 2;
  HighLevel = (HighLevel + S3) / 2;
}

TTimeline::TTimeline(bool BenchmarkMode_, const std::string& MusicFile,
                     const TTimelinePlatform& Platform_)
    : BenchmarkMode(BenchmarkMode_), Platform(Platform_) {
  Time = 0;
  Running = false;
  Frequency = Platform.Clock.Frequency();
  Platform.Audio.Init(44100);
  LoadMusic(MusicFile);
}

TTimeline::~TTimeline() {
  Platform.Audio.Free();
  for (auto& Scene : Scenes) Scene.reset();
}

void TTimeline::AddScene(std::unique_ptr<TTimeScene> Scene) {
  Scenes.push_back(std::move(Scene));
  ++SceneCount;
}

TFrameRecord TTimeline::Record() const {
  TFrameRecord Frame;
  Frame.PartCount = SceneCount;
  if (Current) {
    Frame.Part = CurrentIndex;
    Frame.ShownMs = Current->StartTime + Current->Elapsed;
  }
  if (!Scenes.empty()) Frame.EndMs = Scenes.back()->EndTime();
  Frame.MusicPlays = Stream != 0;
  return Frame;
}

void TTimeline::Stop() { Running = false; }

void TTimeline::LoadMusic(const std::string& FileName) {
  Stream = 0;
  if (!FileName.empty()) Stream = Platform.Audio.OpenFile(FileName);
}

void TTimeline::SeekMusic() {
  if (Stream == 0) return;
  float Seconds = Time / 1000;
  Platform.Audio.SetPosition(Stream, Platform.Audio.SecondsToPosition(Stream, Seconds));
}

void TTimeline::SelectScene() {
  if (Current) Current->Leave();
  if (CurrentIndex >= SceneCount) {
    Running = false;
    return;
  }
  Current = Scenes[size_t(CurrentIndex)].get();
  Current->Enter();
  Current->Advance(RoundMs(Time) - Current->StartTime);
}

bool TTimeline::HandleKeys() {
  if (Platform.Keyboard.KeyState(TKey::Right)) {
    Time = Time + 1000;
    SeekMusic();
  }
  if (Platform.Keyboard.KeyState(TKey::Left)) {
    float Lower = CurrentIndex == 0 ? float(Current->StartTime) : 0.0f;
    float T = Time - 1000;
    if (Lower > T) T = Lower;
    Time = T;
    SeekMusic();
  }
  return !Platform.Keyboard.KeyState(TKey::Escape);
}

void TTimeline::Run() {
  if (Stream != 0) Platform.Audio.Play(Stream);
  SelectScene();
  if (!Current) return;
  Current->Elapsed = 0;
  Time = float(Current->StartTime);
  int32_t CurMs = RoundMs(Time);
  SeekMusic();

  int64_t AccumulatedUs = 0;  // 64 bits: one frame may bring a whole saturated gap
  int32_t FrameCount = 0;
  Fps = 0;

  int64_t Now = Platform.Clock.Counter();
  int64_t Last = Now;
  Running = true;
  while (Running) {
    Now = Platform.Clock.Counter();
    int32_t DtUs = ElapsedUs(Now - Last, Frequency);
    if (!BenchmarkMode && DtUs < 16000) {
      // One sleep to the frame's deadline, rounded up to whole milliseconds, not a poll.
      Platform.Clock.Sleep((16000 - DtUs + 999) / 1000);
      continue;
    }
    int32_t PrevMs = CurMs;
    Time = Time + float(DtUs) * 0.001f;
    CurMs = RoundMs(Time);

    if (BenchmarkMode) {
      AccumulatedUs += DtUs;
      FrameCount += 1;
      if (AccumulatedUs > 1000000) {
        Fps = FrameCount;
        ShowStatus();
        AccumulatedUs -= 1000000;
        FrameCount = 0;
      }
    }

    // Without a stream the call fails and leaves the spectrum as it was.
    Platform.Audio.GetSpectrum512(Stream, Current->Spectrum.data());
    Current->UpdateLevels();
    BeginFrame(Record());
    Current->Render();
    Current->Advance(CurMs - PrevMs);
    Current->Elapsed = CurMs - Current->StartTime;

    while (Running && CurMs >= Current->EndTime()) {
      CurrentIndex += 1;
      SelectScene();
    }
    while (CurMs < Current->StartTime && CurrentIndex > 0) {
      CurrentIndex -= 1;
      SelectScene();
    }
    Running = Running && HandleKeys();
    if (AfterFrame) AfterFrame(Record());
    Last = Now;
  }
}
