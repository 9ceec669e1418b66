#include "parts/KnotTunnel.h"

#include "console/ImageToCells.h"
#include "gles/GL.h"
#include "gles/MeshStuff.h"

namespace {
constexpr int32_t LineArtEnd = 8000;  // block line art before, the red half-size picture from here
}  // namespace

TScene2::TScene2(TEGLDisplay& Display_, TRandom& Random, const TOverlay& Overlay_,
                 const TColorTable& Colors_)
    : TGLScene(Display_, 161, 101),
      Overlay(Overlay_),
      Colors(Colors_),
      KnotTexture(MakeKnotTexture(Random)) {}

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
  Overlay.Blend(FrameImage, T);

  if (T < LineArtEnd) {
    TLin1Mapper Mapper(Colors);
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
