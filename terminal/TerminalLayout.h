// Where the 80 x 50 show lands on a terminal of any size: centred between black margins where the
// terminal is larger, sampled evenly where it is smaller, each axis on its own.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "terminal/Screen.h"

class TTerminalLayout {
 public:
  static constexpr int ShowColumns = 80;
  static constexpr int ShowRows = 50;

  TTerminalLayout() : TTerminalLayout(ShowColumns, ShowRows) {}
  TTerminalLayout(int TerminalColumns, int TerminalRows);  // sizes below 1 count as 1

  // --- The picture on the terminal: Width x Height cells from (Left, Top), zero-based
  int Left() const { return PictureLeft; }
  int Top() const { return PictureTop; }
  int Width() const { return int(SourceColumns.size()); }
  int Height() const { return int(SourceRows.size()); }
  bool Reduced() const { return Width() < ShowColumns || Height() < ShowRows; }  // cells left out

  // Fills Out with the Width x Height picture cells taken from the 80 x 50 show Cells.
  void Apply(std::span<const TCharInfo> Cells, std::vector<TCharInfo>& Out) const;

  int TerminalColumns() const { return Columns; }
  int TerminalRows() const { return Rows; }

 private:
  int Columns, Rows;
  int PictureLeft = 0, PictureTop = 0;
  std::vector<int> SourceColumns, SourceRows;
};

// The line that tells, after the show, that a Columns x Rows terminal showed a reduced view.
std::string ReducedViewMessage(int Columns, int Rows);
