#include "harness/EncodingFloor.h"

#include <algorithm>
#include <limits>

#include "terminal/Cp437.h"
#include "terminal/RowPlanner.h"

bool LooksBlank(const TCharInfo& Cell) { return IsBlank(Cell) || FgOf(Cell) == BgOf(Cell); }

bool LookSame(const TCharInfo& A, const TCharInfo& B) {
  if (BgOf(A) != BgOf(B)) return false;
  if (LooksBlank(A)) return LooksBlank(B);
  return !LooksBlank(B) && A.AsciiChar == B.AsciiChar && FgOf(A) == FgOf(B);
}

namespace {

// The cursor; Pending: the last column was just written, and the next glyph goes to the start of
// the next row.
struct TCursor {
  int Row, Column;
  bool Pending;
};

// The cursor's landings after one control, a handful at most.
struct TLandings {
  TCursor At[16];
  int Count = 0;
  void Add(const TCursor& Cursor) { At[Count++] = Cursor; }
};

class TMoves {
 public:
  TMoves(int Columns_, int Rows_, int Most_) : Columns(Columns_), Rows(Rows_), Most(Most_) {}

  // Calls Reached(cell, bytes) for each cell the next glyph may go to from At within Most bytes
  // (a cell may come more than once).
  template <typename TReached>
  void Within(const TCursor& At, TReached Reached, int Spent = 0) const {
    if (const int Cell = WritesAt(At); Cell >= 0) Reached(Cell, Spent);
    for (int Bytes = 1; Spent + Bytes <= Most && Bytes <= 3; ++Bytes) {
      TLandings Next;
      Controls(At, Bytes, Next);
      for (int Index = 0; Index < Next.Count; ++Index)
        Within(Next.At[Index], Reached, Spent + Bytes);
    }
  }

 private:
  // The cell the next glyph goes to; -1 where it would scroll the screen.
  int WritesAt(const TCursor& At) const {
    if (!At.Pending) return At.Row * Columns + At.Column;
    return At.Row + 1 < Rows ? (At.Row + 1) * Columns : -1;
  }

  // Where a control of so many bytes takes the cursor, none that would scroll. Where terminals
  // differ after the last column (a backspace there), every landing counts, and an escape sequence
  // takes the cursor from the last column.
  void Controls(const TCursor& At, int Bytes, TLandings& Out) const {
    const int Last = Columns - 1, Column = At.Pending ? Last : At.Column;
    const int Up = std::max(0, At.Row - 1), Down = std::min(Rows - 1, At.Row + 1);
    if (Bytes == 1) {
      // Writing any cell, a backspace, a tab, a line feed, a carriage return.
      if (At.Pending) {
        if (At.Row + 1 < Rows)
          Out.Add(Columns > 1 ? TCursor{At.Row + 1, 1, false} : TCursor{At.Row + 1, 0, true});
        Out.Add({At.Row, Last, false});
        if (Last > 0) Out.Add({At.Row, Last - 1, false});
      } else {
        Out.Add(Column < Last ? TCursor{At.Row, Column + 1, false} : TCursor{At.Row, Last, true});
        // A backspace from the first column stays, or wraps back where a terminal is set to.
        Out.Add(Column > 0 ? TCursor{At.Row, Column - 1, false}
                           : TCursor{At.Row > 0 ? At.Row - 1 : Rows - 1, Last, false});
        Out.Add({At.Row, std::min(Last, (Column / 8 + 1) * 8), false});
      }
      if (At.Row + 1 < Rows) Out.Add({At.Row + 1, Column, false});
      Out.Add({At.Row, 0, false});
    } else if (Bytes == 2) {
      // Index (as a line feed), next line, reverse index, and the lower left corner some
      // terminals go to. A reset (ESC c) clears the screen: every run is then written after it,
      // from a start the floor already takes for free.
      if (At.Row + 1 < Rows) Out.Add({At.Row + 1, 0, false});
      if (At.Row > 0) Out.Add({Up, Column, false});
      Out.Add({Rows - 1, 0, false});
    } else {
      // CSI and a final byte: a step up, down, right or left; the next or the previous line's
      // start; the row's start; home (also where a reset of the margins goes); the next or the
      // previous tab stop; the first row. (ESC # 8 fills the screen and goes home: a reset.)
      for (const TCursor To :
           {TCursor{Up, Column, false}, TCursor{Down, Column, false},
            TCursor{At.Row, std::min(Last, Column + 1), false},
            TCursor{At.Row, std::max(0, Column - 1), false}, TCursor{Down, 0, false},
            TCursor{Up, 0, false}, TCursor{At.Row, 0, false}, TCursor{0, 0, false},
            TCursor{At.Row, std::min(Last, (Column / 8 + 1) * 8), false},
            TCursor{At.Row, Column == 0 ? 0 : (Column - 1) / 8 * 8, false},
            TCursor{0, Column, false}})
        Out.Add(To);
    }
  }

