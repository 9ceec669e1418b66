// InsideKnot: inside the knot. The giant knot tube of the tunnel turns on, rocks about a
// diagonal, shrinks to a tenth and grows back, pulsing with the bass; two opposite swirls twist the
// picture in the last four seconds and it fades to black in the last one.
#pragma once

#include <cstdint>

#include "gles/GLESStuff.h"
#include "image/Image.h"
#include "parts/GLScene.h"
#include "parts/Knot.h"
#include "parts/Overlay.h"
#include "parts/Show.h"

// Added to the time of the part inside the knot, it gives the tunnel's time: the tube runs on
// without a jump.
inline constexpr int32_t InsideTubeOffset = PartOffset(TunnelPart, InsidePart);

// --- Placement at part time T (ms)
// Degrees the tube is rocked by: 0, up to 180 at 8 s, back to 0 at 16 s.
float KnotRockAngle(int32_t T);
// The tube's scale: 20 down to 2 at 4 s and back by 8 s, less the low band's level. Not clamped:
// a loud enough bass turns the tube inside out.
float KnotScale(int32_t T, float LowLevel);
// Weight (0..255) the picture keeps in the last second: 255 until 15 s, 0 from 16 s.
int32_t KnotFadeWeight(int32_t T);

// The part inside the knot (the design calls it TScene3).
class TScene3 : public TGLScene {
 public:
  TScene3(TEGLDisplay& Display, TRandom& Random, const TOverlay& Overlay);

  void Render() override;
  void PrepareContext() override;
  void DrawFrame(int32_t T, float Level);  // the rocking tube at T, read back into FrameImage

  TImage HalfImage{80, 50};
  const TOverlay& Overlay;
  TImage KnotTexture;
  TImage FrameImage{Width, Height};
};
