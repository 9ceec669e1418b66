#include <gtest/gtest.h>

#include <algorithm>

#include <climits>

#include "TestImages.h"
#include "image/Image.h"
#include "image/Random.h"

namespace {

using TRows = std::vector<std::string>;

const TRows Canvas = {"......", "......", "......", "......"};
const TRows Sprite = {"abc", "def"};

TRows DrawnAt(int32_t X, int32_t Y) {
  TImage Dest = ImageFromRows(Canvas);
  TImage Source = ImageFromRows(Sprite);
  Source.TransparentColor = NoTransparentColor;
  Dest.Draw(Source, X, Y);
  return RowsOf(Dest);
}

TEST(Draw, ClipsAtEverySide) {
  struct TCase {
    int32_t X, Y;
    TRows Expected;
  };
  const std::vector<TCase> Cases = {
      {1, 1, {"......", ".abc..", ".def..", "......"}},
      {-1, 0, {"bc....", "ef....", "......", "......"}},  // first source column skipped
      {-2, 2, {"......", "......", "c.....", "f....."}},
      {4, 0, {"....ab", "....de", "......", "......"}},  // only two columns fit
      {5, 3, {"......", "......", "......", ".....a"}},
      {0, -1, {"def...", "......", "......", "......"}},
      {2, 3, {"......", "......", "......", "..abc."}},
      {-3, 0, Canvas},  // wholly outside on every side
      {6, 0, Canvas},
      {0, -2, Canvas},
      {0, 4, Canvas},
      {-100000, 100000, Canvas},
  };
  for (const TCase& C : Cases) EXPECT_EQ(DrawnAt(C.X, C.Y), C.Expected) << C.X << "," << C.Y;
}

TEST(Draw, LargerSourceThanDestination) {
  TImage Dest = ImageFromRows({"..", ".."});
  TImage Source = ImageFromRows({"abcd", "efgh", "ijkl"});
  Source.TransparentColor = NoTransparentColor;
  Dest.Draw(Source, -1, -1);
  EXPECT_EQ(RowsOf(Dest), (TRows{"fg", "jk"}));
}

TEST(Draw, KeyedCopySkipsTheSourceKey) {
  TImage Dest = ImageFromRows({"....", "...."});
  TImage Source = ImageFromRows({"xax", "bxc"});
  Source.TransparentColor = TPixel('x');
  Dest.Draw(Source, 1, 0);
  EXPECT_EQ(RowsOf(Dest), (TRows{"..a.", ".b.c"}));

  // Opaque red as key, the way the logo is shown: the red background is not drawn.
  TImage Logo(2, 1);
  Logo.Pixels = {0xFF0000FF, 0xFF000000};
  Logo.TransparentColor = 0xFF0000FF;
  TImage Screen(2, 1);
  Screen.Pixels = {0xFF00FF00, 0xFF00FF00};
  Screen.Draw(Logo, 0, 0);
  EXPECT_EQ(Screen.Pixels, (std::vector<TPixel>{0xFF00FF00, 0xFF000000}));

  // A new image's key 0x0FFFFFFF never matches an opaque pixel, so every pixel is copied.
  TImage Fresh(2, 1);
  Fresh.Pixels = {0xFFFFFFFF, 0xFF0000FF};
  Screen.Draw(Fresh, 0, 0);
  EXPECT_EQ(Screen.Pixels, Fresh.Pixels);
  // All 32 bits are compared.
  Fresh.Pixels = {0x0FFFFFFF, 0x1FFFFFFF};
  Screen.Draw(Fresh, 0, 0);
  EXPECT_EQ(Screen.Pixels, (std::vector<TPixel>{0xFFFFFFFF, 0x1FFFFFFF}));
}

TEST(CopyRect, SourceRectanglesAnywhereStayInsideBothImages) {
  const TImage Source = ImageFromRows({"abc", "def"});
  struct TCase {
    TRect R;
    int32_t X, Y;
    TRows Expected;
  };
  const std::vector<TCase> Cases = {
      {{1, 0, 3, 2}, 0, 0, {"bc..", "ef..", "...."}},
      {{1, 1, 2, 2}, 3, 2, {"....", "....", "...e"}},
      {{-1, -1, 5, 5}, 0, 0, {"....", ".abc", ".def"}},  // source clipped, target moves with it
      {{0, 0, 3, 2}, -1, 2, {"....", "....", "bc.."}},
      {{2, 1, 1, 2}, 0, 0, {"....", "....", "...."}},  // empty rectangle
      {{5, 0, 9, 2}, 0, 0, {"....", "....", "...."}},  // wholly outside the source
  };
  for (const TCase& C : Cases) {
    TImage Dest = ImageFromRows({"....", "....", "...."});
    Dest.CopyRect(Source, C.R, C.X, C.Y);
    EXPECT_EQ(RowsOf(Dest), C.Expected)
        << C.R.Left << "," << C.R.Top << " at " << C.X << "," << C.Y;
    TImage Keyed = ImageFromRows({"....", "....", "...."});
    Keyed.CopyRectKeyed(Source, C.R, C.X, C.Y);
    EXPECT_EQ(RowsOf(Keyed), C.Expected);
    TImage Blended = ImageFromRows({"....", "....", "...."});
    Blended.BlendRect(Source, C.R, C.X, C.Y, 256, 0);
    EXPECT_EQ(RowsOf(Blended), C.Expected);
  }
}

TEST(CopyRect, OverlappingCopyOntoItself) {
  TImage Image = ImageFromRows({"abcd", "efgh", "ijkl"});
  Image.CopyRect(Image, {0, 0, 3, 2}, 1, 1);
  EXPECT_EQ(RowsOf(Image), (TRows{"abcd", "eabc", "iefg"}));
  Image = ImageFromRows({"abcd", "efgh", "ijkl"});
  Image.TransparentColor = NoTransparentColor;
  Image.CopyRectKeyed(Image, {1, 1, 4, 3}, 0, 0);
  EXPECT_EQ(RowsOf(Image), (TRows{"fghd", "jklh", "ijkl"}));
}

TEST(DrawBlended, FullSourceAndNoDestinationIsAnOpaqueCopy) {
  TImage Dest = ImageFromRows({"....", "...."});
  TImage Source(2, 2);
  Source.Pixels = {0x12345678, 0xFFFFFFFF, 0x00000000, 0x80FF0001};
  Dest.DrawBlended(Source, 1, 1, 256, 0);
  EXPECT_EQ(Dest.Pixels[5], 0x12345678u);
  EXPECT_EQ(Dest.Pixels[6], 0xFFFFFFFFu);
  EXPECT_EQ(Dest.Pixels[0], TPixel('.'));
}

TEST(DrawBlended, AddsShiftedSharesAndSaturates) {
  TImage Dest(3, 1);
  Dest.Pixels = {Rgba(250, 100, 1, 255), Rgba(0, 255, 16, 128), Rgba(200, 200, 200, 200)};
  TImage Source(3, 1);
  Source.Pixels = {Rgba(255, 200, 255, 255), Rgba(255, 0, 16, 128), Rgba(255, 255, 255, 255)};
  Dest.DrawBlended(Source, 0, 0, 16, 255);
  // (s * 16) >> 8 + (d * 255) >> 8, capped at 255; each product shifted on its own.
  EXPECT_EQ(Dest.Pixels[0], Rgba(255, 12 + 99, 15 + 0, 255));
  EXPECT_EQ(Dest.Pixels[1], Rgba(15, 254, 1 + 15, 8 + 127));
  EXPECT_EQ(Dest.Pixels[2], Rgba(214, 214, 214, 214));

  TImage Half(1, 1);
  Half.Pixels = {Rgba(1, 3, 255, 255)};
  TImage Other(1, 1);
  Other.Pixels = {Rgba(1, 3, 255, 255)};
  Half.DrawBlended(Other, 0, 0, 128, 128);
  EXPECT_EQ(Half.Pixels[0], Rgba(0, 2, 254, 254));  // 0 + 0, not (1 + 1) >> 1
}

// Every byte value against every other at weights around the 256 steps and the ends of the
// vectorised range (and past them, where the exact table walk takes over), rows of odd lengths so
// the last bytes of a row take the one-by-one tail; once onto another image, once in place.
TEST(DrawBlended, EveryByteAndWeightMatchesTheShiftedShares) {
  TImage Source(257, 256), Dest(257, 256);
  for (int32_t Y = 0; Y < 256; ++Y)
    for (int32_t X = 0; X < 257; ++X) {
      const auto S = uint32_t(X % 256), D = uint32_t(Y);
      Source.Pixels[size_t(Y * 257 + X)] = S | (255 - S) << 8 | D << 16 | (S ^ D) << 24;
      Dest.Pixels[size_t(Y * 257 + X)] = D | S << 8 | (255 - D) << 16 | (S * 7 % 256) << 24;
    }
  auto Share = [](uint32_t V, int32_t W) { return (int64_t(V) * W) >> 8; };
  for (int32_t SW : {0, 1, 16, 128, 255, 256, 257, 511, 65535, 65536, 65537, -3})
    for (int32_t DW : {0, 255, 256, 300, 65536, 70000}) {
      TImage Out = Dest;
      Out.DrawBlended(Source, 0, 0, SW, DW);
      TImage Self = Dest;
      Self.DrawBlended(Self, 0, 0, SW, DW);
      size_t Wrong = 0;
      for (size_t I = 0; I < Out.Pixels.size(); ++I)
        for (int C = 0; C < 32; C += 8) {
          const uint32_t S = (Source.Pixels[I] >> C) & 255, D = (Dest.Pixels[I] >> C) & 255;
          Wrong += ((Out.Pixels[I] >> C) & 255) != uint32_t(std::clamp<int64_t>(
                                                       Share(S, SW) + Share(D, DW), 0, 255));
          Wrong += ((Self.Pixels[I] >> C) & 255) != uint32_t(std::clamp<int64_t>(
                                                        Share(D, SW) + Share(D, DW), 0, 255));
        }
      EXPECT_EQ(Wrong, 0u) << SW << " " << DW;
    }
}

TEST(DrawBlended, ClipsLikeDraw) {
  TImage Dest = ImageFromRows({"....", "...."});
  TImage Source = ImageFromRows({"ab", "cd"});
  Dest.DrawBlended(Source, 3, -1, 256, 0);
  EXPECT_EQ(RowsOf(Dest), (TRows{"...c", "...."}));
}

// --- Stretch draws

TEST(StretchDraw, NearestDoublesAndBilinearInterpolates) {
  TImage Source(2, 1);
  Source.Pixels = {Rgba(0, 0, 0, 0), Rgba(200, 100, 50, 255)};
  TImage Dest(4, 2);
  Dest.StretchDraw(Source, {0, 0, 2 << 16, 1 << 16}, {0, 0, 4, 2});
  for (int32_t Y = 0; Y < 2; ++Y) {
    EXPECT_EQ(Dest.Pixels[Y * 4 + 0], Source.Pixels[0]);
    EXPECT_EQ(Dest.Pixels[Y * 4 + 1], Source.Pixels[0]);
    EXPECT_EQ(Dest.Pixels[Y * 4 + 2], Source.Pixels[1]);
    EXPECT_EQ(Dest.Pixels[Y * 4 + 3], Source.Pixels[1]);
  }
  Dest.StretchDrawBilinear(Source, {0, 0, 2 << 16, 1 << 16}, {0, 0, 4, 2});
  const TPixel Expected[] = {Rgba(0, 0, 0, 0), Rgba(100, 50, 25, 127), Rgba(200, 100, 50, 255),
                             Rgba(100, 50, 25, 127)};  // the last column wraps back to column 0
  for (int32_t X = 0; X < 4; ++X) EXPECT_EQ(Dest.Pixels[X], Expected[X]) << X;
}

// Whole-pixel steps share one fraction per row and column and take a vectorised mix; each pixel
// must still be the sampler's, for fractions 0 to 256 (a negative position mirrors it), across
// the wrap, with an odd width for the pixel left over.
TEST(StretchDraw, WholePixelStepsSampleLikeTheSampler) {
  TImage Source(64, 48);
  uint32_t State = 5;
  for (TPixel& P : Source.Pixels) P = State = State * 1664525u + 1013904223u;
  TImage Dest(37, 29);
  size_t Wrong = 0;
  for (int32_t X : {0, 1 << 16, 5 * 65536 + 255 * 256, 77 * 256, -3 * 65536, -(3 * 65536 + 9 * 256)})
    for (int32_t Y : {0, 100 * 256, 60 * 65536 + 128 * 256, -(1 << 16) - 256}) {
      Dest.StretchDrawBilinear(Source, {X, Y, X + 37 * 65536, Y + 29 * 65536}, {0, 0, 37, 29});
      for (int32_t J = 0; J < 29; ++J)
        for (int32_t I = 0; I < 37; ++I)
          Wrong += Dest.Pixels[size_t(J * 37 + I)] !=
                   Source.SampleBilinear(X + I * 65536, Y + J * 65536);
    }
  EXPECT_EQ(Wrong, 0u);
}

TEST(StretchDraw, SourceRectangleWrapsAnywhere) {
  const TImage Source = ImageFromRows({"abc", "def"});
  TImage Dest = ImageFromRows({"....", "...."});
  Dest.StretchDraw(Source, {-1 << 16, 1 << 16, 3 << 16, 3 << 16}, {0, 0, 4, 2});
  EXPECT_EQ(RowsOf(Dest), (TRows{"edef", "babc"}));  // nearest mirrors the whole -1 to column 1
  Dest.StretchDrawBilinear(Source, {-(1 << 16), 1 << 16, 3 << 16, 3 << 16}, {0, 0, 4, 2});
  EXPECT_EQ(RowsOf(Dest), (TRows{"fdef", "cabc"}));  // bilinear: -1 is exactly column 2
}

TEST(StretchDraw, EveryPixelIsTheSamplerAtItsStep) {
  TImage Source(5, 3);
  TRandom Rng{3};
  for (TPixel& P : Source.Pixels) P = Rng.Random(0xFFFFFFFFu);
  const TRect Rects[] = {{-3 * 65536 - 1234, 70000, 9 * 65536 + 17, -2 * 65536},
                         {40000, -50000, -300000, 900000},
                         {INT32_MIN / 2, 0, INT32_MAX / 2, 65536 * 3}};
  for (const TRect& R : Rects) {
    TImage Bilinear(7, 6), Nearest(7, 6);
    Bilinear.StretchDrawBilinear(Source, R, {0, 0, 7, 6});
    Nearest.StretchDraw(Source, R, {0, 0, 7, 6});
    const int32_t StepX = (R.Right - R.Left) / 7, StepY = (R.Bottom - R.Top) / 6;
    for (int32_t I = 0; I < 6; ++I)
      for (int32_t J = 0; J < 7; ++J) {
        const int32_t X = R.Left + J * StepX, Y = R.Top + I * StepY;
        ASSERT_EQ(Bilinear.Pixels[size_t(I) * 7 + J], Source.SampleBilinear(X, Y)) << J << "," << I;
        ASSERT_EQ(Nearest.Pixels[size_t(I) * 7 + J], Source.SampleNearest(X, Y)) << J << "," << I;
      }
  }
}

TEST(StretchDraw, DestinationOutsideTheImageIsClipped) {
  const TImage Source = ImageFromRows({"abcd", "efgh"});
  TImage Dest = ImageFromRows({"...", "..."});
  Dest.StretchDraw(Source, {0, 0, 4 << 16, 2 << 16}, {-1, -1, 3, 1});
  EXPECT_EQ(RowsOf(Dest), (TRows{"fgh", "..."}));
  Dest.StretchDraw(Source, {0, 0, 4 << 16, 2 << 16}, {2, 1, 6, 3});
  EXPECT_EQ(RowsOf(Dest), (TRows{"fgh", "..a"}));
  Dest.StretchDraw(Source, {0, 0, 4 << 16, 2 << 16}, {5, 5, 9, 7});
  Dest.StretchDraw(Source, {0, 0, 4 << 16, 2 << 16}, {1, 1, 1, 3});  // empty
  EXPECT_EQ(RowsOf(Dest), (TRows{"fgh", "..a"}));
}

}  // namespace
