#include "terminal/RowPlanner.h"

#include <algorithm>
#include <climits>
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
  for (auto& Keys : LeftKeys) std::fill(std::begin(Keys), std::end(Keys), int16_t(-1));
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
                                                      int Bg, bool LineEndIsEdge,
                                                      bool BelowLast) {
  // The pass of each changed cell, -1 for the others; and of the cells the row above left.
  int16_t Keys[MaxWidth + Spare], *const Key = Keys + Spare;
  std::fill_n(Keys, Spare, int16_t(-1));
  for (int Column = 0; Column < Width; ++Column) {
    // PassOf, with both looked up and one chosen without a branch: this runs on every cell, and
    // rows mix blanks and glyphs at random (the branch costs some 3 % of the encoder here).
    const TCharInfo& Cell = Cells[Column];
    const int Blank = BlankPen[BgOf(Cell)], Glyph = Cell.Attributes & 255;
    const int Pass = IsBlank(Cell) ? Blank : Glyph;
    Key[Column] = int16_t(Changed[Column] ? Pass : -1);
  }
  if (!BelowLast) std::fill_n(LeftKeys[Above], Width + 2 * Spare, int16_t(-1));
  const int16_t* const Up = LeftKeys[Above] + Spare;
  // What the pass of a changed cell spends reaching it from a cell of its own left earlier on the
  // row, at From or after: nothing from the cell before, a tab or two from one a little before.
  auto Before = [&](int Column, int From) {
    const int Pass = Key[Column];
    if (Column - 1 >= From && Key[Column - 1] == Pass) return 0;
    if (Column - 2 >= From && Key[Column - 2] == Pass) return 1;
    if (Column - 3 >= From && Key[Column - 3] == Pass) return 2;
    return INT_MAX;
  };

  // From the right: where the next changed cell is; where a run of blanks on one background ends;
  // what the pass of a changed cell left to it spends reaching it otherwise, a line feed and a
  // step or two from a cell of its own just above, else a move from afar; what leaving every
  // changed cell from there on to the passes costs (no fillers), counting their glyphs; and the
  // least the rest of the row can cost: the glyphs of its changed cells, where a run of blanks
  // costs no more than erasing it (three bytes or more).
  int NextChanged[MaxWidth + 1], RunEnd[MaxWidth], Reach[MaxWidth], DeferRestCost[MaxWidth + 1],
      GlyphRest[MaxWidth + 1], Blanks[MaxWidth + 1];
  NextChanged[Width] = Width;
  DeferRestCost[Width] = GlyphRest[Width] = Blanks[Width] = 0;
  for (int Column = Width - 1; Column >= 0; --Column) {
    const TCharInfo& Cell = Cells[Column];
    const int Glyph = GlyphBytes[Cell.AsciiChar];
    NextChanged[Column] = Changed[Column] ? Column : NextChanged[Column + 1];
    DeferRestCost[Column] = DeferRestCost[Column + 1];
    if (Changed[Column]) {
      const int Pass = Key[Column];
      int Move = DeferMove[Pass];
      if (Up[Column] == Pass)
        Move = std::min(Move, 1);
      else if (Up[Column - 1] == Pass || Up[Column + 1] == Pass)
        Move = std::min(Move, 2);
      else if (Up[Column - 2] == Pass || Up[Column + 2] == Pass)
        Move = std::min(Move, 3);
      Reach[Column] = Move;
      DeferRestCost[Column] += Glyph + std::min(Move, Before(Column, 0));
    }
    const bool Continues = Column + 1 < Width && IsBlank(Cells[Column + 1]) &&
                           BgOf(Cells[Column + 1]) == BgOf(Cell);
    RunEnd[Column] = Continues ? RunEnd[Column + 1] : Column + 1;
    // Changed blanks from here to the end of their run.
    Blanks[Column] = IsBlank(Cell) ? Changed[Column] + (Continues ? Blanks[Column + 1] : 0) : 0;
    GlyphRest[Column] = IsBlank(Cell)
                            ? std::min(Blanks[Column], 3) + GlyphRest[RunEnd[Column]]
                            : GlyphRest[Column + 1] + (Changed[Column] ? Glyph : 0);
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
        const bool RunGoesOn = State.Action == Defer && Key[At - 1] == Key[At];
        Cost = State.Cost + 1 + GlyphBytes[Cell.AsciiChar] + (RunGoesOn ? 0 : Reach[At]);
        Relax(At + 1, TState{Cost, State.Pen, Defer, From, FromIndex, 0});
        // Only the cheapest state here can end the row for the least this way. Of the cells left
        // from here on, the first few have none of their pass's before them.
        if (Index == 0) {
          const int Near = std::min(At + 3, Width);
          Cost = State.Cost + DeferRestCost[Near];
          for (int Column = At; Column < Near; ++Column)
            if (Changed[Column])
              Cost += GlyphBytes[Cells[Column].AsciiChar] +
                      std::min(Reach[Column], Before(Column, At));
          Relax(Width, TState{Cost, State.Pen, DeferRest, From, FromIndex, 0});
        }
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

  // The cells this row leaves to the passes, for the row below.
  Above = 1 - Above;
  int16_t* const Left = LeftKeys[Above] + Spare;
  std::fill_n(Left - Spare, Width + 2 * Spare, int16_t(-1));
  for (int Step = 0; Step < Count; ++Step) {
    const TStep& Taken = Steps[Step];
    if (Taken.Action == Defer) Left[Taken.From] = Key[Taken.From];
    if (Taken.Action == DeferRest) std::copy(Key + Taken.From, Key + Width, Left + Taken.From);
  }
  return {Steps, size_t(Count)};
}
