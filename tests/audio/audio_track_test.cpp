// The show's own music as the build makes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "audio_support.h"
#include "tools/trackgen/Track.h"

namespace {

class TrackTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Built = new TDecoded(DecodeAll(BuildDir() / "vorlek.ogg")); }
  static void TearDownTestSuite() {
    delete Built;
    Built = nullptr;
  }
  static TDecoded* Built;
};
TDecoded* TrackTest::Built = nullptr;

TEST_F(TrackTest, IsStereoAt44100AndLastsTheShow) {
  ASSERT_EQ(Built->Channels, 2) << "vorlek.ogg missing from " << BuildDir();
  EXPECT_EQ(Built->Rate, 44100);
  double Seconds = double(Built->Frames()) / Built->Rate;
  EXPECT_GE(Seconds, 92.0);
  EXPECT_LT(Seconds, 92.5);
}

TEST_F(TrackTest, SectionsAreAudibleAndItEndsAt92Seconds) {
  ASSERT_EQ(Built->Channels, 2);
  auto Rms = [&](double From, double To) {
    double Sum = 0;
    int64_t A = int64_t(From * Built->Rate), B = int64_t(To * Built->Rate);
    for (int64_t F = A; F < B; ++F) Sum += double(Built->Mono(F)) * Built->Mono(F);
    return std::sqrt(Sum / double(B - A));
  };
  // The intro builds up: its second half is louder than its first.
  EXPECT_GT(Rms(5, 10), 1.5 * Rms(0, 5));
  for (double Start : {10.0, 26.0, 42.0, 58.0, 74.0}) EXPECT_GT(Rms(Start, Start + 16), 0.05) << Start;
  // It rings out rather than stopping dead: quiet in the last tenth of a second.
  EXPECT_LT(Rms(91.9, 92.0), 0.01);
}

TEST_F(TrackTest, LowLevelPulsesOnTheBeatInTheHeavySection) {
  ASSERT_EQ(Built->Channels, 2);
  std::vector<float> Levels = LowLevels(*Built, 26000, 42000);
  float Top = *std::max_element(Levels.begin(), Levels.end());
  EXPECT_LT(Top, 2.0f);
  EXPECT_GT(Top, 1.0f);
  // Every beat (half a second, 31.25 frames) rises to a peak and falls back.
  int Beats = 0, Swinging = 0;
  std::string Flat;
  for (double T = 0; T + 0.5 <= 16.0; T += 0.5, ++Beats) {
    size_t A = size_t(T * 1000 / 16), B = std::min(Levels.size(), size_t((T + 0.5) * 1000 / 16));
    auto [Low, High] = std::minmax_element(Levels.begin() + long(A), Levels.begin() + long(B));
    if (*Low < 0.45f && *High > 0.9f)
      ++Swinging;
    else
      Flat += " " + std::to_string(26 + T) + "s:" + std::to_string(*Low) + ".." + std::to_string(*High);
  }
  EXPECT_GE(Swinging, Beats - 1) << "beats without a swing:" << Flat;
}

TEST_F(TrackTest, RenderingTwiceGivesTheSameBytesAsTheBuild) {
  std::vector<uint8_t> First = BuildTrack();
  std::vector<uint8_t> Second = BuildTrack();
  ASSERT_FALSE(First.empty());
  EXPECT_TRUE(First == Second);
  EXPECT_TRUE(First == ReadBytes(BuildDir() / "vorlek.ogg"));
}

}  // namespace
