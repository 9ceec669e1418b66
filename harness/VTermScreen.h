// A terminal emulated by libvterm for tests and benchmarks: bytes in, cells out. What libvterm
// would send back to the program (its own answers to requests) is dropped: whoever plays the
// terminal answers for it.
#pragma once

#include <vterm.h>

#include <cstdint>
#include <string>
#include <utility>

class TVTermScreen {
 public:
  // With AltScreen false, switching to the alternate screen and back is ignored, so the cells
  // stay readable after a program gives the terminal back.
  TVTermScreen(int Rows_, int Columns_, bool AltScreen = true);
  ~TVTermScreen();
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
  // Where the cursor stands: row and column from 0.
  std::pair<int, int> Cursor() const {
    VTermPos Pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(Term), &Pos);
    return {Pos.row, Pos.col};
  }
  // A colour as red, green and blue, whatever form the terminal holds it in.
  VTermColor Rgb(VTermColor Color) const {
    vterm_screen_convert_color_to_rgb(Screen, &Color);
    return Color;
  }

  const int Rows;
  const int Columns;

 private:
  VTerm* Term;
  VTermScreen* Screen;
};
