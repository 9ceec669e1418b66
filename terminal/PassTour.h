// The order in which a pass visits its stretches, made short. A pass writes the cells of one pen
// in stretches, one row each; between stretches the cursor moves, and what a move costs depends on
// where the last stretch left the cursor and where the next begins. Build makes an order from the
// cheapest links between stretches first (a greedy order, the nearest stretch next, leaves
// stragglers that cost long moves at its end). Improve then moves runs of up to MaxRun
// consecutive stretches to where they cost less, while that saves bytes ("or-opt"), once through
// the order. Only places near a run's ends are tried, which keeps it cheap: after the stop nearest
// its start on that row or the one above, or before the stop nearest its end on that row or the
// one below (on either side), at the order's start or its end.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

struct TTourStop {
  int Row;
  int Enter;  // the column where writing starts
  int Leave;  // the column where writing leaves the cursor, -1 when not known
};

class TPassTour {
 public:
  static constexpr int MaxRun = 3;
  // A run whose links cost this much less than the one that would replace them is worth moving;
  // below it, what a move saves rarely pays for the looking.
  static constexpr int WorthMoving = 5;

  // An order of Stops (in the order of the screen, by row and then column) into Tour, built from
  // the cheapest links first: each stop's links to the few stops nearest where it leaves the
  // cursor, on its row and the two below, are taken cheapest first while neither end has one yet
  // and they close no loop; the chains they make are then joined, each to the one whose start is
  // cheapest to reach from where the last ended, from (StartRow, StartColumn) on.
  template <class TCost>
  void Build(std::span<const TTourStop> Stops, std::vector<uint32_t>& Tour, int StartRow,
             int StartColumn, const TCost& Cost);

  // Reorders Tour (indices into Stops, each once; Stops in the order of the screen, by row and
  // then column) to cost less, never more. Cost(FromRow, FromColumn, Row, Column) gives the bytes
  // of a move (FromRow and FromColumn -1 when not known); the tour starts with the cursor at
  // (StartRow, StartColumn), and where it ends costs nothing.
  template <class TCost>
  void Improve(std::span<const TTourStop> Stops, std::vector<uint32_t>& Tour, int StartRow,
               int StartColumn, const TCost& Cost);

 private:
  void Link(std::span<const TTourStop> Stops, const std::vector<uint32_t>& Tour);
  // The Each stops nearest Column on each side on Row, into Found.
  void Near(std::span<const TTourStop> Stops, int Row, int Column, std::vector<uint32_t>& Found,
            int Each = 1) const;
  // Moves the run First..Last after After.
  void Move(uint32_t First, uint32_t Last, uint32_t After);

  uint32_t Start = 0, End = 0;  // sentinels: the cursor before the tour, and after it
  std::vector<uint32_t> Next, Prev;
  std::vector<int> Out;            // what the link from each stop to the next costs
  std::vector<uint8_t> InRun;      // the stops of the run being placed
  std::vector<uint32_t> RowBegin;  // where each row's stops begin in ByRow
  std::vector<uint32_t> ByRow;     // stops by row, then column
  std::vector<uint32_t> Places;    // the stops a run may follow
  // Build's links, by cost, and the chains they make.
  static constexpr int MostCost = 15;  // links that cost more are not taken
  static constexpr int LinksEachSide = 3;
  struct TLink {
    uint32_t From, To;
  };
  std::vector<TLink> Links;
  std::vector<int> LinkCosts;
  std::vector<uint32_t> LinksByCost;  // where each cost's links begin
  std::vector<TLink> Sorted;
  std::vector<uint32_t> Root, Chains;
  std::vector<uint8_t> Joined;
  uint32_t RootOf(uint32_t Stop);
  // Takes the links, cheapest first, into chains (Next and Prev).
  void Chain(uint32_t Count);
};

