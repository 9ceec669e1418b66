#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "console/ImageToCells.h"
#include "system/Halt.h"

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
constexpr TPixel Black = Rgb(0, 0, 0);
constexpr TPixel White = Rgb(255, 255, 255);

struct TMapped {
  int32_t Primary, Secondary, Weight, Total;
  friend bool operator==(const TMapped&, const TMapped&) = default;
};
void PrintTo(const TMapped& M, std::ostream* Os) {
  *Os << "(" << M.Primary << ", " << M.Secondary << ", " << M.Weight << ", " << M.Total << ")";
}

TMapped Map(const TConsoleColorMapper& Mapper, TPixel Color) {
  TMapped M{};
  Mapper.MapColor(Color, M.Primary, M.Secondary, M.Weight, M.Total);
  return M;
}

// A 3 x 3 window from three rows of '#' (white) and '.' (black), e.g. ".#./###/.#.".
std::vector<TPixel> Window(const std::string& Rows) {
  std::vector<TPixel> Pixels;
  for (const char C : Rows)
    if (C != '/') Pixels.push_back(C == '#' ? White : Black);
  return Pixels;
}

}  // namespace

// --- Value mapper

TEST(ValueMapper, ThreeColourRows) {
  const TConsoleValueMapper Mapper{0, 4, 12};
  EXPECT_EQ(Mapper.Step, 128);
  EXPECT_EQ(Mapper.Levels, 3);
  const struct {
    int32_t V;
    TMapped Expected;
  } Rows[] = {{0, {0, 4, 0, 128}},    {63, {0, 4, 63, 128}},  {64, {4, 0, 64, 128}},
              {100, {4, 0, 28, 128}}, {128, {4, 12, 0, 128}}, {192, {12, 4, 64, 128}},
              {255, {12, 4, 1, 128}}};
  for (const auto& Row : Rows) EXPECT_EQ(Map(Mapper, Grey(Row.V)), Row.Expected) << Row.V;
}

TEST(ValueMapper, FiveColourRows) {
  const TConsoleValueMapper Mapper{0, 4, 12, 14, 15};
  EXPECT_EQ(Mapper.Step, 64);
  EXPECT_EQ(Map(Mapper, Grey(200)), (TMapped{14, 15, 8, 64}));
  EXPECT_EQ(Map(Mapper, Grey(255)), (TMapped{15, 14, 1, 64}));
}

TEST(ValueMapper, OnlyTheBrightestChannelCounts) {
  const TConsoleValueMapper Mapper{0, 4, 12, 14, 15};
  const TMapped Expected = Map(Mapper, Rgb(200, 200, 200));
  EXPECT_EQ(Map(Mapper, Rgb(200, 0, 0)), Expected);
  EXPECT_EQ(Map(Mapper, Rgb(0, 200, 0)), Expected);
  EXPECT_EQ(Map(Mapper, Rgb(0, 0, 200)), Expected);
  EXPECT_EQ(Map(Mapper, Rgb(200, 17, 150) & 0x00FFFFFF), Expected);
}

TEST(ValueMapper, SetLevelsSteps) {
  TConsoleValueMapper Mapper{0, 15};
  const int32_t Steps[][2] = {{2, 256}, {3, 128}, {4, 84}, {5, 64}, {12, 22}, {13, 20}};
  for (const auto& Row : Steps) {
    Mapper.SetLevels(Row[0]);
    EXPECT_EQ(Mapper.Levels, Row[0]);
    EXPECT_EQ(Mapper.Step, Row[1]) << Row[0];
  }
}

TEST(ValueMapper, BrightnessBeyondTheTopRepeatsTheLastBand) {
  TConsoleValueMapper Mapper{0, 4, 12};
  Mapper.Offset = 256;
  EXPECT_EQ(Map(Mapper, Grey(0)), (TMapped{12, 12, 0, 128}));
  EXPECT_EQ(Map(Mapper, Grey(20)), (TMapped{12, 12, 20, 128}));
  EXPECT_EQ(Map(Mapper, Grey(64)), (TMapped{12, 4, 64, 128}));
  EXPECT_EQ(Map(Mapper, Grey(100)), (TMapped{12, 4, 28, 128}));
}

