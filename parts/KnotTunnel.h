// KnotTunnel: the knot tunnel. A rippling, reflective knot tube flies in, turns and flies
// out while the viewer sits inside a giant, slowly turning copy of it; block line art for the
// first 8 seconds, then a red three-colour picture at half size.
#pragma once

#include <cstdint>

#include "console/ColorMappers.h"
#include "gles/GLESStuff.h"
#include "image/Image.h"
#include "parts/GLScene.h"
#include "parts/Knot.h"
#include "parts/Overlay.h"

// The knot tunnel part (the design calls it TScene2).
class TScene2 : public TGLScene {
 public:
  TScene2(TEGLDisplay& Display, TRandom& Random, const TOverlay& Overlay,
          const TColorTable& Colors);

  void Render() override;
  void PrepareContext() override;
  void SetUpGL() override;    // also uploads a fresh knot texture, on every entry
  void DrawFrame(int32_t T);  // both tubes at T, read back into FrameImage

  TImage HalfImage{80, 50};
  const TOverlay& Overlay;
  const TColorTable& Colors;
  TImage KnotTexture;
  TImage FrameImage{Width, Height};  // two pixels a cell plus one, as the block mapper reads it
  uint32_t TextureId = 0;
};
