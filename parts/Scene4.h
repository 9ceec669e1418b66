// Scene4: part 4 of the show.
#pragma once

#include "driver/ConsoleTimeline.h"

class TScene4 : public TConsoleScene {
 public:
  TScene4();
  void Render() override;
  void Enter() override;
};