TEST(ValueMapper, FewerLevelsThanColoursSlideWithOffset) {
  TConsoleValueMapper Mapper{0, 4, 12, 14, 15, 13, 9, 1, 0, 4, 12, 14, 15};
  Mapper.SetLevels(5);
  EXPECT_EQ(Mapper.ColorCount, 13);
  Mapper.Offset = 128;
  EXPECT_EQ(Map(Mapper, Grey(0)), (TMapped{12, 14, 0, 64}));
  EXPECT_EQ(Map(Mapper, Grey(255)), (TMapped{9, 13, 1, 64}));
}

// --- RGB mapper and colour table

TEST(ConsolePalette, DarkColoursUse192BrightOnes255AndGrey127) {
  for (int32_t I = 0; I < 16; ++I) {
    const int32_t On = I == 8 ? 127 : I > 8 ? 255 : 192;
    const bool Grey8 = I == 8;
    EXPECT_EQ(ConsolePalette[I].R, Grey8 || (I & 4) ? On : 0) << I;
    EXPECT_EQ(ConsolePalette[I].G, Grey8 || (I & 2) ? On : 0) << I;
    EXPECT_EQ(ConsolePalette[I].B, Grey8 || (I & 1) ? On : 0) << I;
  }
}

TEST(RGBMapper, ColorDistanceIsRounded) {
  EXPECT_EQ(TConsoleRGBMapper::ColorDistance(0, 0, 0, 15), 442);
  EXPECT_EQ(TConsoleRGBMapper::ColorDistance(0, 0, 0, 8), 220);
  EXPECT_EQ(TConsoleRGBMapper::ColorDistance(0, 33, 225, 9), 45);
  EXPECT_EQ(TConsoleRGBMapper::ColorDistance(0, 33, 225, 1), 47);
  EXPECT_EQ(TConsoleRGBMapper::ColorDistance(192, 0, 192, 5), 0);
}

TEST(RGBMapper, RoundedRootIsTheNearestIntegerForEverySum) {
  for (int64_t Sum = 0; Sum <= 3 * 255 * 255; ++Sum) {
    const int64_t K = TConsoleRGBMapper::RoundedRoot(static_cast<int32_t>(Sum));
    // (K - 1/2)^2 < Sum < (K + 1/2)^2, in integers.
    ASSERT_TRUE((2 * K - 1) * (2 * K - 1) < 4 * Sum || K == 0) << Sum;
    ASSERT_LT(4 * Sum, (2 * K + 1) * (2 * K + 1)) << Sum;
  }
}

TEST(RGBMapper, MapsNearestAndSecondWithExactDistances) {
  const TConsoleRGBMapper Mapper(Colors());
  EXPECT_EQ(Mapper.IndexBits, 6);
  EXPECT_EQ(Mapper.IndexShift, 2);
  EXPECT_EQ(Map(Mapper, Black), (TMapped{0, 1, 0, 192}));
  EXPECT_EQ(Map(Mapper, Rgb(255, 128, 0)), (TMapped{6, 14, 90, 217}));
  // The bucket ranks 1 first, the pixel itself is nearer to 9.
  int32_t Nearest, Second;
  Mapper.LookupColor(Rgb(0, 33, 225), Nearest, Second);
  EXPECT_EQ(Nearest, 1);
  EXPECT_EQ(Second, 9);
  EXPECT_EQ(Map(Mapper, Rgb(0, 33, 225)), (TMapped{9, 1, 45, 92}));
}

