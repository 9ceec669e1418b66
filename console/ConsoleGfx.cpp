#include "console/ConsoleGfx.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <typeinfo>
#include <utility>

#include "system/Halt.h"

TConsole::TConsole(IScreen& Screen_, const std::string& Title, bool FullScreen)
    : Cells(ScreenCells), Screen(Screen_) {
  Screen.Open(Title, FullScreen);
}

TConsole::~TConsole() { Screen.Close(); }

void TConsole::Present() { Screen.Present(Cells); }

void TConsole::SetTitle(const std::string& Title) { Screen.SetTitle(Title); }

// --- Colour table

std::vector<uint8_t> ColorTable;

namespace {
constexpr int32_t TableBits = 6;
constexpr int32_t TableSide = 1 << TableBits;
constexpr int32_t MaxSquaredDistance = 3 * 255 * 255;
}  // namespace

// Ranks by rounded distance, as ColorDistance would, but from per-channel squared differences
// and a table of rounded roots instead of 16 square roots per bucket.
void BuildColorTable() {
  ColorTable.assign(size_t{1} << (3 * TableBits), 0);

  std::vector<uint16_t> Root(MaxSquaredDistance + 1);
  for (int32_t N = 0; N <= MaxSquaredDistance; ++N)
    Root[static_cast<size_t>(N)] = static_cast<uint16_t>(TConsoleRGBMapper::RoundedRoot(N));

  int32_t SquareR[TableSide][16];
  int32_t SquareG[TableSide][16];
  int32_t SquareB[TableSide][16];
  for (int32_t V = 0; V < TableSide; ++V) {
    const int32_t Corner = V << (8 - TableBits);
    for (int32_t L = 0; L < 16; ++L) {
      SquareR[V][L] = (ConsolePalette[L].R - Corner) * (ConsolePalette[L].R - Corner);
      SquareG[V][L] = (ConsolePalette[L].G - Corner) * (ConsolePalette[L].G - Corner);
      SquareB[V][L] = (ConsolePalette[L].B - Corner) * (ConsolePalette[L].B - Corner);
    }
  }

  const int32_t Far = TConsoleRGBMapper::ColorDistance(0, 0, 0, 15);
  uint8_t* Out = ColorTable.data();
  for (int32_t I = 0; I < TableSide; ++I) {
    for (int32_t J = 0; J < TableSide; ++J) {
      int32_t SquareRG[16];
      for (int32_t L = 0; L < 16; ++L) SquareRG[L] = SquareR[I][L] + SquareG[J][L];
      for (int32_t K = 0; K < TableSide; ++K) {
        int32_t Nearest = 0, Second = 0, DNearest = Far, DSecond = Far;
        for (int32_t L = 0; L < 16; ++L) {
          const int32_t D = Root[static_cast<size_t>(SquareRG[L] + SquareB[K][L])];
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
        *Out++ = static_cast<uint8_t>(Second * 16 + Nearest);
      }
    }
  }
}

// --- Value mapper

TConsoleValueMapper::TConsoleValueMapper(std::span<const int32_t> NewColors) {
  SetColors(NewColors);
  SetLevels(ColorCount);
  Offset = 0;
}

TConsoleValueMapper::TConsoleValueMapper(std::initializer_list<int32_t> NewColors)
    : TConsoleValueMapper(std::span<const int32_t>(NewColors.begin(), NewColors.size())) {}

void TConsoleValueMapper::SetColors(std::span<const int32_t> NewColors) {
  ColorCount = static_cast<int32_t>(NewColors.size());
  Colors.assign(NewColors.begin(), NewColors.end());
}

void TConsoleValueMapper::SetLevels(int32_t N) {
  Levels = N;
  Step = (256 / (N - 1)) & ~1;
}

void TConsoleValueMapper::MapColor(TPixel Color, int32_t& Primary, int32_t& Secondary,
                                   int32_t& Weight, int32_t& Total) const {
  const int32_t V =
      static_cast<int32_t>(std::max({Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF}));
  const int32_t S = V + Offset;
  const int32_t Half = Step / 2;
  // The level is limited before its neighbour is chosen, so brightness beyond the top keeps
  // the band pattern between the last two colours.
  const int32_t I = std::clamp((S + Half) / Step, 0, ColorCount - 1);
  int32_t J = std::min(I + 1, ColorCount - 1);
  const int32_t R = S % Step;
  if (R >= Half) {
    Weight = Step - R;
    J = I - 1;
  } else {
    Weight = R;
  }
  Primary = Colors[static_cast<size_t>(I)];
  Secondary = Colors[static_cast<size_t>(J)];
  Total = Step;
}

// --- RGB mapper

TConsoleRGBMapper::TConsoleRGBMapper() {
  IndexBits = TableBits;
  IndexShift = 8 - TableBits;
  if (ColorTable.empty()) BuildColorTable();
}

void TConsoleRGBMapper::MapColor(TPixel Color, int32_t& Primary, int32_t& Secondary,
                                 int32_t& Weight, int32_t& Total) const {
  int32_t Nearest, Second;
  LookupColor(Color, Nearest, Second);
  const int32_t R = static_cast<int32_t>(Color & 0xFF);
  const int32_t G = static_cast<int32_t>((Color >> 8) & 0xFF);
  const int32_t B = static_cast<int32_t>((Color >> 16) & 0xFF);
  // The table ranked the bucket's corner; the pixel itself may sit closer to the second colour.
  int32_t DN = ColorDistance(R, G, B, Nearest);
  int32_t DS = ColorDistance(R, G, B, Second);
  if (DN > DS) {
    std::swap(Nearest, Second);
    std::swap(DN, DS);
  }
  Primary = Nearest;
  Secondary = Second;
  Weight = DN;
  Total = DN + DS;
}

// --- Line-art block mapper

constexpr TGlyphPattern GlyphPatterns[12] = {
    {{0, 1, 0, 1, 1, 1, 0, 1, 0}, 197},  // cross
    {{0, 1, 0, 1, 1, 1, 0, 0, 0}, 193},  // tee up
    {{0, 1, 0, 0, 1, 1, 0, 1, 0}, 195},  // tee right
    {{0, 0, 0, 1, 1, 1, 0, 1, 0}, 194},  // tee down
    {{0, 1, 0, 1, 1, 0, 0, 1, 0}, 180},  // tee left
    {{0, 1, 0, 0, 1, 0, 0, 1, 0}, 179},  // vertical
    {{0, 0, 0, 1, 1, 1, 0, 0, 0}, 196},  // horizontal
    {{0, 1, 0, 0, 1, 1, 0, 0, 0}, 192},  // up and right
    {{0, 0, 0, 0, 1, 1, 0, 1, 0}, 218},  // down and right
    {{0, 0, 0, 1, 1, 0, 0, 1, 0}, 191},  // down and left
    {{0, 1, 0, 1, 1, 0, 0, 0, 0}, 217},  // up and left
    {{0, 0, 0, 0, 1, 0, 0, 0, 0}, 249},  // dot
};

bool MaskContains(const TMask& Mask, const TMask& Pattern) {
  for (size_t I = 0; I < Pattern.size(); ++I)
    if (Pattern[I] && !Mask[I]) return false;
  return true;
}

TLin1Mapper::TLin1Mapper() {
  BlockWidth = 3;
  BlockHeight = 3;
  StepX = 2;
  StepY = 2;
}

TPixel TLin1Mapper::AverageColor(std::span<const TPixel> Pixels) {
  if (Pixels.empty()) return 0;
  uint32_t R = 0, G = 0, B = 0;
  for (const TPixel P : Pixels) {
    R += P & 0xFF;
    G += (P >> 8) & 0xFF;
    B += (P >> 16) & 0xFF;
  }
  const auto N = static_cast<uint32_t>(Pixels.size());
  return (R / N) | (G / N) << 8 | (B / N) << 16;
}

namespace {
constexpr int32_t NoPattern = -1;

// The first entry of GlyphPatterns contained in each of the 512 masks (bit i = position i), so
// a window costs one look-up instead of a walk through the patterns.
struct TPatternIndex {
  std::array<int8_t, 512> FirstPattern;
  std::array<uint16_t, 12> Covered;  // bits of each pattern's set positions
};

TPatternIndex BuildPatternIndex() {
  TPatternIndex Index{};
  for (size_t P = 0; P < std::size(GlyphPatterns); ++P)
    for (size_t I = 0; I < 9; ++I)
      if (GlyphPatterns[P].Pattern[I]) Index.Covered[P] |= static_cast<uint16_t>(1u << I);
  for (uint32_t Bits = 0; Bits < 512; ++Bits) {
    TMask Mask;
    for (size_t I = 0; I < 9; ++I) Mask[I] = (Bits >> I) & 1;
    Index.FirstPattern[Bits] = NoPattern;
    for (size_t P = 0; P < std::size(GlyphPatterns); ++P)
      if (MaskContains(Mask, GlyphPatterns[P].Pattern)) {
        Index.FirstPattern[Bits] = static_cast<int8_t>(P);
        break;
      }
  }
  return Index;
}

const TPatternIndex PatternIndex = BuildPatternIndex();

// Sum / N for sums of up to nine channel bytes and 1 <= N <= 9: ceil(2^16 / N) overshoots
// Sum / N by less than 2295 / 2^16, too little to reach the next integer.
constexpr uint32_t Reciprocal[10] = {0, 65536, 32768, 21846, 16384, 13108, 10923, 9363, 8192, 7282};
uint32_t DivideSmall(uint32_t Sum, uint32_t N) { return (Sum * Reciprocal[N]) >> 16; }
}  // namespace

uint8_t TLin1Mapper::PickGlyph(std::span<const TPixel> Pixels, int32_t LineColor,
                               TPixel& Average) const {
  // A rounded distance below 128 is a root below 127.5, a squared distance of at most 16256.
  constexpr int32_t MaxSquaredLineDistance = 16256;
  uint32_t Marked = 0;
  uint32_t ChanR[9], ChanG[9], ChanB[9];
  for (uint32_t I = 0; I < 9; ++I) {
    const TPixel P = Pixels[I];
    ChanR[I] = P & 0xFF;
    ChanG[I] = (P >> 8) & 0xFF;
    ChanB[I] = (P >> 16) & 0xFF;
    const int32_t D = TConsoleRGBMapper::SquaredDistance(static_cast<int32_t>(ChanR[I]),
                                                         static_cast<int32_t>(ChanG[I]),
                                                         static_cast<int32_t>(ChanB[I]), LineColor);
    Marked |= static_cast<uint32_t>(D <= MaxSquaredLineDistance) << I;
  }
  const int32_t P = PatternIndex.FirstPattern[Marked];
  if (P == NoPattern && Pixels.size() != 9) {
    Average = AverageColor(Pixels);
    return 32;
  }
  const uint32_t Covered = P == NoPattern ? 0u : PatternIndex.Covered[static_cast<size_t>(P)];
  uint32_t R = 0, G = 0, B = 0, N = 0;
  for (uint32_t I = 0; I < 9; ++I) {
    const uint32_t Keep = ((Covered >> I) & 1) ^ 1;
    R += ChanR[I] * Keep;
    G += ChanG[I] * Keep;
    B += ChanB[I] * Keep;
    N += Keep;
  }
  Average = DivideSmall(R, N) | DivideSmall(G, N) << 8 | DivideSmall(B, N) << 16;
  return P == NoPattern ? 32 : GlyphPatterns[P].Glyph;
}

TCharInfo TLin1Mapper::MapBlock(std::span<const TPixel> Pixels) const {
  int32_t Nearest, LineColor;
  RGBMapper.LookupColor(Pixels[4], Nearest, LineColor);
  TPixel Average;
  const uint8_t Glyph = PickGlyph(Pixels, LineColor, Average);
  int32_t Background, Unused;
  RGBMapper.LookupColor(Average, Background, Unused);
  return TCharInfo{Glyph, 0, static_cast<uint16_t>(Background * 16 + LineColor)};
}

// --- Mapper groups

TConsoleMapperGroup::TConsoleMapperGroup(std::span<TConsoleColorMapper* const> NewMappers) {
  Count = static_cast<int32_t>(NewMappers.size());
  if (Count < 1) Halt(1);
  Mappers.assign(NewMappers.begin(), NewMappers.end());
}

TConsoleMapperGroup::TConsoleMapperGroup(std::initializer_list<TConsoleColorMapper*> NewMappers)
    : TConsoleMapperGroup(
          std::span<TConsoleColorMapper* const>(NewMappers.begin(), NewMappers.size())) {}

int32_t TConsoleMapperGroup::SelectMapper(int32_t, int32_t, TPixel) const { return 0; }

int32_t TPals1::SelectMapper(int32_t X, int32_t Y, TPixel) const {
  return (X / 40 + Y / 25 + 1) % Count;
}

// --- Image-to-console conversion

namespace {
constexpr int32_t ScreenWidth = ScreenSize.X;
constexpr int32_t ScreenHeight = ScreenSize.Y;

TCharInfo& CellAt(TConsole& Console, int32_t Column, int32_t Row) {
  return Console.Cells[static_cast<size_t>(Row * ScreenWidth + Column)];
}

// First visible item and end of a span of Length items placed at screen position Pos (moved to
// 0 when negative) on a screen of Limit items. Worked out in 64 bits so that no position, however
// far off, wraps round onto the screen.
void ClipSpan(int32_t Length, int32_t Limit, int32_t& Pos, int32_t& Skip, int32_t& End) {
  int64_t S = 0;
  if (Pos < 0) {
    S = -int64_t{Pos};
    Pos = 0;
  }
  int64_t E = Length;
  if (E - S + Pos > Limit) E = Limit - Pos + S;
  // Only Pos = INT32_MIN skips past the 32-bit range, and nothing is visible then either way.
  Skip = static_cast<int32_t>(std::min<int64_t>(S, INT32_MAX));
  End = static_cast<int32_t>(E);
}
}  // namespace

TImageClip ClipImage(const TImage& Image, int32_t X, int32_t Y) {
  TImageClip C{X, Y, 0, 0, 0, 0};
  ClipSpan(Image.Width, ScreenWidth, C.X, C.SkipX, C.EndX);
  ClipSpan(Image.Height, ScreenHeight, C.Y, C.SkipY, C.EndY);
  return C;
}

void DrawMappedImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                     const TConsoleMapperGroup& Group, std::string_view Ramp) {
  const std::string_view R = Ramp.empty() ? DefaultRamp : Ramp;
  const int32_t L = static_cast<int32_t>(R.size());
  const TImageClip C = ClipImage(Image, X, Y);
  if (C.EndX <= C.SkipX || C.EndY <= C.SkipY) return;

  const TPixel Key = Image.TransparentColor;
  const TPixel* Pixels = Image.GetPixels();
  for (int32_t PY = C.SkipY; PY < C.EndY; ++PY) {
    const TPixel* Row = Pixels + static_cast<size_t>(PY) * static_cast<size_t>(Image.Width);
    TCharInfo* Cell = &CellAt(Console, C.X, C.Y + PY - C.SkipY);
    for (int32_t PX = C.SkipX; PX < C.EndX; ++PX, ++Cell) {
      const TPixel Color = Row[PX];
      if (Color == Key) continue;
      int32_t Primary, Secondary, Weight, Total;
      Group.MapColor(PX, PY, Color, Primary, Secondary, Weight, Total);
      // Weight <= Total / 2 keeps K inside the ramp; the clamp only guards mappers fed
      // out-of-range offsets.
      const int32_t K = std::clamp((L - 1) * 2 * Weight / Total + 1, 1, L);
      Cell->AsciiChar = static_cast<uint8_t>(R[static_cast<size_t>(K - 1)]);
      Cell->Attributes = static_cast<uint16_t>(Primary * 16 + Secondary);
    }
  }
  FixRampGlyphs(Console, C.X, C.Y, C.X + (C.EndX - C.SkipX) - 1, C.Y + (C.EndY - C.SkipY) - 1);
}

void DrawColorImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                    TConsoleColorMapper& Mapper, std::string_view Ramp) {
  const TConsoleMapperGroup Group{&Mapper};
  DrawMappedImage(Console, Image, X, Y, Group, Ramp);
}

namespace {
// --- Line-art walk: one row of cells at a time, eight cells a vector
//
// Every window of TLin1Mapper at step 2 starts on an even column, so a pixel row split into
// even and odd columns holds a window's left, middle and right pixels for cell k at Even[k],
// Odd[k] and Even[k + 1]: all three are unit-stride runs with one cell a 16-bit lane.

typedef uint16_t TLanes __attribute__((vector_size(16)));
typedef int16_t TSignedLanes __attribute__((vector_size(16)));
typedef uint32_t TPixelQuad __attribute__((vector_size(16)));

constexpr int32_t Lanes = 8;
// 80 cells and one more even column, rounded up to whole groups of eight.
constexpr size_t PlaneSize = ScreenWidth + Lanes;

// The splitting below lays 32-bit pixels over pairs of 16-bit lanes.
static_assert(std::endian::native == std::endian::little);

// No shape covers a window corner, so only the middle row and column decide the glyph and a
// corner pixel always counts in the background's average.
static_assert([] {
  for (const TGlyphPattern& Entry : GlyphPatterns)
    if (Entry.Pattern[0] || Entry.Pattern[2] || Entry.Pattern[6] || Entry.Pattern[8]) return false;
  return true;
}());

TLanes LoadLanes(const uint16_t* From) {
  TLanes V;
  std::memcpy(&V, From, sizeof V);
  return V;
}

void StoreLanes(uint16_t* To, TLanes V) { std::memcpy(To, &V, sizeof V); }

// One pixel row by channel (R, G, B), even and odd columns apart.
struct TPlanarRow {
  alignas(16) uint16_t Even[3][PlaneSize];
  alignas(16) uint16_t Odd[3][PlaneSize];
};

// Splits Row (Columns pixels readable) into Groups groups of eight even and eight odd pixels;
// pixels past Columns read as zero.
void SplitRow(const TPixel* Row, int32_t Columns, int32_t Groups, TPlanarRow& Out) {
  for (int32_t J = 0; J < Groups; ++J) {
    const int32_t First = J * 2 * Lanes;
    TPixelQuad Q[4];
    if (First + 2 * Lanes <= Columns) {
      std::memcpy(Q, Row + First, sizeof Q);
    } else {
      TPixel Tail[2 * Lanes] = {};
      std::copy_n(Row + First, std::max(Columns - First, 0), Tail);
      std::memcpy(Q, Tail, sizeof Q);
    }
    // A 4 x 4 transpose: Halves[0][0] holds pixels 0, 4, 8, 12 (the left columns of cells 0, 2,
    // 4, 6), Halves[0][1] pixels 2, 6, 10, 14 (cells 1, 3, 5, 7); Halves[1] the middle columns.
    const TPixelQuad A = __builtin_shufflevector(Q[0], Q[1], 0, 4, 1, 5);
    const TPixelQuad B = __builtin_shufflevector(Q[2], Q[3], 0, 4, 1, 5);
    const TPixelQuad C = __builtin_shufflevector(Q[0], Q[1], 2, 6, 3, 7);
    const TPixelQuad D = __builtin_shufflevector(Q[2], Q[3], 2, 6, 3, 7);
    const TPixelQuad Halves[2][2] = {
        {__builtin_shufflevector(A, B, 0, 1, 4, 5), __builtin_shufflevector(C, D, 0, 1, 4, 5)},
        {__builtin_shufflevector(A, B, 2, 3, 6, 7), __builtin_shufflevector(C, D, 2, 3, 6, 7)}};
    const auto Offset = static_cast<size_t>(J * Lanes);
    for (int32_t Odd = 0; Odd < 2; ++Odd) {
      // A channel of cells 0, 2, 4, 6 in the lower 16 bits of each 32 and of cells 1, 3, 5, 7 in
      // the upper 16 bits puts cells 0 .. 7 in lane order.
      const TPixelQuad Low = Halves[Odd][0], High = Halves[Odd][1];
      const TPixelQuad Channel[3] = {(Low & 0xFF) | (High & 0xFF) << 16,
                                     (Low >> 8 & 0xFF) | (High << 8 & 0xFF0000),
                                     (Low >> 16 & 0xFF) | (High & 0xFF0000)};
      uint16_t(&Plane)[3][PlaneSize] = Odd ? Out.Odd : Out.Even;
      for (size_t Ch = 0; Ch < 3; ++Ch) std::memcpy(&Plane[Ch][Offset], &Channel[Ch], 16);
    }
  }
}

// All ones in the lanes whose pixel (channels Plane[0..2] from Offset) lies within the line
// distance of the lane's line colour Line[0..2]: a rounded distance below 128 is a squared
// distance of at most 16256. A channel 128 or more away fails alone, so clamping differences to
// +-128 keeps each square within 16384 and their sum within 16 bits.
TLanes NearLine(const uint16_t (&Plane)[3][PlaneSize], size_t Offset, const TLanes (&Line)[3]) {
  TLanes Sum = {};
  for (size_t Ch = 0; Ch < 3; ++Ch) {
    TSignedLanes D = (TSignedLanes)LoadLanes(&Plane[Ch][Offset]) - (TSignedLanes)Line[Ch];
    D = D > 128 ? 128 : D;
    D = D < -128 ? -128 : D;
    Sum += (TLanes)(D * D);
  }
  return (TLanes)(Sum <= 16256);
}

// All ones in the lanes whose window position I is not covered by the lane's shape.
TLanes KeptAt(TLanes Covered, int32_t I) {
  return ~(TLanes)((TSignedLanes)(Covered << (15 - I)) >> 15);
}

// What a window's mask of near positions makes: the glyph of the first pattern it contains,
// the positions that pattern covers and how many of the nine it leaves.
struct TWindowShape {
  uint16_t Covered;
  uint8_t Glyph;
  uint8_t Kept;
};

std::array<TWindowShape, 512> BuildWindowShapes() {
  std::array<TWindowShape, 512> Shapes{};
  for (size_t Marked = 0; Marked < 512; ++Marked) {
    const int32_t P = PatternIndex.FirstPattern[Marked];
    const uint16_t Covered = P == NoPattern ? 0 : PatternIndex.Covered[static_cast<size_t>(P)];
    Shapes[Marked] = {Covered, P == NoPattern ? uint8_t{32} : GlyphPatterns[P].Glyph,
                      static_cast<uint8_t>(9 - std::popcount(Covered))};
  }
  return Shapes;
}

const std::array<TWindowShape, 512> WindowShapes = BuildWindowShapes();

// ColorTable's entry for a colour, as TConsoleRGBMapper::LookupColor finds it with the table's
// own bucket size.
uint8_t TableEntry(uint32_t R, uint32_t G, uint32_t B) {
  constexpr int32_t Shift = 8 - TableBits;
  return ColorTable[(R >> Shift) << (2 * TableBits) | (G >> Shift) << TableBits | B >> Shift];
}

// TLin1Mapper::MapBlock for every cell of a row whose windows lie inside the image, by stages:
// line colours, near positions, shapes, kept sums, cells. Lanes past the row's cells compute
// on zeros or stale values and are never read back.
class TLin1Walk {
 public:
  // Cells windows a row; Columns pixels readable from the first one's left column.
  TLin1Walk(int32_t Cells_, int32_t Columns_)
      : Cells(Cells_), Columns(Columns_), Chunks((Cells_ + Lanes - 1) / Lanes) {}

