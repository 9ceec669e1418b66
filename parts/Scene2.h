// Scene2: the knot tunnel (10 to 26 s). A rippling, reflective knot tube flies in, turns and flies
// out while the viewer sits inside a giant, slowly turning copy of it; block line art for the
// first 8 seconds, then a red three-colour picture at half size.
//
// The unit also owns the overlay textures: faint noise blended over the frames of the knot parts
// and the blades, made once at start-up.
#pragma once

#include <cstdint>
#include <vector>

#include "gles/GLESStuff.h"
#include "gles/MeshStuff.h"
#include "image/Image.h"
#include "parts/GLScene.h"

// --- Overlay textures
inline constexpr int32_t OverlayTextureCount = 20;
extern std::vector<TImage> OverlayTextures;  // 256 x 128 each, texture i seeded with i

void CreateOverlayTextures();  // before any part is built (no GL needed)
void FreeOverlayTextures();    // after the parts are gone
// The texture shown at part time T: it changes every 32 ms and repeats every 640 ms.
int32_t OverlayTextureIndex(int32_t T);
// Blends the texture for T faintly over Frame's top-left corner; nothing before they are made.
void BlendOverlay(TImage& Frame, int32_t T);

// --- The knot tube, shared with the part inside it
// The tube at time T (ms): its profile ripples along it as T moves. Texture coordinates are zero.
PMesh MakeKnotTube(int32_t T);
// Multiplies the inner tube's turn at T onto the modelview matrix.
void TurnInnerTube(int32_t T);
// Multiplies the giant copy's slower turn at T onto the modelview matrix.
void TurnOuterTube(int32_t T);
// Depth of the inner tube: from 5 (behind the viewer) to -4 by 8 s, held to 10 s, out again.
float InnerTubeZ(int32_t T);
// Scale of the giant copy: from 300 down to 20 over the first second.
float OuterTubeScale(int32_t T);

class TScene2 : public TGLScene {
 public:
  TScene2();

  void Render() override;
  void PrepareContext() override;
  void SetUpGL() override;    // also uploads a fresh knot texture, on every entry
  void DrawFrame(int32_t T);  // both tubes at T, read back into FrameImage

  TImage HalfImage{80, 50};
  TImage KnotTexture{64, 64};
  TImage FrameImage{Width, Height};  // two pixels a cell plus one, as the block mapper reads it
  uint32_t TextureId = 0;
};
