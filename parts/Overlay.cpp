#include "parts/Overlay.h"

#include <cmath>
#include <cstdlib>

std::vector<TImage> OverlayTextures;

void CreateOverlayTextures() {
  OverlayTextures.clear();
  OverlayTextures.reserve(size_t(OverlayTextureCount));
  // Each Generate reseeds the shared generator, so texture i depends on i alone.
  for (int32_t I = 0; I < OverlayTextureCount; ++I) {
    OverlayTextures.emplace_back(256, 128);
    OverlayTextures.back().Generate(0, 255, I, 7, 6);
  }
}

void FreeOverlayTextures() { std::vector<TImage>().swap(OverlayTextures); }

int32_t OverlayTextureIndex(int32_t T) {
  const long R = std::lrintf(float(T) / 32.0f);
  return int32_t(std::labs(R) % OverlayTextureCount);
}

void BlendOverlay(TImage& Frame, int32_t T) {
  if (OverlayTextures.size() != size_t(OverlayTextureCount)) return;
  Frame.DrawBlended(OverlayTextures[size_t(OverlayTextureIndex(T))], 0, 0, 16, 255);
}
