#include "parts/ShaftPalette.h"

#include <algorithm>
#include <cmath>

#include "console/ImageToCells.h"
#include "parts/Show.h"

namespace {
// The fire palette, magenta and the blues, then the fire palette again: at the full offset of 510
// (eight levels of 64) the cycling quadrants are back where they began.
constexpr int32_t CyclingColors[] = {0, 4, 12, 14, 15, 13, 9, 1, 0, 4, 12, 14, 15};
constexpr int32_t BreakUpStart = 15000;  // the picture breaks into blocks over the last second
constexpr int32_t BreakUpLength = 1000;
}  // namespace

TScene5::TScene5(TEGLDisplay& Display_, TRandom& Random) : TShaftScene(Display_, Random) {}

void TScene5::BreakUp(int32_t T) {
  const int32_t F = std::clamp(T - BreakUpStart, 0, BreakUpLength);
  const auto E = int32_t(std::lrintf(4.0f - 4.0f * float(F) / float(BreakUpLength)));
  Pixelate(HalfImage, 5 << E, 4 << E);
}

void TScene5::Render() {
  const int32_t T = Elapsed;
  // The scroll runs on from where the descent left it.
  UpdateTexture(T + PartOffset(DescentPart, PalettePart));
  DrawShaft(PaletteCamera(T));

  TConsoleValueMapper Fire(FireColors);
  TConsoleValueMapper Cycling(CyclingColors);
  Cycling.SetLevels(5);
  // 0 at the start, 510 at the end: the cycling quadrants pass through all colours once.
  Cycling.Offset = int32_t(std::floor(float(T) / 16000.0f * 255.0f *
                                      float(Cycling.ColorCount - 3) / float(Cycling.Levels)));
  // Made last, so it goes first: it refers to both mappers.
  TPals1 Group({&Fire, &Cycling});

  if (T > BreakUpStart) BreakUp(T);
  HalfImage.Posterize(6);
  DrawMappedImage(*Console, HalfImage, 0, 0, Group);
  Console->Present();
}
