#include "parts/Scene5.h"

#include <algorithm>

TScene5::TScene5() {
  StartTime = 58000;
  Duration = 16000;
}

// Placeholder frame until the part is drawn: a black screen.
void TScene5::Render() {
  std::fill(Console->Cells.begin(), Console->Cells.end(), TCharInfo{});
  Console->Present();
}

void TScene5::Enter() { TConsoleScene::Enter(); }
