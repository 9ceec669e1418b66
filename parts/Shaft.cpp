#include "parts/Shaft.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "gles/GL.h"
#include "parts/Show.h"

namespace {
constexpr float Pi = std::numbers::pi_v<float>;
constexpr float HalfPi = Pi / 2;
// The descent hangs still this long before it sinks.
constexpr int32_t SinkStart = 8000;
}  // namespace

// --- Camera

float DescentY(int32_t B) { return 260.0f - 220.0f * std::cos(float(B) * Pi / 48000.0f); }

TShaftCamera DescentCamera(int32_t T) {
  const auto A = float(std::clamp(T - SinkStart, 0, 8000));
  const float C = (1.0f - std::cos(A * 0.000125f * Pi)) * 0.5f;
  // The clamp reaches 24000 only in the palette part, which goes on with the same descent.
  return {75.0f * C, {-1.0f, DescentY(std::clamp(T - SinkStart, 0, 24000)), 2.0f}};
}

TShaftCamera PaletteCamera(int32_t T) {
  const float C = 1.0f - std::cos(float(T) * HalfPi / 16000.0f);
  const int32_t B = T + PartOffset(DescentPart, PalettePart) - SinkStart;  // the descent sinks on
  return {75.0f + 45.0f * C, {C - 1.0f, DescentY(std::clamp(B, 0, 24000)), 2.0f - 2.0f * C}};
}

// --- The parts' common body

TShaftScene::TShaftScene(TEGLDisplay& Display_, TRandom& Random)
    : TGLScene(Display_, 160, 128), Texture(ShaftMotion, Random) {
  // 400 units straight down the y axis; the rings keep their orientation, so the walls face in.
  const TVecArr Path = MakeLinePath(41, 0.0f, -10.0f, 0.0f);
  Shaft = MakeLathe(Path, 40, 20, 6.0f, 1.5f, 3.0f, 0.0f, 7.0f, 0.0f, 0.0f, true);
  SetGridTexCoords(*Shaft, 2.0f, 12.0f);
}

void TShaftScene::PrepareContext() {
  glEnable(GL_TEXTURE_2D);
  CreateTexture();
  Texture.Upload();
  glDisable(GL_TEXTURE_2D);
  SetUpGL();
  UpdateTexture(0);
  DrawShaft(DescentCamera(0));
}

void TShaftScene::SetUpGL() {
  TGLScene::SetUpGL();
  // Linear to the default black: the shaft's far end sinks into darkness.
  glFogf(GL_FOG_MODE, GL_LINEAR);
  glFogf(GL_FOG_START, 50.0f);
  glFogf(GL_FOG_END, 100.0f);
  glEnable(GL_FOG);
}

void TShaftScene::UpdateTexture(int32_t T) {
  Texture.Compose(T, LowLevel);  // LowLevel is 0 until the part plays
  Texture.Upload();
}

void TShaftScene::DrawShaft(const TShaftCamera& Camera) {
  glClearColor(0, 0, 0, 0);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glRotatef(Camera.Tilt, 1, 1, 1);
  glTranslatef(Camera.Offset.X, Camera.Offset.Y, Camera.Offset.Z);
  DrawMesh(*Shaft);
  ReadOffscreenImage(FrameImage);
  HalfImage.Downsample(FrameImage);
}
