#include "console/LineArt.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <typeinfo>

#include "console/Console.h"

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

TLin1Mapper::TLin1Mapper(const TColorTable& Table) : RGBMapper(Table) {
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
constexpr size_t PlaneSize = ScreenSize.X + Lanes;

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

// TLin1Mapper::MapBlock for every cell of a row whose windows lie inside the image, by stages:
// line colours, near positions, shapes, kept sums, cells. Lanes past the row's cells compute
// on zeros or stale values and are never read back.
class TLin1Walk {
 public:
  // Cells windows a row; Columns pixels readable from the first one's left column.
  TLin1Walk(const TColorTable& Table_, int32_t Cells_, int32_t Columns_)
      : Table(Table_), Cells(Cells_), Columns(Columns_), Chunks((Cells_ + Lanes - 1) / Lanes) {}

  // Rows start at the first window's left column. For step 2 a row's top is the previous row's
  // bottom, which is reused when Continued.
  void DrawRow(const TPixel* Top, const TPixel* Middle, const TPixel* Bottom, bool Continued,
               TCharInfo* Out);

 private:
  const TColorTable& Table;
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
    const int32_t Line = Table.At(P & 0xFF, P >> 8 & 0xFF, P >> 16 & 0xFF) >> 4;
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
    const int32_t Background = Table.At(R, G, Bl) & 15;
    Out[C] = TCharInfo{Shape.Glyph, 0, static_cast<uint16_t>(Background * 16 + LineColor[C])};
  }
}
}  // namespace

int32_t DrawLineArtRows(const TConsoleUberMapper& Mapper, const TImage& Image,
                        int32_t FirstColumn, int32_t EndColumn, int32_t FirstRow, int32_t EndRow,
                        TCharInfo* Out, int32_t Stride) {
  const auto* Lin1Mapper =
      typeid(Mapper) == typeid(TLin1Mapper) ? static_cast<const TLin1Mapper*>(&Mapper) : nullptr;
  const bool Walk = Lin1Mapper && Mapper.BlockWidth == 3 && Mapper.BlockHeight == 3 &&
                    Mapper.StepX == 2 && Mapper.StepY == 2 &&
                    Lin1Mapper->RGBMapper.IndexBits == ColorTableBits &&
                    Lin1Mapper->RGBMapper.IndexShift == 8 - ColorTableBits;
  const int32_t LastX = Image.Width - 1, LastY = Image.Height - 1;
  // Cell C's window, columns 2C .. 2C + 2, lies inside for C < (Width - 1) / 2.
  const int32_t WalkEnd = Walk ? std::clamp(LastX / 2, FirstColumn, EndColumn) : FirstColumn;
  if (WalkEnd <= FirstColumn) return FirstColumn;
  TLin1Walk Lin1(*Lin1Mapper->RGBMapper.Table, WalkEnd - FirstColumn,
                 Image.Width - 2 * FirstColumn);
  const TPixel* Pixels = Image.GetPixels();
  const size_t Left = static_cast<size_t>(FirstColumn) * 2;
  for (int32_t R = FirstRow; R < EndRow; ++R) {
    const TPixel* Rows[3];
    for (int32_t BY = 0; BY < 3; ++BY)
      Rows[BY] = Pixels + static_cast<size_t>(std::min(R * 2 + BY, LastY)) *
                              static_cast<size_t>(Image.Width) + Left;
    Lin1.DrawRow(Rows[0], Rows[1], Rows[2], R > FirstRow,
                 Out + static_cast<ptrdiff_t>(R - FirstRow) * Stride);
  }
  return WalkEnd;
}
