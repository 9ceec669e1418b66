// The fewest bytes that take a terminal's cursor from where writing one cell leaves it to where
// the next glyph goes to another, with every control that moves the cursor and nothing that
// restores a saved one. The model is the floor's (EncodingFloor.h): no scrolling, tab stops every
// 8 columns, margins at the screen's edges, ANSI mode. Where terminals differ (a line feed in new
// line mode, a backspace after the last column or from the first), every landing counts.
//
// A way through is a sequence of controls of four kinds: those that change only the row (line
// feed, index, reverse index, CSI A, B, d, e), those that change only the column (writing a cell,
// backspace, tab, carriage return, CSI C, D, G, a, `, I, Z), those that change both from where the
// cursor stands (a line feed or next line to the first column, CSI E and F; writing past the last
// column; a backspace from the first), and those that go to one place from anywhere (CSI H and f,
// ESC F, CSI r). Row and column moves commute, so between two of the others a way costs the
// least of its rows plus the least of its columns; the rest is a search over the few places the
// others land on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TCursorMoves {
 public:
  TCursorMoves(int Columns_, int Rows_);

  // Bytes from the cursor just after cell End is written to the next glyph going to cell Start.
  int Between(int End, int Start);
  // Bytes from the cursor standing at a column (Columns: after the last, before wrapping) of a
  // row to the next glyph going to cell Start.
  int From(int Row, int Column, int Start);

  const int Columns, Rows;

 private:
  // Where the cursor stands: the column, or Columns after the last one.
  struct TPlace {
    int Row, Column, Cost;
  };
  std::vector<uint8_t> Search(const std::vector<TPlace>& From) const;
  int Col(int From, int To) const { return ColumnCost[size_t(From * (Columns + 1) + To)]; }
  int Row(int From, int To) const { return RowCost[size_t(From * Rows + To)]; }

  std::vector<int> ColumnCost;    // column to column, by column moves alone
  std::vector<int> RowCost;       // row to row, by row moves alone
  std::vector<int> ToFirst;       // row to row with one move to the first column on the way
  std::vector<uint8_t> Anywhere;  // from anywhere, by a move to one place first
  std::vector<std::vector<uint8_t>> Cache;  // by place the cursor stands
};