  const int Columns, Rows, Most;
};

// Successive shortest paths on source -> ends -> (starts, or a hub at Default) -> starts -> sink,
// with potentials; path costs are small integers, so each search is a bucket queue.
class TAssignment {
 public:
  TAssignment(int Count_, int Default, const std::vector<TPairCost>& Cheaper)
      : Count(Count_), Hub(Count_ + 1), Sink(2 * Count_ + 2), Nodes(2 * Count_ + 3) {
    Edges.resize(size_t(Nodes));
    for (int End = 0; End < Count; ++End) {
      Add(0, 1 + End, 0);
      Add(1 + End, Hub, Default);
      Add(StartNode(End), Sink, 0);
      Add(Hub, StartNode(End), 0);
    }
    for (const TPairCost& Pair : Cheaper) Add(1 + Pair.End, StartNode(Pair.Start), Pair.Cost);
  }

  long Solve() {
    std::vector<long> Potential(size_t(Nodes), 0), Distance(size_t(Nodes), 0);
    // The node and the edge that the best path to each node came by.
    std::vector<std::pair<int, int>> Via(size_t(Nodes), {0, 0});
    std::vector<std::vector<int>> Buckets;
    long Total = 0;
    for (int Flow = 0; Flow < Count; ++Flow) {
      std::fill(Distance.begin(), Distance.end(), Unreached);
      Distance[0] = 0;
      Buckets.assign(1, {0});
      for (size_t Level = 0; Level < Buckets.size(); ++Level) {
        for (size_t Index = 0; Index < Buckets[Level].size(); ++Index) {
          const int Node = Buckets[Level][Index];
          if (Distance[size_t(Node)] != long(Level)) continue;
          for (size_t Edge = 0; Edge < Edges[size_t(Node)].size(); ++Edge) {
            const TEdge& Out = Edges[size_t(Node)][Edge];
            if (Out.Capacity == 0) continue;
            const long Reach =
                long(Level) + Out.Cost + Potential[size_t(Node)] - Potential[size_t(Out.To)];
            if (Reach >= Distance[size_t(Out.To)]) continue;
            Distance[size_t(Out.To)] = Reach;
            Via[size_t(Out.To)] = {Node, int(Edge)};
            if (Buckets.size() <= size_t(Reach)) Buckets.resize(size_t(Reach) + 1);
            Buckets[size_t(Reach)].push_back(Out.To);
          }
        }
      }
      for (int Node = Sink; Node != 0;) {
        auto [From, Edge] = Via[size_t(Node)];
        TEdge& Used = Edges[size_t(From)][size_t(Edge)];
        --Used.Capacity;
        ++Edges[size_t(Node)][size_t(Used.Back)].Capacity;
        Total += Used.Cost;
        Node = From;
      }
      const long Longest = Distance[size_t(Sink)];
      for (int Node = 0; Node < Nodes; ++Node)
        Potential[size_t(Node)] += std::min(Distance[size_t(Node)], Longest);
    }
    return Total;
  }

 private:
  struct TEdge {
    int To, Capacity, Cost, Back;
  };
  static constexpr long Unreached = std::numeric_limits<long>::max();

