#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "console/ImageToCells.h"

namespace {

// One colour table for the whole file: it never changes once built.
const TColorTable& Colors() {
  static const TColorTable Table;
  return Table;
}

constexpr TPixel Grey(int32_t V) { return 0xFF000000u | static_cast<TPixel>(V) * 0x010101u; }
constexpr TPixel Rgb(int32_t R, int32_t G, int32_t B) {
  return 0xFF000000u | static_cast<TPixel>(B) << 16 | static_cast<TPixel>(G) << 8 |
         static_cast<TPixel>(R);
}
constexpr TCharInfo Untouched{'~', 0, 0x1F};

// A console whose every cell starts as Untouched, so skipped cells show.
struct TConsoleFixture : testing::Test {
  TRecordingScreen Screen;
  TConsole Console{Screen, "test", false};
  TConsoleFixture() { std::fill(Console.Cells.begin(), Console.Cells.end(), Untouched); }

  TCharInfo& At(int32_t Column, int32_t Row) {
    return Console.Cells[static_cast<size_t>(Row * 80 + Column)];
  }
  // Characters of Count cells of Row from Column.
  std::string Text(int32_t Column, int32_t Row, int32_t Count) {
    std::string S;
    for (int32_t I = 0; I < Count; ++I) S += static_cast<char>(At(Column + I, Row).AsciiChar);
    return S;
  }
  void Write(int32_t Column, int32_t Row, const std::string& S) {
    for (size_t I = 0; I < S.size(); ++I)
      At(Column + static_cast<int32_t>(I), Row).AsciiChar = static_cast<uint8_t>(S[I]);
  }
  size_t CountUntouched() {
    return static_cast<size_t>(std::count(Console.Cells.begin(), Console.Cells.end(), Untouched));
  }
};

// Weight = the pixel's red byte out of 32; background 1, foreground 2.
class TRedWeightMapper : public TConsoleColorMapper {
 public:
  void MapColor(TPixel Color, int32_t& Primary, int32_t& Secondary, int32_t& Weight,
                int32_t& Total) const override {
    Primary = 1;
    Secondary = 2;
    Weight = static_cast<int32_t>(Color & 0xFF);
    Total = 32;
  }
};

// 2 x 1 windows at step 2 x 1: character from the first pixel, attribute from the second.
class TProbeBlockMapper : public TConsoleUberMapper {
 public:
  TProbeBlockMapper() {
    BlockWidth = 2;
    BlockHeight = 1;
    StepX = 2;
    StepY = 1;
  }
  TCharInfo MapBlock(std::span<const TPixel> Pixels) const override {
    return TCharInfo{static_cast<uint8_t>(Pixels[0]), 9, static_cast<uint16_t>(Pixels[1])};
  }
};

// A ramp without "d" or "X", so positions can be compared without shaping getting in the way.
constexpr std::string_view NoShapeRamp = " .:-=+*#%@";
TImage PositionImage(int32_t Width, int32_t Height) {
  TImage Image(Width, Height);
  for (int32_t Y = 0; Y < Height; ++Y)
    for (int32_t X = 0; X < Width; ++X)
      Image.Pixels[static_cast<size_t>(Y * Width + X)] = Grey((X * 7 + Y * 13) % 256);
  return Image;
}

}  // namespace

TEST(ClipImage, Cases) {
  const struct {
    int32_t W, H, X, Y;
    TImageClip Expected;
  } Cases[] = {
      {80, 50, 0, 0, {0, 0, 0, 80, 0, 50}},    {80, 50, 0, -7, {0, 0, 0, 80, 7, 50}},
      {80, 50, -5, 0, {0, 0, 5, 80, 0, 50}},   {10, 10, 75, 45, {75, 45, 0, 5, 0, 5}},
      {100, 60, 0, 0, {0, 0, 0, 80, 0, 50}},   {100, 60, -10, -5, {0, 0, 10, 90, 5, 55}},
      {10, 10, -12, 0, {0, 0, 12, 10, 0, 10}}, {10, 10, 80, 50, {80, 50, 0, 0, 0, 0}},
  };
  for (const auto& C : Cases) {
    const TImageClip R = ClipImage(TImage(C.W, C.H), C.X, C.Y);
    const TImageClip& E = C.Expected;
    EXPECT_TRUE(R.X == E.X && R.Y == E.Y && R.SkipX == E.SkipX && R.EndX == E.EndX &&
                R.SkipY == E.SkipY && R.EndY == E.EndY)
        << C.W << "x" << C.H << " at " << C.X << "," << C.Y << ": " << R.X << "," << R.Y << " "
        << R.SkipX << ".." << R.EndX << " " << R.SkipY << ".." << R.EndY;
  }
}

