#include "parts/ShaftDescent.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "console/ImageToCells.h"

namespace {
constexpr float HalfPi = std::numbers::pi_v<float> / 2;

// Weight of the fade-in from black: 0 at T = 0, 255 from T = 4000.
int32_t FadeWeight(int32_t T) {
  const auto Clamped = float(std::clamp(T, 0, 4000));
  return int32_t(std::lrintf(255.0f * std::sin(Clamped * HalfPi / 4000.0f)));
}
}  // namespace

TScene4::TScene4(TEGLDisplay& Display_, TRandom& Random) : TShaftScene(Display_, Random) {}

void TScene4::Render() {
  const int32_t T = Elapsed;
  UpdateTexture(T);
  DrawShaft(DescentCamera(T));
  if (T < 4000) HalfImage.DrawBlended(HalfImage, 0, 0, 0, FadeWeight(T));
  HalfImage.Posterize(6);
  {
    TConsoleValueMapper Mapper(FireColors);
    DrawColorImage(*Console, HalfImage, 0, 0, Mapper);
  }
  Console->Present();
}
