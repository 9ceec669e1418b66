// The audio layer under the show's timeline: the real track, bad files, and key jumps.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "audio/AudioOutput.h"
#include "audio_support.h"
#include "driver/Timeline.h"

namespace {

// Keeps what the timeline handed it each frame.
class TRecordingScene final : public TTimeScene {
 public:
  TRecordingScene(int32_t Start, int32_t Length) {
    StartTime = Start;
    Duration = Length;
  }
  void Render() override {
    Levels.push_back(LowLevel);
    Spectra.emplace_back(Spectrum.begin(), Spectrum.begin() + 256);
  }
  std::vector<float> Levels;
  std::vector<std::vector<float>> Spectra;
};

struct TShow {
  TShow(IClock& Clock, IAudio& Audio, const std::string& Music, int32_t Start, int32_t Length)
      : Timeline(false, Music, TTimelinePlatform{Clock, Keyboard, Audio}) {
    auto Owned = std::make_unique<TRecordingScene>(Start, Length);
    Scene = Owned.get();
    Timeline.AddScene(std::move(Owned));
  }
  TScriptedKeyboard Keyboard;
  TTimeline Timeline;
  TRecordingScene* Scene;
};

std::string TrackPath() { return (BuildDir() / "vorlek.ogg").string(); }

class TimelineAudioTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Track = new TDecoded(DecodeAll(BuildDir() / "vorlek.ogg")); }
  static void TearDownTestSuite() {
    delete Track;
    Track = nullptr;
  }
  static TDecoded* Track;
  TManualClock Clock;
};
TDecoded* TimelineAudioTest::Track = nullptr;

TEST_F(TimelineAudioTest, HeavySectionLevelsAreThoseOfTheTrackFrameByFrame) {
  ASSERT_EQ(Track->Channels, 2);
  auto Audio = CreateClockedAudio(Clock);
  TShow Show(Clock, *Audio, TrackPath(), 26000, 16000);
  ASSERT_NE(Show.Timeline.Stream, 0u);
  Show.Timeline.Run();
  // Frames every 16 ms from 26.016 s; the last one reaches 42 s and ends the show.
  std::vector<float> Expected = LowLevels(*Track, 26016, 42016);
  ASSERT_EQ(Show.Scene->Levels.size(), Expected.size());
  for (size_t I = 0; I < Expected.size(); ++I) {
    ASSERT_GT(Show.Scene->Levels[I], 0.0f) << I;
    ASSERT_NEAR(Show.Scene->Levels[I], Expected[I], 1e-4f) << "frame " << I;
  }
}

TEST_F(TimelineAudioTest, KeyJumpsRepositionTheStream) {
  ASSERT_EQ(Track->Channels, 2);
  auto Audio = CreateClockedAudio(Clock);
  TShow Show(Clock, *Audio, TrackPath(), 26000, 16000);
  TStream Stream = Show.Timeline.Stream;
  int Frame = 0;
  std::vector<std::pair<float, uint64_t>> Jumps;  // clock and heard frame right after each key
  Show.Timeline.AfterFrame = [&](const TFrameRecord&) {
    TTimeline& Timeline = Show.Timeline;
    ++Frame;
    if (Frame == 10 || Frame == 30) Show.Keyboard.Press(TKey::Right);
    if (Frame == 20) Show.Keyboard.Press(TKey::Left);
    if (Frame == 11 || Frame == 21 || Frame == 31) Jumps.emplace_back(Timeline.Time, Audio->GetPosition(Stream));
    if (Frame == 40) Timeline.Stop();
  };
  Show.Timeline.Run();
  ASSERT_EQ(Jumps.size(), 3u);
  // Frame 11 ends at 26176 ms, plus a second; frame 21 at 27336 less a second; frame 31 at 26496 + 1000.
  const float Times[] = {27176, 26336, 27496};
  for (size_t J = 0; J < 3; ++J) {
    EXPECT_FLOAT_EQ(Jumps[J].first, Times[J]);
    EXPECT_EQ(Jumps[J].second, uint64_t(std::floor(double(Times[J] / 1000) * 44100))) << J;
  }
  // The frame after a jump hears the new place: its spectrum is the track's there, 16 ms on.
  std::vector<float> After = OfflineSpectrum(*Track, int64_t(Jumps[0].second) + 16 * 441 / 10);
  const std::vector<float>& Got = Show.Scene->Spectra[11];
  for (size_t K = 0; K < 256; ++K) ASSERT_NEAR(Got[K], After[K], 1e-5f) << K;
}

TEST_F(TimelineAudioTest, SilentSinkGivesALiveSpectrumInRealTime) {
  ASSERT_EQ(Track->Channels, 2);
  TMonotonicClock Wall;
  auto Audio = CreateSilentAudio();
  TShow Show(Wall, *Audio, TrackPath(), 26000, 500);
  double Worst = 0;
  Show.Timeline.AfterFrame = [&](const TFrameRecord&) {
    const TTimeline& Timeline = Show.Timeline;
    double Heard = double(Audio->GetPosition(Timeline.Stream)) / 44.1;
    Worst = std::max(Worst, std::fabs(Heard - double(Timeline.Time)));
  };
  Show.Timeline.Run();
  ASSERT_GT(Show.Scene->Levels.size(), 10u);
  for (float Level : Show.Scene->Levels) EXPECT_GT(Level, 0.0f);
  // Clock and music start together and both follow real time.
  EXPECT_LT(Worst, 50.0);
}

