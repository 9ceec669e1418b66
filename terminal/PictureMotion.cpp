#include "terminal/PictureMotion.h"

#include <algorithm>

#include "terminal/RowPlanner.h"

namespace {
// The sample: about this many rows and columns of cells, spread over the picture.
constexpr int SampleRows = 12;
constexpr int SampleColumns = 10;
// The motions that keep the most cells of the sample, counted then on every cell.
constexpr int Candidates = 3;

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
  // The sample: every few rows, every few columns, each row's columns a little aside from the
  // last's, so that repeated cells and stripes do not line up with it.
  const int RowStep = std::max(1, Height / SampleRows),
            ColumnStep = std::max(1, Width / SampleColumns);
  Sample.clear();
  for (int Row = RowStep / 2; Row < Height; Row += RowStep)
    for (int Column = (Row * 3) % ColumnStep; Column < Width; Column += ColumnStep)
      Sample.push_back({Row, Column, Look(Picture[size_t(Row) * size_t(Width) + size_t(Column)])});
  // The cells of Before that show at the sample's places once it moved Down rows and Left
  // columns: how many look as they should.
  const uint32_t Uncovered = Look(Exposed);
  auto SampleKept = [&](int Down, int Left) {
    int Kept = 0;
    for (const TCell& Cell : Sample) {
      const int From = Cell.Row - Down, Across = Cell.Column + Left;
      Kept += Cell.Look == (From < 0 || From >= Height || Across >= Width
                                ? Uncovered
                                : Look(Before[size_t(From) * size_t(Width) + size_t(Across)]));
    }
    return Kept;
  };
  // The few motions that keep the most cells of the sample, best first.
  const int Still = SampleKept(0, 0);
  struct TCandidate {
    int Kept, Down, Left;
  };
  TCandidate Best[Candidates];
  std::fill(std::begin(Best), std::end(Best), TCandidate{Still, 0, 0});
  for (int Down = -MostRows; Down <= MostRows; ++Down)
    for (int Left = 0; Left <= MostColumns; ++Left) {
      if (Down == 0 && Left == 0) continue;
      TCandidate Next{SampleKept(Down, Left), Down, Left};
      for (TCandidate& Place : Best)
        if (Next.Kept > Place.Kept) std::swap(Next, Place);
    }
  // Too few more cells kept, in the sample, to be worth counting them all.
  const int Enough = Still + std::max(2, int(Sample.size()) / 8);
  if (Best[0].Kept < Enough) return false;

  // Every cell of each candidate that kept enough of the sample: each row as it stands, moved
  // down only, and moved left as well.
  Looks(Before, Was);
  Looks(Picture, Now);
  auto Moved = [&](int Row, int Column, int Down, int Left) {
    const int From = Row - Down, Across = Column + Left;
    return From < 0 || From >= Height || Across >= Width
               ? Uncovered
               : Was[size_t(From) * size_t(Width) + size_t(Across)];
  };
  // The candidate that keeps the most cells, less what moving rows sideways costs.
  int BestScore = -1;
  for (const TCandidate& Candidate : Best) {
    if (Candidate.Kept < Enough) break;
    Trial.RowMoves.assign(size_t(Height), 0);
    Trial.Down = Candidate.Down;
    Trial.Left = Candidate.Left;
    Trial.Kept = Trial.Still = 0;
    int Score = 0;
    const int RowBytes = CsiLength(Candidate.Left) + 1;
    for (int Row = 0; Row < Height; ++Row) {
      const uint32_t* Cells = Now.data() + size_t(Row) * size_t(Width);
      int AsItStands = 0, Down = 0, Sideways = 0;
      for (int Column = 0; Column < Width; ++Column) {
        AsItStands += Cells[Column] == Moved(Row, Column, 0, 0);
        Down += Cells[Column] == Moved(Row, Column, Candidate.Down, 0);
        Sideways += Cells[Column] == Moved(Row, Column, Candidate.Down, Candidate.Left);
      }
      const bool Moves = Candidate.Left > 0 && Sideways - Down > RowBytes;
      Trial.RowMoves[size_t(Row)] = Moves;
      Trial.Kept += Moves ? Sideways : Down;
      Score += Moves ? Sideways - RowBytes : Down;
      Trial.Still += AsItStands;
    }
    if (Score > BestScore) BestScore = Score, std::swap(Trial, Motion);
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
