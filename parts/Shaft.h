// Shaft: what the shaft descent and shaft palette parts share. A long
// vertical lathe with rippled walls, seen from inside through black fog, wears the three-layer
// scrolling texture; each frame is drawn at 160 x 128, read back and halved to 80 x 64.
#pragma once

#include <cstdint>

#include "gles/GLESStuff.h"
#include "gles/MeshStuff.h"
#include "image/Image.h"
#include "parts/GLScene.h"
#include "parts/LayeredTexture.h"

// --- Camera: glRotatef(Tilt, 1, 1, 1), then glTranslatef(Offset)
struct TShaftCamera {
  float Tilt;  // degrees
  TVec Offset;
};

// Height of the viewer after B ms of descent (B clamped to 0..24000): 40 at 0, 260 at 24000.
float DescentY(int32_t B);
// The descent part at T: still up to 8 s, then tilting to 75 degrees and sinking.
TShaftCamera DescentCamera(int32_t T);
// The palette part at T: goes on from where the descent stopped, to (0, 260, 0) at 120 degrees.
TShaftCamera PaletteCamera(int32_t T);

// --- The parts' common body
class TShaftScene : public TGLScene {
 public:
  // The images, the layers and the shaft mesh; GL comes with PrepareGL.
  TShaftScene(TEGLDisplay& Display, TRandom& Random);

  // The texture (all zero) and one unseen frame.
  void PrepareContext() override;
  void SetUpGL() override;  // with fog
  // Composes the wall texture at scroll time T and uploads it.
  void UpdateTexture(int32_t T);
  // Clears, draws the shaft from Camera and leaves the frame halved in HalfImage.
  void DrawShaft(const TShaftCamera& Camera);

  TImage HalfImage{Width / 2, Height / 2};
  TImage FrameImage{Width, Height};
  TLayeredTexture Texture;
  PMesh Shaft;
};

// Colours of the fire palette, darkest first: black, dark red, bright red, yellow, white.
inline constexpr int32_t FireColors[] = {0, 4, 12, 14, 15};
