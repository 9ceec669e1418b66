// How the picture moved on the screen between two frames, as far as a terminal can move what it
// shows: every row some rows down or up (lines inserted or deleted above the picture), then some
// rows on their own a few columns left (characters deleted at their start). A picture that glides
// keeps many of its cells so, only elsewhere on the screen, and moving them is cheaper than
// writing them again. Pure: cells in, a motion out.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "terminal/Screen.h"

struct TMotion {
  int Down = 0;                   // rows every row moved down (up when negative)
  int Left = 0;                   // columns the rows that move sideways moved left
  std::vector<uint8_t> RowMoves;  // per row: whether it moves left
  int Kept = 0;                   // cells that look as they should once moved
};

class TMotionFinder {
 public:
  // How far a picture may move between frames to be followed: rows down or up, columns left.
  // A picture whose cells are repeated on the terminal moves as many times as far.
  void SetReach(int Rows, int Columns) { MostRows = Rows, MostColumns = Columns; }
  static constexpr int ShowRowsReach = 6;
  static constexpr int ShowColumnsReach = 3;

  // The motion of Before (Width x Height, as the terminal shows it) that leaves the most cells of
  // Picture as they should look, where it keeps clearly more than none does (a sample of the
  // cells tells, then every cell); false when none does. A row moves sideways only where that
  // keeps more cells than the bytes it costs (the deletion, and a line feed to reach the row).
  // Cells a motion uncovers show Exposed.
  bool Find(std::span<const TCharInfo> Picture, std::span<const TCharInfo> Before, int Width,
            int Height, TCharInfo Exposed, TMotion& Motion);

  // Before as the terminal shows it once moved by Motion, into Moved.
  static void Apply(const TMotion& Motion, std::span<const TCharInfo> Before, int Width, int Height,
                    TCharInfo Exposed, std::vector<TCharInfo>& Moved);

 private:
  static void Looks(std::span<const TCharInfo> Cells, std::vector<uint32_t>& Out);
  int MostRows = ShowRowsReach, MostColumns = ShowColumnsReach;
  std::vector<uint32_t> Now, Was;  // how the cells look, as numbers
  struct TCell {
    int Row, Column;
    uint32_t Look;
  };
  std::vector<TCell> Sample;
  TMotion Trial;
};
