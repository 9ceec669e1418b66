#include "image/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>

#include "TestImages.h"
#include "image/Random.h"

namespace {

// --- Shared generator

TEST(Random, FirstValuesFromStateZero) {
  TRandom Rng;
  EXPECT_EQ(Rng.Random(510), 0u);
  EXPECT_EQ(Rng.State, 1u);
  Rng.Random(1);
  EXPECT_EQ(Rng.State, 134775814u);
  // The result is the upper half of state x N.
  Rng.State = 0x80000000u;
  EXPECT_EQ(Rng.Random(10), 5u);  // state 0x80000001, x 10 = 0x5'0000000A
  EXPECT_EQ(Rng.State, 0x80000001u);
  EXPECT_EQ(Rng.Random(0), 0u);
}

TEST(Random, FillNoiseDrawsRedBytesRowMajor) {
  TRandom Rng;
  TImage Image(3, 2);
  Image.FillNoise(Rng);
  const uint32_t Expected[] = {0, 8, 220, 51, 69, 171};
  for (size_t I = 0; I < 6; ++I) EXPECT_EQ(Image.Pixels[I], Rgba(Expected[I], 0, 0, 255)) << I;
}

// --- Clear

TEST(Clear, ZeroesEveryByteAlsoOfAnEmptyImage) {
  TImage Image(3, 2);
  for (TPixel& P : Image.Pixels) P = 0xFFFFFFFFu;
  Image.Clear();
  EXPECT_EQ(Image.Pixels, std::vector<TPixel>(6, 0u));
  // No pixel array at all: nothing to touch, and nothing handed on as if there were.
  TImage Empty(0, 0);
  Empty.Clear();
  EXPECT_TRUE(Empty.Pixels.empty());
}

// --- Samplers

// Four columns, three rows, every byte different.
TImage SamplerImage() {
  TImage Image(4, 3);
  const TPixel Row0[] = {Rgba(0x40, 0x30, 0x20, 0x10), Rgba(1, 2, 3, 4), Rgba(100, 110, 120, 130),
                         Rgba(0x61, 0x50, 0x40, 0x30)};
  for (int32_t X = 0; X < 4; ++X) {
    Image.Pixels[X] = Row0[X];
    Image.Pixels[4 + X] = Rgba(10 + X, 20 + X, 30 + X, 40 + X);
    Image.Pixels[8 + X] = Rgba(200 + X, 210 + X, 220 + X, 230 + X);
  }
  return Image;
}

TPixel At(const TImage& Image, int32_t X, int32_t Y) {
  return Image.Pixels[size_t(Y) * Image.Width + X];
}

constexpr int32_t One = 65536;

TEST(Sampler, WholePixelsComeBackUnchangedAndWrapByWholeImages) {
  const TImage Image = SamplerImage();
  for (int32_t Y = 0; Y < 3; ++Y)
    for (int32_t X = 0; X < 4; ++X)
      for (int32_t Turns : {0, 1, 7}) {
        const int32_t SX = (X + Turns * 4) * One, SY = (Y + Turns * 3) * One;
        EXPECT_EQ(Image.SampleBilinear(SX, SY), At(Image, X, Y)) << X << "," << Y << " " << Turns;
        EXPECT_EQ(Image.SampleNearest(SX, SY), At(Image, X, Y)) << X << "," << Y << " " << Turns;
      }
}

TEST(Sampler, RightEdgeMixesIntoColumnZero) {
  const TImage Image = SamplerImage();
  EXPECT_EQ(Image.SampleBilinear(3 * One, 0), At(Image, 3, 0));
  // Per byte (a + b) / 2, truncated: 0x61 and 0x40 give 0x50.
  EXPECT_EQ(Image.SampleBilinear(3 * One + One / 2, 0), Rgba(0x50, 0x40, 0x30, 0x20));
  EXPECT_EQ(Image.SampleNearest(4 * One, 0), At(Image, 0, 0));
  EXPECT_EQ(Image.SampleNearest(3 * One + One - 1, 0), At(Image, 3, 0));
}

TEST(Sampler, FractionsWeighInSteps256ths) {
  const TImage Image = SamplerImage();
  // A quarter of the way from (1, 2, 3, 4) to (100, 110, 120, 130): (a * 192 + b * 64) / 256.
  EXPECT_EQ(Image.SampleBilinear(One + One / 4, 0), Rgba(25, 29, 32, 35));
  // Fractions below 1/256 pixel do not count.
  EXPECT_EQ(Image.SampleBilinear(One + 255, 0), At(Image, 1, 0));
  // Middle of the top-left 2 x 2 block: the sum of four pixels over 4, truncated.
  EXPECT_EQ(Image.SampleBilinear(One / 2, One / 2),
            Rgba((0x40 + 1 + 10 + 11) / 4, (0x30 + 2 + 20 + 21) / 4, (0x20 + 3 + 30 + 31) / 4,
                 (0x10 + 4 + 40 + 41) / 4));
  // Bottom edge mixes into row 0.
  EXPECT_EQ(Image.SampleBilinear(0, 2 * One + One / 2),
            Rgba((200 + 0x40) / 2, (210 + 0x30) / 2, (220 + 0x20) / 2, (230 + 0x10) / 2));
}

TEST(Sampler, NegativePositionsWrap) {
  const TImage Image = SamplerImage();
  // Whole negative positions are the exact wrap for the bilinear sampler.
  EXPECT_EQ(Image.SampleBilinear(-One, 0), At(Image, 3, 0));
  EXPECT_EQ(Image.SampleBilinear(-5 * One, 0), At(Image, 3, 0));
  EXPECT_EQ(Image.SampleBilinear(0, -One), At(Image, 0, 2));
  // With a fraction they land one pixel early: -0.5 samples 2.5, not 3.5.
  EXPECT_EQ(Image.SampleBilinear(-One / 2, 0),
            Rgba((100 + 0x61) / 2, (110 + 0x50) / 2, (120 + 0x40) / 2, (130 + 0x30) / 2));
  EXPECT_EQ(Image.SampleBilinear(0, -One / 2),
            Rgba((10 + 200) / 2, (20 + 210) / 2, (30 + 220) / 2, (40 + 230) / 2));
  EXPECT_EQ(Image.SampleBilinear(-One / 4, 0), Image.SampleBilinear(2 * One + 3 * One / 4, 0));
  // The nearest sampler takes the mirrored whole pixel as it stands.
  EXPECT_EQ(Image.SampleNearest(-One / 2, 0), At(Image, 2, 0));
  EXPECT_EQ(Image.SampleNearest(-One, 0), At(Image, 2, 0));
  EXPECT_EQ(Image.SampleNearest(-4 * One, -One / 2), At(Image, 3, 1));
}

TEST(Sampler, ExtremePositionsStayInsideTheImage) {
  const TImage Image = SamplerImage();
  for (int32_t X : {INT32_MIN, INT32_MIN + 1, -1, INT32_MAX})
    for (int32_t Y : {INT32_MIN, 0, INT32_MAX}) {
      const TPixel Nearest = Image.SampleNearest(X, Y);
      EXPECT_NE(std::find(Image.Pixels.begin(), Image.Pixels.end(), Nearest), Image.Pixels.end());
      Image.SampleBilinear(X, Y);
    }
}

// --- Crop

TImage NumberedImage(int32_t Width, int32_t Height) {
  TImage Image(Width, Height);
  for (size_t I = 0; I < Image.Pixels.size(); ++I) Image.Pixels[I] = TPixel(I + 1);
  return Image;
}

TEST(Crop, DropsFirstRowAndColumn) {
  TImage Image = NumberedImage(161, 101);
  const TImage Old = Image;
  Image.Crop(1, 1, 160, 100);
  ASSERT_EQ(Image.Width, 160);
  ASSERT_EQ(Image.Height, 100);
  ASSERT_EQ(Image.Pixels.size(), 16000u);
  for (int32_t Y = 0; Y < 100; ++Y)
    for (int32_t X = 0; X < 160; ++X) ASSERT_EQ(At(Image, X, Y), At(Old, X + 1, Y + 1));
}

TEST(Crop, GrowingLeavesZeroOutside) {
  TImage Image = NumberedImage(160, 100);
  const TImage Old = Image;
  Image.Crop(0, 0, 161, 101);
  ASSERT_EQ(Image.Width, 161);
  ASSERT_EQ(Image.Height, 101);
  for (int32_t Y = 0; Y < 101; ++Y)
    for (int32_t X = 0; X < 161; ++X)
      ASSERT_EQ(At(Image, X, Y), X < 160 && Y < 100 ? At(Old, X, Y) : 0u) << X << "," << Y;

  TImage Far = NumberedImage(4, 4);
  Far.Crop(6, 1, 3, 2);  // nothing of the old image is inside
  EXPECT_EQ(Far.Width, 3);
  EXPECT_EQ(Far.Pixels, std::vector<TPixel>(6, 0));
}

TEST(Crop, RefusesEmptySizesAndNegativeOrigins) {
  for (const auto& [L, T, W, H] : std::vector<std::array<int32_t, 4>>{
           {0, 0, 0, 3}, {0, 0, 3, 0}, {-1, 0, 2, 2}, {0, -1, 2, 2}, {0, 0, -4, 2}}) {
    TImage Image = NumberedImage(4, 3);
    Image.Crop(L, T, W, H);
    EXPECT_EQ(Image.Width, 4);
    EXPECT_EQ(Image.Height, 3);
    EXPECT_EQ(Image.Pixels, NumberedImage(4, 3).Pixels);
  }
}

// --- Swirl and Ripple

TImage NoiseImage(int32_t Width, int32_t Height, uint32_t Seed) {
  TImage Image(Width, Height);
  TRandom Rng{Seed};
  for (TPixel& P : Image.Pixels) P = Rng.Random(0xFFFFFFFFu);
  return Image;
}

TEST(Swirl, LeavesEverythingFromTheRimOutwardAndTheCentre) {
  TImage Image = NoiseImage(20, 16, 5);
  const TImage Old = Image;
  Image.Swirl(9, 7, 6, 0.75f);
  int Changed = 0;
  for (int32_t Y = 0; Y < 16; ++Y)
    for (int32_t X = 0; X < 20; ++X) {
      const int32_t D2 = (X - 9) * (X - 9) + (Y - 7) * (Y - 7);
      if (D2 >= 36 || D2 == 0) {
        EXPECT_EQ(At(Image, X, Y), At(Old, X, Y)) << X << "," << Y;
      } else {
        Changed += At(Image, X, Y) != At(Old, X, Y);
      }
    }
  EXPECT_GT(Changed, 80);
}

TEST(Swirl, ScalesBy65535SoZeroAngleStillShrinksTowardsTheCentre) {
  TImage Image(9, 9);
  Image.Pixels[4 * 9 + 5] = 0xFFFFFFFF;  // right of the centre (4, 4)
  Image.Swirl(4, 4, 4, 0.0f);
  // (5, 4) now samples 1/65536 left of itself: 255/256 of itself and 1/256 of the black centre.
  EXPECT_EQ(At(Image, 5, 4), 0xFEFEFEFEu);
  // (6, 4) samples 2/65536 left of column 6, still inside column 5: 1/256 of the white pixel.
  EXPECT_EQ(At(Image, 6, 4), 0x00000000u);
  EXPECT_EQ(At(Image, 4, 4), 0u);
}

TEST(Swirl, QuarterTurnAtTheCentreOfALargeDisc) {
  // At Angle 1/4 a pixel next to the centre turns by almost a quarter turn: (1, 0) samples
  // (cos a, sin a) with a just under pi/2, so it takes its colour from below the centre.
  TImage Image(64, 64);
  Image.Pixels[33 * 64 + 32] = Rgba(0, 200, 0, 255);  // (32, 33), below the centre (32, 32)
  Image.Swirl(32, 32, 1000, 0.25f);
  const TPixel P = At(Image, 33, 32);
  EXPECT_GE((P >> 8) & 0xFF, 190u);
  EXPECT_EQ(At(Image, 31, 32) & 0xFF00, 0u);
}

TEST(Ripple, NoWavesAndNoShiftIsIdentity) {
  TImage Image = NoiseImage(13, 7, 9);
  const TImage Old = Image;
  Image.Ripple(3.0f, 2.0f, 0.0f, 0.0f, 0.4f, 1.1f, 0.0f, 0.0f);
  EXPECT_EQ(Image.Pixels, Old.Pixels);
}

TEST(Ripple, ShiftsRowsSidewaysWithWrap) {
  TImage Image(4, 2);
  Image.Pixels = {Rgba(0, 0, 0, 0), Rgba(4, 0, 0, 0), Rgba(8, 0, 0, 0), Rgba(200, 0, 0, 0),
                  Rgba(0, 0, 0, 0), Rgba(4, 0, 0, 0), Rgba(8, 0, 0, 0), Rgba(200, 0, 0, 0)};
  // A shift of two pixels is 2 x 65535: just short of two whole pixels.
  Image.Ripple(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 2.0f);
  // Column x samples x + 1 + 255/256: (p[x + 1] + 255 p[x + 2]) / 256.
  const uint32_t Expected[] = {(4 + 255 * 8) / 256, (8 + 255 * 200) / 256, (200 + 255 * 0) / 256,
                               (0 + 255 * 4) / 256};
  for (int32_t X = 0; X < 4; ++X) {
    EXPECT_EQ(At(Image, X, 0), Rgba(Expected[X], 0, 0, 0)) << X;
    EXPECT_EQ(At(Image, X, 1), Rgba(Expected[X], 0, 0, 0)) << X;
  }
}

TEST(Ripple, ColumnWaveFollowsTheSine) {
  // One wave across four columns: shifts 0, +1, 0, -1 (in 65535ths of a pixel).
  TImage Image(4, 3);
  for (int32_t X = 0; X < 4; ++X) {
    Image.Pixels[X] = Rgba(10, 0, 0, 0);
    Image.Pixels[4 + X] = Rgba(110, 0, 0, 0);
    Image.Pixels[8 + X] = Rgba(210, 0, 0, 0);
  }
  Image.Ripple(0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(At(Image, 0, 1), Rgba(110, 0, 0, 0));
  EXPECT_EQ(At(Image, 2, 1), Rgba(110, 0, 0, 0));
  EXPECT_EQ(At(Image, 1, 0), Rgba((10 + 255 * 110) / 256, 0, 0, 0));  // from just above row 1
  EXPECT_EQ(At(Image, 1, 2), Rgba((210 + 255 * 10) / 256, 0, 0, 0));  // wraps to row 0
  EXPECT_EQ(At(Image, 3, 1), Rgba(10, 0, 0, 0));
  // At row 0, -65535 is a negative fraction: it lands one pixel early, near row 1, not row 2.
  EXPECT_EQ(At(Image, 3, 0), Rgba((255 * 110 + 210) / 256, 0, 0, 0));
}

// --- Downsample

TEST(Downsample, AveragesBoxesTruncating) {
  TImage Source(4, 2);
  Source.Pixels = {Rgba(1, 10, 0, 255), Rgba(2, 11, 0, 255), Rgba(9, 0, 0, 0), Rgba(9, 0, 0, 0),
                   Rgba(2, 12, 0, 255), Rgba(2, 13, 3, 254), Rgba(9, 0, 0, 0), Rgba(10, 0, 0, 0)};
  TImage Dest(2, 1);
  Dest.Downsample(Source);
  EXPECT_EQ(Dest.Pixels[0], Rgba(1, 11, 0, 254));  // 7/4, 46/4, 3/4, 1019/4
  EXPECT_EQ(Dest.Pixels[1], Rgba(9, 0, 0, 0));     // 37/4

  TImage Big = NoiseImage(160, 100, 3);
  TImage Half(80, 50);
  Half.Downsample(Big);
  const TPixel A = At(Big, 6, 8), B = At(Big, 7, 8), C = At(Big, 6, 9), D = At(Big, 7, 9);
  for (int Channel = 0; Channel < 4; ++Channel) {
    const uint32_t Sum = ((A >> (8 * Channel)) & 0xFF) + ((B >> (8 * Channel)) & 0xFF) +
                         ((C >> (8 * Channel)) & 0xFF) + ((D >> (8 * Channel)) & 0xFF);
    EXPECT_EQ((At(Half, 3, 4) >> (8 * Channel)) & 0xFF, Sum / 4) << Channel;
  }
}

TEST(Downsample, RefusesSizesThatAreNotMultiples) {
  const TImage Odd = NoiseImage(161, 100, 1);
  TImage Dest = NoiseImage(80, 50, 2);
  const TImage Before = Dest;
  Dest.Downsample(Odd);
  EXPECT_EQ(Dest.Pixels, Before.Pixels);
  Dest.Downsample(NoiseImage(40, 50, 1));  // smaller than the destination
  EXPECT_EQ(Dest.Pixels, Before.Pixels);
}

// --- Posterize

TPixel PosterizedByte(int32_t Level, uint32_t Value) {
  TImage Image(1, 1);
  Image.Pixels[0] = Rgba(Value, Value, Value, 77);
  Image.Posterize(Level);
  EXPECT_EQ(Image.Pixels[0] >> 24, 77u);
  EXPECT_EQ(Image.Pixels[0] & 0xFF, (Image.Pixels[0] >> 16) & 0xFF);
  return Image.Pixels[0] & 0xFF;
}

TEST(Posterize, QuantisesToTheEndsOfEachBucket) {
  struct TCase {
    int32_t Level;
    uint32_t In, Out;
  };
  for (const TCase& C : std::vector<TCase>{{6, 42, 40},
                                           {6, 43, 47},
                                           {6, 0, 0},
                                           {6, 255, 255},
                                           {4, 40, 32},
                                           {4, 50, 63},
                                           {4, 46, 32},
                                           {4, 47, 63},
                                           {8, 100, 101},
                                           {8, 255, 255},
                                           {8, 0, 1},
                                           {0, 254, 0},
                                           {0, 255, 255},
                                           {1, 127, 255},
                                           {1, 126, 0}})
    EXPECT_EQ(PosterizedByte(C.Level, C.In), C.Out) << C.Level << " " << C.In;
}

TEST(Posterize, OutOfRangeLevelsChangeNothing) {
  for (int32_t Level : {-1, 9, 100}) {
    TImage Image = NoiseImage(5, 4, 8);
    const TImage Before = Image;
    Image.Posterize(Level);
    EXPECT_EQ(Image.Pixels, Before.Pixels);
  }
}

TEST(Posterize, DiffusesErrorsRightAndDownButNotPastTheEdges) {
  const uint32_t R[3][3] = {{45, 45, 44}, {45, 2, 254}, {46, 253, 44}};
  const uint32_t G[3][3] = {{10, 250, 3}, {1, 2, 200}, {99, 100, 101}};
  const uint32_t B[3][3] = {{255, 0, 128}, {64, 32, 16}, {8, 4, 2}};
  TImage Image(3, 3);
  for (int32_t Y = 0; Y < 3; ++Y)
    for (int32_t X = 0; X < 3; ++X) Image.Pixels[Y * 3 + X] = Rgba(R[Y][X], G[Y][X], B[Y][X], 7);
  Image.Posterize(6);
  const uint32_t ExpectedR[3][3] = {{47, 47, 40}, {47, 0, 255}, {47, 255, 40}};
  const uint32_t ExpectedG[3][3] = {{8, 255, 0}, {0, 0, 200}, {103, 96, 103}};
  const uint32_t ExpectedB[3][3] = {{255, 0, 128}, {64, 32, 16}, {8, 7, 0}};
  for (int32_t Y = 0; Y < 3; ++Y)
    for (int32_t X = 0; X < 3; ++X)
      EXPECT_EQ(At(Image, X, Y), Rgba(ExpectedR[Y][X], ExpectedG[Y][X], ExpectedB[Y][X], 7))
          << X << "," << Y;
}

}  // namespace