  // Rows start at the first window's left column. For step 2 a row's top is the previous row's
  // bottom, which is reused when Continued.
  void DrawRow(const TPixel* Top, const TPixel* Middle, const TPixel* Bottom, bool Continued,
               TCharInfo* Out);

 private:
  const int32_t Cells, Columns, Chunks;
  TPlanarRow Planes[3] = {};
  TPlanarRow* TopRow = &Planes[0];
  TPlanarRow* MiddleRow = &Planes[1];
  TPlanarRow* BottomRow = &Planes[2];
  alignas(16) uint16_t LineRGB[3][PlaneSize] = {};
  alignas(16) uint16_t Marked[PlaneSize] = {};
  alignas(16) uint16_t Covered[PlaneSize] = {};
  alignas(16) uint16_t Sum[3][PlaneSize] = {};
  uint8_t LineColor[PlaneSize] = {};
};

void TLin1Walk::DrawRow(const TPixel* Top, const TPixel* Middle, const TPixel* Bottom,
                        bool Continued, TCharInfo* Out) {
  const int32_t Groups = Cells / Lanes + 1;  // Even[Cells] included
  if (Continued)
    std::swap(TopRow, BottomRow);
  else
    SplitRow(Top, Columns, Groups, *TopRow);
  SplitRow(Middle, Columns, Groups, *MiddleRow);
  SplitRow(Bottom, Columns, Groups, *BottomRow);
  const TPlanarRow &T = *TopRow, &M = *MiddleRow, &B = *BottomRow;
  const auto N = static_cast<size_t>(Cells);

  // Line colour: the centre pixel's second-nearest colour.
  for (size_t C = 0; C < N; ++C) {
    const TPixel P = Middle[2 * C + 1];
    const int32_t Line = TableEntry(P & 0xFF, P >> 8 & 0xFF, P >> 16 & 0xFF) >> 4;
    LineColor[C] = static_cast<uint8_t>(Line);
    LineRGB[0][C] = static_cast<uint16_t>(ConsolePalette[Line].R);
    LineRGB[1][C] = static_cast<uint16_t>(ConsolePalette[Line].G);
    LineRGB[2][C] = static_cast<uint16_t>(ConsolePalette[Line].B);
  }

  // Positions near the line colour, as bits 1, 3, 4, 5, 7 of the window mask.
  for (int32_t K = 0; K < Chunks; ++K) {
    const auto O = static_cast<size_t>(K * Lanes);
    const TLanes Line[3] = {LoadLanes(&LineRGB[0][O]), LoadLanes(&LineRGB[1][O]),
                            LoadLanes(&LineRGB[2][O])};
    const TLanes Bits = (NearLine(T.Odd, O, Line) & 2) | (NearLine(M.Even, O, Line) & 8) |
                        (NearLine(M.Odd, O, Line) & 16) | (NearLine(M.Even, O + 1, Line) & 32) |
                        (NearLine(B.Odd, O, Line) & 128);
    StoreLanes(&Marked[O], Bits);
  }

  for (size_t C = 0; C < N; ++C) Covered[C] = WindowShapes[Marked[C]].Covered;

  // Sums of the kept pixels: at most nine bytes, 2295, so 16-bit lanes hold them.
  for (int32_t K = 0; K < Chunks; ++K) {
    const auto O = static_cast<size_t>(K * Lanes);
    const TLanes Shape = LoadLanes(&Covered[O]);
    const TLanes Keep1 = KeptAt(Shape, 1), Keep3 = KeptAt(Shape, 3), Keep4 = KeptAt(Shape, 4),
                 Keep5 = KeptAt(Shape, 5), Keep7 = KeptAt(Shape, 7);
    for (size_t Ch = 0; Ch < 3; ++Ch) {
      const TLanes Corners = LoadLanes(&T.Even[Ch][O]) + LoadLanes(&T.Even[Ch][O + 1]) +
                             LoadLanes(&B.Even[Ch][O]) + LoadLanes(&B.Even[Ch][O + 1]);
      const TLanes S = Corners + (LoadLanes(&T.Odd[Ch][O]) & Keep1) +
                       (LoadLanes(&M.Even[Ch][O]) & Keep3) + (LoadLanes(&M.Odd[Ch][O]) & Keep4) +
                       (LoadLanes(&M.Even[Ch][O + 1]) & Keep5) + (LoadLanes(&B.Odd[Ch][O]) & Keep7);
      StoreLanes(&Sum[Ch][O], S);
    }
  }

  // Mean of the kept pixels and the cell.
  for (size_t C = 0; C < N; ++C) {
    const TWindowShape& Shape = WindowShapes[Marked[C]];
    const uint32_t R = DivideSmall(Sum[0][C], Shape.Kept);
    const uint32_t G = DivideSmall(Sum[1][C], Shape.Kept);
    const uint32_t Bl = DivideSmall(Sum[2][C], Shape.Kept);
    const int32_t Background = TableEntry(R, G, Bl) & 15;
    Out[C] = TCharInfo{Shape.Glyph, 0, static_cast<uint16_t>(Background * 16 + LineColor[C])};
  }
}
}  // namespace

void DrawBlockImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                    const TConsoleUberMapper& Mapper) {
  const int32_t BW = Mapper.BlockWidth, BH = Mapper.BlockHeight;
  const int32_t SX = Mapper.StepX, SY = Mapper.StepY;
  // An image without pixels has no edge to repeat; a mapper without a window has nothing to map.
  if (Image.Width <= 0 || Image.Height <= 0 || BW <= 0 || BH <= 0 || SX <= 0 || SY <= 0) return;

  int32_t SkipC, EndC, SkipR, EndR;
  ClipSpan(Image.Width / SX + 1, ScreenWidth, X, SkipC, EndC);
  ClipSpan(Image.Height / SY + 1, ScreenHeight, Y, SkipR, EndR);
  if (EndC <= SkipC || EndR <= SkipR) return;

  std::vector<TPixel> Buffer(static_cast<size_t>(BW) * static_cast<size_t>(BH));
  std::vector<const TPixel*> Rows(static_cast<size_t>(BH));
  const TPixel* Pixels = Image.GetPixels();
  const int32_t LastX = Image.Width - 1, LastY = Image.Height - 1;
  // The show's one block mapper walks whole rows; any other one (or a window reaching past the
  // right edge) goes through MapBlock with a copied window.
  const auto* Lin1Mapper =
      typeid(Mapper) == typeid(TLin1Mapper) ? static_cast<const TLin1Mapper*>(&Mapper) : nullptr;
  const bool Walk = Lin1Mapper && BW == 3 && BH == 3 && SX == 2 && SY == 2 &&
                    Lin1Mapper->RGBMapper.IndexBits == TableBits &&
                    Lin1Mapper->RGBMapper.IndexShift == 8 - TableBits;
  // Cell C's window, columns 2C .. 2C + 2, lies inside for C < (Width - 1) / 2.
  const int32_t WalkEnd = Walk ? std::clamp(LastX / 2, SkipC, EndC) : SkipC;
  std::optional<TLin1Walk> Lin1;
  if (WalkEnd > SkipC) Lin1.emplace(WalkEnd - SkipC, Image.Width - 2 * SkipC);
  for (int32_t R = SkipR; R < EndR; ++R) {
    for (int32_t BY = 0; BY < BH; ++BY)
      Rows[static_cast<size_t>(BY)] = Pixels + static_cast<size_t>(std::min(R * SY + BY, LastY)) *
                                                   static_cast<size_t>(Image.Width);
    TCharInfo* Cell = &CellAt(Console, X, Y + R - SkipR);
    if (Lin1) {
      const size_t Left = static_cast<size_t>(SkipC) * 2;
      Lin1->DrawRow(Rows[0] + Left, Rows[1] + Left, Rows[2] + Left, R > SkipR, Cell);
    }
    Cell += WalkEnd - SkipC;
    for (int32_t C = WalkEnd; C < EndC; ++C, ++Cell) {
      const int32_t Left = C * SX;
      TPixel* Out = Buffer.data();
      if (Left + BW <= Image.Width) {
        for (const TPixel* Row : Rows) Out = std::copy_n(Row + Left, BW, Out);
      } else {
        for (const TPixel* Row : Rows)
          for (int32_t BX = 0; BX < BW; ++BX) *Out++ = Row[std::min(Left + BX, LastX)];
      }
      *Cell = Mapper.MapBlock(Buffer);
    }
  }
}

void DrawHalfBlockImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y) {
  const TConsoleRGBMapper Mapper;
  int32_t SkipX, EndX, SkipR, EndR;
  ClipSpan(Image.Width, ScreenWidth, X, SkipX, EndX);
  ClipSpan(Image.Height / 2, ScreenHeight, Y, SkipR, EndR);
  if (EndX <= SkipX || EndR <= SkipR) return;

  const TPixel Key = Image.TransparentColor;
  const TPixel* Pixels = Image.GetPixels();
  const auto Width = static_cast<size_t>(Image.Width);
  for (int32_t R = SkipR; R < EndR; ++R) {
    const TPixel* Upper = Pixels + static_cast<size_t>(2 * R) * Width;
    const TPixel* Lower = Upper + Width;
    TCharInfo* Cell = &CellAt(Console, X, Y + R - SkipR);
    for (int32_t PX = SkipX; PX < EndX; ++PX, ++Cell) {
      if (Upper[PX] == Key) continue;
      int32_t Top, Bottom, Secondary, Weight, Total;
      Mapper.MapColor(Upper[PX], Top, Secondary, Weight, Total);
      Mapper.MapColor(Lower[PX], Bottom, Secondary, Weight, Total);
      Cell->AsciiChar = 220;
      Cell->Attributes = static_cast<uint16_t>(Top * 16 + Bottom);
    }
  }
}

