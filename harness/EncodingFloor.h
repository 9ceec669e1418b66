// A floor under the bytes that any exact encoding of a frame must send: no encoding that takes
// a terminal from one screen to the next, cell for cell, can send fewer. It measures encoders
// against what no encoder can beat, not only against the glyphs of the changed cells.
//
// The model. Cells change only by being written (a glyph, in UTF-8, in the pen of the moment)
// or erased (ECH, EL, ED, in the background of the pen of the moment); no control moves what the
// screen shows (scrolling at the margins, inserting or deleting, repeating the last glyph,
// copying a rectangle), nor fills or erases a rectangle or only unprotected cells, the tab stops
// are the standard ones (every 8 columns), the margins are the screen's edges, the terminal
// keeps to its ANSI mode (no VT52 mode) and glyphs are not drawn from another character set.
// What the terminal can do beyond that counts at its least:
// - every glyph of a changed cell that does not look blank, at its UTF-8 length;
// - a *run* is a stretch of such cells on one row in one pen, or of changed cells that look
//   blank on one row in one background (written in any foreground). A run of blanks is written
//   (a byte a cell) or erased: an erase costs three bytes or more, and one byte or a glyph's
//   bytes for each unchanged cell it spoils (which must be written again), shared out among the
//   runs of blanks of its colour it clears; a run left to erases costs its least share and stays
//   out of the order below (erasing it, or part of it, on the way costs no less: the way to it
//   and on from it is a way past it). Between the end of one run and the start of the next
//   written, the cursor must get from one to the other: at least the fewest
//   bytes of controls that take it there (CursorMoves.h: nothing where writing goes on there,
//   one byte for writing any cell, a backspace, a tab, a line feed, also to the first column in
//   new line mode, or a carriage return, two for ESC D, ESC E, ESC M, ESC F, three or more for a
//   CSI), but never more than three: a restore of the saved cursor (ESC 8, two bytes) lands
//   only where a save (ESC 7, two more) left it, and brings back a pen as it brings back a place.
//   A change of pen costs three too: an SGR is three bytes or more. A restore that lands right on
//   a run's start is priced at three here; its save, two bytes sent elsewhere, more than makes up
//   for the one byte that price may overstate, and the floor gives back that byte once, for a
//   save made in an earlier frame. The 8-bit forms of these controls are no shorter in UTF-8.
// - Any encoding writes the runs in some order; each gap between runs costs at least the price
//   above. Every order pairs each run's end with the start of the next, the frame's start with
//   the first run and the last run's end with the frame's end (both free): an assignment. The
//   least sum over every assignment is a floor under every order. An order that writes a run in
//   pieces is no cheaper: pairing each piece with the piece that follows it on the row costs
//   nothing, and what came before and after them may be paired instead for no more than the two
//   gaps they had, since the way through the piece's end is one of the ways between them (the
//   prices of moves and of changes of pen are each the least over every way, so no way is
//   cheaper than its parts).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "harness/CursorMoves.h"
#include "terminal/Screen.h"

// Whether a cell shows only its background: a blank, or a glyph in its background colour.
bool LooksBlank(const TCharInfo& Cell);
// Whether two cells look the same.
bool LookSame(const TCharInfo& A, const TCharInfo& B);

struct TEncodingFloor {
  long Glyphs = 0;  // the UTF-8 bytes of the glyphs of changed cells that do not look blank
  long Joins = 0;   // the least the gaps between runs and the changed blanks cost
  long Runs = 0;    // runs of glyphs
  long Bytes() const { return Glyphs + Joins; }
};

// AnyControl: the model above. NoRestore: an encoding that never restores a saved cursor (ESC 8,
// CSI u), as the show's does not. Then a gap costs the fewest bytes of controls that take the
// cursor across it (CursorMoves.h; six for any move of six or more, which keeps the pairs to
// weigh few), and a change of pen the fewest bytes of SGR on top: four where one colour changes
// or the two swap (one parameter of one digit, as bold or reverse video, changes no more), six
// where both change (one parameter of two digits sets one colour, and CSI m, three, sets the
// terminal's own default colours, none of the palette's). To or from a run of blanks, whose
// foreground may be any, four where the background changes.
enum class TFloorModel { AnyControl, NoRestore };

// The floors for one size of screen; it keeps the cursor's moves it has worked out.
class TFloorFinder {
 public:
  TFloorFinder(int Columns, int Rows) : Moves(Columns, Rows) {}
  // The floor for taking the screen from Before to After.
  TEncodingFloor Floor(const std::vector<TCharInfo>& Before, const std::vector<TCharInfo>& After,
                       TFloorModel Model = TFloorModel::AnyControl);

 private:
  TCursorMoves Moves;
};

// The least cost of pairing Count ends with Count starts, each with one (an end may take the start
// of its own run). Ends and starts fall in groups (-1: in none); an end of group G and a start of
// group H pair at Far[G * Groups + H], and the end's Leave on top, unless Cheaper lists them, as
// {end, start, cost}; an end and a start in no group pair only as Cheaper lists.
struct TPairCost {
  int End, Start, Cost;
};
struct TPairing {
  int Count = 0;
  std::vector<int> EndGroups, StartGroups, Leave;
  int Groups = 0;
  std::vector<int> Far;
  std::vector<TPairCost> Cheaper;
};
long LeastAssignment(const TPairing& Pairing);
// With every end and start in one group, at Default.
long LeastAssignment(int Count, int Default, const std::vector<TPairCost>& Cheaper);
