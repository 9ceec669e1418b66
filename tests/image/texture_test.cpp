#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "TestImages.h"
#include "image/Image.h"
#include "image/Random.h"
#include "image/Texture.h"

namespace {

TEST(Cubic, PassesThroughTheInnerPointsAndMidpointIsFiveEighths) {
  EXPECT_EQ(Cubic(0, 100, 100, 0, 0.5f), 125.0f);
  EXPECT_EQ(Cubic(10, 20, 60, 0, 0.0f), 20.0f);
  EXPECT_EQ(Cubic(10, 20, 60, 0, 1.0f), 60.0f);
  EXPECT_EQ(Cubic(8, 16, 32, 64, 0.5f), (-8 + 5 * 16 + 5 * 32 - 64) / 8.0f);
  EXPECT_GT(Cubic(0, 255, 255, 0, 0.5f), 255.0f);  // overshoots; the output clamps
}

// Rounds N / 64 to the nearest integer, halves to even.
int64_t RoundSixtyFourths(int64_t N) {
  int64_t Q = N >= 0 ? N / 64 : -((-N + 63) / 64);
  const int64_t R = N - Q * 64;
  if (R > 32 || (R == 32 && (Q & 1))) ++Q;
  return Q;
}

// With two pixels between control points every pixel is a control value, a midpoint
// (-P0 + 5 P1 + 5 P2 - P3) / 8 of four of them, or a midpoint of four midpoints. All of these are
// exact in floats, so the texture can be computed here in integers (sixty-fourths).
class TStartupTexture {
 public:
  explicit TStartupTexture(int32_t Seed) : Controls(NX * NY) {
    TRandom Rng{uint32_t(Seed)};
    for (int32_t& C : Controls) C = std::clamp(int32_t(Rng.Random(510)) - 255, 0, 255);
  }

  TPixel Pixel(int32_t X, int32_t Y) const {
    const int32_t GX = X + 2;  // lattice column; the output is one control cell in
    int64_t Value;
    if (GX % 2 == 0) {
      Value = 8 * Column(GX / 2, Y);
    } else {
      const int32_t A = (GX - 3) / 2;
      Value = -Column(A, Y) + 5 * Column(A + 1, Y) + 5 * Column(A + 2, Y) - Column(A + 3, Y);
    }
    return Rgba(uint32_t(std::clamp<int64_t>(RoundSixtyFourths(Value), 0, 255)), 0, 0, 255);
  }

  static constexpr int32_t NX = 128, NY = 64;

 private:
  int32_t Control(int32_t J, int32_t I) const { return Controls[(J % NY) * NX + (I % NX)]; }

  // Eighths, at control column I and pixel row Y.
  int64_t Column(int32_t I, int32_t Y) const {
    const int32_t GY = Y + 2;
    if (GY % 2 == 0) return 8 * Control(GY / 2, I);
    const int32_t B = (GY - 3) / 2;
    return -Control(B, I) + 5 * Control(B + 1, I) + 5 * Control(B + 2, I) - Control(B + 3, I);
  }

