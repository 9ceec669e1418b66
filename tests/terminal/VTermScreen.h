// An emulated terminal for tests: bytes in, cells out.
#pragma once

#include <vterm.h>

#include <cstdint>
#include <string>

class TVTermScreen {
 public:
  TVTermScreen(int Rows_, int Columns_) : Rows(Rows_), Columns(Columns_) {
    Term = vterm_new(Rows, Columns);
    vterm_set_utf8(Term, 1);
    Screen = vterm_obtain_screen(Term);
    vterm_screen_enable_altscreen(Screen, 1);
    vterm_screen_reset(Screen, 1);
  }
  ~TVTermScreen() { vterm_free(Term); }
  TVTermScreen(const TVTermScreen&) = delete;
  TVTermScreen& operator=(const TVTermScreen&) = delete;

  void Feed(const std::string& Bytes) { vterm_input_write(Term, Bytes.data(), Bytes.size()); }

  VTermScreenCell Cell(int Row, int Column) const {
    VTermScreenCell Out{};
    vterm_screen_get_cell(Screen, VTermPos{Row, Column}, &Out);
    return Out;
  }
  // The character shown, with an erased cell read as a blank.
  char32_t Glyph(int Row, int Column) const {
    uint32_t C = Cell(Row, Column).chars[0];
    return C == 0 ? U' ' : char32_t(C);
  }

  const int Rows;
  const int Columns;

 private:
  VTerm* Term;
  VTermScreen* Screen;
};