// Each kind of file that is not a playable track, made in a fresh folder as "vorlek.ogg".
class BadInputTest : public ::testing::Test {
 protected:
  std::string Path() const { return (Dir / "vorlek.ogg").string(); }
  void MakeValid() {
    // Noise, so that the file spans many pages and a cut leaves some of them whole.
    std::vector<float> Samples(size_t(44100) * 2 * 3);
    uint32_t Seed = 1;
    for (float& V : Samples) V = float(int32_t(Seed = Seed * 1664525u + 1013904223u)) / 4294967296.0f;
    WriteOgg(Path(), Samples, 2, 44100);
  }
  // The show runs for 300 ms without sound: every level stays zero and nothing is printed.
  void ExpectSilentShow() {
    auto Audio = CreateClockedAudio(Clock);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    {
      TShow Show(Clock, *Audio, Path(), 0, 300);
      EXPECT_EQ(Show.Timeline.Stream, 0u);
      Show.Timeline.Run();
      EXPECT_EQ(Show.Scene->Levels.size(), 300u / 16 + 1);
      for (float Level : Show.Scene->Levels) EXPECT_EQ(Level, 0.0f);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
  TTempDir Dir;
  TManualClock Clock;
};

TEST_F(BadInputTest, MissingFile) { ExpectSilentShow(); }

TEST_F(BadInputTest, EmptyFile) {
  WriteBytes(Path(), {});
  ExpectSilentShow();
}

TEST_F(BadInputTest, RandomBytes) {
  std::vector<uint8_t> Bytes(65536);
  uint32_t Seed = 5;
  for (uint8_t& B : Bytes) B = uint8_t((Seed = Seed * 1664525u + 1013904223u) >> 24);
  WriteBytes(Path(), Bytes);
  ExpectSilentShow();
}

TEST_F(BadInputTest, OggHeaderFollowedByGarbage) {
  MakeValid();
  std::vector<uint8_t> Bytes = ReadBytes(Path());
  for (size_t I = 200; I < Bytes.size(); ++I) Bytes[I] = uint8_t(I * 131);
  WriteBytes(Path(), Bytes);
  ExpectSilentShow();
}

TEST_F(BadInputTest, WaveFileRenamed) {
  std::vector<uint8_t> Bytes = {'R', 'I', 'F', 'F', 36 + 8, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0,
                                'd', 'a', 't', 'a', 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
  WriteBytes(Path(), Bytes);
  ExpectSilentShow();
}

TEST_F(BadInputTest, DirectoryOfThatName) {
  std::filesystem::create_directory(Path());
  ExpectSilentShow();
}

TEST_F(BadInputTest, PipeOfThatName) {
  // Opening a pipe for reading would block until a writer came.
  ASSERT_EQ(mkfifo(Path().c_str(), 0600), 0);
  ExpectSilentShow();
}

TEST_F(BadInputTest, UnreadableFile) {
  MakeValid();
  std::filesystem::permissions(Path(), std::filesystem::perms::none);
  if (geteuid() != 0) {
    ExpectSilentShow();
    return;
  }
  // Root reads any file: look as an ordinary user would, in a child process.
  std::filesystem::permissions(Dir.Path, std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (setgid(65534) != 0 || setuid(65534) != 0) std::_Exit(2);
        auto Audio = CreateClockedAudio(Clock);
        Audio->Init(44100);
        std::_Exit(Audio->OpenFile(Path()) == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(BadInputTest, TruncatedFilePlaysWhatIsThere) {
  MakeValid();
  TDecoded Whole = DecodeAll(Path());
  std::vector<uint8_t> Bytes = ReadBytes(Path());
  Bytes.resize(Bytes.size() / 2);
  WriteBytes(Path(), Bytes);
  TDecoded Half = DecodeAll(Path());
  ASSERT_GT(Half.Frames(), 44100 / 2);
  ASSERT_LT(Half.Frames(), Whole.Frames());

  auto Audio = CreateClockedAudio(Clock);
  Audio->Init(44100);
  TStream Stream = Audio->OpenFile(Path());
  ASSERT_NE(Stream, 0u);
  Audio->Play(Stream);
  std::vector<float> Wave(512);
  ASSERT_TRUE(Audio->GetWave(Stream, Wave.data(), 512));
  for (int N = 0; N < 512; ++N) ASSERT_EQ(Wave[size_t(N)], Whole.Mono(N)) << N;
  // Where the data stops, silence: also when sought past the cut, or past the stated length.
  for (int64_t Position : {Half.Frames() - 100, Half.Frames() + 1000, Whole.Frames() + 1000}) {
    Audio->SetPosition(Stream, uint64_t(Position));
    ASSERT_TRUE(Audio->GetWave(Stream, Wave.data(), 512));
    for (int N = 0; N < 512; ++N)
      ASSERT_EQ(Wave[size_t(N)], Position + N < Half.Frames() ? Whole.Mono(Position + N) : 0.0f) << Position << "+" << N;
  }
  Audio->Free();
}

}  // namespace
