#include "parts/ShaftDescent.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "console/ImageToCells.h"

namespace {
constexpr float HalfPi = std::numbers::pi_v<float> / 2;

constexpr int32_t FadeInEnd = 4000;  // the shaft comes out of black until here

// Weight of the fade-in from black: 0 at T = 0, 255 from FadeInEnd.
int32_t FadeWeight(int32_t T) {
  const auto Clamped = float(std::clamp(T, 0, FadeInEnd));
  return int32_t(std::lrintf(255.0f * std::sin(Clamped * HalfPi / float(FadeInEnd))));
}
}  // namespace

TScene4::TScene4(TEGLDisplay& Display_, TRandom& Random) : TShaftScene(Display_, Random) {}

void TScene4::Render() {
  const int32_t T = Elapsed;
  UpdateTexture(T);
  DrawShaft(DescentCamera(T));
  if (T < FadeInEnd) HalfImage.DrawBlended(HalfImage, 0, 0, 0, FadeWeight(T));
  HalfImage.Posterize(6);
  {
    TConsoleValueMapper Mapper(FireColors);
    DrawColorImage(*Console, HalfImage, 0, 0, Mapper);
  }
  Console->Present();
}
