// Where the 80 x 50 show lands on a terminal of any size and cell shape: in proportion where it
// fits (show columns and rows repeated by whole numbers so that the picture's shape on screen is
// closest to the show's 8:5, as large as fits), centred between black margins; else one cell per
// cell where the terminal has 80 x 50, else sampled evenly, each axis on its own.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "terminal/Screen.h"

// The shape of the terminal's character cell: its width and height in pixels (or any unit).
struct TCellShape {
  int Width = 1;
  int Height = 2;  // what most terminal fonts have, and so the guess when nothing is known
  friend bool operator==(const TCellShape&, const TCellShape&) = default;
};

class TTerminalLayout {
 public:
  static constexpr int ShowColumns = ::ShowColumns;
  static constexpr int ShowRows = ::ShowRows;
  static constexpr int MaxRepeat = 4;  // bounds the picture (and the bytes) on huge terminals

  TTerminalLayout() : TTerminalLayout(ShowColumns, ShowRows, TCellShape{1, 1}) {}
  // Sizes below 1 count as 1; a cell shape with a side below 1 counts as square.
  TTerminalLayout(int TerminalColumns, int TerminalRows, TCellShape Cell);

  // --- The picture on the terminal: Width x Height cells from (Left, Top), zero-based
  int Left() const { return PictureLeft; }
  int Top() const { return PictureTop; }
  int Width() const { return int(SourceColumns.size()); }
  int Height() const { return int(SourceRows.size()); }
  bool Reduced() const { return Width() < ShowColumns || Height() < ShowRows; }  // cells left out
  // Where the picture leaves the terminal's cells beside it, and above or below it, to margins;
  // whether its rows end at the terminal's right edge.
  bool MarginsBeside() const { return Left() > 0 || !ReachesRightEdge(); }
  bool MarginsAbove() const { return Top() > 0 || Top() + Height() < TerminalRows(); }
  bool ReachesRightEdge() const { return Left() + Width() == TerminalColumns(); }
  int RepeatX() const { return RepeatAcross; }  // terminal cells per show cell
  int RepeatY() const { return RepeatDown; }

  // Fills Out with the Width x Height picture cells made from the 80 x 50 show Cells. A repeated
  // cell is copied, except where a copy would break a drawing: line art keeps its vertical stroke
  // in the first copy across (its horizontal one in the first copy down) and continues only the
  // arm that leads on, and half blocks are split between the copies.
  void Apply(std::span<const TCharInfo> Cells, std::vector<TCharInfo>& Out) const;
  // The glyph picture cell (X, Y) shows for its show cell's Glyph.
  uint8_t GlyphAt(uint8_t Glyph, int X, int Y) const;

  int TerminalColumns() const { return Columns; }
  int TerminalRows() const { return Rows; }
  TCellShape Cell() const { return Shape; }

 private:
  int Columns, Rows;
  TCellShape Shape;
  int RepeatAcross = 1, RepeatDown = 1;
  int PictureLeft = 0, PictureTop = 0;
  std::vector<int> SourceColumns, SourceRows;  // the show column and row of each picture cell
};

// The glyph of copy Copy (from 0) of Repeat copies across (Down false) or down (Down true) of a
// cell showing code page 437 glyph Glyph.
uint8_t RepeatedGlyph(uint8_t Glyph, int Copy, int Repeat, bool Down);

// The line that tells, after the show, that a Columns x Rows terminal showed a reduced view.
std::string ReducedViewMessage(int Columns, int Rows);
