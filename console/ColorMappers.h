// ColorMappers: the table of nearest console colours (terminal/Palette.h), and the mappers that turn
// a pixel into a background, a foreground and a weight between them, alone or chosen per position.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "image/Image.h"
#include "terminal/Palette.h"

// --- The table of nearest console colours
// Nearest (bits 0..3) and second-nearest (bits 4..7) console colour of each 6-bit-per-channel
// bucket, ranked at the bucket's lower corner; index (R >> 2) * 4096 + (G >> 2) * 64 + (B >> 2).
// One byte an entry keeps the 256 KiB table in the processor's second-level cache. A show builds
// one and hands it to whatever maps RGB colours.
inline constexpr int32_t ColorTableBits = 6;  // per channel
class TColorTable {
 public:
  TColorTable();  // fills the table (a few milliseconds)

  uint8_t operator[](size_t Index) const { return Entries[Index]; }
  // The entry for a colour, with the table's own bucket size.
  uint8_t At(uint32_t R, uint32_t G, uint32_t B) const {
    constexpr int32_t Shift = 8 - ColorTableBits;
    return Entries[(R >> Shift) << (2 * ColorTableBits) | (G >> Shift) << ColorTableBits |
                   B >> Shift];
  }

  std::vector<uint8_t> Entries;
};

// --- Colour mappers: a pixel to background (Primary), foreground (Secondary) and a weight
class TConsoleColorMapper {
 public:
  virtual ~TConsoleColorMapper() = default;
  // Weight / Total is how far the pixel lies from Primary towards Secondary (0 .. 1/2).
  virtual void MapColor(TPixel Color, int32_t& Primary, int32_t& Secondary, int32_t& Weight,
                        int32_t& Total) const = 0;
};

// Brightness (largest of R, G, B) onto a table of colours, darkest first.
class TConsoleValueMapper : public TConsoleColorMapper {
 public:
  explicit TConsoleValueMapper(std::span<const int32_t> Colors);  // needs two colours or more
  TConsoleValueMapper(std::initializer_list<int32_t> Colors);

  void SetColors(std::span<const int32_t> NewColors);
  void SetLevels(int32_t N);  // Step := 256 div (N - 1), made even; 2 <= N <= 129
  void MapColor(TPixel Color, int32_t& Primary, int32_t& Secondary, int32_t& Weight,
                int32_t& Total) const override;

  int32_t Levels = 0;
  int32_t Step = 0;
  std::vector<int32_t> Colors;
  int32_t ColorCount = 0;
  int32_t Offset = 0;  // added to the brightness; keep it >= 0
};

// Nearest and second-nearest console colours in RGB space, through a colour table.
class TConsoleRGBMapper : public TConsoleColorMapper {
 public:
  explicit TConsoleRGBMapper(const TColorTable& Table);  // Table must outlive the mapper

  // Rounded Euclidean distance from (R, G, B) to ConsolePalette[Index].
  static int32_t ColorDistance(int32_t R, int32_t G, int32_t B, int32_t Index) {
    return RoundedRoot(SquaredDistance(R, G, B, Index));
  }
  static int32_t SquaredDistance(int32_t R, int32_t G, int32_t B, int32_t Index) {
    const TPaletteColor& P = ConsolePalette[Index];
    return (P.R - R) * (P.R - R) + (P.G - G) * (P.G - G) + (P.B - B) * (P.B - B);
  }
  // Nearest integer to the root of Sum (0 .. 195075). No such root lies halfway between two
  // integers, so the float root only needs to be right to the integer below, which it is far
  // below 2^24; the integer test then settles the rounding without a library call.
  static int32_t RoundedRoot(int32_t Sum) {
    const auto Floor = static_cast<int32_t>(std::sqrt(static_cast<float>(Sum)));
    return Sum > Floor * Floor + Floor ? Floor + 1 : Floor;
  }
  // The two colours the table ranks for Color's bucket.
  void LookupColor(TPixel Color, int32_t& Nearest, int32_t& Second) const {
    const int32_t Index = ((static_cast<int32_t>(Color & 0xFF) >> IndexShift) << IndexBits |
                           static_cast<int32_t>((Color >> 8) & 0xFF) >> IndexShift)
                              << IndexBits |
                          static_cast<int32_t>((Color >> 16) & 0xFF) >> IndexShift;
    const int32_t Entry = (*Table)[static_cast<size_t>(Index)];
    Nearest = Entry & 15;
    Second = Entry >> 4;
  }
  void MapColor(TPixel Color, int32_t& Primary, int32_t& Secondary, int32_t& Weight,
                int32_t& Total) const override;

  const TColorTable* Table;
  int32_t IndexBits = 6;
  int32_t IndexShift = 2;
};

// --- Mapper groups: a colour mapper chosen per pixel position
class TConsoleMapperGroup {
 public:
  virtual ~TConsoleMapperGroup() = default;
  // Halts with exit code 1 when Mappers is empty. The mappers stay the caller's.
  explicit TConsoleMapperGroup(std::span<TConsoleColorMapper* const> Mappers);
  TConsoleMapperGroup(std::initializer_list<TConsoleColorMapper*> Mappers);

  // Index into Mappers for the pixel at (X, Y) of the image; here always 0.
  virtual int32_t SelectMapper(int32_t X, int32_t Y, TPixel Color) const;
  void MapColor(int32_t X, int32_t Y, TPixel Color, int32_t& Primary, int32_t& Secondary,
                int32_t& Weight, int32_t& Total) const {
    Mappers[static_cast<size_t>(SelectMapper(X, Y, Color))]->MapColor(Color, Primary, Secondary,
                                                                      Weight, Total);
  }

  std::vector<TConsoleColorMapper*> Mappers;
  int32_t Count = 0;
};

// Checkerboard of 40 x 25 pixel quadrants; the top-left one takes the second mapper.
class TPals1 : public TConsoleMapperGroup {
 public:
  using TConsoleMapperGroup::TConsoleMapperGroup;
  int32_t SelectMapper(int32_t X, int32_t Y, TPixel Color) const override;
};
