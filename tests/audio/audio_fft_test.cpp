// The spectrum the show reads: the transform itself, and through a decoded, playing stream.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

#include "audio/AudioFft.h"
#include "audio/AudioOutput.h"
#include "audio_support.h"

namespace {

constexpr int Rate = 44100;

// Frames x 2 interleaved: Left(n), Right(n).
template <class TLeft, class TRight>
std::vector<float> Stereo(int Frames, TLeft Left, TRight Right) {
  std::vector<float> Out(size_t(Frames) * 2);
  for (int N = 0; N < Frames; ++N) {
    Out[size_t(N) * 2] = Left(N);
    Out[size_t(N) * 2 + 1] = Right(N);
  }
  return Out;
}

// Exactly Bin cycles every 512 samples.
float BinSine(int Bin, int N, float Amplitude = 1.0f) {
  return Amplitude * float(std::sin(2 * std::numbers::pi * Bin * N / 512.0));
}

TEST(SpectrumTest, SineCentredOnABinGivesHalfThereAndAQuarterBeside) {
  TSpectrum512 Spectrum;
  for (int Bin : {3, 40, 128, 254}) {
    std::array<float, 512> Mono{}, Out{};
    for (int N = 0; N < 512; ++N) Mono[size_t(N)] = BinSine(Bin, N);
    Spectrum.Compute(Mono.data(), Out.data());
    EXPECT_NEAR(Out[size_t(Bin)], 0.5f, 1e-4f) << Bin;
    // The Hann window's main lobe: half the peak on either side, nothing further out.
    EXPECT_NEAR(Out[size_t(Bin) - 1], 0.25f, 1e-4f) << Bin;
    EXPECT_NEAR(Out[size_t(Bin) + 1], 0.25f, 1e-4f) << Bin;
    for (int K = 0; K < 256; ++K) {
      if (std::abs(K - Bin) > 1) {
        EXPECT_NEAR(Out[size_t(K)], 0.0f, 1e-4f) << Bin << " bin " << K;
      }
    }
  }
}

TEST(SpectrumTest, ConstantSignalFillsBinZeroWithTheSameScale) {
  // Sum of the periodic Hann window is 256, so (2 / 512) * 256 = 1 for a constant 1.
  TSpectrum512 Spectrum;
  std::array<float, 512> Mono{}, Out{};
  Mono.fill(1.0f);
  Spectrum.Compute(Mono.data(), Out.data());
  EXPECT_NEAR(Out[0], 1.0f, 1e-5f);
  EXPECT_NEAR(Out[1], 0.5f, 1e-5f);
  EXPECT_NEAR(Out[2], 0.0f, 1e-5f);
}

TEST(SpectrumTest, WritesOnlyTheFirst256Values) {
  TSpectrum512 Spectrum;
  std::array<float, 512> Mono{}, Out{};
  Out.fill(-7.0f);
  Spectrum.Compute(Mono.data(), Out.data());
  EXPECT_EQ(Out[255], 0.0f);
  for (size_t K = 256; K < 512; ++K) ASSERT_EQ(Out[K], -7.0f) << K;
}

// Plays a file made in the test on the clocked output and takes the spectrum at a position.
class StreamSpectrumTest : public ::testing::Test {
 protected:
  std::array<float, 512> SpectrumOf(const std::vector<float>& Samples, int Channels, double Seconds) {
    std::filesystem::path File = Dir / "signal.ogg";
    WriteOgg(File, Samples, Channels, Rate);
    auto Audio = CreateClockedAudio(Clock);
    Audio->Init(Rate);
    TStream Stream = Audio->OpenFile(File.string());
    std::array<float, 512> Out{};
    EXPECT_NE(Stream, 0u);
    Audio->Play(Stream);
    Audio->SetPosition(Stream, Audio->SecondsToPosition(Stream, float(Seconds)));
    EXPECT_TRUE(Audio->GetSpectrum512(Stream, Out.data()));
    Audio->Free();
    return Out;
  }
  TTempDir Dir;
  TManualClock Clock;
};

TEST_F(StreamSpectrumTest, BothChannelsGiveTheFullSine) {
  auto Out = SpectrumOf(Stereo(Rate, [](int N) { return BinSine(40, N); }, [](int N) { return BinSine(40, N); }), 2, 0.5);
  EXPECT_NEAR(Out[40], 0.5f, 0.01f);
  EXPECT_NEAR(Out[20], 0.0f, 0.005f);
}

TEST_F(StreamSpectrumTest, LeftChannelOnlyGivesHalf) {
  auto Out = SpectrumOf(Stereo(Rate, [](int N) { return BinSine(40, N); }, [](int) { return 0.0f; }), 2, 0.5);
  EXPECT_NEAR(Out[40], 0.25f, 0.01f);
}

TEST_F(StreamSpectrumTest, OppositeChannelsCancel) {
  auto Out = SpectrumOf(Stereo(Rate, [](int N) { return BinSine(40, N, 0.8f); }, [](int N) { return -BinSine(40, N, 0.8f); }), 2, 0.5);
  for (size_t K = 0; K < 256; ++K) ASSERT_LT(Out[K], 0.005f) << K;
}

TEST_F(StreamSpectrumTest, EveryChannelOfASurroundFileCountsInTheMean) {
  // Six channels, the sine in two of them: the mean holds a third of it.
  std::vector<float> Samples(size_t(Rate) * 6, 0.0f);
  for (int N = 0; N < Rate; ++N) Samples[size_t(N) * 6] = Samples[size_t(N) * 6 + 4] = BinSine(60, N);
  auto Out = SpectrumOf(Samples, 6, 0.5);
  EXPECT_NEAR(Out[60], 0.5f / 3, 0.01f);
}

TEST_F(StreamSpectrumTest, WindowReachingPastTheEndSeesSilenceThere) {
  // One second of a sine: a window starting 256 frames before the end holds half of it (the
  // Hann window is symmetric), and one past the end holds nothing.
  auto Samples = Stereo(Rate, [](int N) { return BinSine(40, N); }, [](int N) { return BinSine(40, N); });
  auto Edge = SpectrumOf(Samples, 2, (Rate - 256) / double(Rate));
  auto Beyond = SpectrumOf(Samples, 2, 2.0);
  EXPECT_NEAR(Edge[40], 0.25f, 0.02f);
  for (size_t K = 0; K < 256; ++K) ASSERT_EQ(Beyond[K], 0.0f) << K;
}

}  // namespace