  std::vector<int32_t> Controls;
};

TEST(Generate, StartupTexturesMatchTheirControlLattice) {
  for (int32_t Seed : {0, 1, 19}) {
    TImage Image(256, 128);
    TRandom Rng;
    Image.Generate(0, 255, Seed, 7, 6, Rng);
    const TStartupTexture Expected(Seed);
    int Mismatches = 0;
    for (int32_t Y = 0; Y < 128; ++Y)
      for (int32_t X = 0; X < 256; ++X)
        if (Image.Pixels[size_t(Y) * 256 + X] != Expected.Pixel(X, Y) && ++Mismatches < 5)
          ADD_FAILURE() << "seed " << Seed << " pixel " << X << "," << Y << ": " << std::hex
                        << Image.Pixels[size_t(Y) * 256 + X] << " expected "
                        << Expected.Pixel(X, Y);
    EXPECT_EQ(Mismatches, 0) << "seed " << Seed;
  }
}

TEST(Generate, FirstPixelIsTheSecondControlOfTheSecondRow) {
  TImage Image(256, 128);
  TRandom Rng;
  Image.Generate(0, 255, 4, 7, 6, Rng);
  Rng.State = 4;
  uint32_t Draw = 0;
  for (int I = 0; I <= 128 + 1; ++I) Draw = Rng.Random(510);
  EXPECT_EQ(Image.Pixels[0], Rgba(uint32_t(std::clamp(int32_t(Draw) - 255, 0, 255)), 0, 0, 255));
}

TEST(Generate, SameSeedSameTextureWhateverCameBefore) {
  TImage First(128, 128);
  TRandom Rng;
  First.Generate(64, 256, 1, 4, 4, Rng);
  Rng.State = 12345;
  Rng.Random(7);
  TImage Second(128, 128);
  Second.FillNoise(Rng);
  Second.Generate(64, 256, 1, 4, 4, Rng);
  EXPECT_EQ(First.Pixels, Second.Pixels);
  TImage Other(128, 128);
  Other.Generate(64, 256, 2, 4, 4, Rng);
  EXPECT_NE(First.Pixels, Other.Pixels);
}

TEST(Generate, CoarseLatticeHoldsClampedControlsAndStaysInRange) {
  TImage Image(128, 128);
  TRandom Rng;
  Image.Generate(64, 256, 0, 3, 3, Rng);  // 8 x 8 control points, 16 pixels apart
  Rng.State = 0;
  int32_t Controls[8][8];
  for (auto& Row : Controls)
    for (int32_t& C : Row) C = std::clamp(int32_t(Rng.Random(512)) + 64 - 256, 0, 255);
  for (int32_t B = 0; B < 8; ++B)
    for (int32_t A = 0; A < 8; ++A)
      EXPECT_EQ(Image.Pixels[size_t(B) * 16 * 128 + A * 16],
                Rgba(uint32_t(Controls[(B + 1) % 8][(A + 1) % 8]), 0, 0, 255));
  for (TPixel P : Image.Pixels) ASSERT_EQ(P & 0xFFFFFF00u, 0xFF000000u);
}

// Largest step between neighbours inside the texture and across its two seams.
void ExpectSeamless(const TImage& Image) {
  auto R = [&Image](int32_t X, int32_t Y) {
    return int32_t(Image.Pixels[size_t(Y) * Image.Width + X] & 0xFF);
  };
  int32_t Inside = 0, Seams = 0;
  for (int32_t Y = 0; Y < Image.Height; ++Y)
    for (int32_t X = 0; X < Image.Width; ++X) {
      const int32_t Right = std::abs(R(X, Y) - R((X + 1) % Image.Width, Y));
      const int32_t Down = std::abs(R(X, Y) - R(X, (Y + 1) % Image.Height));
      int32_t& RightMax = X == Image.Width - 1 ? Seams : Inside;
      RightMax = std::max(RightMax, Right);
      int32_t& DownMax = Y == Image.Height - 1 ? Seams : Inside;
      DownMax = std::max(DownMax, Down);
    }
  EXPECT_GT(Inside, 0);
  EXPECT_LE(Seams, Inside);
}

TEST(Generate, TilesWithoutSeams) {
  TImage Coarse(128, 128);
  TRandom Rng;
  Coarse.Generate(64, 256, 0, 3, 3, Rng);
  ExpectSeamless(Coarse);
  TImage Wide(256, 128);
  Wide.Generate(128, 100, 7, 5, 4, Rng);
  ExpectSeamless(Wide);
}

TEST(Generate, LatticeFinerThanTheImageLeavesItAlone) {
  TImage Image(4, 4);
  Image.Pixels.assign(16, 0x11223344);
  TRandom Rng;
  Image.Generate(0, 255, 0, 3, 1, Rng);
  EXPECT_EQ(Image.Pixels, std::vector<TPixel>(16, 0x11223344));
}

}  // namespace
