#include "harness/CursorMoves.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "terminal/RowPlanner.h"

namespace {

constexpr int Unreached = std::numeric_limits<int>::max() / 4;

// Bytes of a CSI whose one parameter names a row or a column counted from 0 (left out for the
// first); one that counts steps is CsiLength.
int Names(int Index) { return Index == 0 ? 3 : 3 + Digits(Index + 1); }

// The least cost from each node to each, Count x Count, where Edges(From, Add) calls Add(To,
// Cost) for each move.
template <typename TEdges>
std::vector<int> AllPairs(int Count, TEdges Edges) {
  std::vector<int> Cost(size_t(Count * Count), Unreached);
  std::vector<bool> Done(static_cast<size_t>(Count));
  for (int Source = 0; Source < Count; ++Source) {
    int* Row = &Cost[size_t(Source * Count)];
    std::fill(Done.begin(), Done.end(), false);
    Row[Source] = 0;
    for (;;) {
      int Node = -1;
      for (int Index = 0; Index < Count; ++Index)
        if (!Done[size_t(Index)] && Row[Index] < Unreached && (Node < 0 || Row[Index] < Row[Node]))
          Node = Index;
      if (Node < 0) break;
      Done[size_t(Node)] = true;
      Edges(Node, [&](int To, int Bytes) { Row[To] = std::min(Row[To], Row[Node] + Bytes); });
    }
  }
  return Cost;
}

// The least of A[i][k] + B[k][j] over k, for Count x Count tables.
std::vector<int> MinPlus(const std::vector<int>& A, const std::vector<int>& B, int Count) {
  std::vector<int> Out(A.size(), Unreached);
  for (int From = 0; From < Count; ++From)
    for (int Mid = 0; Mid < Count; ++Mid)
      for (int To = 0; To < Count; ++To) {
        int& Least = Out[size_t(From * Count + To)];
        Least = std::min(Least, A[size_t(From * Count + Mid)] + B[size_t(Mid * Count + To)]);
      }
  return Out;
}

}  // namespace

TCursorMoves::TCursorMoves(int Columns_, int Rows_)
    : Columns(Columns_), Rows(Rows_), Cache(size_t(Rows_ * (Columns_ + 1))) {
  const int Last = Columns - 1, Pending = Columns, Bottom = Rows - 1;
  ColumnCost = AllPairs(Columns + 1, [&](int At, auto Add) {
    if (At == Pending) {
      // Every terminal leaves the wrap for the last column on some move of no more bytes than the
      // move itself (a backspace there, a tab, a CSI); counted as free.
      Add(Last, 0);
      return;
    }
    Add(At < Last ? At + 1 : Pending, 1);  // writing a cell
    Add(std::max(0, At - 1), 1);           // backspace
    Add(std::min(Last, (At / 8 + 1) * 8), 1);
    Add(0, 1);  // carriage return
    for (int N = 1; N < Columns; ++N) {
      Add(std::min(Last, At + N), CsiLength(N));                                   // CSI C, CSI a
      Add(std::max(0, At - N), CsiLength(N));                                      // CSI D
      Add(std::min(Last, (At / 8 + N) * 8), CsiLength(N));                         // CSI I
      Add(At == 0 ? 0 : std::max(0, ((At - 1) / 8 - (N - 1)) * 8), CsiLength(N));  // CSI Z
      Add(N - 1, Names(N - 1));                                                    // CSI G, CSI `
    }
    Add(Last, Names(Last));
  });
  RowCost = AllPairs(Rows, [&](int At, auto Add) {
    if (At < Bottom) Add(At + 1, 1);  // line feed (none scrolls)
    if (At > 0) Add(At - 1, 2);       // reverse index
    for (int N = 1; N <= Rows; ++N) {
      Add(std::min(Bottom, At + N), CsiLength(N));  // CSI B, CSI e
      Add(std::max(0, At - N), CsiLength(N));       // CSI A
      Add(N - 1, Names(N - 1));                     // CSI d
    }
  });
  // One move to the first column from a row: a line feed in new line mode, next line, CSI E and F
  // (at the bottom and the top, they stay on the row). One is enough: each costs no less than a
  // row move of its own.
  std::vector<int> Once(size_t(Rows * Rows), Unreached);
  for (int From = 0; From < Rows; ++From)
    for (int To = 0; To < Rows; ++To)
      Once[size_t(From * Rows + To)] = To == From + 1 ? 1
                                       : To != From   ? CsiLength(std::abs(To - From))
                                       : From == 0 || From == Bottom ? 3
                                                                     : Unreached;
  // With rows before it and after it.
  ToFirst = MinPlus(MinPlus(RowCost, Once, Rows), RowCost, Rows);
  // The places one move takes the cursor to from anywhere: CSI H and f (CSI r and CSI s, which
  // reset the margins, go home too), and ESC F, the lower left corner on terminals that have it.
  std::vector<TPlace> Places;
  for (int Row = 0; Row < Rows; ++Row)
    for (int Column = 0; Column < Columns; ++Column) {
      int Cost = Row == 0 && Column == 0 ? 3
                 : Column == 0           ? 3 + Digits(Row + 1)
                 : Row == 0              ? 4 + Digits(Column + 1)
                                         : 4 + Digits(Row + 1) + Digits(Column + 1);
      if (Row == Bottom && Column == 0) Cost = 2;
      Places.push_back({Row, Column, Cost});
    }
  Anywhere = Search(Places);
}

