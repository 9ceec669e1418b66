// Texture: the procedural textures of TImage::Generate, in 32-bit floats so every platform grows
// the same textures.
#include "image/Texture.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/Random.h"

// May overshoot 0..255 between control points; the output step clamps.
float Cubic(float P0, float P1, float P2, float P3, float T) {
  const float A = P3 - P2 - P0 + P1;
  const float B = P0 - P1 - A;
  const float C = P2 - P0;
  const float D = P1;
  const float T2 = T * T;
  return (T * A) * T2 + B * T2 + T * C + D;
}

void TImage::Generate(int32_t Center, int32_t Spread, int32_t Seed, int32_t ColumnsLog2,
                      int32_t RowsLog2, TRandom& Random) {
  Random.State = uint32_t(Seed);
  if (ColumnsLog2 < 0 || ColumnsLog2 > 30 || RowsLog2 < 0 || RowsLog2 > 30) return;
  const int32_t NX = 1 << ColumnsLog2;
  const int32_t NY = 1 << RowsLog2;
  // A lattice finer than the image has no pixels between control points: nothing sensible to draw.
  if (NX > Width || NY > Height) return;
  const int32_t SX = Width / NX;
  const int32_t SY = Height / NY;
  const float InvX = 1.0f / float(SX);
  const float InvY = 1.0f / float(SY);

  // The lattice starts one control cell up and left of the image and reaches two past its far
  // edges, so every output pixel has two control points on each side.
  const size_t Stride = size_t(Width) + 2 * size_t(SX) + 1;
  const size_t Rows = size_t(Height) + 2 * size_t(SY) + 1;
  std::vector<float> Grid(Stride * Rows, 0.0f);
  auto G = [&Grid, Stride](size_t R, size_t C) -> float& { return Grid[R * Stride + C]; };

  for (int32_t J = 0; J < NY; ++J)
    for (int32_t I = 0; I < NX; ++I) {
      const int32_t V = int32_t(Random.Random(uint32_t(Spread) * 2u)) + Center - Spread;
      G(size_t(J) * SY, size_t(I) * SX) = std::clamp(float(V), 0.0f, 255.0f);
    }
  for (int32_t J = 0; J < NY; ++J)
    for (int32_t T = 0; T < 3; ++T)
      G(size_t(J) * SY, size_t(Width) + size_t(T) * SX) = G(size_t(J) * SY, size_t(T) * SX);
  for (int32_t I = 0; I < NX + 3; ++I)
    for (int32_t T = 0; T < 3; ++T)
      G(size_t(Height) + size_t(T) * SY, size_t(I) * SX) = G(size_t(T) * SY, size_t(I) * SX);

  for (int32_t I = 0; I < NX + 3; ++I) {
    const size_t C = size_t(I) * SX;
    for (int32_t J = 0; J < NY; ++J) {
      const size_t R = size_t(J) * SY;
      const float P0 = G(R, C), P1 = G(R + SY, C), P2 = G(R + 2 * SY, C), P3 = G(R + 3 * SY, C);
      for (int32_t K = 1; K < SY; ++K) G(R + SY + K, C) = Cubic(P0, P1, P2, P3, float(K) * InvY);
    }
  }
  for (size_t Y = SY; Y < size_t(SY) + Height; ++Y) {
    float* Row = &G(Y, 0);
    for (int32_t I = 0; I < NX; ++I) {
      const size_t C = size_t(I) * SX;
      const float P0 = Row[C], P1 = Row[C + SX], P2 = Row[C + 2 * SX], P3 = Row[C + 3 * SX];
      for (int32_t K = 1; K < SX; ++K) Row[C + SX + K] = Cubic(P0, P1, P2, P3, float(K) * InvX);
    }
  }

  for (int32_t Y = 0; Y < Height; ++Y) {
    const float* Row = &G(size_t(Y) + SY, SX);
    TPixel* Out = Pixels.data() + size_t(Y) * Width;
    for (int32_t X = 0; X < Width; ++X)
      Out[X] = IntensityPixel(uint32_t(std::clamp(std::nearbyint(Row[X]), 0.0f, 255.0f)));
  }
}
