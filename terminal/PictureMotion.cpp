#include "terminal/PictureMotion.h"

#include <algorithm>

#include "terminal/RowPlanner.h"

namespace {
// The sample: about this many rows and columns of cells, spread over the picture.
constexpr int SampleRows = 12;
constexpr int SampleColumns = 10;

// A number for how a cell looks: equal where the cells look the same.
uint32_t Look(const TCharInfo& Cell) {
  return IsBlank(Cell) ? 0x10000u | uint32_t(BgOf(Cell))
                       : uint32_t(Cell.AsciiChar) << 8 | (Cell.Attributes & 255u);
}
}  // namespace

void TMotionFinder::Looks(std::span<const TCharInfo> Cells, std::vector<uint32_t>& Out) {
  Out.resize(Cells.size());
  for (size_t Index = 0; Index < Cells.size(); ++Index) Out[Index] = Look(Cells[Index]);
}

bool TMotionFinder::Find(std::span<const TCharInfo> Picture, std::span<const TCharInfo> Before,
                         int Width, int Height, TCharInfo Exposed, TMotion& Motion) {
  Looks(Before, Was);
  const uint32_t Uncovered = Look(Exposed);
  // The look of the cell of Before that shows at (Row, Column) once it moved Down rows and Left
  // columns.
  auto Moved = [&](int Row, int Column, int Down, int Left) {
    const int From = Row - Down, Across = Column + Left;
    return From < 0 || From >= Height || Across >= Width
               ? Uncovered
               : Was[size_t(From) * size_t(Width) + size_t(Across)];
  };
  // The sample: every few rows, every few columns, each row's columns a little aside from the
  // last's, so that repeated cells and stripes do not line up with it.
  const int RowStep = std::max(1, Height / SampleRows),
            ColumnStep = std::max(1, Width / SampleColumns);
  Sample.clear();
  for (int Row = RowStep / 2; Row < Height; Row += RowStep)
    for (int Column = (Row * 3) % ColumnStep; Column < Width; Column += ColumnStep)
      Sample.push_back({Row, Column, Look(Picture[size_t(Row) * size_t(Width) + size_t(Column)])});
  auto SampleKept = [&](int Down, int Left) {
    int Kept = 0;
    for (const TCell& Cell : Sample) Kept += Cell.Look == Moved(Cell.Row, Cell.Column, Down, Left);
    return Kept;
  };
  const int Still = SampleKept(0, 0);
  int Best = Still, BestDown = 0, BestLeft = 0;
  for (int Down = -MostRows; Down <= MostRows; ++Down)
    for (int Left = 0; Left <= MostColumns; ++Left) {
      if (Down == 0 && Left == 0) continue;
      const int Kept = SampleKept(Down, Left);
      if (Kept > Best) Best = Kept, BestDown = Down, BestLeft = Left;
    }
  // Too few more cells kept, in the sample, to be worth counting them all.
  if (Best - Still < std::max(2, int(Sample.size()) / 8)) return false;

  // Every cell, each row as it stands, moved down only, and moved left as well.
  Looks(Picture, Now);
  Motion.Down = BestDown;
  Motion.Left = BestLeft;
  Motion.RowMoves.assign(size_t(Height), 0);
  Motion.Kept = Motion.Still = 0;
  const int RowBytes = CsiLength(BestLeft) + 1;
  for (int Row = 0; Row < Height; ++Row) {
    const uint32_t* Cells = Now.data() + size_t(Row) * size_t(Width);
    int AsItStands = 0, Down = 0, Sideways = 0;
    for (int Column = 0; Column < Width; ++Column) {
      AsItStands += Cells[Column] == Moved(Row, Column, 0, 0);
      Down += Cells[Column] == Moved(Row, Column, BestDown, 0);
      Sideways += Cells[Column] == Moved(Row, Column, BestDown, BestLeft);
    }
    const bool Moves = BestLeft > 0 && Sideways - Down > RowBytes;
    Motion.RowMoves[size_t(Row)] = Moves;
    Motion.Kept += Moves ? Sideways : Down;
    Motion.Still += AsItStands;
  }
  return true;
}

void TMotionFinder::Apply(const TMotion& Motion, std::span<const TCharInfo> Before, int Width,
                          int Height, TCharInfo Exposed, std::vector<TCharInfo>& Moved) {
  Moved.resize(size_t(Width) * size_t(Height));
  for (int Row = 0; Row < Height; ++Row) {
    const int Left = Motion.RowMoves[size_t(Row)] ? Motion.Left : 0;
    const int From = Row - Motion.Down;
    for (int Column = 0; Column < Width; ++Column)
      Moved[size_t(Row) * size_t(Width) + size_t(Column)] =
          From < 0 || From >= Height || Column + Left >= Width
              ? Exposed
              : Before[size_t(From) * size_t(Width) + size_t(Column + Left)];
  }
}
