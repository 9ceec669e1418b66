#include "console/ColorMappers.h"

#include <algorithm>
#include <utility>

#include "system/Halt.h"

// --- Colour table

namespace {
constexpr int32_t TableSide = 1 << ColorTableBits;
constexpr int32_t MaxSquaredDistance = 3 * 255 * 255;
}  // namespace

// Ranks by rounded distance, as ColorDistance would, but from per-channel squared differences
// and a table of rounded roots instead of 16 square roots per bucket.
TColorTable::TColorTable() : Entries(size_t{1} << (3 * ColorTableBits), 0) {

  std::vector<uint16_t> Root(MaxSquaredDistance + 1);
  for (int32_t N = 0; N <= MaxSquaredDistance; ++N)
    Root[static_cast<size_t>(N)] = static_cast<uint16_t>(TConsoleRGBMapper::RoundedRoot(N));

  int32_t SquareR[TableSide][16];
  int32_t SquareG[TableSide][16];
  int32_t SquareB[TableSide][16];
  for (int32_t V = 0; V < TableSide; ++V) {
    const int32_t Corner = V << (8 - ColorTableBits);
    for (int32_t L = 0; L < 16; ++L) {
      SquareR[V][L] = (ConsolePalette[L].R - Corner) * (ConsolePalette[L].R - Corner);
      SquareG[V][L] = (ConsolePalette[L].G - Corner) * (ConsolePalette[L].G - Corner);
      SquareB[V][L] = (ConsolePalette[L].B - Corner) * (ConsolePalette[L].B - Corner);
    }
  }

  const int32_t Far = TConsoleRGBMapper::ColorDistance(0, 0, 0, 15);
  uint8_t* Out = Entries.data();
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

TConsoleRGBMapper::TConsoleRGBMapper(const TColorTable& Table_) : Table(&Table_) {
  IndexBits = ColorTableBits;
  IndexShift = 8 - ColorTableBits;
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
