#include "parts/Overlay.h"

#include <cmath>
#include <cstdlib>

TOverlay::TOverlay(TRandom& Random) {
  Textures.reserve(size_t(OverlayTextureCount));
  // Each Generate reseeds the generator, so texture i depends on i alone.
  for (int32_t I = 0; I < OverlayTextureCount; ++I) {
    Textures.emplace_back(256, 128);
    Textures.back().Generate(0, 255, I, 7, 6, Random);
  }
}

int32_t OverlayTextureIndex(int32_t T) {
  const long R = std::lrintf(float(T) / 32.0f);
  return int32_t(std::labs(R) % OverlayTextureCount);
}

void TOverlay::Blend(TImage& Frame, int32_t T) const {
  Frame.DrawBlended(Textures[size_t(OverlayTextureIndex(T))], 0, 0, 16, 255);
}