void FixRampGlyphs(TConsole& Console, int32_t X0, int32_t Y0, int32_t X1, int32_t Y1) {
  X0 = std::max(X0, 0);
  Y0 = std::max(Y0, 0);
  X1 = std::min(X1, ScreenWidth - 1);
  Y1 = std::min(Y1, ScreenHeight - 1);
  for (int32_t Row = Y0; Row <= Y1; ++Row) {
    uint8_t Prev = '?';
    for (int32_t Column = X0; Column <= X1; ++Column) {
      TCharInfo& Cell = CellAt(Console, Column, Row);
      const uint8_t Ch = Cell.AsciiChar;
      if (Ch == 'd') {
        if (Prev == 'X') Cell.AsciiChar = 'b';
      } else {
        Prev = Ch;
      }
    }
  }
}

void DrawChars(TConsole& Console, const TsetChars& Chars, int32_t Count) {
  const auto N = std::min(static_cast<size_t>(std::max(Count, 0)), Chars.size());
  for (size_t I = 0; I < N; ++I) {
    const TsetChar& E = Chars[I];
    if (E.Cell.AsciiChar <= 31) continue;
    if (E.Column < 0 || E.Column >= ScreenWidth || E.Row < 0 || E.Row >= ScreenHeight) continue;
    CellAt(Console, E.Column, E.Row) = E.Cell;
  }
}
