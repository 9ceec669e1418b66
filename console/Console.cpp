#include "console/Console.h"

TConsole::TConsole(IScreen& Screen_, const std::string& Title, bool FullScreen)
    : Cells(ScreenCells), Screen(Screen_) {
  Screen.Open(Title, FullScreen);
}

TConsole::~TConsole() { Screen.Close(); }

void TConsole::Present() { Screen.Present(Cells, Frame); }

void TConsole::SetTitle(const std::string& Title) { Screen.SetTitle(Title); }
