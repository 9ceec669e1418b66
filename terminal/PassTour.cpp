#include "terminal/PassTour.h"

void TPassTour::Link(std::span<const TTourStop> Stops, const std::vector<uint32_t>& Tour) {
  const auto Count = uint32_t(Stops.size());
  Start = Count, End = Count + 1;
  Next.assign(Count + 2, End);
  Prev.assign(Count + 2, Start);
  Out.assign(Count + 2, 0);
  InRun.assign(Count + 2, 0);
  uint32_t Previous = Start;
  for (uint32_t Stop : Tour) {
    Next[Previous] = Stop, Prev[Stop] = Previous;
    Previous = Stop;
  }
  Next[Previous] = End, Prev[End] = Previous;
  // The stops by row; they come in the order of the screen, so each row's are by column.
  int Rows = 0;
  for (const TTourStop& Stop : Stops) Rows = std::max(Rows, Stop.Row + 1);
  RowBegin.assign(size_t(Rows) + 1, 0);
  for (const TTourStop& Stop : Stops) ++RowBegin[size_t(Stop.Row) + 1];
  for (int Row = 0; Row < Rows; ++Row) RowBegin[size_t(Row) + 1] += RowBegin[size_t(Row)];
  ByRow.resize(Count);
  Places.assign(RowBegin.begin(), RowBegin.end() - 1);  // where each row's next stop goes
  for (uint32_t Stop = 0; Stop < Count; ++Stop) ByRow[Places[size_t(Stops[Stop].Row)]++] = Stop;
}

void TPassTour::Near(std::span<const TTourStop> Stops, int Row, int Column,
                     std::vector<uint32_t>& Found, int Each) const {
  if (Row < 0 || Row + 1 >= int(RowBegin.size())) return;
  const auto Begin = ByRow.begin() + RowBegin[size_t(Row)];
  const auto RowEnd = ByRow.begin() + RowBegin[size_t(Row) + 1];
  const auto At = std::lower_bound(Begin, RowEnd, Column,
                                   [&](uint32_t Stop, int C) { return Stops[Stop].Enter < C; });
  for (auto It = At; It != RowEnd && It - At < Each; ++It) Found.push_back(*It);
  for (auto It = At; It != Begin && At - It < Each;) Found.push_back(*--It);
}

void TPassTour::Move(uint32_t First, uint32_t Last, uint32_t After) {
  const uint32_t Before = Prev[First], Following = Next[Last], V = Next[After];
  Next[Before] = Following, Prev[Following] = Before;
  Next[After] = First, Prev[First] = After;
  Next[Last] = V, Prev[V] = Last;
}

uint32_t TPassTour::RootOf(uint32_t Stop) {
  while (Root[Stop] != Stop) Stop = Root[Stop] = Root[Root[Stop]];
  return Stop;
}

void TPassTour::Chain(uint32_t Count) {
  // Sorted by cost: a count of each cost, then each link in its place.
  LinksByCost.assign(MostCost + 2, 0);
  for (const int Bytes : LinkCosts) ++LinksByCost[size_t(Bytes) + 1];
  for (int Bytes = 0; Bytes <= MostCost; ++Bytes)
    LinksByCost[size_t(Bytes) + 1] += LinksByCost[size_t(Bytes)];
  Sorted.resize(Links.size());
  for (size_t Index = 0; Index < Links.size(); ++Index)
    Sorted[LinksByCost[size_t(LinkCosts[Index])]++] = Links[Index];
  // A link joins two chains, end to start; one within a chain would close a loop.
  Root.resize(Count);
  for (uint32_t Stop = 0; Stop < Count; ++Stop) Root[Stop] = Stop;
  for (const TLink& Link : Sorted) {
    if (Next[Link.From] != End || Prev[Link.To] != Start) continue;
    const uint32_t A = RootOf(Link.From), B = RootOf(Link.To);
    if (A == B) continue;
    Next[Link.From] = Link.To, Prev[Link.To] = Link.From, Root[B] = A;
  }
}
