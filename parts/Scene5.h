// Scene5: part 5 of the show.
#pragma once

#include "driver/ConsoleTimeline.h"

class TScene5 : public TConsoleScene {
 public:
  TScene5();
  void Render() override;
  void Enter() override;
};
