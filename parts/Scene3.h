// Scene3: part 3 of the show.
#pragma once

#include "driver/ConsoleTimeline.h"

class TScene3 : public TConsoleScene {
 public:
  TScene3();
  void Render() override;
  void Enter() override;
};
