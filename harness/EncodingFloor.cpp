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

// Successive shortest paths on source -> ends -> (starts, or the hubs of their groups) -> starts ->
// sink, with potentials; path costs are small integers, so each search is a bucket queue.
class TAssignment {
 public:
  TAssignment(int Count_, const std::vector<int>& EndGroups, const std::vector<int>& StartGroups,
              int Groups, const std::vector<int>& Far, const std::vector<TPairCost>& Cheaper)
      : Count(Count_), Sink(1 + 2 * Count_ + 2 * Groups), Nodes(Sink + 1) {
    // source, ends, the groups of ends, the groups of starts, starts, sink
    const int EndHub = 1 + Count, StartHub = EndHub + Groups, Starts = StartHub + Groups;
    Edges.resize(size_t(Nodes));
    for (int Index = 0; Index < Count; ++Index) {
      Add(0, 1 + Index, 0, 1);
      Add(Starts + Index, Sink, 0, 1);
      if (const int Group = EndGroups[size_t(Index)]; Group >= 0)
        Add(1 + Index, EndHub + Group, 0, 1);
      if (const int Group = StartGroups[size_t(Index)]; Group >= 0)
        Add(StartHub + Group, Starts + Index, 0, 1);
    }
    for (int From = 0; From < Groups; ++From)
      for (int To = 0; To < Groups; ++To)
        Add(EndHub + From, StartHub + To, Far[size_t(From * Groups + To)], Count);
    for (const TPairCost& Pair : Cheaper) Add(1 + Pair.End, Starts + Pair.Start, Pair.Cost, 1);
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

  void Add(int From, int To, int Cost, int Capacity) {
    Edges[size_t(From)].push_back({To, Capacity, Cost, int(Edges[size_t(To)].size())});
    Edges[size_t(To)].push_back({From, 0, -Cost, int(Edges[size_t(From)].size()) - 1});
  }

  const int Count, Sink, Nodes;
  std::vector<std::vector<TEdge>> Edges;
};

}  // namespace

long LeastAssignment(int Count, const std::vector<int>& EndGroups,
                     const std::vector<int>& StartGroups, int Groups, const std::vector<int>& Far,
                     const std::vector<TPairCost>& Cheaper) {
  return Count > 0 ? TAssignment(Count, EndGroups, StartGroups, Groups, Far, Cheaper).Solve() : 0;
}

long LeastAssignment(int Count, int Default, const std::vector<TPairCost>& Cheaper) {
  const std::vector<int> One(size_t(Count), 0);
  return LeastAssignment(Count, One, One, 1, {Default}, Cheaper);
}

namespace {

// Bytes of SGR from one pen to another of the palette's colours (see TFloorModel).
int PenChange(uint16_t From, uint16_t To) {
  if (From == To) return 0;
  const int FromFg = From & 15, FromBg = From >> 4, ToFg = To & 15, ToBg = To >> 4;
  return FromFg == ToFg || FromBg == ToBg || (FromFg == ToBg && FromBg == ToFg) ? 4 : 6;
}

// Without restores, moves no shorter than this are left to the pens' hubs at this price: a longer
// reach lifts the show's floors by a few bytes a frame and takes several times as long.
constexpr int FarMove = 6;

}  // namespace

TEncodingFloor TFloorFinder::Floor(const std::vector<TCharInfo>& Before,
                                   const std::vector<TCharInfo>& After, TFloorModel Model) {
  const int Columns = Moves.Columns, Rows = Moves.Rows;
  TEncodingFloor Floor;
  struct TRun {
    int First, Last;
    uint16_t Pen;
  };
  std::vector<TRun> Runs;
  for (int Cell = 0; Cell < Columns * Rows; ++Cell) {
    const TCharInfo& Now = After[size_t(Cell)];
    if (LookSame(Before[size_t(Cell)], Now) || LooksBlank(Now)) continue;
    Floor.Glyphs += long(Cp437ToUtf8(Now.AsciiChar).size());
    const uint16_t Pen = Now.Attributes & 0xff;
    if (!Runs.empty() && Runs.back().Last == Cell - 1 && Cell % Columns > 0 &&
        Runs.back().Pen == Pen)
      Runs.back().Last = Cell;
    else
      Runs.push_back({Cell, Cell, Pen});
  }
  const int Ends = int(Runs.size());
  Floor.Runs = Ends;
  if (Ends == 0) return Floor;

  // Any order of the runs is an assignment once the frame's start (the last end) pairs with the
  // first run written and the last run's end with the frame's end (the last start), both free.
  std::vector<TPairCost> Cheaper;
  std::vector<int> Groups(size_t(Ends + 1), -1);
  std::vector<int> Far;
  int GroupCount = 1;
  if (Model == TFloorModel::AnyControl) {
    // A restore may land anywhere for three, pen and all (see above): only a move of the same pen
    // of fewer bytes is cheaper.
    Far = {3};
    for (int End = 0; End < Ends; ++End) {
      Groups[size_t(End)] = 0;
      for (int Start = 0; Start < Ends; ++Start)
        if (const int Move = Moves.Between(Runs[size_t(End)].Last, Runs[size_t(Start)].First);
            Start != End && Move < 3 && Runs[size_t(End)].Pen == Runs[size_t(Start)].Pen)
          Cheaper.push_back({End, Start, Move});
    }
  } else {
    std::vector<int> GroupOfPen(256, -1);
    std::vector<uint16_t> Pens;
    for (int Run = 0; Run < Ends; ++Run) {
      const uint16_t Pen = Runs[size_t(Run)].Pen;
      if (GroupOfPen[Pen] < 0) {
        GroupOfPen[Pen] = int(Pens.size());
        Pens.push_back(Pen);
      }
      Groups[size_t(Run)] = GroupOfPen[Pen];
    }
    GroupCount = int(Pens.size());
    for (uint16_t From : Pens)
      for (uint16_t To : Pens) Far.push_back(FarMove + PenChange(From, To));
    for (int End = 0; End < Ends; ++End)
      for (int Start = 0; Start < Ends; ++Start)
        if (const int Move = Moves.Between(Runs[size_t(End)].Last, Runs[size_t(Start)].First);
            Start != End && Move < FarMove)
          Cheaper.push_back(
              {End, Start, Move + PenChange(Runs[size_t(End)].Pen, Runs[size_t(Start)].Pen)});
  }
  for (int Run = 0; Run < Ends; ++Run) {
    Cheaper.push_back({Ends, Run, 0});
    Cheaper.push_back({Run, Ends, 0});
  }
  // Less one where the cursor may be restored: a save left by an earlier frame lets one restore
  // land right on a run's start for two bytes, its save paid for before.
  const long GiveBack = Model == TFloorModel::AnyControl ? 1 : 0;
  Floor.Joins =
      std::max(0L, LeastAssignment(Ends + 1, Groups, Groups, GroupCount, Far, Cheaper) - GiveBack);
  return Floor;
}
