#include "parts/Scene1.h"

#include <algorithm>

TScene1::TScene1() {
  StartTime = 0;
  Duration = 10000;
}

// Placeholder frame until the part is drawn: a black screen.
void TScene1::Render() {
  std::fill(Console->Cells.begin(), Console->Cells.end(), TCharInfo{});
  Console->Present();
}

void TScene1::Enter() { TConsoleScene::Enter(); }
