#include "parts/Scene3.h"

#include <algorithm>

TScene3::TScene3() {
  StartTime = 26000;
  Duration = 16000;
}

// Placeholder frame until the part is drawn: a black screen.
void TScene3::Render() {
  std::fill(Console->Cells.begin(), Console->Cells.end(), TCharInfo{});
  Console->Present();
}

void TScene3::Enter() { TConsoleScene::Enter(); }
