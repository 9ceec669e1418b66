#include "parts/LayeredTexture.h"

#include <cmath>

#include "gles/GLESStuff.h"

std::array<int32_t, 3> ScrollPositions(int32_t T, const TLayerMotion& Motion) {
  std::array<int32_t, 3> S{};
  for (size_t K = 0; K < S.size(); ++K) S[K] = T * Motion.Speed[K] / Motion.Divisor[K];
  return S;
}

TRect ScrollWindow(int32_t S, bool Diagonal) {
  // S / 32 pixels in 16.16 is S x 2048; the window is 4096 thirty-seconds (128 pixels) wide.
  const int32_t Near = S * 2048;
  const int32_t Far = (S + 4096) * 2048;
  if (Diagonal) return {Near, Near, Far, Far};
  return {0, Near, TLayeredTexture::Size * 65536, Far};
}

int32_t LevelBoost(float LowLevel, float Gain) { return int32_t(std::lrintf(Gain * LowLevel)); }

TLayeredTexture::TLayeredTexture(const TLayerMotion& Motion_, TRandom& Random) : Motion(Motion_) {
  Layer1.Generate(64, 256, 0, 3, 3, Random);
  Layer2.Generate(64, 256, 1, 4, 4, Random);
  Layer3.Generate(64, 256, 2, 6, 6, Random);
}

void TLayeredTexture::Compose(int32_t T, float LowLevel) {
  const int32_t L = LevelBoost(LowLevel, Motion.LevelGain);
  const std::array<int32_t, 3> S = ScrollPositions(T, Motion);
  Scroll1 = S[0];
  Scroll2 = S[1];
  Scroll3 = S[2];
  struct TPass {
    const TImage& Layer;
    int32_t Scroll;
    int32_t SourceWeight;
    int32_t DestWeight;
  };
  // The coarse layer replaces what the texture held; the finer ones add on top.
  const TPass Passes[3] = {{Layer1, Scroll1, L + 128, 0},
                           {Layer2, Scroll2, L + 64, 256},
                           {Layer3, Scroll3, L + 32, 256}};
  const TRect Whole{0, 0, Size, Size};
  for (const TPass& P : Passes) {
    ScrollImage.StretchDrawBilinear(P.Layer, ScrollWindow(P.Scroll, Motion.Diagonal), Whole);
    TextureImage.DrawBlended(ScrollImage, 0, 0, P.SourceWeight, P.DestWeight);
  }
}

void TLayeredTexture::Upload() const {
  UploadTextureImage(TextureImage);
}
