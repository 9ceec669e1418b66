// The shaft parts' camera and wall texture, without GL.
#include "parts/Shaft.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "parts/LayeredTexture.h"

namespace {

void ExpectCamera(const TShaftCamera& Camera, float Tilt, float X, float Y, float Z) {
  EXPECT_NEAR(Camera.Tilt, Tilt, 1e-3f);
  EXPECT_NEAR(Camera.Offset.X, X, 1e-5f);
  EXPECT_NEAR(Camera.Offset.Y, Y, 1e-3f);
  EXPECT_NEAR(Camera.Offset.Z, Z, 1e-5f);
}

TEST(ShaftTest, CameraHangsThenSinksAndGoesOnWithoutAJump) {
  for (int32_t T : {0, 8000}) ExpectCamera(DescentCamera(T), 0, -1, 40, 2);
  ExpectCamera(DescentCamera(12000), 37.5f, -1, 260 - 220 * 0.9659258f, 2);
  ExpectCamera(DescentCamera(16000), 75, -1, 69.47441f, 2);
  ExpectCamera(PaletteCamera(8000), 75 + 45 * 0.2928932f, -0.7071068f, 150, 1.4142136f);
  ExpectCamera(PaletteCamera(16000), 120, 0, 260, 0);

  const TShaftCamera End = DescentCamera(16000), Start = PaletteCamera(0);
  EXPECT_FLOAT_EQ(End.Tilt, Start.Tilt);
  EXPECT_EQ(End.Offset.X, Start.Offset.X);
  EXPECT_EQ(End.Offset.Y, Start.Offset.Y);
  EXPECT_EQ(End.Offset.Z, Start.Offset.Z);
}

TEST(ShaftTest, ScrollPositionsTruncateTowardsZero) {
  EXPECT_EQ(ScrollPositions(1000, ShaftMotion), (std::array<int32_t, 3>{476, 789, 1250}));
  EXPECT_EQ(ScrollPositions(-1000, ShaftMotion), (std::array<int32_t, 3>{-476, -789, -1250}));
  // Where the palette part picks the scroll up, 16 s on.
  EXPECT_EQ(ScrollPositions(16000, ShaftMotion), (std::array<int32_t, 3>{7619, 12631, 20000}));
  EXPECT_EQ(LevelBoost(0.046875f, 32), 2);  // 1.5
  EXPECT_EQ(LevelBoost(0.078125f, 32), 2);  // 2.5
}

// Whole-pixel scrolls make every texel a weighted sum of three layer pixels; a loud bass pushes
// channels past 255.
TEST(ShaftTest, ComposeBlendsTheScrolledLayers) {
  for (bool Diagonal : {true, false}) {
    const TLayerMotion OnePixelPerMs{{32, 64, 96}, {1, 1, 1}, Diagonal, 32.0f};
    TRandom Random;
    TLayeredTexture Texture(OnePixelPerMs, Random);
    for (float Low : {0.0f, 4.0f}) {
      const int32_t L = LevelBoost(Low, 32);
      Texture.Compose(1, Low);
      for (int32_t Y = 0; Y < 128; ++Y) {
        for (int32_t X = 0; X < 128; ++X) {
          auto At = [&](const TImage& Layer, int32_t Shift) {
            return Layer
                .Pixels[size_t((Y + Shift) % 128 * 128 + (X + (Diagonal ? Shift : 0)) % 128)];
          };
          const TPixel P1 = At(Texture.Layer1, 1), P2 = At(Texture.Layer2, 2),
                       P3 = At(Texture.Layer3, 3);
          const TPixel Got = Texture.TextureImage.Pixels[size_t(Y * 128 + X)];
          for (int C = 0; C < 32; C += 8) {
            const int32_t Sum = int32_t((P1 >> C & 255) * uint32_t(L + 128) >> 8) +
                                int32_t((P2 >> C & 255) * uint32_t(L + 64) >> 8) +
                                int32_t((P3 >> C & 255) * uint32_t(L + 32) >> 8);
            ASSERT_EQ(int32_t(Got >> C & 255), std::min(Sum, 255)) << X << "," << Y << "," << C;
          }
        }
      }
    }
  }
}

}  // namespace
