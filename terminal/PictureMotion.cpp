#include "terminal/PictureMotion.h"

#include <algorithm>
#include <cstddef>

#include "terminal/RowPlanner.h"

namespace {
// The sample: about this many rows and columns of cells, spread over the picture.
constexpr int SampleRows = 12;
constexpr int SampleColumns = 10;
// The motions that keep the most cells of the sample, counted then on every cell.
constexpr int Candidates = 3;

// Where the cell that shows at (Row, Column) once a Width x Height picture moved Down rows and
// Left columns stood before; -1 where the motion uncovers it.
ptrdiff_t MovedFrom(int Width, int Height, int Row, int Column, int Down, int Left) {
  const int From = Row - Down, Across = Column + Left;
  if (From < 0 || From >= Height || Across >= Width) return -1;
  return ptrdiff_t(From) * Width + Across;
}
}  // namespace

void TMotionFinder::Looks(std::span<const TCharInfo> Cells, std::vector<uint32_t>& Out) {
  Out.resize(Cells.size());
  for (size_t Index = 0; Index < Cells.size(); ++Index) Out[Index] = LookOf(Cells[Index]);
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
      Sample.push_back(
          {Row, Column, LookOf(Picture[size_t(Row) * size_t(Width) + size_t(Column)])});
  // The cells of Before that show at the sample's places once it moved Down rows and Left
  // columns: how many look as they should.
  const uint32_t Uncovered = LookOf(Exposed);
  auto SampleKept = [&](int Down, int Left) {
    int Kept = 0;
    for (const TCell& Cell : Sample) {
      const ptrdiff_t From = MovedFrom(Width, Height, Cell.Row, Cell.Column, Down, Left);
      Kept += Cell.Look == (From < 0 ? Uncovered : LookOf(Before[size_t(From)]));
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

  // Every cell of each candidate that kept enough of the sample: each row moved down only, and
  // moved left as well.
  Looks(Before, Was);
  Looks(Picture, Now);
  auto Moved = [&](int Row, int Column, int Down, int Left) {
    const ptrdiff_t From = MovedFrom(Width, Height, Row, Column, Down, Left);
    return From < 0 ? Uncovered : Was[size_t(From)];
  };
  // The candidate that keeps the most cells, less what moving rows sideways costs.
  int BestScore = -1;
  for (const TCandidate& Candidate : Best) {
    if (Candidate.Kept < Enough) break;
    Trial.RowMoves.assign(size_t(Height), 0);
    Trial.Down = Candidate.Down;
    Trial.Left = Candidate.Left;
    Trial.Kept = 0;
    int Score = 0;
    const int RowBytes = CsiLength(Candidate.Left) + 1;
    for (int Row = 0; Row < Height; ++Row) {
      const uint32_t* Cells = Now.data() + size_t(Row) * size_t(Width);
      int Down = 0, Sideways = 0;
      for (int Column = 0; Column < Width; ++Column) {
        Down += Cells[Column] == Moved(Row, Column, Candidate.Down, 0);
        Sideways += Cells[Column] == Moved(Row, Column, Candidate.Down, Candidate.Left);
      }
      const bool Moves = Candidate.Left > 0 && Sideways - Down > RowBytes;
      Trial.RowMoves[size_t(Row)] = Moves;
      Trial.Kept += Moves ? Sideways : Down;
      Score += Moves ? Sideways - RowBytes : Down;
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
    for (int Column = 0; Column < Width; ++Column) {
      const ptrdiff_t From = MovedFrom(Width, Height, Row, Column, Motion.Down, Left);
      Moved[size_t(Row) * size_t(Width) + size_t(Column)] =
          From < 0 ? Exposed : Before[size_t(From)];
    }
  }
}
