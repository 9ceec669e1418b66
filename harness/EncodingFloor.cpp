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

// A least-cost flow on source -> ends -> (starts, or the hubs of their groups) -> starts -> sink:
// shortest paths with potentials, each search taking every shortest path it opens at once; path
// costs are small integers, so each search is a bucket queue.
class TAssignment {
 public:
  explicit TAssignment(const TPairing& Pairing)
      : Count(Pairing.Count), Sink(1 + 2 * Count + 2 * Pairing.Groups), Nodes(Sink + 1) {
    // source, ends, the groups of ends, the groups of starts, starts, sink
    const int Groups = Pairing.Groups, EndHub = 1 + Count, StartHub = EndHub + Groups,
              Starts = StartHub + Groups;
    Edges.resize(size_t(Nodes));
    for (int Index = 0; Index < Count; ++Index) {
      Add(0, 1 + Index, 0, 1);
      Add(Starts + Index, Sink, 0, 1);
      if (const int Group = Pairing.EndGroups[size_t(Index)]; Group >= 0)
        Add(1 + Index, EndHub + Group, Pairing.Leave.empty() ? 0 : Pairing.Leave[size_t(Index)], 1);
      if (const int Group = Pairing.StartGroups[size_t(Index)]; Group >= 0)
        Add(StartHub + Group, Starts + Index, 0, 1);
    }
    for (int From = 0; From < Groups; ++From)
      for (int To = 0; To < Groups; ++To)
        Add(EndHub + From, StartHub + To, Pairing.Far[size_t(From * Groups + To)], Count);
    for (const TPairCost& Pair : Pairing.Cheaper)
      Add(1 + Pair.End, Starts + Pair.Start, Pair.Cost, 1);
  }

  long Solve() {
    long Total = 0;
    for (int Flow = 0; Flow < Count;) {
      if (!Search()) break;  // no way to pair the rest
      Level();
      const int Taken = Augment(Total);
      if (Taken == 0) break;
      Flow += Taken;
    }
    return Total;
  }

 private:
  struct TEdge {
    int To, Capacity, Cost, Back;
  };
  static constexpr long Unreached = std::numeric_limits<long>::max();

  // The shortest paths from the source by reduced costs (a bucket queue: costs are small
  // integers), then the potentials that make every edge on them cost nothing. False where the
  // sink is out of reach.
  bool Search() {
    std::fill(Distance.begin(), Distance.end(), Unreached);
    Distance[0] = 0;
    Buckets.assign(1, {0});
    // Nodes no nearer than the sink need no exact distance: their potentials grow by the sink's,
    // which keeps every reduced cost from going negative.
    for (size_t Level = 0; Level < Buckets.size() && long(Level) < Distance[size_t(Sink)]; ++Level)
      for (size_t Index = 0; Index < Buckets[Level].size(); ++Index) {
        const int Node = Buckets[Level][Index];
        if (Distance[size_t(Node)] != long(Level)) continue;
        for (const TEdge& Out : Edges[size_t(Node)]) {
          if (Out.Capacity == 0) continue;
          const long Reach = long(Level) + Reduced(Node, Out);
          if (Reach >= Distance[size_t(Out.To)]) continue;
          Distance[size_t(Out.To)] = Reach;
          if (Buckets.size() <= size_t(Reach)) Buckets.resize(size_t(Reach) + 1);
          Buckets[size_t(Reach)].push_back(Out.To);
        }
      }
    const long Longest = Distance[size_t(Sink)];
    if (Longest == Unreached) return false;
    for (int Node = 0; Node < Nodes; ++Node)
      Potential[size_t(Node)] += std::min(Distance[size_t(Node)], Longest);
    return true;
  }

  // An edge with room left on a shortest path.
  bool Open(int From, const TEdge& Out) const {
    return Out.Capacity > 0 && Reduced(From, Out) == 0;
  }

  // Every path of open edges is now a shortest one. Their levels from the source, so that the
  // paths taken go one level down at each edge and none loops.
  void Level() {
    std::fill(Depth.begin(), Depth.end(), -1);
    Depth[0] = 0;
    Queue.assign(1, 0);
    for (size_t Index = 0; Index < Queue.size(); ++Index)
      for (const TEdge& Out : Edges[size_t(Queue[Index])])
        if (Depth[size_t(Out.To)] < 0 && Open(Queue[Index], Out)) {
          Depth[size_t(Out.To)] = Depth[size_t(Queue[Index])] + 1;
          Queue.push_back(Out.To);
        }
  }

