#include "parts/Blades.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "console/ImageToCells.h"
#include "gles/GL.h"
#include "gles/MeshStuff.h"

namespace {
constexpr float Pi = std::numbers::pi_v<float>;
constexpr float HalfPi = Pi / 2;
constexpr int32_t GeometryEnd = 16000;  // no blades from here on
constexpr int32_t LineArtStart = 8000;  // fire palette before, block line art from here
constexpr int32_t ResolveEnd = 1000;    // coarse blocks refine to pixels over the first second
constexpr int32_t ScreenRow = -7;       // 64 picture rows centred on the 50-row screen

// The one-cell blade: a 1.8-wide square on the origin. Its four drawn corners are moved; the
// border vertices around them only pad the grid.
PMesh MakeBlade() {
  PMesh Mesh = MakeGrid(1, 1, false, 1, 1);
  const auto Corner = [&](int32_t Row, int32_t Column) -> TVec& {
    return Mesh->Verts[static_cast<size_t>(Row * 4 + Column)].Position;
  };
  Corner(1, 1) = {0.9f, 0.9f, 0};
  Corner(1, 2) = {-0.9f, 0.9f, 0};
  Corner(2, 1) = {0.9f, -0.9f, 0};
  Corner(2, 2) = {-0.9f, -0.9f, 0};
  SetGridTexCoords(*Mesh, 1, 1);
  return Mesh;
}
}  // namespace

float BladeSpin(int32_t T) {
  const float S = std::sin(float(T) * HalfPi / 8000.0f);
  return T < 8000 ? 720.0f * S : 1440.0f * S + 720.0f;
}

float BladeDepth(int32_t T) { return 0.3f * std::sin(float(T) * 2.0f * Pi / 2000.0f) - 0.9f; }

TScene6::TScene6(TEGLDisplay& Display_, TRandom& Random, const TOverlay& Overlay_,
                 const TColorTable& Colors_)
    : TGLScene(Display_, 161, 129),
      Overlay(Overlay_),
      Colors(Colors_),
      Texture(BladesMotion, Random) {}

void TScene6::PrepareContext() {
  glEnable(GL_TEXTURE_2D);
  CreateTexture();
  glDisable(GL_TEXTURE_2D);
  SetUpGL();
  UpdateTexture();
  DrawFrame(0);
}

void TScene6::Enter() {
  TGLScene::Enter();
  TTimeScene::Enter();
  UpdateTexture();
}

void TScene6::SetUpGL() {
  TGLScene::SetUpGL();
  glDisable(GL_LIGHTING);  // the blades show their texture as it is
}

void TScene6::UpdateTexture() {
  Texture.Compose(Elapsed, LowLevel);
  Texture.Upload();
}

void TScene6::Render() {
  UpdateTexture();
  DrawFrame(Elapsed);
  ConvertFrame();
}

void TScene6::DrawFrame(int32_t T) {
  glClearColor(0, 0, 0, 0);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (T < GeometryEnd) {
    PMesh Blade = MakeBlade();
    glLoadIdentity();
    glTranslatef(0, 0, BladeDepth(T));
    glRotatef(BladeSpin(T), 0, 0, 1);
    // Each blade is the square turned a quarter back, tilted 45 degrees, then set at its place
    // around the axis. The last one needs no push: nothing is drawn after it.
    for (const float Place : {0.0f, 180.0f, 90.0f}) {
      glPushMatrix();
      if (Place != 0) glRotatef(Place, 0, 0, 1);
      glRotatef(45, 1, 0, 0);
      glRotatef(-90, 0, 0, 1);
      DrawMesh(*Blade);
      glPopMatrix();
    }
    glRotatef(-90, 0, 0, 1);
    glRotatef(45, 1, 0, 0);
    glRotatef(-90, 0, 0, 1);
    DrawMesh(*Blade);
  }
  ReadOffscreenImage(FrameImage);
}

void TScene6::ConvertFrame() {
  const int32_t T = Elapsed;
  // The columns ripple harder over the first 8 s (B), the rows over the next 8 (A).
  const float A = std::clamp(float(T - LineArtStart) / 8000.0f, 0.0f, 1.0f);
  const float B = std::clamp(float(T) / float(LineArtStart), 0.0f, 1.0f);
  const float Phase = float(T) / 4000.0f;
  FrameImage.Ripple(1, 1, 4.0f - 4.0f * std::cos(A * HalfPi), 14.0f * std::sin(B * HalfPi), Phase,
                    Phase, 0, 0);
  Overlay.Blend(FrameImage, T);

  if (T < LineArtStart) {
    FrameImage.Crop(1, 1, 160, 128);
    HalfImage.Downsample(FrameImage);
    FrameImage.Crop(0, 0, 161, 129);  // back to the read-back size; its pixels are redrawn
    TConsoleValueMapper Mapper{0, 4, 12, 14, 15};
    Mapper.SetLevels(5 - std::min(T / 2000, 2));
    if (T < ResolveEnd) {
      const float F = float(std::clamp(T, 0, ResolveEnd));
      const auto E = int32_t(std::lrintf(4.0f * F / 1000.0f));
      Pixelate(HalfImage, 5 << E, 4 << E);
    }
    HalfImage.Posterize(6);
    DrawColorImage(*Console, HalfImage, 0, ScreenRow, Mapper);
  } else {
    TLin1Mapper Mapper(Colors);
    DrawBlockImage(*Console, FrameImage, 0, ScreenRow, Mapper);
  }
  Console->Present();
}