using DrawMappedImageTest = TConsoleFixture;

TEST_F(DrawMappedImageTest, FullScreenAndShiftedPlacements) {
  const TImage Image = PositionImage(80, 50);
  TConsoleValueMapper Mapper{0, 4, 12, 14, 15};
  DrawColorImage(Console, Image, 0, 0, Mapper, NoShapeRamp);
  EXPECT_EQ(CountUntouched(), 0u);
  const std::vector<TCharInfo> Whole = Console.Cells;

  std::fill(Console.Cells.begin(), Console.Cells.end(), Untouched);
  DrawColorImage(Console, Image, 0, -7, Mapper, NoShapeRamp);
  for (int32_t Row = 0; Row < 50; ++Row)
    for (int32_t Column = 0; Column < 80; ++Column)
      ASSERT_EQ(At(Column, Row),
                Row < 43 ? Whole[static_cast<size_t>((Row + 7) * 80 + Column)] : Untouched)
          << Column << "," << Row;

  std::fill(Console.Cells.begin(), Console.Cells.end(), Untouched);
  DrawColorImage(Console, Image, -5, 0, Mapper, NoShapeRamp);
  for (int32_t Row = 0; Row < 50; ++Row)
    for (int32_t Column = 0; Column < 80; ++Column)
      ASSERT_EQ(At(Column, Row),
                Column < 75 ? Whole[static_cast<size_t>(Row * 80 + Column + 5)] : Untouched)
          << Column << "," << Row;
}

TEST_F(DrawMappedImageTest, OverflowingAndOffScreenImagesAreClipped) {
  TConsoleValueMapper Mapper{0, 4, 12};
  const TImage Image = PositionImage(10, 10);
  DrawColorImage(Console, Image, 75, 45, Mapper);
  EXPECT_EQ(CountUntouched(), 4000u - 25u);
  EXPECT_NE(At(79, 49), Untouched);
  EXPECT_EQ(At(74, 49), Untouched);
  for (const auto& [X, Y] : {std::pair{80, 0}, std::pair{0, 50}, std::pair{-10, 0},
                             std::pair{0, -10}, std::pair{-1000, -1000}}) {
    DrawColorImage(Console, Image, X, Y, Mapper);
    EXPECT_EQ(CountUntouched(), 4000u - 25u) << X << "," << Y;
  }
}

TEST_F(DrawMappedImageTest, PlacementsAtTheEndsOfTheIntegerRangeDrawNothing) {
  TConsoleValueMapper Mapper{0, 4, 12};
  const TImage Image = PositionImage(10, 10);
  const TProbeBlockMapper Probe;
  for (const auto& [X, Y] : {std::pair{INT32_MAX - 5, 0}, std::pair{0, INT32_MAX - 5},
                             std::pair{INT32_MIN, 0}, std::pair{0, INT32_MIN}}) {
    DrawColorImage(Console, Image, X, Y, Mapper);
    DrawHalfBlockImage(Console, Image, X, Y, Colors());
    DrawBlockImage(Console, Image, X, Y, Probe);
    EXPECT_EQ(CountUntouched(), 4000u) << X << "," << Y;
  }
}

TEST_F(DrawMappedImageTest, DefaultRampCellsOfTheThreeColourMapper) {
  TConsoleValueMapper Mapper{0, 4, 12};
  TImage Image(3, 1);
  Image.Pixels = {Grey(100), Grey(192), Grey(128)};
  DrawColorImage(Console, Image, 2, 3, Mapper, "");
  EXPECT_EQ(Text(2, 3, 3), "s0 ");
  EXPECT_EQ(At(2, 3).Attributes, 64);
  EXPECT_EQ(At(3, 3).Attributes, 196);
  EXPECT_EQ(At(4, 3).Attributes, 76);
}