  // Takes as many such paths as go at once; how many, their costs added to Total.
  int Augment(long& Total) {
    std::fill(Next.begin(), Next.end(), 0);
    Path.clear();
    int Taken = 0;
    for (int Node = 0;;) {
      if (Node == Sink) {
        for (const auto& [From, Edge] : Path) {
          TEdge& Used = Edges[size_t(From)][Edge];
          --Used.Capacity;
          ++Edges[size_t(Used.To)][size_t(Used.Back)].Capacity;
          Total += Used.Cost;
        }
        ++Taken;
        Path.clear();
        Node = 0;
        continue;
      }
      const std::vector<TEdge>& Out = Edges[size_t(Node)];
      size_t& Edge = Next[size_t(Node)];
      while (Edge < Out.size() &&
             !(Depth[size_t(Out[Edge].To)] == Depth[size_t(Node)] + 1 && Open(Node, Out[Edge])))
        ++Edge;
      if (Edge < Out.size()) {
        Path.push_back({Node, Edge});
        Node = Out[Edge].To;
      } else if (Path.empty()) {
        return Taken;
      } else {
        Depth[size_t(Node)] = -1;  // a dead end
        Node = Path.back().first;
        Path.pop_back();
        ++Next[size_t(Node)];
      }
    }
  }

  long Reduced(int From, const TEdge& Out) const {
    return Out.Cost + Potential[size_t(From)] - Potential[size_t(Out.To)];
  }
  void Add(int From, int To, int Cost, int Capacity) {
    Edges[size_t(From)].push_back({To, Capacity, Cost, int(Edges[size_t(To)].size())});
    Edges[size_t(To)].push_back({From, 0, -Cost, int(Edges[size_t(From)].size()) - 1});
  }

  const int Count, Sink, Nodes;
  std::vector<std::vector<TEdge>> Edges;
  // What each search works with, kept from one to the next.
  std::vector<long> Potential = std::vector<long>(size_t(Nodes), 0),
                    Distance = std::vector<long>(size_t(Nodes), 0);
  std::vector<std::vector<int>> Buckets;
  std::vector<int> Depth = std::vector<int>(size_t(Nodes), 0), Queue;
  std::vector<size_t> Next =
      std::vector<size_t>(size_t(Nodes), 0);  // the edge each node tries next
  std::vector<std::pair<int, size_t>> Path;   // node, edge
};

}  // namespace

long LeastAssignment(const TPairing& Pairing) {
  return Pairing.Count > 0 ? TAssignment(Pairing).Solve() : 0;
}

long LeastAssignment(int Count, int Default, const std::vector<TPairCost>& Cheaper) {
  const std::vector<int> One(size_t(Count), 0);
  return LeastAssignment({Count, One, One, {}, 1, {Default}, Cheaper});
}

