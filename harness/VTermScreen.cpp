#include "harness/VTermScreen.h"

namespace {
void DropOutput(const char*, size_t, void*) {}
}  // namespace

TVTermScreen::TVTermScreen(int Rows_, int Columns_, bool AltScreen)
    : Rows(Rows_), Columns(Columns_), Term(vterm_new(Rows_, Columns_)) {
  vterm_set_utf8(Term, 1);
  vterm_output_set_callback(Term, DropOutput, nullptr);
  Screen = vterm_obtain_screen(Term);
  if (AltScreen) vterm_screen_enable_altscreen(Screen, 1);
  vterm_screen_reset(Screen, 1);
}

TVTermScreen::~TVTermScreen() { vterm_free(Term); }
