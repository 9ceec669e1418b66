// What the show knows of the terminal it draws on, from what the terminal, the system and the
// user say: the shape of its cells and whether it is the Linux console. Pure: strings and numbers
// in, answers out; termio/ asks the system.
#pragma once

#include <optional>
#include <string_view>

#include "terminal/TerminalLayout.h"

// "WxH" (for example "8x16"), each side 1 to 512; nothing for anything else.
std::optional<TCellShape> ParseCellShape(std::string_view Text);

// The cell's shape from a window's pixel size as TIOCGWINSZ reports it; nothing when the terminal
// leaves the pixel size at zero or gives a size that makes no cell.
std::optional<TCellShape> CellFromWindowPixels(int PixelWidth, int PixelHeight, int Columns, int Rows);

// Where the cell's shape came from, most trusted first.
struct TCellSources {
  std::optional<TCellShape> User;         // --cell, else VORLEK_CELL
  std::optional<TCellShape> Window;       // the pixel size reported with the window's size
  std::optional<TCellShape> Reply;        // the terminal's answer to the cell-size query
  std::optional<TCellShape> ConsoleFont;  // the Linux console's font
};
// The first known of the sources above, else cells twice as tall as wide.
TCellShape ChooseCellShape(const TCellSources& Sources);

// TERM names the Linux console: "linux" or "linux-" followed by anything.
bool IsLinuxConsoleTerm(std::string_view Term);

// TERM names a terminal known to draw the VT100 line-drawing set as the box-drawing characters:
// xterm and the terminals that take its name, tmux, screen and a few others by their own names.
// Never the Linux console.
bool DrawsLineDrawing(std::string_view Term);