TEST_F(DrawMappedImageTest, WeightPicksTheRampGlyph) {
  TRedWeightMapper Mapper;
  TImage Image(17, 1);
  for (int32_t W = 0; W <= 16; ++W) Image.Pixels[static_cast<size_t>(W)] = Rgb(W, 0, 0);
  DrawColorImage(Console, Image, 0, 0, Mapper);
  EXPECT_EQ(Text(0, 0, 17), "  \xF9\xF9++ssooddXX000");
  EXPECT_EQ(At(16, 0).Attributes, 0x12);

  DrawColorImage(Console, Image, 0, 1, Mapper, "#");
  EXPECT_EQ(Text(0, 1, 17), std::string(17, '#'));

  DrawColorImage(Console, Image, 0, 2, Mapper, "ab");
  EXPECT_EQ(Text(0, 2, 17), std::string(16, 'a') + "b");  // the last glyph only at one half
}

TEST_F(DrawMappedImageTest, TransparentPixelsKeepTheirCellsButStillShape) {
  TRedWeightMapper Mapper;
  TImage Image(4, 1);
  Image.Pixels = {Rgb(12, 0, 0), Rgb(10, 0, 0), Rgb(12, 0, 0), Rgb(10, 0, 0)};
  Image.TransparentColor = Rgb(12, 0, 0);
  Write(0, 0, "Xo.d");
  DrawColorImage(Console, Image, 0, 0, Mapper);
  // Cells 0 and 2 keep their old characters; the drawn "d"s follow an "X" only in cell 1.
  EXPECT_EQ(Text(0, 0, 4), "Xb.d");
  EXPECT_EQ(At(0, 0).Attributes, Untouched.Attributes);
  EXPECT_EQ(At(1, 0).Attributes, 0x12);
}

TEST_F(DrawMappedImageTest, GroupSeesImagePositionsNotCells) {
  TConsoleValueMapper A{0, 4, 12};
  TConsoleValueMapper B{0, 1, 9};
  const TPals1 Group{&A, &B};
  TImage Image(80, 1);
  std::fill(Image.Pixels.begin(), Image.Pixels.end(), Grey(128));
  DrawMappedImage(Console, Image, -40, 0, Group, "");
  EXPECT_EQ(At(0, 0).Attributes, 4 * 16 + 12);  // image column 40: mapper 0
  DrawMappedImage(Console, Image, 0, 1, Group, "");
  EXPECT_EQ(At(0, 1).Attributes, 1 * 16 + 9);  // image column 0: mapper 1
  EXPECT_EQ(At(40, 1).Attributes, 4 * 16 + 12);
}

using FixRampGlyphsTest = TConsoleFixture;

TEST_F(FixRampGlyphsTest, DAfterXRows) {
  const struct {
    const char* Before;
    const char* After;
  } Rows[] = {{"Xdd d", "Xbb d"}, {"XXd", "XXb"},   {"dX", "dX"},    {"Xod", "Xod"},
              {"Xd?d", "Xb?d"},   {"dddd", "dddd"}, {"XdXd", "XbXb"}};
  for (int32_t I = 0; I < static_cast<int32_t>(std::size(Rows)); ++I) Write(0, I, Rows[I].Before);
  FixRampGlyphs(Console, 0, 0, 79, static_cast<int32_t>(std::size(Rows)) - 1);
  for (int32_t I = 0; I < static_cast<int32_t>(std::size(Rows)); ++I)
    EXPECT_EQ(Text(0, I, static_cast<int32_t>(std::string(Rows[I].After).size())), Rows[I].After);
}

TEST_F(FixRampGlyphsTest, EachRowOfTheRectangleStartsAfresh) {
  Write(78, 0, "Xd");
  Write(0, 1, "dd");
  Write(10, 2, "Xdd");
  FixRampGlyphs(Console, 11, 0, 79, 2);
  EXPECT_EQ(Text(78, 0, 2), "Xb");
  EXPECT_EQ(Text(0, 1, 2), "dd");
  EXPECT_EQ(Text(10, 2, 3), "Xdd");  // the X lies left of the rectangle
  FixRampGlyphs(Console, 5, 5, 4, 5);
  FixRampGlyphs(Console, 10, 2, 12, 1);
  EXPECT_EQ(Text(10, 2, 3), "Xdd");
}

using DrawBlockImageTest = TConsoleFixture;

