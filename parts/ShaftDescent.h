// Scene4: the shaft descent (42 to 58 s). The shaft fades in from black over four seconds; from
// eight seconds on the viewer sinks and the view tilts. Shown through the fire palette, of
// whose 64 rows the top 50 reach the screen.
#pragma once

#include "parts/Shaft.h"

class TScene4 : public TShaftScene {
 public:
  TScene4();
  void Render() override;
};
