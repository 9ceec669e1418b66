#include "parts/Scene6.h"

#include <algorithm>

TScene6::TScene6() {
  StartTime = 74000;
  Duration = 18000;
}

// Placeholder frame until the part is drawn: a black screen.
void TScene6::Render() {
  std::fill(Console->Cells.begin(), Console->Cells.end(), TCharInfo{});
  Console->Present();
}

void TScene6::Enter() { TConsoleScene::Enter(); }
