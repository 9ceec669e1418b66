// The knot parts' placement and overlay choice without GL; their textures and contexts with a real
// headless GL ES context.
#include <gtest/gtest.h>

#include <EGL/egl.h>
#include <GLES/gl.h>

#include <cmath>
#include <cstdlib>

#include "parts/Scene2.h"
#include "parts/Scene3.h"

namespace {

TEST(KnotTest, OverlayIndexChangesEvery32MsHalvesToEvenAndWraps) {
  struct {
    int32_t From, To, Index;
  } const Spans[] = {{0, 16, 0},     {17, 47, 1},    {48, 80, 2},   {593, 623, 19},
                     {624, 656, 0},  {657, 687, 1},  {-16, 0, 0},   {-47, -17, 1}};
  for (const auto& S : Spans)
    for (int32_t T = S.From; T <= S.To; ++T) EXPECT_EQ(OverlayTextureIndex(T), S.Index) << T;
}

TEST(KnotTest, OverlayBlendsTheTextureForTheTimeAtOneSixteenth) {
  TImage Frame(161, 101);
  BlendOverlay(Frame, 17);  // before the textures exist: nothing
  for (TPixel P : Frame.Pixels) ASSERT_EQ(P, 0u);

  CreateOverlayTextures();
  ASSERT_EQ(OverlayTextures.size(), 20u);
  TImage Texture1(256, 128);
  Texture1.Generate(0, 255, 1, 7, 6);
  EXPECT_EQ(OverlayTextures[1].Pixels, Texture1.Pixels);
  EXPECT_NE(OverlayTextures[0].Pixels, OverlayTextures[1].Pixels);

  BlendOverlay(Frame, 17);
  int Lit = 0;
  for (int32_t Y = 0; Y < Frame.Height; ++Y)
    for (int32_t X = 0; X < Frame.Width; ++X) {
      const TPixel S = Texture1.Pixels[size_t(Y * 256 + X)];
      TPixel Want = 0;
      for (int Shift = 0; Shift < 32; Shift += 8) Want |= (((S >> Shift) & 0xFF) * 16 >> 8) << Shift;
      ASSERT_EQ(Frame.Pixels[size_t(Y * Frame.Width + X)], Want) << X << "," << Y;
      Lit += (Want & 0xFF) != 0;
    }
  EXPECT_GT(Lit, 1000);
  FreeOverlayTextures();
  EXPECT_TRUE(OverlayTextures.empty());
}

TEST(KnotTest, TunnelPlacement) {
  EXPECT_FLOAT_EQ(InnerTubeZ(0), 5.0f);  // behind the viewer
  EXPECT_NEAR(InnerTubeZ(4000), 5.0f - 9.0f * std::sqrt(0.5f), 1e-5f);
  EXPECT_FLOAT_EQ(InnerTubeZ(8000), -4.0f);
  EXPECT_FLOAT_EQ(InnerTubeZ(9000), -4.0f);
  EXPECT_FLOAT_EQ(InnerTubeZ(10000), -4.0f);
  EXPECT_NEAR(InnerTubeZ(10001), -4.0f, 1e-5f);
  EXPECT_NEAR(InnerTubeZ(14000), 5.0f, 1e-5f);
  EXPECT_NEAR(InnerTubeZ(16000), 5.0f + 9.0f * std::sqrt(0.5f), 1e-4f);

  EXPECT_FLOAT_EQ(OuterTubeScale(0), 300.0f);
  EXPECT_NEAR(OuterTubeScale(500), 300.0f - 280.0f * std::sqrt(0.5f), 1e-3f);
  EXPECT_NEAR(OuterTubeScale(999), 20.0f, 1e-3f);
  EXPECT_FLOAT_EQ(OuterTubeScale(1000), 20.0f);
  EXPECT_FLOAT_EQ(OuterTubeScale(16000), 20.0f);
}

TEST(KnotTest, InsideTheKnotPlacementAndFade) {
  EXPECT_FLOAT_EQ(KnotRockAngle(0), 0.0f);
  EXPECT_FLOAT_EQ(KnotRockAngle(8000), 180.0f);
  EXPECT_NEAR(KnotRockAngle(16000), 0.0f, 1e-4f);

  EXPECT_FLOAT_EQ(KnotScale(0, 0), 20.0f);  // where the tunnel's giant copy left off
  EXPECT_FLOAT_EQ(KnotScale(4000, 0), 2.0f);
  EXPECT_FLOAT_EQ(KnotScale(4000, 3), -1.0f);  // a loud bass may turn it inside out
  EXPECT_NEAR(KnotScale(8000, 0), 20.0f, 1e-5f);
  EXPECT_FLOAT_EQ(KnotScale(12000, 0.5f), 19.5f);

  EXPECT_EQ(KnotFadeWeight(15000), 255);
  EXPECT_EQ(KnotFadeWeight(15500), 180);  // 255 cos(pi / 4) = 180.3
  EXPECT_EQ(KnotFadeWeight(15996), 2);
  EXPECT_EQ(KnotFadeWeight(16000), 0);
  EXPECT_EQ(KnotFadeWeight(17000), 0);
}

TEST(KnotTest, TunnelKeepsOneKnotTextureAndBothPartsReleaseTheirContexts) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  InitEGL();
  EGLDisplay Display = EGL_NO_DISPLAY;
  EGLContext Tunnel = EGL_NO_CONTEXT, Inside = EGL_NO_CONTEXT;
  {
    TScene3 Scene3;
    TScene2 Scene2;
    ASSERT_NE(Scene3.Offscreen.Context, EGL_NO_CONTEXT) << EGLFailureReason();
    ASSERT_NE(Scene2.Offscreen.Context, EGL_NO_CONTEXT) << EGLFailureReason();
    Tunnel = Scene2.Offscreen.Context;
    Inside = Scene3.Offscreen.Context;

    for (int Entry = 0; Entry < 5; ++Entry) Scene2.Enter();  // seeking back into the tunnel
    Display = eglGetCurrentDisplay();
    int Live = 0;
    for (GLuint Name = 1; Name <= Scene2.TextureId + 8; ++Name) Live += glIsTexture(Name);
    EXPECT_EQ(Live, 1);
    GLint Bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &Bound);
    EXPECT_EQ(GLuint(Bound), Scene2.TextureId);

    Scene3.Enter();  // its texture was made once, in its own context, and stays bound there
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &Bound);
    EXPECT_NE(Scene3.TextureId, 0u);
    EXPECT_EQ(GLuint(Bound), Scene3.TextureId);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
  EGLint Id = 0;
  EXPECT_FALSE(eglQueryContext(Display, Tunnel, EGL_CONFIG_ID, &Id));
  EXPECT_FALSE(eglQueryContext(Display, Inside, EGL_CONFIG_ID, &Id));
  DoneEGL();
}

}  // namespace
