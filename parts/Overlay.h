// Overlay: the faint noise blended over the frames of the knot tunnel, the part inside the knot and
// the blades. Twenty textures made once per show (no GL needed), one shown per 32 ms.
#pragma once

#include <cstdint>
#include <vector>

#include "image/Image.h"

inline constexpr int32_t OverlayTextureCount = 20;

// The texture shown at part time T: it changes every 32 ms and repeats every 640 ms.
int32_t OverlayTextureIndex(int32_t T);

class TOverlay {
 public:
  explicit TOverlay(TRandom& Random);  // makes the textures, reseeding Random for each

  // Blends the texture for T faintly over Frame's top-left corner.
  void Blend(TImage& Frame, int32_t T) const;

  std::vector<TImage> Textures;  // 256 x 128 each, texture i seeded with i
};