TEST(RGBMapper, ColorTableMatchesAStraightforwardSearch) {
  const TColorTable& ColorTable = Colors();
  ASSERT_EQ(ColorTable.Entries.size(), 262144u);
  const int32_t Far = TConsoleRGBMapper::ColorDistance(0, 0, 0, 15);
  size_t Mismatches = 0;
  for (int32_t I = 0; I < 64; ++I)
    for (int32_t J = 0; J < 64; ++J)
      for (int32_t K = 0; K < 64; ++K) {
        int32_t Nearest = 0, Second = 0, DNearest = Far, DSecond = Far;
        for (int32_t L = 0; L < 16; ++L) {
          const int32_t D = TConsoleRGBMapper::ColorDistance(I << 2, J << 2, K << 2, L);
          if (D < DNearest) {
            Second = Nearest;
            DSecond = DNearest;
            Nearest = L;
            DNearest = D;
          } else if (D < DSecond) {
            Second = L;
            DSecond = D;
          }
        }
        const size_t Index = static_cast<size_t>((I * 64 + J) * 64 + K);
        if (ColorTable[Index] != Second * 16 + Nearest && ++Mismatches <= 5)
          ADD_FAILURE() << "bucket " << I << "," << J << "," << K << ": " << int{ColorTable[Index]}
                        << " instead of " << Second * 16 + Nearest;
      }
  EXPECT_EQ(Mismatches, 0u);
}

TEST(RGBMapper, SecondMapperKeepsTheTable) {
  TColorTable Table = Colors();
  const TConsoleRGBMapper First(Table);
  const uint8_t* Data = Table.Entries.data();
  Table.Entries[12345] = 0x5A;  // a mark a rebuild would erase
  const TConsoleRGBMapper Second(Table);
  EXPECT_EQ(Table.Entries.data(), Data);
  EXPECT_EQ(Table.Entries[12345], 0x5A);
  EXPECT_EQ(Second.Table, &Table);
}

// --- Line-art block mapper

TEST(Lin1Mapper, WindowsOnBlack) {
  const TLin1Mapper Mapper(Colors());
  EXPECT_EQ(Mapper.BlockWidth, 3);
  EXPECT_EQ(Mapper.BlockHeight, 3);
  EXPECT_EQ(Mapper.StepX, 2);
  EXPECT_EQ(Mapper.StepY, 2);
  const struct {
    const char* Rows;
    uint8_t Glyph;
    uint16_t Attributes;
  } Cases[] = {
      {".../.../...", 32, 0x01},   // black is 192 from its line colour 1: nothing marked
      {".../###/...", 196, 0x07},  // white's second-nearest is light grey
      {".#./.#./.#.", 179, 0x07}, {".#./###/.#.", 197, 0x07},
      {"###/###/###", 197, 0xF7},  // the uncovered corners are white
      {".#./###/..#", 193, 0x07}, {".#./.#./...", 249, 0x07},
  };
  for (const auto& Case : Cases) {
    const TCharInfo Cell = Mapper.MapBlock(Window(Case.Rows));
    EXPECT_EQ(Cell.AsciiChar, Case.Glyph) << Case.Rows;
    EXPECT_EQ(Cell.Attributes, Case.Attributes) << Case.Rows;
  }
}

TEST(Lin1Mapper, EachPatternWinsOnItsOwnShape) {
  const TLin1Mapper Mapper(Colors());
  const struct {
    const char* Rows;
    uint8_t Glyph;
  } Cases[] = {{".#./###/.#.", 197}, {".#./###/...", 193}, {".#./.##/.#.", 195},
               {".../###/.#.", 194}, {".#./##./.#.", 180}, {".#./.#./.#.", 179},
               {".../###/...", 196}, {".#./.##/...", 192}, {".../.##/.#.", 218},
               {".../##./.#.", 191}, {".#./##./...", 217}, {".../.#./...", 249},
               {"#.#/.#./#.#", 249}, {".#./#.#/.#.", 32},  {"###/#.#/###", 32}};
  for (const auto& Case : Cases) {
    TPixel Average;
    EXPECT_EQ(Mapper.PickGlyph(Window(Case.Rows), 7, Average), Case.Glyph) << Case.Rows;
  }
}

