// Turns frames of cells into the bytes a VT terminal needs, writing only what changed. The
// 80 x 50 frame is first laid out on the terminal (TTerminalLayout). A row with a long run of
// changed blanks is encoded as TRowPlanner plans it (the cheapest mix of writing cells, skipping
// unchanged ones with a cursor move, erasing runs of blanks and leaving odd colours to later);
// every other changed cell is left for later. Then the cells left for later are written, one pass
// per colour, each in an order that moves the cursor little (TPassTour).
#pragma once

#include <cstdint>
#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "terminal/PassTour.h"
#include "terminal/PictureMotion.h"
#include "terminal/Screen.h"
#include "terminal/TerminalColors.h"
#include "terminal/TerminalLayout.h"

class TRowPlanner;

class TTerminalEncoder {
 public:
  static constexpr int Columns = ShowColumns;
  static constexpr int Rows = ShowRows;

  explicit TTerminalEncoder(bool TrueColor);
  explicit TTerminalEncoder(const TTerminalKind& Kind);
  ~TTerminalEncoder();

  // The terminal's size and cell shape, which set the layout. A change of layout forces a full
  // redraw.
  void Resize(int TerminalColumns, int TerminalRows, TCellShape Cell);
  const TTerminalLayout& Layout() const { return Fit; }
  const TTerminalKind& Kind() const { return Terminal; }
  void Invalidate();  // the next frame is written whole
  // Whether tabs reach the terminal as they are; a change writes the next frame whole.
  void UseTabs(bool Tabs);
  // Which glyphs the terminal repeats (REP); from the next frame on. Never the Linux console.
  void UseRepeat(TTerminalKind::TRepeat Repeat);

  // Appends to Out the bytes that turn the last encoded frame into Cells (80 x 50) as laid out,
  // wrapped in synchronized-output brackets. A whole frame paints the margins black. A blank
  // (code 0 or space) shows only its background, so its foreground may come out as any colour;
  // so does a glyph in its background colour, which goes out as a blank.
  void Encode(std::span<const TCharInfo> Cells, std::string& Out);

  // Bytes that set the terminal up for the show, and give it back afterwards.
  static std::string OpenSequence(const std::string& Title, bool FullScreen,
                                  const TTerminalKind& Kind = {});
  static std::string CloseSequence(const TTerminalKind& Kind = {});
  static std::string TitleSequence(const std::string& Title);

 private:
  // Writes the laid-out picture (Layout's Width x Height cells) against Last.
  void EncodePicture(std::span<const TCharInfo> Picture, std::string& Out);
  // Where the picture moved on the screen since the last frame (Changed cells differ), moves
  // what the terminal shows along, when that keeps more cells than it costs bytes, and Last with
  // it. Whether it did.
  bool FollowMotion(std::span<const TCharInfo> Picture, int Changed, std::string& Out);
  // Clears, ahead of writing, the rows (or the whole screen) where writing every cell but the
  // blanks of one background on a cleared row costs fewer bytes than writing the changed cells,
  // and Last with them; Clears tells which rows it cleared (a gain above 0).
  void ClearUnder(std::span<const TCharInfo> Picture, std::string& Out);
  std::array<uint8_t, 256> CellBytes{};  // per glyph: what writing a cell costs, roughly
  struct TClear {
    int Gain = 0;  // bytes saved, less the clearing's own
    uint8_t Bg = 0;
  };
  std::vector<TClear> Clears;  // scratch: per row, the background to clear it to
  // Writes one row of the picture, or leaves its cells to the passes; Changed marks the cells
  // that must be written, and BelowLast says that the row above was the last one planned.
  // Whether it planned the row.
  bool EncodeRow(int Row, const TCharInfo* Cells, const uint8_t* Changed, bool BelowLast,
                 std::string& Out);
  // Leaves a changed cell of the picture to a pass: Pass, or when -1 that of its pen (for a
  // blank, the pen most changed glyphs on its background have).
  void Defer(int Row, int Column, const TCharInfo& Cell, int Pass = -1);
  // Leaves every changed cell of a row to the passes.
  void DeferRow(int Row, const TCharInfo* Cells, const uint8_t* Changed);
  // Writes the cells the rows left for later, one pass per pen.
  void WriteDeferred(std::span<const TCharInfo> Picture, std::string& Out);
  // Moves the cursor Count columns right, the shortest way.
  void MoveRight(int Count, std::string& Out) const;
  // The shortest way from picture cell (FromRow, FromColumn), either -1 when not known, to cell
  // (Row, Column).
  struct TMove {
    enum { Absolute, FromEdge, Relative } Way = Absolute;
    int Bytes;
    bool VerticalTabs = false, Backspaces = false;
  };
  TMove PlanMove(int FromRow, int FromColumn, int Row, int Column) const;
  // Fills the tables of what moves cost, for the layout.
  void TableMoves();
  std::vector<uint8_t> AbsoluteRow, AbsoluteColumn, EdgeBytes, DownBytes, UpBytes, RightBytes,
      LeftBytes;
  std::vector<bool> ByNumber;  // per column: reached from the left edge by its number
  // Moves the cursor to picture cell (Row, Column) the shortest way.
  void MoveTo(int Row, int Column, std::string& Out);
  // Where the cursor stands once a cell has been written and Next is the column after it.
  int ColumnAfterWriting(int Next) const;
  // Sets the pen for a cell: Fg -1 when the foreground does not matter.
  void SetPen(int Fg, int Bg, std::string& Out);
  // Erases Cells cells from the cursor on, or to the end of the line when 0, in background Bg.
  void Erase(int Bg, int Cells, std::string& Out);
  // Writes a glyph, in the line-drawing set where it has it and the terminal draws it.
  void PutGlyph(uint8_t Code, std::string& Out);
  void PutGlyphInSets(uint8_t Code, std::string& Out);

