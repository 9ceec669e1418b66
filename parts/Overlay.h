// Overlay: the faint noise blended over the frames of the knot tunnel, the part inside the knot and
// the blades. Twenty textures made once at start-up (no GL needed), one shown per 32 ms.
#pragma once

#include <cstdint>
#include <vector>

#include "image/Image.h"

inline constexpr int32_t OverlayTextureCount = 20;
extern std::vector<TImage> OverlayTextures;  // 256 x 128 each, texture i seeded with i

void CreateOverlayTextures();  // before any part is built
void FreeOverlayTextures();    // after the parts are gone
// The texture shown at part time T: it changes every 32 ms and repeats every 640 ms.
int32_t OverlayTextureIndex(int32_t T);
// Blends the texture for T faintly over Frame's top-left corner; nothing before they are made.
void BlendOverlay(TImage& Frame, int32_t T);
