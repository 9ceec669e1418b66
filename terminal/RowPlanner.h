// The row planner: the fewest bytes that bring one row of the picture up to date, found as a
// shortest path over its cells. A state is the cursor standing at a cell with some pen; the steps
// are writing the cell, skipping to the next changed cell with a cursor move, erasing a run of
// blanks, and leaving a changed cell to a pass of its own pen after the rows (a filler space
// stands in until then, so an odd colour costs no SGR back and forth). Each step costs the bytes
// it writes, a left cell what its pass will likely spend on it. Pure: cells in, steps out.
#pragma once

#include <cstdint>
#include <span>

#include "terminal/Screen.h"
#include "terminal/TerminalColors.h"
#include "terminal/TerminalLayout.h"

// --- Cells and escapes as the planner and the encoder count them
inline int FgOf(const TCharInfo& Cell) { return Cell.Attributes & 15; }
inline int BgOf(const TCharInfo& Cell) { return (Cell.Attributes >> 4) & 15; }
inline bool IsBlank(const TCharInfo& Cell) { return Cell.AsciiChar == 0 || Cell.AsciiChar == ' '; }
// A number for how a cell looks on the terminal, equal where two cells look the same: a blank
// shows only its background.
inline uint32_t LookOf(const TCharInfo& Cell) {
  return IsBlank(Cell) ? 0x10000u | uint32_t(BgOf(Cell))
                       : uint32_t(Cell.AsciiChar) << 8 | (Cell.Attributes & 255u);
}
inline bool SameOnScreen(const TCharInfo& A, const TCharInfo& B) { return LookOf(A) == LookOf(B); }
inline int Digits(int Value) { return Value < 10 ? 1 : Value < 100 ? 2 : Value < 1000 ? 3 : 4; }
// Bytes of a cursor control with a count, which is left out when it is 1 (the default).
inline int CsiLength(int Count) { return Count == 1 ? 3 : 3 + Digits(Count); }
// Whether a move right by Count columns goes as a tab each (a tab stop at every column): while
// that is shorter than the cursor control. Its bytes.
inline bool RightByTabs(int Count, bool Tabs) { return Tabs && Count < CsiLength(Count); }
inline int RightLength(int Count, bool Tabs) {
  return RightByTabs(Count, Tabs) ? Count : CsiLength(Count);
}

// The byte that shows a glyph in the VT100 line-drawing set, or 0 when the set lacks it.
inline char LineDrawingOf(uint8_t Code) {
  switch (Code) {
    case 0xb1: return 'a';  // medium shade
    case 0xd9: return 'j';
    case 0xbf: return 'k';
    case 0xda: return 'l';
    case 0xc0: return 'm';
    case 0xc5: return 'n';
    case 0xc4: return 'q';
    case 0xc3: return 't';
    case 0xb4: return 'u';
    case 0xc1: return 'v';
    case 0xc2: return 'w';
    case 0xb3: return 'x';
    default: return 0;
  }
}
// Whether a glyph shows the same with the line-drawing set chosen: the set redraws only the
// characters 0x5f to 0x7e (small letters among them); a blank, digits, capitals and glyphs beyond
// ASCII, sent as UTF-8, show as they are.
inline bool SameInLineDrawing(uint8_t Code) { return Code < 0x5f || Code > 0x7e; }

class TRowPlanner {
 public:
  static constexpr int Unknown = 16;  // a pen colour the encoder cannot vouch for
  static constexpr int MaxWidth = TTerminalLayout::ShowColumns * TTerminalLayout::MaxRepeat;

  enum TAction : uint8_t { Start, Write, Skip, Erase, EraseLine, Defer, DeferRest };
  // One step of a plan, over the cells From to To (To excluded).
  struct TStep {
    TAction Action;
    int From, To;
    int Param;  // Erase: where the erased run ends (then the cursor moves on to To)
  };

  explicit TRowPlanner(const TTerminalKind& Kind);

  // What a pass is likely to spend moving to a left cell, by its pen (background * 16 +
  // foreground), where it has no cell of its own near; the encoder sets it every frame from how
  // often each pen occurs.
  int DeferMove[256];
  // The pen whose pass a left blank joins, by its background; the encoder sets it every frame.
  uint8_t BlankPen[16];
  // The pen of the pass that writes a left cell.
  int PassOf(const TCharInfo& Cell) const {
    return IsBlank(Cell) ? BlankPen[BgOf(Cell)] : Cell.Attributes & 255;
  }

  // Plans a row of Width cells (at most MaxWidth) whose changed cells Changed marks, at least one.
  // The cursor stands at the first changed cell with the pen Fg, Bg (Unknown for either when it
  // is not known); LineEndIsEdge says that erasing to the line's end clears nothing else, and
  // BelowLast that the row lies just below the one planned last (whose cells left to the passes
  // make a pass's way down cheap). The steps, in order, stay valid until the next call.
  std::span<const TStep> Plan(const TCharInfo* Cells, const uint8_t* Changed, int Width, int Fg,
                              int Bg, bool LineEndIsEdge, bool BelowLast = false);

  const bool Tabs;  // moves right by tabs

  // Bytes of one glyph in UTF-8.
  int GlyphLength(uint8_t Code) const { return GlyphBytes[Code]; }

 private:
  struct TState {
    int Cost;
    uint16_t Pen;
    TAction Action;  // the step that led here
    uint16_t From;   // the cell it started at
    uint16_t FromIndex;
    uint16_t Param;  // Erase: the end of the erased run
  };

  // Bytes of the SGR taking Pen to one that has Bg and, unless it is -1, Fg; the new pen in Next.
  int PenCost(int Pen, int Fg, int Bg, int& Next) const;
  // Bytes of the SGR taking pen From to pen To.
  int SwitchCost(int From, int To) const;
  void Clear(int At);
  void Relax(int At, const TState& State);
  void Prune(int At);
  static bool Cheaper(const TState& A, const TState& B) { return A.Cost < B.Cost; }

  int FgLength[16], BgLength[16];  // SGR parameter lengths of each colour
  int GlyphBytes[256];
  // The states at each cell (MaxWidth: the row done), one per pen, at most Capacity; only the
  // MaxStates cheapest go on: more pens rarely pay, and each costs time on every cell.
  static constexpr int Capacity = 16, MaxStates = 2;
  TState States[MaxWidth + 1][Capacity];
  int Counts[MaxWidth + 1] = {};
  // The pass of each cell the row planned last left to one, and of this row's (-1 none), three
  // columns beyond either end to spare bounds checks.
  static constexpr int Spare = 3;
  int16_t LeftKeys[2][MaxWidth + 2 * Spare];
  int Above = 0;  // which of them holds the row planned last
  int RowEnd = 0;  // the width of the row being planned
  TStep Steps[MaxWidth + 1];
};
