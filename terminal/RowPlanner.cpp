#include "terminal/RowPlanner.h"

#include <algorithm>
#include <string>

#include "terminal/Cp437.h"

namespace {
constexpr int PenOf(int Fg, int Bg) { return Fg << 5 | Bg; }
constexpr int PenFg(int Pen) { return Pen >> 5; }
constexpr int PenBg(int Pen) { return Pen & 31; }
}  // namespace

TRowPlanner::TRowPlanner(const TTerminalKind& Kind) : Tabs(Kind.Tabs) {
  for (int Color = 0; Color < 16; ++Color) {
    std::string Text;
    AppendColor(Text, Kind, false, Color);
    FgLength[Color] = int(Text.size());
    Text.clear();
    AppendColor(Text, Kind, true, Color);
    BgLength[Color] = int(Text.size());
  }
  for (int Code = 0; Code < 256; ++Code)
    GlyphBytes[Code] = Kind.LineDrawing && LineDrawingOf(uint8_t(Code))
                           ? 1
                           : int(Cp437ToUtf8(uint8_t(Code)).size());
  std::fill(std::begin(DeferMove), std::end(DeferMove), 6);
  for (int Bg = 0; Bg < 16; ++Bg) BlankPen[Bg] = uint8_t(Bg * 16);
}

inline int TRowPlanner::PenCost(int Pen, int Fg, int Bg, int& Next) const {
  const bool NewFg = Fg >= 0 && Fg != PenFg(Pen), NewBg = Bg != PenBg(Pen);
  Next = PenOf(NewFg ? Fg : PenFg(Pen), Bg);
  if (!NewFg && !NewBg) return 0;
  return 3 + (NewFg ? FgLength[Fg] : 0) + (NewBg ? BgLength[Bg] : 0) + (NewFg && NewBg ? 1 : 0);
}

inline int TRowPlanner::SwitchCost(int From, int To) const {
  // An unknown colour is never worth more than a known one: count it as free to reach.
  const int Fg = PenFg(To), Bg = PenBg(To);
  int Next;
  return PenCost(From, Fg == Unknown ? -1 : Fg, Bg == Unknown ? PenBg(From) : Bg, Next);
}

void TRowPlanner::Clear(int At) { Counts[At] = 0; }

inline void TRowPlanner::Relax(int At, const TState& State) {
  TState* List = States[At];
  // The row done: nothing follows, so only the cheapest way there counts.
  if (At == RowEnd) {
    if (Counts[At] == 0 || State.Cost < List[0].Cost) List[0] = State, Counts[At] = 1;
    return;
  }
  // A few states a cell: looking them through beats a table by pen, which misses the cache.
  const int Count = Counts[At];
  for (int Index = 0; Index < Count; ++Index)
    if (List[Index].Pen == State.Pen) {
      if (State.Cost < List[Index].Cost) List[Index] = State;
      return;
    }
  if (Count < Capacity) {
    List[Counts[At]++] = State;
    return;
  }
  // Full: the new state takes the place of the dearest, if it is cheaper.
  TState* Dearest = std::max_element(List, List + Capacity, Cheaper);
  if (State.Cost < Dearest->Cost) *Dearest = State;
}

// Keeps the MaxStates cheapest states at a cell that the cheapest one there does not reach for
// less with a bare SGR, the cheapest first.
void TRowPlanner::Prune(int At) {
  TState* List = States[At];
  const int Count = Counts[At];
  if (Count < 2) return;
  if (Count == 2 && MaxStates >= 2) {
    // Most often two: the dearer goes unless the cheaper cannot reach it for less.
    const int Cheap = Cheaper(List[1], List[0]) ? 1 : 0;
    const TState& Dear = List[1 - Cheap];
    if (Dear.Cost >= List[Cheap].Cost + SwitchCost(List[Cheap].Pen, Dear.Pen)) {
      List[0] = List[Cheap];
      Counts[At] = 1;
    } else if (Cheap == 1) {
      std::swap(List[0], List[1]);
    }
    return;
  }
  const TState Best = *std::min_element(List, List + Count, Cheaper);
  int Kept = 0;
  TState Keep[MaxStates];
  for (int Index = 0; Index < Count; ++Index) {
    const TState& State = List[Index];
    if (State.Pen != Best.Pen && State.Cost >= Best.Cost + SwitchCost(Best.Pen, State.Pen))
      continue;
    // Insertion into the few cheapest, in order.
    int Place = std::min(Kept, MaxStates - 1);
    if (Kept == MaxStates && !Cheaper(State, Keep[Place])) continue;
    while (Place > 0 && Cheaper(State, Keep[Place - 1])) {
      Keep[Place] = Keep[Place - 1];
      --Place;
    }
    Keep[Place] = State;
    Kept = std::min(Kept + 1, MaxStates);
  }
  for (int Index = 0; Index < Kept; ++Index) List[Index] = Keep[Index];
  Counts[At] = Kept;
}

