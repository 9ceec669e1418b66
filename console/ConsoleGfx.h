// ConsoleGfx: the console screen of 80 x 50 cells, and (further below) the colour and block
// mappers, mapper groups and the routines that turn images into cells.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/Image.h"
#include "system/Object.h"
#include "terminal/Screen.h"

// --- Screen geometry
inline constexpr TCoord ScreenOrigin{0, 0};
inline constexpr TCoord ScreenSize{80, 50};
inline constexpr int ScreenCells = (ScreenSize.Y - ScreenOrigin.Y) * (ScreenSize.X - ScreenOrigin.X);

// --- Console screen
class TConsole : public TObject {
 public:
  // Opens the screen (titled, maximized or full screen) with every cell zero.
  TConsole(IScreen& Screen, const std::string& Title, bool FullScreen);
  ~TConsole() override;
  TConsole(const TConsole&) = delete;
  TConsole& operator=(const TConsole&) = delete;

  void Present();                          // shows all 4000 cells
  void SetTitle(const std::string& Title);  // the window title

  std::vector<TCharInfo> Cells;  // row-major, index = row * 80 + column

 private:
  IScreen& Screen;
};

// --- Console colours
// RGB of one console colour index; the dark colours use 192 and the grey 127.
struct TPaletteColor {
  int32_t R;
  int32_t G;
  int32_t B;
};
inline constexpr TPaletteColor ConsolePalette[16] = {
    {0, 0, 0},     {0, 0, 192},     {0, 192, 0},     {0, 192, 192},  {192, 0, 0}, {192, 0, 192},
    {192, 192, 0}, {192, 192, 192}, {127, 127, 127}, {0, 0, 255},    {0, 255, 0}, {0, 255, 255},
    {255, 0, 0},   {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};

// Nearest (bits 0..3) and second-nearest (bits 4..7) console colour of each 6-bit-per-channel
// bucket, ranked at the bucket's lower corner; index (R >> 2) * 4096 + (G >> 2) * 64 + (B >> 2).
// One byte an entry keeps the 256 KiB table in the processor's second-level cache.
// Empty until the first TConsoleRGBMapper is made, then never rebuilt.
extern std::vector<uint8_t> ColorTable;
void BuildColorTable();  // (re)fills ColorTable unconditionally

// --- Colour mappers: a pixel to background (Primary), foreground (Secondary) and a weight
class TConsoleColorMapper : public TObject {
 public:
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

// Nearest and second-nearest console colours in RGB space, through ColorTable.
class TConsoleRGBMapper : public TConsoleColorMapper {
 public:
  TConsoleRGBMapper();  // builds ColorTable on first use

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
    const int32_t Entry = ColorTable[static_cast<size_t>(Index)];
    Nearest = Entry & 15;
    Second = Entry >> 4;
  }
  void MapColor(TPixel Color, int32_t& Primary, int32_t& Secondary, int32_t& Weight,
                int32_t& Total) const override;

  int32_t IndexBits = 6;
  int32_t IndexShift = 2;
};

// --- Block mappers: a window of pixels to one cell
class TConsoleUberMapper : public TObject {
 public:
  // Pixels holds BlockWidth x BlockHeight pixels, row-major.
  virtual TCharInfo MapBlock(std::span<const TPixel> Pixels) const = 0;

  int32_t BlockWidth = 0;
  int32_t BlockHeight = 0;
  int32_t StepX = 0;  // pixels between the windows of neighbouring cells
  int32_t StepY = 0;
};

using TMask = std::array<uint8_t, 9>;  // one 0/1 flag per 3 x 3 window position, row-major

struct TGlyphPattern {
  TMask Pattern;
  uint8_t Glyph;
};
// Single-line box-drawing shapes, most specific first; the first contained one wins.
extern const TGlyphPattern GlyphPatterns[12];

// True when every position set in Pattern is set in Mask.
bool MaskContains(const TMask& Mask, const TMask& Pattern);

// Line art from 3 x 3 windows at step 2: a box-drawing stroke in the centre pixel's
// second-nearest colour over the nearest colour of the pixels the stroke leaves uncovered.
class TLin1Mapper : public TConsoleUberMapper {
 public:
  TLin1Mapper();

  TCharInfo MapBlock(std::span<const TPixel> Pixels) const override;
  // Glyph for the first nine pixels near LineColor (blank when the centre is not); Average is
  // the mean of the pixels outside the glyph's shape, or of all pixels for a blank.
  uint8_t PickGlyph(std::span<const TPixel> Pixels, int32_t LineColor, TPixel& Average) const;
  // Per-channel truncated mean; alpha 0.
  static TPixel AverageColor(std::span<const TPixel> Pixels);

  TConsoleRGBMapper RGBMapper;
};

// --- Mapper groups: a colour mapper chosen per pixel position
class TConsoleMapperGroup : public TObject {
 public:
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

// --- Image-to-console conversion (all clipped to the 80 x 50 screen)

// Glyphs of growing ink density, lightest first.
inline constexpr std::string_view DefaultRamp =
    "\x20\xF9"
    "+sodX00";

// Visible part of an image placed with its top-left pixel at cell (X, Y): image columns
// SkipX .. EndX - 1 land on cells X ..; nothing is visible when EndX <= SkipX or EndY <= SkipY.
struct TImageClip {
  int32_t X;
  int32_t Y;
  int32_t SkipX;
  int32_t EndX;
  int32_t SkipY;
  int32_t EndY;
};
TImageClip ClipImage(const TImage& Image, int32_t X, int32_t Y);

// One pixel per cell through the group's mappers; the weight picks a glyph of Ramp (DefaultRamp
// when empty). Pixels equal to the image's TransparentColor leave their cells alone.
void DrawMappedImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                     const TConsoleMapperGroup& Group, std::string_view Ramp = {});
void DrawColorImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                    TConsoleColorMapper& Mapper, std::string_view Ramp = {});
// One cell per mapper window; windows reaching past the image repeat its edge pixels.
void DrawBlockImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                    const TConsoleUberMapper& Mapper);
// Two pixel rows per cell as a lower half block (an odd last row is dropped); a transparent upper
// pixel leaves the cell alone.
void DrawHalfBlockImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y);
// In each row of the inclusive rectangle, every "d" of a run right after an "X" becomes "b".
void FixRampGlyphs(TConsole& Console, int32_t X0, int32_t Y0, int32_t X1, int32_t Y1);

// A ready-made cell at a screen position.
struct TsetChar {
  TCharInfo Cell;
  int32_t Column;
  int32_t Row;
};
using TsetChars = std::vector<TsetChar>;
// Writes the first Count entries in order, skipping control characters and off-screen positions.
void DrawChars(TConsole& Console, const TsetChars& Chars, int32_t Count);
