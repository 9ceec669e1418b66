// Scene2: part 2 of the show.
#pragma once

#include "driver/ConsoleTimeline.h"

class TScene2 : public TConsoleScene {
 public:
  TScene2();
  void Render() override;
  void Enter() override;
};
