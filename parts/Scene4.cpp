#include "parts/Scene4.h"

#include <algorithm>

TScene4::TScene4() {
  StartTime = 42000;
  Duration = 16000;
}

// Placeholder frame until the part is drawn: a black screen.
void TScene4::Render() {
  std::fill(Console->Cells.begin(), Console->Cells.end(), TCharInfo{});
  Console->Present();
}

void TScene4::Enter() { TConsoleScene::Enter(); }
