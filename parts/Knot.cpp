#include "parts/Knot.h"

#include <cmath>
#include <numbers>

#include "gles/GL.h"

namespace {
constexpr float HalfPi = std::numbers::pi_v<float> / 2;
}  // namespace

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

TImage MakeKnotTexture(TRandom& Random) {
  TImage Texture(64, 64);
  Texture.Generate(0, 255, 22, 3, 3, Random);
  return Texture;
}
