// LineArt: block mappers, which turn a window of pixels into one cell, and the show's one: line
// art of box-drawing strokes, with a walk that maps whole rows of cells eight at a time.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "console/ColorMappers.h"
#include "image/Image.h"
#include "terminal/Screen.h"

// --- Block mappers: a window of pixels to one cell
class TConsoleUberMapper {
 public:
  virtual ~TConsoleUberMapper() = default;
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
  explicit TLin1Mapper(const TColorTable& Table);  // Table must outlive the mapper

  TCharInfo MapBlock(std::span<const TPixel> Pixels) const override;
  // Glyph for the first nine pixels near LineColor (blank when the centre is not); Average is
  // the mean of the pixels outside the glyph's shape, or of all pixels for a blank.
  uint8_t PickGlyph(std::span<const TPixel> Pixels, int32_t LineColor, TPixel& Average) const;
  // Per-channel truncated mean; alpha 0.
  static TPixel AverageColor(std::span<const TPixel> Pixels);

  TConsoleRGBMapper RGBMapper;
};

// --- Whole rows at once
// For a plain TLin1Mapper (its own window, step and table buckets): draws the cells of columns
// FirstColumn .. EndColumn - 1 and rows FirstRow .. EndRow - 1 of Image's cell grid whose windows
// lie inside Image, a row at a time, exactly as MapBlock would. Out is the first cell, Stride
// cells a row. Returns the column the walk stopped at; FirstColumn when it cannot walk.
int32_t DrawLineArtRows(const TConsoleUberMapper& Mapper, const TImage& Image,
                        int32_t FirstColumn, int32_t EndColumn, int32_t FirstRow, int32_t EndRow,
                        TCharInfo* Out, int32_t Stride);
