#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "image/Image.h"
#include "resources/Resources.h"
#include "tests/image/TestImages.h"

namespace {

constexpr TPixel Red = 0xFF0000FF;
constexpr TPixel Black = 0xFF000000;
constexpr TPixel NearWhite = 0xFFFEFEFE;

uint32_t Read32(std::span<const uint8_t> Bytes, size_t At) {
  return uint32_t(Bytes[At]) | uint32_t(Bytes[At + 1]) << 8 | uint32_t(Bytes[At + 2]) << 16 |
         uint32_t(Bytes[At + 3]) << 24;
}

TEST(BitmapResource, HasTheInformationHeaderOfA24BitBottomUpBitmap) {
  const std::span<const uint8_t> Bytes = FindBitmapResource("A");
  ASSERT_EQ(Bytes.size(), 40u + 10320u);
  EXPECT_EQ(Read32(Bytes, 0), 40u);
  EXPECT_EQ(Read32(Bytes, 4), 80u);
  EXPECT_EQ(Read32(Bytes, 8), 43u);  // positive: bottom-up
  EXPECT_EQ(Bytes[12] | Bytes[13] << 8, 1);
  EXPECT_EQ(Bytes[14] | Bytes[15] << 8, 24);
  EXPECT_EQ(Read32(Bytes, 16), 0u);
  EXPECT_EQ(Read32(Bytes, 20), 10320u);
  EXPECT_EQ(Read32(Bytes, 32), 0u);  // no colour table
  EXPECT_TRUE(FindBitmapResource("B").empty());
  EXPECT_TRUE(FindBitmapResource("").empty());
}

TEST(LoadFromResource, ReplacesSizeAndReadsRowsBottomUp) {
  TImage Logo(3, 5);
  Logo.TransparentColor = 0x12345678;
  LoadFromResource(Logo, "A");
  ASSERT_EQ(Logo.Width, 80);
  ASSERT_EQ(Logo.Height, 43);
  ASSERT_EQ(Logo.Pixels.size(), 80u * 43u);
  EXPECT_EQ(Logo.TransparentColor, 0x12345678u);
  const std::span<const uint8_t> Bytes = FindBitmapResource("A");
  for (int32_t I = 0; I < 43; ++I)
    for (int32_t J = 0; J < 80; ++J) {
      const uint8_t* BGR = &Bytes[40 + size_t(I * 80 + J) * 3];
      ASSERT_EQ(Logo.Pixels[size_t(42 - I) * 80 + J], Rgba(BGR[2], BGR[1], BGR[0], 255))
          << "stored row " << I << " column " << J;
    }
}

TEST(LoadFromResource, UnknownNameLeavesTheImageAlone) {
  TImage Image(2, 2);
  Image.Pixels = {1, 2, 3, 4};
  LoadFromResource(Image, "no such bitmap");
  EXPECT_EQ(Image.Width, 2);
  EXPECT_EQ(Image.Height, 2);
  EXPECT_EQ(Image.Pixels, (std::vector<TPixel>{1, 2, 3, 4}));
}

TImage LoadLogo() {
  TImage Logo(1, 1);
  LoadFromResource(Logo, "A");
  return Logo;
}

TEST(Logo, IsTheEditablePictureOfTheSourceTree) {
  std::ifstream Picture(VORLEK_LOGO_PICTURE);
  ASSERT_TRUE(Picture) << VORLEK_LOGO_PICTURE;
  std::vector<std::string> Rows;
  for (std::string Line; std::getline(Picture, Line);)
    if (Line.rfind("//", 0) != 0) Rows.push_back(Line);
  ASSERT_EQ(Rows.size(), 43u);
  const TImage Logo = LoadLogo();
  const std::map<char, TPixel> Colors = {{'.', Red}, {'#', Black}, {'o', NearWhite}};
  for (int32_t Y = 0; Y < 43; ++Y) {
    ASSERT_EQ(Rows[Y].size(), 80u) << "row " << Y;
    for (int32_t X = 0; X < 80; ++X)
      ASSERT_EQ(Logo.Pixels[size_t(Y) * 80 + X], Colors.at(Rows[Y][X])) << X << "," << Y;
  }
}

TEST(Logo, ThreeColoursAndLettersInsideTheirBand) {
  const TImage Logo = LoadLogo();
  std::map<TPixel, int> Counts;
  int32_t MinX = 80, MaxX = -1, MinY = 43, MaxY = -1;
  for (int32_t Y = 0; Y < 43; ++Y)
    for (int32_t X = 0; X < 80; ++X) {
      const TPixel P = Logo.Pixels[size_t(Y) * 80 + X];
      ++Counts[P];
      if (P == Red) continue;
      MinX = std::min(MinX, X), MaxX = std::max(MaxX, X);
      MinY = std::min(MinY, Y), MaxY = std::max(MaxY, Y);
    }
  EXPECT_EQ(Counts.size(), 3u);
  EXPECT_GT(Counts[Red], 0);
  EXPECT_GT(Counts[Black], 0);
  EXPECT_GT(Counts[NearWhite], 0);
  EXPECT_GE(MinX, 5);
  EXPECT_LE(MaxX, 74);
  EXPECT_GE(MinY, 10);
  EXPECT_LE(MaxY, 33);
}

TEST(Logo, EveryLetterBodyHasAOnePixelOutline) {
  const TImage Logo = LoadLogo();
  auto At = [&Logo](int32_t X, int32_t Y) {
    return X < 0 || Y < 0 || X >= 80 || Y >= 43 ? Red : Logo.Pixels[size_t(Y) * 80 + X];
  };
  for (int32_t Y = 0; Y < 43; ++Y)
    for (int32_t X = 0; X < 80; ++X) {
      bool NextToBlack = false, NextToRed = false;
      for (int32_t DY = -1; DY <= 1; ++DY)
        for (int32_t DX = -1; DX <= 1; ++DX) {
          NextToBlack |= At(X + DX, Y + DY) == Black;
          NextToRed |= At(X + DX, Y + DY) == Red;
        }
      if (At(X, Y) == Black) {
        EXPECT_FALSE(NextToRed) << "black touches red at " << X << "," << Y;
      }
      if (At(X, Y) == NearWhite) {
        EXPECT_TRUE(NextToBlack) << "stray outline at " << X << "," << Y;
      }
    }
}

}  // namespace
