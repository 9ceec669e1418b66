#include "parts/InsideKnot.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "console/ImageToCells.h"
#include "gles/GL.h"
#include "gles/MeshStuff.h"

namespace {
constexpr float Pi = std::numbers::pi_v<float>;
constexpr float HalfPi = Pi / 2;
constexpr int32_t SwirlStart = 12000;  // the two swirls grow from here to the part's end
constexpr int32_t SwirlRise = 4000;    // ms the swirls take to reach full strength
constexpr int32_t FadeStart = 15000;   // the picture fades to black over the last second
constexpr int32_t FadeLength = 1000;
}  // namespace

float KnotRockAngle(int32_t T) { return 180.0f * std::sin(float(T) * Pi / 16000.0f); }

float KnotScale(int32_t T, float LowLevel) {
  const int32_t U = std::clamp(T, 0, 8000);
  return 20.0f - 18.0f * std::sin(float(U) * HalfPi / 4000.0f) - LowLevel;
}

int32_t KnotFadeWeight(int32_t T) {
  if (T <= FadeStart) return 255;
  const int32_t F = std::clamp(T - FadeStart, 0, FadeLength);
  return int32_t(std::lrintf(std::cos(float(F) * HalfPi / float(FadeLength)) * 255.0f));
}

TScene3::TScene3(TEGLDisplay& Display_, TRandom& Random, const TOverlay& Overlay_)
    : TGLScene(Display_, 160, 100), Overlay(Overlay_), KnotTexture(MakeKnotTexture(Random)) {}

void TScene3::PrepareContext() {
  CreateTexture();
  UploadTextureImage(KnotTexture);
  SetUpGL();
  DrawFrame(0, 0);
}

void TScene3::Render() {
  const int32_t T = Elapsed;
  DrawFrame(T, LowLevel);
  Overlay.Blend(FrameImage, T);
  HalfImage.Downsample(FrameImage);

  if (T > SwirlStart) {
    const float A = std::sin(float(T - SwirlStart) * HalfPi / float(SwirlRise));
    HalfImage.Swirl(80, 50, 100, 0.3f * A);
    HalfImage.Swirl(0, 0, 100, -0.3f * A);
  }
  if (T > FadeStart) HalfImage.DrawBlended(HalfImage, 0, 0, 0, KnotFadeWeight(T));

  TConsoleValueMapper Mapper{0, 4, 12};
  DrawColorImage(*Console, HalfImage, 0, 0, Mapper);
  Console->Present();
}

void TScene3::DrawFrame(int32_t T, float Level) {
  const int32_t Tunnel = T + InsideTubeOffset;
  glLoadIdentity();
  glClearColor(0, 0, 0, 0);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  // The inner tube is gone, but its turn still gives the reflection.
  PMesh Mesh = MakeKnotTube(Tunnel);
  TurnInnerTube(Tunnel);
  SetSphereMapTexCoords(*Mesh);

  glLoadIdentity();
  TurnOuterTube(Tunnel);
  glRotatef(KnotRockAngle(T), -1, 1, 0);
  const float S = KnotScale(T, Level);
  glScalef(S, S, S);
  DrawMesh(*Mesh);
  Mesh.reset();

  ReadOffscreenImage(FrameImage);
}
