// Image: the 32-bit RGBA raster with its samplers, copies, blends, distortions, reduction and
// posterizer. Its textures grow in Texture.cpp; its bitmaps load in resources/Bitmap.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/Random.h"

// A pixel: bytes R, G, B, A in memory, so opaque red reads 0xFF0000FF as a little-endian number.
using TPixel = uint32_t;

constexpr TPixel NoTransparentColor = 0xFFFFFFFF;       // -1: the image has no colour key
constexpr TPixel DefaultTransparentColor = 0x0FFFFFFF;  // key of a new image

// An opaque pixel with Value in R and G = B = 0: how noise and textures store an intensity.
constexpr TPixel IntensityPixel(uint32_t Value) { return 0xFF000000u | (Value & 0xFF); }

// Rectangle with exclusive Right and Bottom.
struct TRect {
  int32_t Left;
  int32_t Top;
  int32_t Right;
  int32_t Bottom;
};

class TImage {
 public:
  TImage(int32_t Width, int32_t Height);  // zero pixels

  // --- Access
  TPixel* GetPixels() { return Pixels.data(); }
  const TPixel* GetPixels() const { return Pixels.data(); }
  void Clear();      // every byte 0
  void FillNoise(TRandom& Random);  // R = Random(256) per pixel, row-major; G = B = 0, A = 255

  // --- Sampling with wrap-around at 16.16 fixed-point positions
  TPixel SampleBilinear(int32_t X, int32_t Y) const;
  TPixel SampleNearest(int32_t X, int32_t Y) const;

  // --- Whole-image changes
  void Crop(int32_t Left, int32_t Top, int32_t NewWidth, int32_t NewHeight);
  void Swirl(int32_t CenterX, int32_t CenterY, int32_t Radius, float Angle);
  void Ripple(float RowWaves, float ColumnWaves, float RowAmplitude, float ColumnAmplitude,
              float RowPhase, float ColumnPhase, float ColumnShift, float RowShift);
  void Downsample(const TImage& Source);  // box-filtered reduction of Source into this size
  void Posterize(int32_t Level);          // 0..8, error-diffused per channel

  // --- Drawing other images into this one
  void StretchDrawBilinear(const TImage& Source, const TRect& SourceRect16, const TRect& DestRect);
  void StretchDraw(const TImage& Source, const TRect& SourceRect16, const TRect& DestRect);
  void Draw(const TImage& Source, int32_t X, int32_t Y);
  void DrawBlended(const TImage& Source, int32_t X, int32_t Y, int32_t SourceWeight,
                   int32_t DestWeight);
  void CopyRect(const TImage& Source, TRect SourceRect, int32_t X, int32_t Y);
  void CopyRectKeyed(const TImage& Source, TRect SourceRect, int32_t X, int32_t Y);
  void BlendRect(const TImage& Source, TRect SourceRect, int32_t X, int32_t Y, int32_t SourceWeight,
                 int32_t DestWeight);

  // --- Content
  // Seeded, tileable value noise (image/Texture.cpp); reseeds Random with Seed and draws from it.
  void Generate(int32_t Center, int32_t Spread, int32_t Seed, int32_t ColumnsLog2,
                int32_t RowsLog2, TRandom& Random);

  int32_t Width;
  int32_t Height;
  std::vector<TPixel> Pixels;  // row-major, row 0 at the top
  TPixel TransparentColor = DefaultTransparentColor;
};

// Image reduced to Columns x Rows pixels (Downsample) and drawn back over its whole size with
// nearest samples (StretchDraw): a mosaic of blocks.
void Pixelate(TImage& Image, int32_t Columns, int32_t Rows);
