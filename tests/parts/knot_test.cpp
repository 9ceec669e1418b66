// The knot parts' placement and overlay choice without GL; their textures and contexts with a real
// headless GL context.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>

#include "GLTestPlatform.h"
#include "gles/GL.h"
#include "parts/Knot.h"
#include "parts/Overlay.h"
#include "parts/KnotTunnel.h"
#include "parts/InsideKnot.h"

namespace {

TEST(KnotTest, OverlayTexturesAndTheirIndex) {
  struct {
    int32_t From, To, Index;
  } const Spans[] = {{0, 16, 0},     {17, 47, 1},   {48, 80, 2},
                     {593, 623, 19}, {624, 656, 0}, {-47, -17, 1}};
  for (const auto& S : Spans)
    for (int32_t T = S.From; T <= S.To; ++T) EXPECT_EQ(OverlayTextureIndex(T), S.Index) << T;

  TRandom Random;
  const TOverlay Overlay(Random);
  ASSERT_EQ(Overlay.Textures.size(), 20u);
  TImage Alone(256, 128);  // made without the 19 before it
  TRandom Fresh;
  Alone.Generate(0, 255, 19, 7, 6, Fresh);
  EXPECT_EQ(Overlay.Textures[19].Pixels, Alone.Pixels);
  EXPECT_EQ(Random.State, Fresh.State);  // the generator goes on from the last texture
}

TEST(KnotTest, Placement) {
  const float Root = std::sqrt(0.5f);
  EXPECT_FLOAT_EQ(InnerTubeZ(0), 5.0f);  // behind the viewer
  EXPECT_NEAR(InnerTubeZ(4000), 5.0f - 9.0f * Root, 1e-5f);
  for (int32_t T : {8000, 9000, 10000}) EXPECT_FLOAT_EQ(InnerTubeZ(T), -4.0f) << T;
  EXPECT_NEAR(InnerTubeZ(14000), 5.0f, 1e-5f);
  EXPECT_NEAR(InnerTubeZ(16000), 5.0f + 9.0f * Root, 1e-4f);
  EXPECT_FLOAT_EQ(OuterTubeScale(0), 300.0f);
  EXPECT_NEAR(OuterTubeScale(500), 300.0f - 280.0f * Root, 1e-3f);
  EXPECT_FLOAT_EQ(OuterTubeScale(1000), 20.0f);

  EXPECT_FLOAT_EQ(KnotRockAngle(8000), 180.0f);
  EXPECT_NEAR(KnotRockAngle(16000), 0.0f, 1e-4f);
  EXPECT_FLOAT_EQ(KnotScale(0, 0), 20.0f);     // where the tunnel's giant copy left off
  EXPECT_FLOAT_EQ(KnotScale(4000, 3), -1.0f);  // not clamped: a loud bass turns it inside out
  EXPECT_FLOAT_EQ(KnotScale(12000, 0.5f), 19.5f);
  EXPECT_EQ(KnotFadeWeight(15000), 255);
  EXPECT_EQ(KnotFadeWeight(15500), 180);  // 255 cos(pi / 4) = 180.3
  EXPECT_EQ(KnotFadeWeight(16000), 0);
}

TEST(KnotTest, ReenteredTunnelKeepsOneTextureAndBothPartsReleaseTheirContexts) {
  ForgetWindowSystem();
  TEGLDisplay Egl;
  Egl.Init();
  std::optional<TContextProbe> Probe;
  TOffscreenContext Contexts[2];
  {
    TRandom Random;
    const TOverlay Overlay(Random);
    TScene3 Inside(Egl, Random, Overlay);
    const TColorTable Colors;
    TScene2 Tunnel(Egl, Random, Overlay, Colors);
    Inside.AwaitPreparation();  // no second thread here: each part prepares its GL itself
    Tunnel.AwaitPreparation();
    ASSERT_TRUE(Tunnel.Offscreen.Valid()) << Egl.FailureReason();
    Contexts[0] = Tunnel.Offscreen;
    Contexts[1] = Inside.Offscreen;
    for (int Entry = 0; Entry < 5; ++Entry) Tunnel.Enter();  // seeking back into it
    Probe.emplace();
    int Live = 0;
    for (GLuint Name = 1; Name <= Tunnel.TextureId + 8; ++Name) Live += glIsTexture(Name);
    EXPECT_EQ(Live, 1);
  }
  for (const TOffscreenContext& Context : Contexts) EXPECT_FALSE(Probe->Exists(Context));
}

}  // namespace
