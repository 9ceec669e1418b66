// LayeredTexture: a 128 x 128 wall texture composed on the CPU from three scrolling noise layers
// that brighten with the bass, and its upload. The shaft parts and the blades part use it with
// their own speeds, directions and bass gain.
#pragma once

#include <array>
#include <cstdint>

#include "image/Image.h"

// How the three layers move and how strongly the bass lifts them.
struct TLayerMotion {
  std::array<int32_t, 3> Speed;    // layer k scrolls T * Speed[k] / Divisor[k] thirty-seconds
  std::array<int32_t, 3> Divisor;  // of a pixel, truncated towards zero
  bool Diagonal;                   // the window moves right and down alike; else only down
  float LevelGain;                 // every unit of LowLevel adds this much to each layer weight
};

// The shaft walls: coarse layer slowest, about 14.9, 24.7 and 39.1 pixels a second.
inline constexpr TLayerMotion ShaftMotion{{10, 15, 20}, {21, 19, 16}, true, 32.0f};

// Scroll positions of layers 1, 2, 3 at time T (ms), in 1/32 pixel.
std::array<int32_t, 3> ScrollPositions(int32_t T, const TLayerMotion& Motion);
// 16.16 source window of a 128 x 128 layer scrolled by S thirty-seconds of a pixel.
TRect ScrollWindow(int32_t S, bool Diagonal);
// What the bass adds to every layer weight: Gain x LowLevel, halves to even.
int32_t LevelBoost(float LowLevel, float Gain);

class TLayeredTexture {
 public:
  static constexpr int32_t Size = 128;

  // Generates the layers 1, 2, 3, reseeding Random for each.
  TLayeredTexture(const TLayerMotion& Motion, TRandom& Random);

  // Scrolls the layers to time T and blends them into TextureImage, weights (L + 128, 0),
  // (L + 64, 256), (L + 32, 256) with L the bass boost; channels clamp at 255.
  void Compose(int32_t T, float LowLevel);
  // TextureImage into the texture bound to GL_TEXTURE_2D of the current context.
  void Upload() const;

  TLayerMotion Motion;
  TImage TextureImage{Size, Size};
  TImage ScrollImage{Size, Size};  // one scrolled layer at a time
  TImage Layer1{Size, Size};       // 8 x 8 control points
  TImage Layer2{Size, Size};       // 16 x 16
  TImage Layer3{Size, Size};       // 64 x 64
  int32_t Scroll1 = 0;
  int32_t Scroll2 = 0;
  int32_t Scroll3 = 0;
};
