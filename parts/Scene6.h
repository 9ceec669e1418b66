// Scene6: part 6 of the show.
#pragma once

#include "driver/ConsoleTimeline.h"

class TScene6 : public TConsoleScene {
 public:
  TScene6();
  void Render() override;
  void Enter() override;
};
