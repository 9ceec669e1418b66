// Blades: the spinning blades, the show's last part. Four textured squares, tilted
// like the blades of a fan, spin and bob in front of the viewer; their texture is the scrolling
// three-layer noise, here moving faster and only downwards. The frame is rippled, overlaid, and
// shown through the fire palette (resolving out of coarse blocks, with fewer and fewer levels)
// for 8 seconds, then as line art. After 16 seconds only the rippled overlay is left.
#pragma once

#include <cstdint>

#include "console/ColorMappers.h"
#include "gles/GLESStuff.h"
#include "image/Image.h"
#include "parts/GLScene.h"
#include "parts/LayeredTexture.h"
#include "parts/Overlay.h"

// The blades' texture: vertical scroll only, about 3.6 times the shaft's speeds, half its bass.
inline constexpr TLayerMotion BladesMotion{{40, 60, 80}, {21, 19, 16}, false, 16.0f};

// Spin about the view axis (degrees) at T: two turns up to 8 s, then four turns back to 16 s.
float BladeSpin(int32_t T);
// Depth of the blades at T: bobbing between -1.2 and -0.6 with a period of two seconds.
float BladeDepth(int32_t T);

// The spinning blades part (the design calls it TScene6).
class TScene6 : public TGLScene {
 public:
  TScene6(TEGLDisplay& Display, TRandom& Random, const TOverlay& Overlay,
          const TColorTable& Colors);

  void Render() override;
  void Enter() override;  // restarts the part from its beginning and uploads the first texture
  void PrepareContext() override;
  void SetUpGL() override;    // unlit
  void DrawFrame(int32_t T);  // the blades at T (none from 16 s), read back into FrameImage
  void UpdateTexture();   // composes and uploads the blades' texture for Elapsed
  void ConvertFrame();    // ripple, overlay and conversion of FrameImage into the console

  const TOverlay& Overlay;
  const TColorTable& Colors;
  TLayeredTexture Texture;
  TImage HalfImage{80, 64};
  TImage FrameImage{Width, Height};  // two pixels a cell plus one: 64 cell rows
};
