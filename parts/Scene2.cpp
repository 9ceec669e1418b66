#include "parts/Scene2.h"

#include <algorithm>

TScene2::TScene2() {
  StartTime = 10000;
  Duration = 16000;
}

// Placeholder frame until the part is drawn: a black screen.
void TScene2::Render() {
  std::fill(Console->Cells.begin(), Console->Cells.end(), TCharInfo{});
  Console->Present();
}

void TScene2::Enter() { TConsoleScene::Enter(); }
