// ImageToCells: images drawn into the console's cells (one pixel a cell through colour mappers,
// a window a cell through block mappers, two pixels a cell as half blocks) and ready-made cells.
// All clipped to the 80 x 50 screen.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "console/ColorMappers.h"
#include "console/Console.h"
#include "console/LineArt.h"
#include "image/Image.h"

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
// Two pixel rows per cell as a lower half block (an odd last row is dropped), coloured through
// Table; a transparent upper pixel leaves the cell alone.
void DrawHalfBlockImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                        const TColorTable& Table);
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