namespace {

// A pen whose foreground does not matter: a stretch of blanks shows only its background.
constexpr uint16_t AnyForeground = 0x100;

// Bytes of SGR from one pen to another of the palette's colours (see TFloorModel).
int PenChange(uint16_t From, uint16_t To) {
  if (From == To) return 0;
  const int FromFg = From & 15, FromBg = From >> 4 & 15, ToFg = To & 15, ToBg = To >> 4 & 15;
  if ((From | To) & AnyForeground) return FromBg == ToBg ? 0 : 4;
  return FromFg == ToFg || FromBg == ToBg || (FromFg == ToBg && FromBg == ToFg) ? 4 : 6;
}

// Without restores, moves no shorter than this are left to the pens' hubs at this price: a longer
// reach lifts the show's floors by a few bytes a frame and takes several times as long.
constexpr int FarMove = 6;
// Costs go to the assignment in twelfths of a byte, so that an erase shares out its bytes among
// the stretches of blanks it clears.
constexpr int Scale = 12;

struct TRun {
  int First, Last;
  uint16_t Pen;
  int Leave = 0;  // bytes of blanks written when the run is written (its glyphs count apart)
  int Skip = -1;  // a stretch of blanks: its share, in twelfths, of an erase that clears it
};

// Each stretch's least share of what erasing costs. The ranges any encoding erases merge into
// disjoint intervals of the screen (in reading order). An interval costs at least one erase: three
// bytes where it reaches the end of its row or of the screen (EL, ED), four where it starts at the
// start of its row or of the screen, ECH's bytes for its length within a row, six across rows
// otherwise (two erases); one erase, three bytes or more, for each background its cleared
// stretches show; and each unchanged cell in it that does not look blank must be written again,
// for its glyph's bytes but one (a move that writes it on the way counts that one). Shared out
// among the stretches an interval holds (the erases evenly, or three bytes among those of each
// background, where they have several, and what it spoils evenly), the shares of those it clears
// add up to no more than it costs, rounded down; each stretch takes its least share over the
// intervals from a stretch's first cell, or from its row's or the screen's start, to a stretch's
// last cell, or to its row's or the screen's end.
void ShareErases(std::vector<TRun>& Runs, const std::vector<TCharInfo>& Before,
                 const std::vector<TCharInfo>& After, int Columns) {
  const int Cells = int(After.size());
  std::vector<TRun*> Stretches;
  std::vector<int> Colour, ColourOfBg(16, -1);  // each stretch's background, by first seen
  int Colours = 0;
  for (TRun& Run : Runs)
    if (Run.Pen & AnyForeground) {
      int& Seen = ColourOfBg[size_t(Run.Pen >> 4 & 15)];
      if (Seen < 0) Seen = Colours++;
      Stretches.push_back(&Run);
      Colour.push_back(Seen);
    }
  const int Count = int(Stretches.size());
  if (Count == 0) return;
  std::vector<long> Spoiled(size_t(Cells + 1), 0);  // the bytes for the cells before each
  for (int Cell = 0; Cell < Cells; ++Cell) {
    const TCharInfo& Now = After[size_t(Cell)];
    const bool Spoils = LookSame(Before[size_t(Cell)], Now) && !LooksBlank(Now);
    Spoiled[size_t(Cell + 1)] =
        Spoiled[size_t(Cell)] + (Spoils ? long(Cp437ToUtf8(Now.AsciiChar).size()) - 1 : 0);
  }
  auto Spoils = [&](int FirstCell, int LastCell) {
    return Spoiled[size_t(LastCell + 1)] - Spoiled[size_t(FirstCell)];
  };
  auto RowOf = [&](int Index) { return Stretches[size_t(Index)]->First / Columns; };
  std::vector<int> Least(size_t(Count), std::numeric_limits<int>::max());
  // For the intervals from one stretch: the share of a stretch of each background, by the
  // stretch the interval reaches, and then the least over it and beyond.
  std::vector<int> Shares(size_t(Count * Colours), 0), Held(size_t(Colours), 0);
  for (int From = 0; From < Count; ++From) {
    const int First = Stretches[size_t(From)]->First, Row = RowOf(From);
    const bool RowFirst = From == 0 || RowOf(From - 1) != Row;
    std::fill(Held.begin(), Held.end(), 0);
    int Backgrounds = 0;
    for (int To = From; To < Count; ++To) {
      Backgrounds += Held[size_t(Colour[size_t(To)])]++ == 0;
      const int Last = Stretches[size_t(To)]->Last, ToRow = RowOf(To), Holds = To - From + 1;
      const bool RowLast = To + 1 == Count || RowOf(To + 1) != ToRow;
      // The least an interval holding these stretches costs, by its shape.
      const long Within = Spoils(First, Last);
      long Bytes = (Row == ToRow ? CsiLength(Last - First + 1) : 6) + Within;
      if (RowLast && Row == ToRow)
        Bytes = std::min(Bytes, 3 + Spoils(First, Row * Columns + Columns - 1));
      if (RowFirst && Row == ToRow) Bytes = std::min(Bytes, 4 + Spoils(Row * Columns, Last));
      if (To + 1 == Count) Bytes = std::min(Bytes, 3 + Spoils(First, Cells - 1));
      if (From == 0) Bytes = std::min(Bytes, 4 + Spoils(0, Last));
      for (int Bg = 0; Bg < Colours; ++Bg)
        Shares[size_t(To * Colours + Bg)] =
            Held[size_t(Bg)] == 0 ? std::numeric_limits<int>::max()
            : Backgrounds == 1    ? int(Scale * Bytes / Holds)
                                  : int(Scale * 3 / Held[size_t(Bg)] + Scale * Within / Holds);
    }
    for (int To = Count - 2; To >= From; --To)
      for (int Bg = 0; Bg < Colours; ++Bg)
        Shares[size_t(To * Colours + Bg)] =
            std::min(Shares[size_t(To * Colours + Bg)], Shares[size_t((To + 1) * Colours + Bg)]);
    for (int Index = From; Index < Count; ++Index)
      Least[size_t(Index)] =
          std::min(Least[size_t(Index)], Shares[size_t(Index * Colours + Colour[size_t(Index)])]);
  }
  for (int Index = 0; Index < Count; ++Index) Stretches[size_t(Index)]->Skip = Least[size_t(Index)];
}

// The least the gaps between runs (and runs of blanks, written or left to erases) cost.
long Joins(std::vector<TRun>& Runs, const std::vector<TCharInfo>& Before,
           const std::vector<TCharInfo>& After, TCursorMoves& Moves, TFloorModel Model) {
  const int Ends = int(Runs.size());
  if (Ends == 0) return 0;
  ShareErases(Runs, Before, After, Moves.Columns);
  // Any order of the runs is an assignment once the frame's start (the last end) pairs with the
  // first run written and the last run's end with the frame's end (the last start), both free. A
  // stretch of blanks left out of the order pairs with itself, at its share of an erase.
  TPairing Pairing;
  Pairing.Count = Ends + 1;
  Pairing.EndGroups.assign(size_t(Ends + 1), -1);
  Pairing.Leave.assign(size_t(Ends + 1), 0);
  for (int End = 0; End < Ends; ++End) Pairing.Leave[size_t(End)] = Scale * Runs[size_t(End)].Leave;
  // A restore may land anywhere for three, pen and all (see above): only a move of a pen that
  // needs no change, of fewer bytes, is cheaper. Without restores, a move and a change of pen.
  const bool Restores = Model == TFloorModel::AnyControl;
  const int Reach = Restores ? 3 : FarMove;
  std::vector<int> GroupOfPen(512, -1);
  std::vector<uint16_t> Pens;
  for (int Run = 0; Run < Ends; ++Run) {
    const uint16_t Pen = Runs[size_t(Run)].Pen;
    if (GroupOfPen[Pen] < 0) {
      GroupOfPen[Pen] = int(Pens.size());
      Pens.push_back(Pen);
    }
    Pairing.EndGroups[size_t(Run)] = Restores ? 0 : GroupOfPen[Pen];
  }
  Pairing.StartGroups = Pairing.EndGroups;
  Pairing.Groups = Restores ? 1 : int(Pens.size());
  if (Restores)
    Pairing.Far = {Scale * 3};
  else
    for (uint16_t From : Pens)
      for (uint16_t To : Pens) Pairing.Far.push_back(Scale * (FarMove + PenChange(From, To)));
  for (int End = 0; End < Ends; ++End) {
    const TRun& Left = Runs[size_t(End)];
    for (int Start = 0; Start < Ends; ++Start) {
      const TRun& Next = Runs[size_t(Start)];
      const int Pen = PenChange(Left.Pen, Next.Pen);
      if (const int Move = Moves.Between(Left.Last, Next.First);
          Start != End && Move < Reach && (!Restores || Pen == 0))
        Pairing.Cheaper.push_back({End, Start, Scale * (Move + (Restores ? 0 : Pen) + Left.Leave)});
    }
    if (Left.Skip >= 0) Pairing.Cheaper.push_back({End, End, Left.Skip});
    Pairing.Cheaper.push_back({Ends, End, 0});
    Pairing.Cheaper.push_back({End, Ends, Scale * Left.Leave});
  }
  Pairing.Cheaper.push_back({Ends, Ends, 0});  // every stretch erased, nothing written
  // Less one where the cursor may be restored: a save left by an earlier frame lets one restore
  // land right on a run's start for two bytes, its save paid for before.
  const long Least = (LeastAssignment(Pairing) + Scale - 1) / Scale;
  return std::max(0L, Least - (Restores ? 1 : 0));
}

}  // namespace

