#include "parts/Scene2.h"

#include <GLES/gl.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "console/ConsoleGfx.h"

namespace {
constexpr float HalfPi = std::numbers::pi_v<float> / 2;
}  // namespace

// --- Overlay textures

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

// --- The knot tube

PMesh MakeKnotTube(int32_t T) {
  const TVecArr Path = MakeKnotPath(51, 2, 3, 1, 0);
  return MakeTube(Path, 50, 10, 2, 0.4f, 0, 0, 0.5f, float(T) / 1000.0f, 0);
}

void TurnInnerTube(int32_t T) {
  glRotatef(float(T) * 70.0f / 1000.0f, 1, 2, 0);
  glRotatef(float(T) * 50.0f / 1000.0f, -0.1f, 0, -5);
}

void TurnOuterTube(int32_t T) {
  glRotatef(float(T) * 60.0f / 1000.0f * 2.0f / 10.0f, 1, 2, 0);
  glRotatef(float(T) * 40.0f / 1000.0f * 2.0f / 10.0f, -0.1f, 0, -5);
}

float InnerTubeZ(int32_t T) {
  if (T < 8000) return 5.0f - 9.0f * std::sin(float(T) * HalfPi / 8000.0f);
  if (T > 10000) return 5.0f - 9.0f * std::sin(float(T - 10000) * HalfPi / 4000.0f + HalfPi);
  return -4.0f;
}

float OuterTubeScale(int32_t T) {
  if (T < 1000) return 300.0f - 280.0f * std::sin(float(T) * HalfPi / 1000.0f);
  return 20.0f;
}

// --- The part

TScene2::TScene2() : TGLScene(161, 101) {
  StartTime = 10000;
  Duration = 16000;
  KnotTexture.Generate(0, 255, 22, 3, 3);
}

void TScene2::PrepareContext() {
  SetUpGL();
  DrawFrame(9000);  // the inner tube in full view
}

void TScene2::SetUpGL() {
  TGLScene::SetUpGL();
  // Entering again after a seek back makes a new texture; the old one would only pile up.
  if (TextureId != 0) glDeleteTextures(1, &TextureId);
  TextureId = CreateTexture();
  UploadTextureImage(KnotTexture);
}

void TScene2::Render() {
  const int32_t T = Elapsed;
  DrawFrame(T);
  BlendOverlay(FrameImage, T);

  if (T < 8000) {
    TLin1Mapper Mapper;
    DrawBlockImage(*Console, FrameImage, 0, 0, Mapper);
  } else {
    FrameImage.Crop(1, 1, 160, 100);
    HalfImage.Downsample(FrameImage);
    FrameImage.Crop(0, 0, 161, 101);  // back to the read-back size; its pixels are redrawn
    TConsoleValueMapper Mapper{0, 4, 12};
    DrawColorImage(*Console, HalfImage, 0, 0, Mapper);
  }
  Console->Present();
}

void TScene2::DrawFrame(int32_t T) {
  glLoadIdentity();
  glClearColor(0, 0, 0, 0);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glTranslatef(0, 0, InnerTubeZ(T));
  TurnInnerTube(T);
  PMesh Mesh = MakeKnotTube(T);
  SetSphereMapTexCoords(*Mesh);
  DrawMesh(*Mesh);

  // The giant copy keeps the inner tube's reflection. Its scale also shortens its normals
  // (GL_NORMALIZE stays off), so it is lit mostly by the ambient term: dim on purpose.
  glLoadIdentity();
  TurnOuterTube(T);
  const float S = OuterTubeScale(T);
  glScalef(S, S, S);
  DrawMesh(*Mesh);
  Mesh.reset();

  ReadOffscreenImage(FrameImage);
}