TEST(Lin1Mapper, PixelsUnder128FromTheLineColourAreMarked) {
  const TLin1Mapper Mapper(Colors());
  TPixel Average;
  // Squared distances 16256 (127.498) and 16257 (127.503) from black.
  EXPECT_EQ(TConsoleRGBMapper::ColorDistance(16, 40, 120, 0), 127);
  EXPECT_EQ(TConsoleRGBMapper::ColorDistance(2, 37, 122, 0), 128);
  EXPECT_EQ(Mapper.PickGlyph(std::vector<TPixel>(9, Rgb(16, 40, 120)), 0, Average), 197);
  EXPECT_EQ(Mapper.PickGlyph(std::vector<TPixel>(9, Rgb(2, 37, 122)), 0, Average), 32);
}

TEST(Lin1Mapper, AverageOfTheUncoveredPixels) {
  const TLin1Mapper Mapper(Colors());
  TPixel Average = 1;
  // The marked corner 8 lies outside the tee, so it joins the average of 0, 2, 6, 7, 8.
  EXPECT_EQ(Mapper.PickGlyph(Window(".#./###/..#"), 7, Average), 193);
  EXPECT_EQ(Average, 0x00333333u);
  EXPECT_EQ(Mapper.PickGlyph(Window(".#./.#./..."), 7, Average), 249);
  EXPECT_EQ(Average, 0x001F1F1Fu);
  EXPECT_EQ(Mapper.PickGlyph(Window(".#./#.#/.#."), 7, Average), 32);
  EXPECT_EQ(Average, 0x00717171u);
  EXPECT_EQ(Mapper.PickGlyph(Window("###/###/###"), 7, Average), 197);
  EXPECT_EQ(Average, 0x00FFFFFFu);
}

TEST(Lin1Mapper, AverageColorTruncatesPerChannel) {
  const TPixel Pixels[] = {Rgb(10, 200, 3), Rgb(11, 100, 0), Rgb(0, 1, 255)};
  EXPECT_EQ(TLin1Mapper::AverageColor(Pixels), Rgb(7, 100, 86) & 0x00FFFFFF);
}

TEST(Lin1Mapper, PickGlyphMatchesAStraightforwardWalk) {
  const TLin1Mapper Mapper(Colors());
  std::mt19937 Engine(7);
  auto Next = [&Engine](uint32_t N) { return static_cast<uint32_t>(Engine() % N); };
  std::vector<int> Seen(256, 0);
  for (int32_t Trial = 0; Trial < 20000; ++Trial) {
    const int32_t LineColor = static_cast<int32_t>(Next(16));
    const TPaletteColor& Line = ConsolePalette[LineColor];
    std::vector<TPixel> Pixels(9);
    for (TPixel& P : Pixels) {
      if (Next(2)) {  // within 70 of the line colour
        auto Near = [&](int32_t V) {
          return std::clamp(V + static_cast<int32_t>(Next(81)) - 40, 0, 255);
        };
        P = Rgb(Near(Line.R), Near(Line.G), Near(Line.B));
      } else {
        P = Next(1u << 24) | 0xFF000000u;
      }
    }
    TMask Mask;
    for (size_t I = 0; I < 9; ++I)
      Mask[I] = TConsoleRGBMapper::ColorDistance(static_cast<int32_t>(Pixels[I] & 0xFF),
                                                 static_cast<int32_t>((Pixels[I] >> 8) & 0xFF),
                                                 static_cast<int32_t>((Pixels[I] >> 16) & 0xFF),
                                                 LineColor) < 128;
    uint8_t Glyph = 32;
    TPixel Expected = TLin1Mapper::AverageColor(Pixels);
    for (const TGlyphPattern& Entry : GlyphPatterns)
      if (MaskContains(Mask, Entry.Pattern)) {
        std::vector<TPixel> Uncovered;
        for (size_t I = 0; I < 9; ++I)
          if (!Entry.Pattern[I]) Uncovered.push_back(Pixels[I]);
        Glyph = Entry.Glyph;
        Expected = TLin1Mapper::AverageColor(Uncovered);
        break;
      }
    TPixel Average;
    ASSERT_EQ(Mapper.PickGlyph(Pixels, LineColor, Average), Glyph) << Trial;
    ASSERT_EQ(Average, Expected) << Trial;
    ++Seen[Glyph];
  }
  for (const uint8_t Glyph : {197, 193, 195, 194, 180, 179, 196, 192, 218, 191, 217, 249, 32})
    EXPECT_GT(Seen[Glyph], 0) << int{Glyph};
}