TEST_F(DrawBlockImageTest, LineArtFillsTheScreenFrom161x101) {
  TImage Image(161, 101);
  std::fill(Image.Pixels.begin(), Image.Pixels.end(), Rgb(0, 0, 0));
  // Pixel row 21 is the middle row of the windows of cell row 10.
  for (int32_t X = 0; X < 161; ++X) Image.Pixels[static_cast<size_t>(21 * 161 + X)] = Grey(255);
  DrawBlockImage(Console, Image, 0, 0, TLin1Mapper(Colors()));
  EXPECT_EQ(CountUntouched(), 0u);
  EXPECT_EQ(Text(0, 10, 80), std::string(80, static_cast<char>(196)));
  EXPECT_EQ(At(0, 10).Attributes, 0x07);
  EXPECT_EQ(At(79, 49), (TCharInfo{32, 0, 0x01}));
}

TEST_F(DrawBlockImageTest, WindowsPastTheImageRepeatTheEdge) {
  TImage Image(5, 5);
  std::fill(Image.Pixels.begin(), Image.Pixels.end(), Rgb(0, 0, 0));
  for (int32_t Y = 0; Y < 5; ++Y) Image.Pixels[static_cast<size_t>(Y * 5 + 4)] = Grey(255);
  DrawBlockImage(Console, Image, 0, 0, TLin1Mapper(Colors()));
  EXPECT_EQ(CountUntouched(), 4000u - 9u);
  // Column 2's windows read pixel columns 4, 5, 6: all the white edge.
  for (int32_t Row = 0; Row < 3; ++Row) EXPECT_EQ(At(2, Row), (TCharInfo{197, 0, 0xF7})) << Row;
  EXPECT_EQ(At(0, 0), (TCharInfo{32, 0, 0x01}));
}

TEST_F(DrawBlockImageTest, GridClipping) {
  TImage Image(9, 4);  // grid of 5 x 5 windows
  for (int32_t Y = 0; Y < 4; ++Y)
    for (int32_t X = 0; X < 9; ++X)
      Image.Pixels[static_cast<size_t>(Y * 9 + X)] = static_cast<TPixel>(0x40 + Y * 16 + X);
  const TProbeBlockMapper Mapper;
  DrawBlockImage(Console, Image, -3, -2, Mapper);
  EXPECT_EQ(CountUntouched(), 4000u - 6u);
  EXPECT_EQ(At(0, 0), (TCharInfo{0x40 + 2 * 16 + 6, 9, 0x40 + 2 * 16 + 7}));
  EXPECT_EQ(At(1, 0), (TCharInfo{0x40 + 2 * 16 + 8, 9, 0x40 + 2 * 16 + 8}));  // edge repeated
  EXPECT_EQ(At(0, 2), (TCharInfo{0x40 + 3 * 16 + 6, 9, 0x40 + 3 * 16 + 7}));  // last row repeated

  std::fill(Console.Cells.begin(), Console.Cells.end(), Untouched);
  DrawBlockImage(Console, Image, 78, 48, Mapper);
  EXPECT_EQ(CountUntouched(), 4000u - 4u);
  EXPECT_EQ(At(79, 49), (TCharInfo{0x40 + 16 + 2, 9, 0x40 + 16 + 3}));
  DrawBlockImage(Console, Image, 80, 0, Mapper);
  DrawBlockImage(Console, Image, 0, -5, Mapper);
  DrawBlockImage(Console, TImage(0, 0), 0, 0, Mapper);
  EXPECT_EQ(CountUntouched(), 4000u - 4u);
}

