// Scene1: part 1 of the show.
#pragma once

#include "driver/ConsoleTimeline.h"

class TScene1 : public TConsoleScene {
 public:
  TScene1();
  void Render() override;
  void Enter() override;
};
