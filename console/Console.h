// Console: the show's screen of 80 x 50 cells, which the parts draw into and present.
#pragma once

#include <string>
#include <vector>

#include "terminal/Screen.h"

// --- Screen geometry
inline constexpr TCoord ScreenOrigin{0, 0};
inline constexpr TCoord ScreenSize{ShowColumns, ShowRows};  // the one show size, from the terminal
inline constexpr int ScreenCells = (ScreenSize.Y - ScreenOrigin.Y) * (ScreenSize.X - ScreenOrigin.X);

// --- Console screen
class TConsole {
 public:
  // Opens the screen (titled, maximized or full screen) with every cell zero.
  TConsole(IScreen& Screen, const std::string& Title, bool FullScreen);
  ~TConsole();
  TConsole(const TConsole&) = delete;
  TConsole& operator=(const TConsole&) = delete;

  void Present();                          // shows all 4000 cells, with Frame
  void SetTitle(const std::string& Title);  // the window title

  std::vector<TCharInfo> Cells;  // row-major, index = row * 80 + column
  TFrameRecord Frame;            // what the cells show; the timeline sets it before each frame

 private:
  IScreen& Screen;
};