namespace {

// Dark-grey grid lines every 6 columns and 8 rows; elsewhere, by a fixed random sequence, any
// colour, a console colour moved up to 140 per channel (pixels either side of the line distance)
// or a console colour exactly (whole strokes). The windows of cell row 1 have a white centre and
// arms right at the line distance from white's line colour: squared distances 16256 and 16129
// are near, 16257 and 16384 are not.
TImage LineArtOverNoise(int32_t Width, int32_t Height, uint32_t Seed) {
  TImage Image(Width, Height);
  uint32_t State = Seed;
  const auto Next = [&State](uint32_t N) {
    State = State * 1664525u + 1013904223u;
    return (State >> 8) % N;
  };
  const auto At = [&Image, Width](int32_t X, int32_t Y) -> TPixel& {
    return Image.Pixels[static_cast<size_t>(Y * Width + X)];
  };
  for (int32_t Y = 0; Y < Height; ++Y)
    for (int32_t X = 0; X < Width; ++X) {
      const TPaletteColor& C = ConsolePalette[Next(16)];
      const auto Moved = [&Next](int32_t V) {
        return std::clamp(V + static_cast<int32_t>(Next(281)) - 140, 0, 255);
      };
      const uint32_t Kind = X % 6 == 2 || Y % 8 == 4 ? 3 : Next(3);
      At(X, Y) = Kind == 0   ? 0xFF000000u | Next(1u << 24)
                 : Kind == 1 ? Rgb(Moved(C.R), Moved(C.G), Moved(C.B))
                 : Kind == 2 ? Rgb(C.R, C.G, C.B)
                             : Grey(100 + static_cast<int32_t>(Next(40)));
    }

  int32_t Nearest, Line;
  TConsoleRGBMapper(Colors()).LookupColor(Grey(255), Nearest, Line);
  const TPaletteColor& L = ConsolePalette[Line];
  const int32_t Offsets[4][3] = {{120, 40, 16}, {127, 8, 8}, {127, 0, 0}, {128, 0, 0}};
  const auto Away = [](int32_t V, int32_t D) { return V >= 128 ? V - D : V + D; };
  for (int32_t Y = 2; Y <= 4 && Y < Height; ++Y)
    for (int32_t X = 0; X < Width; ++X) {
      if (Y == 3 && X % 2 == 1) {
        At(X, Y) = Grey(255);
      } else if (Y == 3 || X % 2 == 1) {
        const int32_t* D = Offsets[Next(4)];
        At(X, Y) = Rgb(Away(L.R, D[0]), Away(L.G, D[1]), Away(L.B, D[2]));
      }
    }
  return Image;
}

}  // namespace

// The line-art mapper walks whole rows of windows in place; every cell must still be what
// MapBlock makes of the copied window (edge pixels repeated past the image) at any image size and
// placement, and every cell off the image must stay untouched.
TEST_F(DrawBlockImageTest, RowWalkAgreesWithMapBlock) {
  struct TCase {
    int32_t Width, Height, X, Y;
  };
  const TCase Cases[] = {
      {161, 101, 0, 0},   // the full screen
      {161, 129, 0, -7},  // taller, moved up: the bottom rows are cut
      {37, 23, 5, 3},     // odd width: the last column's windows fit
      {36, 20, -3, 40},   // even width: the last column repeats the edge; cut left and below
      {200, 60, -31, 1},  // wider than the screen, from an odd window
      {4, 3, 78, 0},      // one window inside, one past the edge
      {2, 2, 0, 0},       // narrower than a window
  };
  const TLin1Mapper Mapper(Colors());
  std::set<uint8_t> Glyphs;
  uint32_t Seed = 7;
  for (const TCase& Case : Cases) {
    const TImage Image = LineArtOverNoise(Case.Width, Case.Height, ++Seed);
    std::fill(Console.Cells.begin(), Console.Cells.end(), Untouched);
    DrawBlockImage(Console, Image, Case.X, Case.Y, Mapper);
    size_t Mismatches = 0;
    for (int32_t Row = 0; Row < 50; ++Row)
      for (int32_t Column = 0; Column < 80; ++Column) {
        const int32_t C = Column - Case.X, R = Row - Case.Y;
        TCharInfo Expected = Untouched;
        if (C >= 0 && C <= Case.Width / 2 && R >= 0 && R <= Case.Height / 2) {
          std::vector<TPixel> Window;
          for (int32_t Y = 0; Y < 3; ++Y)
            for (int32_t X = 0; X < 3; ++X)
              Window.push_back(Image.Pixels[static_cast<size_t>(
                  std::min(R * 2 + Y, Case.Height - 1) * Case.Width +
                  std::min(C * 2 + X, Case.Width - 1))]);
          Expected = Mapper.MapBlock(Window);
          Glyphs.insert(Expected.AsciiChar);
        }
        if (!(At(Column, Row) == Expected) && ++Mismatches <= 3)
          ADD_FAILURE() << Case.Width << " x " << Case.Height << " cell " << Column << "," << Row;
      }
    EXPECT_EQ(Mismatches, 0u) << Case.Width << " x " << Case.Height;
  }
  EXPECT_EQ(Glyphs.size(), 13u);  // all twelve shapes and the blank occurred
}

