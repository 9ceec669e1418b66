// ShaftDescent: the shaft descent. The shaft fades in from black over four seconds; from
// eight seconds on the viewer sinks and the view tilts. Shown through the fire palette, of
// whose 64 rows the top 50 reach the screen.
#pragma once

#include "parts/Shaft.h"

// The shaft descent part (the design calls it TScene4).
class TScene4 : public TShaftScene {
 public:
  TScene4(TEGLDisplay& Display, TRandom& Random);
  void Render() override;
};