  int StartNode(int Start) const { return Hub + 1 + Start; }
  void Add(int From, int To, int Cost) {
    Edges[size_t(From)].push_back(
        {To, From == Hub || To == Hub ? Count : 1, Cost, int(Edges[size_t(To)].size())});
    Edges[size_t(To)].push_back({From, 0, -Cost, int(Edges[size_t(From)].size()) - 1});
  }

  const int Count, Hub, Sink, Nodes;
  std::vector<std::vector<TEdge>> Edges;
};

}  // namespace

long LeastAssignment(int Count, int Default, const std::vector<TPairCost>& Cheaper) {
  return Count > 0 ? TAssignment(Count, Default, Cheaper).Solve() : 0;
}

TEncodingFloor EncodingFloor(const std::vector<TCharInfo>& Before,
                             const std::vector<TCharInfo>& After, int Columns, int Rows,
                             TFloorModel Model) {
  // What a gap costs at least when no shorter way bridges it.
  const int Far = Model == TFloorModel::AnyControl ? 3 : 4;
  TEncodingFloor Floor;
  struct TRun {
    int First, Last;
    uint16_t Pen;
  };
  std::vector<TRun> Runs;
  std::vector<int> RunStartingAt(size_t(Columns * Rows), -1);
  for (int Cell = 0; Cell < Columns * Rows; ++Cell) {
    const TCharInfo& Now = After[size_t(Cell)];
    if (LookSame(Before[size_t(Cell)], Now) || LooksBlank(Now)) continue;
    Floor.Glyphs += long(Cp437ToUtf8(Now.AsciiChar).size());
    const uint16_t Pen = Now.Attributes & 0xff;
    if (!Runs.empty() && Runs.back().Last == Cell - 1 && Cell % Columns > 0 &&
        Runs.back().Pen == Pen) {
      Runs.back().Last = Cell;
    } else {
      RunStartingAt[size_t(Cell)] = int(Runs.size());
      Runs.push_back({Cell, Cell, Pen});
    }
  }
  Floor.Runs = long(Runs.size());

  std::vector<TPairCost> Cheaper;
  std::vector<int> Seen(Runs.size(), Far);
  const TMoves Moves(Columns, Rows, Far - 1);
  std::vector<int> Found;  // the runs one end reaches, each once
  for (int End = 0; End < int(Runs.size()); ++End) {
    const int Last = Runs[size_t(End)].Last;
    const int Row = Last / Columns, Column = Last % Columns;
    const TCursor Cursor =
        Column + 1 < Columns ? TCursor{Row, Column + 1, false} : TCursor{Row, Column, true};
    Found.clear();
    Moves.Within(Cursor, [&](int Cell, int Bytes) {
      const int Start = RunStartingAt[size_t(Cell)];
      if (Start < 0 || Start == End || Runs[size_t(Start)].Pen != Runs[size_t(End)].Pen) return;
      if (Seen[size_t(Start)] == Far) Found.push_back(Start);
      Seen[size_t(Start)] = std::min(Seen[size_t(Start)], Bytes);
    });
    for (int Start : Found) {
      Cheaper.push_back({End, Start, Seen[size_t(Start)]});
      Seen[size_t(Start)] = Far;
    }
  }
  // Any order of the runs is an assignment once the frame's start (the last end below) pairs with
  // the first run written and the last run's end with the frame's end (the last start), both free.
  const int Ends = int(Runs.size());
  for (int Run = 0; Run < Ends; ++Run) {
    Cheaper.push_back({Ends, Run, 0});
    Cheaper.push_back({Run, Ends, 0});
  }
  // Less one where the cursor may be restored: a save left by an earlier frame lets one restore
  // land right on a run's start for two bytes, its save paid for before.
  const long GiveBack = Model == TFloorModel::AnyControl ? 1 : 0;
  Floor.Joins = Ends > 0 ? std::max(0L, LeastAssignment(Ends + 1, Far, Cheaper) - GiveBack) : 0;
  return Floor;
}