using DrawHalfBlockImageTest = TConsoleFixture;

TEST_F(DrawHalfBlockImageTest, OddHeightsAndClipping) {
  TImage Image(80, 5);
  for (int32_t Y = 0; Y < 5; ++Y)
    for (int32_t X = 0; X < 80; ++X)
      Image.Pixels[static_cast<size_t>(Y * 80 + X)] = Y % 2 == 0 ? Rgb(255, 0, 0) : Rgb(0, 0, 255);
  Image.Pixels[69] = Rgb(0, 33, 225);  // nearer to 9 than the table's first choice 1
  DrawHalfBlockImage(Console, Image, 10, 3, Colors());
  EXPECT_EQ(CountUntouched(), 4000u - 2u * 70u);
  EXPECT_EQ(At(10, 3), (TCharInfo{220, 0, 12 * 16 + 9}));
  EXPECT_EQ(At(79, 3), (TCharInfo{220, 0, 9 * 16 + 9}));
  EXPECT_EQ(At(79, 4), (TCharInfo{220, 0, 12 * 16 + 9}));
  EXPECT_EQ(At(10, 5), Untouched);  // the fifth pixel row has no partner

  std::fill(Console.Cells.begin(), Console.Cells.end(), Untouched);
  Image.Pixels[2 * 80] = Rgb(0, 255, 0);
  DrawHalfBlockImage(Console, Image, -1, -1, Colors());
  EXPECT_EQ(CountUntouched(), 4000u - 79u);
  EXPECT_EQ(At(0, 0), (TCharInfo{220, 0, 12 * 16 + 9}));
  EXPECT_EQ(At(79, 1), Untouched);
  DrawHalfBlockImage(Console, Image, 0, 0, Colors());
  EXPECT_EQ(At(0, 1), (TCharInfo{220, 0, 10 * 16 + 9}));
}

TEST_F(DrawHalfBlockImageTest, OnlyATransparentUpperPixelSkipsTheCell) {
  TImage Image(2, 2);
  Image.Pixels = {Rgb(255, 0, 0), Rgb(255, 255, 255), Rgb(0, 0, 192), Rgb(255, 0, 0)};
  Image.TransparentColor = Rgb(255, 0, 0);
  DrawHalfBlockImage(Console, Image, 0, 0, Colors());
  EXPECT_EQ(At(0, 0), Untouched);
  EXPECT_EQ(At(1, 0), (TCharInfo{220, 0, 15 * 16 + 12}));
}

using DrawCharsTest = TConsoleFixture;

TEST_F(DrawCharsTest, SkipsControlCharactersAndOffScreenPositions) {
  const TsetChars Chars = {
      {{32, 0, 0x70}, 0, 0},   {{0, 0, 0x70}, 1, 0},    {{31, 0, 0x70}, 2, 0},
      {{'A', 5, 0x4E}, 3, 0},  {{'B', 0, 0x07}, -1, 0}, {{'C', 0, 0x07}, 80, 0},
      {{'D', 0, 0x07}, 0, -1}, {{'E', 0, 0x07}, 0, 50}, {{'F', 0, 0x07}, 79, 49},
      {{'G', 0, 0x02}, 3, 0},  {{'H', 0, 0x07}, 4, 0}};
  DrawChars(Console, Chars, 10);
  EXPECT_EQ(At(0, 0), (TCharInfo{32, 0, 0x70}));
  EXPECT_EQ(At(1, 0), Untouched);
  EXPECT_EQ(At(2, 0), Untouched);
  EXPECT_EQ(At(3, 0), (TCharInfo{'G', 0, 0x02}));  // the later entry wins
  EXPECT_EQ(At(4, 0), Untouched);                  // beyond Count
  EXPECT_EQ(At(79, 49), (TCharInfo{'F', 0, 0x07}));
  EXPECT_EQ(CountUntouched(), 4000u - 3u);

  DrawChars(Console, {{{'A', 5, 0x4E}, 6, 6}}, 1);
  EXPECT_EQ(At(6, 6), (TCharInfo{'A', 5, 0x4E}));  // the whole cell is stored
}