  TTerminalKind Terminal;
  TTerminalLayout Fit;
  std::vector<TCharInfo> Laid;  // the picture as laid out and as it will show, reused every frame
  bool HaveLast = false;
  int Foreground = 16;  // colours of the terminal's pen now, 16 when unknown
  int Background = 16;
  int Charset = -1;  // the terminal's: 0 ASCII, 1 line drawing, -1 not known
  size_t TextEnd = 0;     // where the output stood after the last glyph of this frame
  bool Utf8Text = false;  // the text that ends there holds a UTF-8 glyph
  int CursorRow = -1;     // where the cursor stands, in picture cells; -1 when unknown
  int CursorColumn = -1;
  std::vector<TCharInfo> Last;  // the picture last written, as laid out
  std::vector<uint8_t> PassOfCell;  // per cell left to a pass: its pen
  std::vector<uint8_t> Dirty;  // per cell: 1 must be written this frame, 2 left to its pen's pass
  std::unique_ptr<TRowPlanner> Planner;  // large scratch, reused every frame
  TMotionFinder Motions;
  TMotion Motion;
  std::vector<TCharInfo> MovedLast;  // scratch: Last as moved
  std::string MotionBytes;           // scratch: the bytes of a move, before it is made
  // A changed cell left to the pass of its pen.
  struct TDeferred {
    TCharInfo Cell;
    uint16_t Column;
    uint16_t Row;
    int Pen() const { return Cell.Attributes & 255; }  // background * 16 + foreground
  };
  // Brings the cursor to a left cell on the way of its pass: by rewriting what lies between on its
  // row where that is shorter, else by a move.
  void Reach(const TDeferred& Left, std::span<const TCharInfo> Picture, std::string& Out);
  std::vector<TDeferred> Deferred;  // in the order left
  std::vector<TDeferred> ByPen;     // sorted by pen
  // Puts the cells ByPen[Begin, End) of one pass in the order that it writes them.
  void OrderPass(size_t Begin, size_t End);
  struct TStretch {
    uint32_t Begin, End;  // in ByPen
    uint16_t Row, First, Last;
  };
  std::vector<TStretch> Stretches;     // of the pass being ordered, in the order of the screen
  std::vector<TDeferred> Ordered;      // scratch for the pass being ordered
  std::vector<uint32_t> Tour;          // its stretches in order
  std::vector<TTourStop> Stops;
  TPassTour Improver;
};