std::vector<uint8_t> TCursorMoves::Search(const std::vector<TPlace>& From) const {
  const int Pending = Columns, Last = Columns - 1;
  // The places moves of the third kind land on: after writing past the last column of a row
  // (the next row's first cell written, the cursor on its second), and after a backspace from
  // the first column (the last column of the row above, or of the bottom row from the top).
  std::vector<int> Wrapped(size_t(Rows), Unreached), Back(size_t(Rows), Unreached);
  auto Relax = [&](const TPlace& At) {
    for (int Via = 0; Via < Rows; ++Via) {
      const int AtLast = At.Cost + std::min(Row(At.Row, Via) + Col(At.Column, Pending),
                                            ToFirst[size_t(At.Row * Rows + Via)] + Col(0, Pending));
      if (Via + 1 < Rows && Columns > 1)
        Wrapped[size_t(Via + 1)] = std::min(Wrapped[size_t(Via + 1)], AtLast + 1);
      const int AtFirst = At.Cost + std::min(Row(At.Row, Via) + Col(At.Column, 0),
                                             ToFirst[size_t(At.Row * Rows + Via)]);
      int& Up = Back[size_t(Via == 0 ? Rows - 1 : Via - 1)];
      Up = std::min(Up, AtFirst + 1);
    }
  };
  for (const TPlace& Place : From) Relax(Place);
  std::vector<TPlace> Stands = From;
  std::vector<bool> Done(static_cast<size_t>(2 * Rows));
  for (;;) {
    int Best = -1, BestCost = Unreached;
    for (int Index = 0; Index < 2 * Rows; ++Index) {
      const int Cost = Index < Rows ? Wrapped[size_t(Index)] : Back[size_t(Index - Rows)];
      if (!Done[size_t(Index)] && Cost < BestCost) Best = Index, BestCost = Cost;
    }
    if (Best < 0) break;
    Done[size_t(Best)] = true;
    const TPlace Place =
        Best < Rows ? TPlace{Best, 1, BestCost} : TPlace{Best - Rows, Last, BestCost};
    Stands.push_back(Place);
    Relax(Place);
  }
  // By column stood on, the least cost of each row; and of each row's first column by a move to
  // the first column on the way.
  std::vector<std::vector<int>> ByColumn(size_t(Columns + 1));
  std::vector<int> First(size_t(Rows), Unreached), Used;
  for (const TPlace& Place : Stands) {
    std::vector<int>& Least = ByColumn[size_t(Place.Column)];
    if (Least.empty()) {
      Least.assign(size_t(Rows), Unreached);
      Used.push_back(Place.Column);
    }
    for (int To = 0; To < Rows; ++To) {
      Least[size_t(To)] = std::min(Least[size_t(To)], Place.Cost + Row(Place.Row, To));
      First[size_t(To)] =
          std::min(First[size_t(To)], Place.Cost + ToFirst[size_t(Place.Row * Rows + To)]);
    }
  }
  // The next glyph goes to a cell from the cursor on it, or from after the last column of the
  // row above for a row's first cell.
  auto Standing = [&](int Row, int Column) {
    int Least = First[size_t(Row)] + Col(0, Column);
    for (int Stood : Used)
      Least = std::min(Least, ByColumn[size_t(Stood)][size_t(Row)] + Col(Stood, Column));
    return Least;
  };
  std::vector<uint8_t> Cost(size_t(Rows * Columns));
  for (int Row = 0; Row < Rows; ++Row)
    for (int Column = 0; Column < Columns; ++Column) {
      int Least = Standing(Row, Column);
      if (Column == 0 && Row > 0) Least = std::min(Least, Standing(Row - 1, Pending));
      Cost[size_t(Row * Columns + Column)] = uint8_t(std::min(Least, 255));
    }
  return Cost;
}

int TCursorMoves::From(int Row, int Column, int Start) {
  std::vector<uint8_t>& Costs = Cache[size_t(Row * (Columns + 1) + Column)];
  if (Costs.empty()) {
    Costs = Search({{Row, Column, 0}});
    for (size_t Cell = 0; Cell < Costs.size(); ++Cell)
      Costs[Cell] = std::min(Costs[Cell], Anywhere[Cell]);
  }
  return Costs[size_t(Start)];
}

int TCursorMoves::Between(int End, int Start) {
  return From(End / Columns, End % Columns + 1, Start);
}