TEST(Lin1Mapper, MaskContainsIsContainmentNotEquality) {
  const TMask Full{1, 1, 1, 1, 1, 1, 1, 1, 1};
  const TMask Cross = GlyphPatterns[0].Pattern;
  const TMask CentreOnly{0, 0, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_TRUE(MaskContains(Full, Cross));
  EXPECT_TRUE(MaskContains(Cross, Cross));
  EXPECT_TRUE(MaskContains(Cross, CentreOnly));
  EXPECT_FALSE(MaskContains(CentreOnly, Cross));
  EXPECT_FALSE(MaskContains(TMask{1, 1, 1, 1, 0, 1, 1, 1, 1}, CentreOnly));
}

// --- Mapper groups

TEST(MapperGroup, PlainGroupUsesTheFirstMapper) {
  TConsoleValueMapper A{0, 4, 12};
  TConsoleValueMapper B{1, 9, 11};
  const TConsoleMapperGroup Group{&A, &B};
  EXPECT_EQ(Group.Count, 2);
  const std::pair<int32_t, int32_t> Positions[] = {{0, 0}, {40, 0}, {0, 25}, {79, 49}, {1000, 7}};
  for (const auto& [X, Y] : Positions) {
    EXPECT_EQ(Group.SelectMapper(X, Y, White), 0);
    TMapped M{};
    Group.MapColor(X, Y, Grey(100), M.Primary, M.Secondary, M.Weight, M.Total);
    EXPECT_EQ(M, Map(A, Grey(100)));
  }
}

TEST(MapperGroup, Pals1Quadrants) {
  TConsoleValueMapper A{0, 4, 12};
  TConsoleValueMapper B{0, 1, 9};
  TConsoleValueMapper C{0, 2, 10};
  const TPals1 One{&A};
  const TPals1 Two{&A, &B};
  const TPals1 Three{&A, &B, &C};
  const struct {
    const TPals1& Group;
    int32_t X, Y, Expected;
  } Cases[] = {{Two, 0, 0, 1},     {Two, 39, 24, 1}, {Two, 40, 24, 0}, {Two, 39, 25, 0},
               {Two, 40, 25, 1},   {Two, 79, 49, 1}, {Two, 80, 0, 1},  {One, 0, 0, 0},
               {One, 40, 25, 0},   {One, 79, 49, 0}, {Three, 0, 0, 1}, {Three, 40, 0, 2},
               {Three, 40, 25, 0}, {Three, 0, 25, 2}};
  for (const auto& Case : Cases)
    EXPECT_EQ(Case.Group.SelectMapper(Case.X, Case.Y, Black), Case.Expected)
        << Case.Group.Count << " mappers at " << Case.X << "," << Case.Y;

  TMapped M{};
  Two.MapColor(0, 0, Grey(100), M.Primary, M.Secondary, M.Weight, M.Total);
  EXPECT_EQ(M, Map(B, Grey(100)));
}

TEST(MapperGroup, MappersOutliveTheirGroup) {
  TConsoleValueMapper A{0, 4, 12};
  { const TPals1 Group{&A}; }
  EXPECT_EQ(Map(A, Grey(100)), (TMapped{4, 0, 28, 128}));
}

namespace {
void ReportRestored() { std::fputs("terminal restored\n", stderr); }
}  // namespace

TEST(MapperGroupDeathTest, EmptyListHaltsWithExitCode1AfterRestoringTheTerminal) {
  EXPECT_EXIT(
      {
        SetHaltHook(ReportRestored);
        const TConsoleMapperGroup Group{std::span<TConsoleColorMapper* const>{}};
      },
      testing::ExitedWithCode(1), "terminal restored");
}