TEncodingFloor TFloorFinder::Floor(const std::vector<TCharInfo>& Before,
                                   const std::vector<TCharInfo>& After, TFloorModel Model) {
  const int Columns = Moves.Columns, Rows = Moves.Rows;
  TEncodingFloor Floor;
  // The runs of glyphs alone, and with the runs of blanks between them. Either way is a floor:
  // the first leaves out the blanks, the second what the order may spend on changes of pen
  // around a run of blanks, whose foreground it leaves open.
  std::vector<TRun> Glyphs, All;
  auto Append = [&](std::vector<TRun>& Runs, int Cell, uint16_t Pen, bool Blank) {
    if (!Runs.empty() && Runs.back().Last == Cell - 1 && Cell % Columns > 0 &&
        Runs.back().Pen == Pen) {
      Runs.back().Last = Cell;
      Runs.back().Leave += Blank;
    } else {
      Runs.push_back({Cell, Cell, Pen, Blank ? 1 : 0});
    }
  };
  for (int Cell = 0; Cell < Columns * Rows; ++Cell) {
    const TCharInfo& Now = After[size_t(Cell)];
    if (LookSame(Before[size_t(Cell)], Now)) continue;
    if (LooksBlank(Now)) {
      Append(All, Cell, uint16_t(AnyForeground | (Now.Attributes & 0xf0)), true);
      continue;
    }
    Floor.Glyphs += long(Cp437ToUtf8(Now.AsciiChar).size());
    Append(All, Cell, Now.Attributes & 0xff, false);
    Append(Glyphs, Cell, Now.Attributes & 0xff, false);
  }
  Floor.Runs = long(Glyphs.size());
  Floor.Joins =
      std::max(Joins(Glyphs, Before, After, Moves, Model), Joins(All, Before, After, Moves, Model));
  return Floor;
}
