// ShaftPalette: the shaft palette. The shaft of the descent goes on without a jump while
// the screen splits into a checkerboard of quadrants: two keep the fire palette, two cycle
// through red, yellow, white, magenta and blue. In the last second the picture breaks into ever
// coarser blocks.
#pragma once

#include "parts/Shaft.h"

// The shaft palette part (the design calls it TScene5).
class TScene5 : public TShaftScene {
 public:
  TScene5(TEGLDisplay& Display, TRandom& Random);
  void Render() override;
  // Replaces HalfImage by its mean over blocks of 1 to 16 pixels, growing over the last second.
  void BreakUp(int32_t T);
};