template <class TCost>
void TPassTour::Improve(std::span<const TTourStop> Stops, std::vector<uint32_t>& Tour, int StartRow,
                        int StartColumn, const TCost& Cost) {
  if (Tour.size() < 3) return;
  Link(Stops, Tour);
  // The bytes from where A leaves the cursor to where B begins.
  auto Between = [&](uint32_t A, uint32_t B) -> int {
    if (B == End) return 0;
    const TTourStop& To = Stops[B];
    if (A == Start) return Cost(StartRow, StartColumn, To.Row, To.Enter);
    const TTourStop& From = Stops[A];
    return Cost(From.Row, From.Leave, To.Row, To.Enter);
  };
  for (uint32_t Stop = Start; Stop != End; Stop = Next[Stop]) Out[Stop] = Between(Stop, Next[Stop]);
  for (uint32_t First = Next[Start]; First != End;) {
    // The runs that begin at First, shortest first, and the best place for any of them. Taking a
    // run out frees its two links for one, which costs no more than them.
    const uint32_t Before = Prev[First];
    int Best = 0;
    uint32_t BestLast = End, BestAfter = End;
    uint32_t Run[MaxRun];
    int Length = 0;
    for (uint32_t Last = First; Length < MaxRun && Last != End; Last = Next[Last]) {
      Run[Length++] = Last;
      InRun[Last] = 1;
      if (Out[Before] + Out[Last] < std::max(WorthMoving, Best + 1)) continue;
      const uint32_t After = Next[Last];
      const int Freed = Out[Before] + Out[Last] - Between(Before, After);
      if (Freed < WorthMoving || Freed <= Best) continue;
      Places.clear();
      const TTourStop& Head = Stops[First];
      for (int Row = Head.Row - 1; Row <= Head.Row; ++Row) Near(Stops, Row, Head.Enter, Places);
      Places.push_back(Start);
      const size_t Heads = Places.size();
      const TTourStop& Tail = Stops[Last];
      for (int Row = Tail.Row; Row <= Tail.Row + 1; ++Row)
        Near(Stops, Row, Tail.Leave < 0 ? Tail.Enter : Tail.Leave, Places);
      for (size_t Index = Heads; Index < Places.size(); ++Index)
        Places[Index] = Prev[Places[Index]];
      Places.push_back(Prev[End]);
      for (const uint32_t U : Places) {
        const uint32_t V = Next[U];
        if (U == Before || (U != Start && InRun[U]) || (V != End && InRun[V])) continue;
        const int Into = Between(U, First);
        if (Freed + Out[U] - Into <= Best) continue;
        const int Saving = Freed + Out[U] - Into - Between(Last, V);
        if (Saving > Best) Best = Saving, BestLast = Last, BestAfter = U;
      }
    }
    for (int Index = 0; Index < Length; ++Index) InRun[Run[Index]] = 0;
    if (Best == 0) {
      First = Next[First];
      continue;
    }
    // Move it, and go on after where it was.
    const uint32_t After = Next[BestLast], V = Next[BestAfter];
    Move(First, BestLast, BestAfter);
    Out[Before] = Between(Before, After);
    Out[BestAfter] = Between(BestAfter, First);
    Out[BestLast] = Between(BestLast, V);
    First = After;
  }
  Tour.clear();
  for (uint32_t Stop = Next[Start]; Stop != End; Stop = Next[Stop]) Tour.push_back(Stop);
}

template <class TCost>
void TPassTour::Build(std::span<const TTourStop> Stops, std::vector<uint32_t>& Tour, int StartRow,
                      int StartColumn, const TCost& Cost) {
  const auto Count = uint32_t(Stops.size());
  Link(Stops, {});
  // The links to try, and their costs.
  Links.clear();
  LinkCosts.clear();
  const int Rows = int(RowBegin.size()) - 1;
  for (uint32_t From = 0; From < Count; ++From) {
    const TTourStop& Stop = Stops[From];
    for (int Row = Stop.Row; Row <= std::min(Rows - 1, Stop.Row + 2); ++Row) {
      Places.clear();
      Near(Stops, Row, Stop.Leave < 0 ? Stop.Enter : Stop.Leave, Places, LinksEachSide);
      for (const uint32_t To : Places) {
        if (To == From) continue;
        const int Bytes = Cost(Stop.Row, Stop.Leave, Stops[To].Row, Stops[To].Enter);
        if (Bytes > MostCost) continue;
        Links.push_back({From, To});
        LinkCosts.push_back(Bytes);
      }
    }
  }
  Chain(Count);
  // The chains joined, the nearest start next.
  Chains.clear();
  for (uint32_t Stop = 0; Stop < Count; ++Stop)
    if (Prev[Stop] == Start) Chains.push_back(Stop);
  Joined.assign(Chains.size(), 0);
  Tour.clear();
  int Row = StartRow, Column = StartColumn;
  for (size_t Done = 0; Done < Chains.size(); ++Done) {
    size_t Best = 0;
    int BestBytes = 1 << 30;
    for (size_t Chain = 0; Chain < Chains.size(); ++Chain) {
      if (Joined[Chain]) continue;
      const TTourStop& Head = Stops[Chains[Chain]];
      const int Bytes = Cost(Row, Column, Head.Row, Head.Enter);
      if (Bytes < BestBytes) BestBytes = Bytes, Best = Chain;
    }
    Joined[Best] = 1;
    uint32_t Stop = Chains[Best];
    for (;; Stop = Next[Stop]) {
      Tour.push_back(Stop);
      if (Next[Stop] == End) break;
    }
    Row = Stops[Stop].Row, Column = Stops[Stop].Leave;
  }
}