std::span<const TRowPlanner::TStep> TRowPlanner::Plan(const TCharInfo* Cells,
                                                      const uint8_t* Changed, int Width, int Fg,
                                                      int Bg, bool LineEndIsEdge) {
  // From the right: where the next changed cell is, where a run of blanks on one background ends,
  // and what the pass of its pen would likely spend on a changed cell left to it: its glyph, and a
  // move unless it follows another of its cells. Leaving every changed cell from some column on to
  // the passes needs no fillers.
  int NextChanged[MaxWidth + 1], RunEnd[MaxWidth], Visit[MaxWidth], DeferRestCost[MaxWidth + 1];
  // The least the rest of the row can cost from each cell on: the glyphs of its changed cells
  // (changed blanks may go in an erase).
  int GlyphRest[MaxWidth + 1];
  GlyphRest[Width] = 0;
  NextChanged[Width] = Width;
  DeferRestCost[Width] = 0;
  int Key = PassOf(Cells[Width - 1]);
  for (int Column = Width - 1; Column >= 0; --Column) {
    const TCharInfo& Cell = Cells[Column];
    const int KeyLeft = Column > 0 ? PassOf(Cells[Column - 1]) : -1;
    int Rest = DeferRestCost[Column + 1];
    if (Changed[Column]) {
      const bool RunGoesOn = Column > 0 && Changed[Column - 1] && KeyLeft == Key;
      Visit[Column] = GlyphBytes[Cell.AsciiChar] + (RunGoesOn ? 0 : DeferMove[Key]);
      Rest += Visit[Column];
      NextChanged[Column] = Column;
    } else {
      NextChanged[Column] = NextChanged[Column + 1];
    }
    DeferRestCost[Column] = Rest;
    GlyphRest[Column] =
        GlyphRest[Column + 1] + (Changed[Column] && !IsBlank(Cell) ? GlyphBytes[Cell.AsciiChar] : 0);
    const bool Continues = Column + 1 < Width && IsBlank(Cells[Column + 1]) &&
                           BgOf(Cells[Column + 1]) == BgOf(Cell);
    RunEnd[Column] = Continues ? RunEnd[Column + 1] : Column + 1;
    Key = KeyLeft;
  }
  RowEnd = Width;
  const int First = NextChanged[0];
  for (int Column = First; Column <= Width; ++Column) Clear(Column);
  Relax(First, TState{0, uint16_t(PenOf(Fg, Bg)), Start, 0, 0, 0});
  for (int At = First; At < Width; ++At) {
    Prune(At);
    const TCharInfo& Cell = Cells[At];
    const int CellBg = BgOf(Cell);
    // Rewriting unchanged cells costs a byte or more each, and a move past four or more costs no
    // more than four (none past the last changed cell): only short gaps are worth writing through.
    const bool WriteThrough = Changed[At] || NextChanged[At] - At < 4;
    for (int Index = 0; Index < Counts[At]; ++Index) {
      const TState State = States[At][Index];
      // A state that cannot end the row for less than a way found already goes no further.
      if (Counts[Width] > 0 && State.Cost + GlyphRest[At] >= States[Width][0].Cost) continue;
      const uint16_t From = uint16_t(At);
      const uint16_t FromIndex = uint16_t(Index);
      int Pen;
      int Cost;
      // Write the cell, changed or not.
      if (WriteThrough && (Changed[At] || NextChanged[At] < Width)) {
        Cost = State.Cost + PenCost(State.Pen, IsBlank(Cell) ? -1 : FgOf(Cell), CellBg, Pen) +
               GlyphBytes[Cell.AsciiChar];
        Relax(At + 1, TState{Cost, uint16_t(Pen), Write, From, FromIndex, 0});
      }
      // Leave a changed cell to the pass of its pen; a run of them costs one move there.
      if (Changed[At]) {
        Cost = State.Cost + 1 + Visit[At];
        Relax(At + 1, TState{Cost, State.Pen, Defer, From, FromIndex, 0});
        // Only the cheapest state here can end the row for the least this way.
        if (Index == 0)
          Relax(Width,
                TState{State.Cost + DeferRestCost[At], State.Pen, DeferRest, From, FromIndex, 0});
      }
      // Skip unchanged cells to the next changed one.
      if (!Changed[At]) {
        const int To = NextChanged[At];
        Cost = State.Cost + (To < Width ? RightLength(To - At, Tabs) : 0);
        Relax(To, TState{Cost, State.Pen, Skip, From, FromIndex, 0});
      }
      // Erase a run of blanks that holds a changed cell, then move past it.
      const int End = RunEnd[At];
      if (IsBlank(Cell) && NextChanged[At] < End) {
        const int To = NextChanged[End];
        Cost = State.Cost + PenCost(State.Pen, -1, CellBg, Pen);
        if (To == Width && End == Width && (LineEndIsEdge || CellBg == 0)) {
          Relax(Width, TState{Cost + 3, uint16_t(Pen), EraseLine, From, FromIndex, 0});
        } else {
          Cost += CsiLength(End - At) + (To < Width ? RightLength(To - At, Tabs) : 0);
          Relax(To, TState{Cost, uint16_t(Pen), Erase, From, FromIndex, uint16_t(End)});
        }
      }
    }
  }

  // Follow the cheapest way back, then turn it round.
  const TState* Done = States[Width];
  int Index = int(std::min_element(Done, Done + Counts[Width], Cheaper) - Done);
  int Count = 0;
  for (int At = Width;;) {
    const TState& State = States[At][Index];
    if (State.Action == Start) break;
    Steps[Count++] = TStep{State.Action, State.From, At, State.Param};
    At = State.From;
    Index = State.FromIndex;
  }
  std::reverse(Steps, Steps + Count);
  return {Steps, size_t(Count)};
}
