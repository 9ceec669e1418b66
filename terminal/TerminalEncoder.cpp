#include "terminal/TerminalEncoder.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "terminal/Cp437.h"
#include "terminal/GlyphRepeat.h"
#include "terminal/Palette.h"
#include "terminal/PictureMotion.h"
#include "terminal/RowPlanner.h"

namespace {
constexpr int Unknown = TRowPlanner::Unknown;  // a pen colour the encoder cannot vouch for

void AppendNumber(std::string& Out, int Value) {
  char Buffer[12];
  auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
  Out.append(Buffer, Result.ptr);
}

// A cursor control with a count: the count is left out when it is 1, the default.
void AppendCsi(std::string& Out, int Count, char Final) {
  Out += "\x1b[";
  if (Count != 1) AppendNumber(Out, Count);
  Out += Final;
}

// The Linux console ignores the line-drawing set in UTF-8: it never gets it.
TTerminalKind Checked(TTerminalKind Kind) {
  Kind.LineDrawing = Kind.LineDrawing && !Kind.LinuxConsole;
  if (Kind.LinuxConsole) Kind.Repeat = TTerminalKind::TRepeat::None;
  return Kind;
}

// The longest stretch of changed blanks of one background on a row.
int LongestBlankRun(const TCharInfo* Cells, const uint8_t* Changed, int Width) {
  int Longest = 0;
  for (int Column = 0, Run = 0; Column < Width; ++Column) {
    const bool Blank = Changed[Column] && IsBlank(Cells[Column]);
    Run = !Blank ? 0 : Run > 0 && BgOf(Cells[Column]) == BgOf(Cells[Column - 1]) ? Run + 1 : 1;
    Longest = std::max(Longest, Run);
  }
  return Longest;
}
// So many changed blanks in a row may be worth an erase.
constexpr int ErasableBlanks = 6;

// What clearing costs, roughly: a row, the move to its start and an erase; the screen, its erase.
constexpr int RowClearBytes = 8, ScreenClearBytes = 4;

constexpr const char* SyncBegin = "\x1b[?2026h";
constexpr const char* SyncEnd = "\x1b[?2026l";
}  // namespace

TTerminalEncoder::TTerminalEncoder(bool TrueColor) : TTerminalEncoder(TTerminalKind{.TrueColor = TrueColor}) {}

TTerminalEncoder::TTerminalEncoder(const TTerminalKind& Kind_)
    : Terminal(Checked(Kind_)),
      Last(size_t(Columns) * Rows),
      Planner(std::make_unique<TRowPlanner>(Terminal)) {
  TableMoves();
  for (int Code = 0; Code < 256; ++Code) {
    const bool Ascii = Code >= 0x20 && Code < 0x7f;
    const bool Line = Terminal.LineDrawing && LineDrawingOf(uint8_t(Code));
    const TCharInfo Cell{uint8_t(Code), 0, 0};
    CellBytes[size_t(Code)] = uint8_t(
        1 + (IsBlank(Cell) || Ascii || Line ? 1 : int(Cp437ToUtf8(uint8_t(Code)).size())));
  }
  Deferred.reserve(size_t(TRowPlanner::MaxWidth) * TTerminalLayout::ShowRows * TTerminalLayout::MaxRepeat);
}

TTerminalEncoder::~TTerminalEncoder() = default;

void TTerminalEncoder::Resize(int TerminalColumns, int TerminalRows, TCellShape Cell) {
  TTerminalLayout Next(TerminalColumns, TerminalRows, Cell);
  if (Next.TerminalColumns() == Fit.TerminalColumns() && Next.TerminalRows() == Fit.TerminalRows() &&
      Next.Width() == Fit.Width() && Next.Height() == Fit.Height())
    return;
  Fit = std::move(Next);
  TableMoves();
  Motions.SetReach(TMotionFinder::ShowRowsReach * Fit.RepeatY(),
                   TMotionFinder::ShowColumnsReach * Fit.RepeatX());
  Last.assign(size_t(Fit.Width()) * size_t(Fit.Height()), TCharInfo{});
  Invalidate();
}

void TTerminalEncoder::Invalidate() { HaveLast = false; }

void TTerminalEncoder::UseTabs(bool Tabs) {
  if (Tabs == Terminal.Tabs) return;
  Terminal.Tabs = Tabs;
  Planner = std::make_unique<TRowPlanner>(Terminal);
  TableMoves();
  Invalidate();
}

void TTerminalEncoder::UseRepeat(TTerminalKind::TRepeat Repeat) {
  if (!Terminal.LinuxConsole) Terminal.Repeat = Repeat;
}

void TTerminalEncoder::Encode(std::span<const TCharInfo> Cells, std::string& Out) {
  Fit.Apply(Cells, Laid);
  // A glyph in its own background colour shows nothing but the background: it goes out as a
  // blank, one byte instead of up to three, and with no foreground to set.
  for (TCharInfo& Cell : Laid)
    if (FgOf(Cell) == BgOf(Cell)) Cell.AsciiChar = ' ';
  EncodePicture(Laid, Out);
}

void TTerminalEncoder::SetPen(int Fg, int Bg, std::string& Out) {
  const bool NewFg = Fg >= 0 && Fg != Foreground, NewBg = Bg != Background;
  if (!NewFg && !NewBg) return;
  Out += "\x1b[";
  if (NewFg) AppendColor(Out, Terminal, false, Fg);
  if (NewFg && NewBg) Out += ';';
  if (NewBg) AppendColor(Out, Terminal, true, Bg);
  Out += 'm';
  if (NewFg) Foreground = Fg;
  Background = Bg;
}

void TTerminalEncoder::Erase(int Bg, int Cells, std::string& Out) {
  SetPen(-1, Bg, Out);
  if (Cells > 0)
    AppendCsi(Out, Cells, 'X');
  else
    Out += "\x1b[K";
}

inline void TTerminalEncoder::PutGlyph(uint8_t Code, std::string& Out) {
  // Printable ASCII is itself, and shows the same in the line-drawing set but for small letters.
  const bool Ascii = Code >= 0x20 && Code < 0x7f;
  if (!Terminal.LineDrawing) {
    if (Ascii)
      Out += char(Code);
    else
      Out += Cp437ToUtf8(Code);
  } else if (Ascii && (Charset == 0 || (Charset == 1 && SameInLineDrawing(Code)))) {
    if (Out.size() != TextEnd) Utf8Text = false;
    Out += char(Code);
    TextEnd = Out.size();
  } else {
    PutGlyphInSets(Code, Out);
  }
}

void TTerminalEncoder::PutGlyphInSets(uint8_t Code, std::string& Out) {
  // Some terminals (libvterm) read a run of text that holds a UTF-8 glyph as UTF-8 to its end,
  // whatever the set: the run ends at the next control, such as a shift-in, which keeps the set.
  if (Out.size() != TextEnd) Utf8Text = false;
  if (const char Line = LineDrawingOf(Code)) {
    if (Charset != 1)
      Out += "\x1b(0";
    else if (Utf8Text)
      Out += '\x0f';
    Charset = 1;
    Utf8Text = false;
    Out += Line;
  } else {
    if (Charset != 0 && !(Charset == 1 && SameInLineDrawing(Code))) {
      Out += "\x1b(B";
      Charset = 0;
      Utf8Text = false;
    }
    const std::string_view Glyph = Cp437ToUtf8(Code);
    Out += Glyph;
    Utf8Text = Utf8Text || Glyph.size() > 1;
  }
  TextEnd = Out.size();
}

void TTerminalEncoder::MoveRight(int Count, std::string& Out) const {
  if (RightByTabs(Count, Terminal.Tabs))
    Out.append(size_t(Count), '\t');
  else
    AppendCsi(Out, Count, 'C');
}

inline TTerminalEncoder::TMove TTerminalEncoder::PlanMove(int FromRow, int FromColumn, int Row,
                                                          int Column) const {
  // Absolute, always possible; the column is left out when it is the first.
  TMove Move;
  Move.Bytes = AbsoluteRow[size_t(Row)] + AbsoluteColumn[size_t(Column)];
  if (FromRow < 0) return Move;
  // Relative: down (or up) from where the cursor stands. Down a few rows, a vertical tab each (a
  // line feed that keeps the column, which the pseudo-terminal passes as it is, unlike "\n");
  // up, or further down, a cursor control (up one, a reverse index); only towards a row of the
  // picture, so it never scrolls. Then across: to the column from the left edge (after a
  // carriage return, or by its number, whichever is shorter), or from where the cursor stands,
  // left by a few columns a backspace each, right as MoveRight goes.
  const int DownBy = Row - FromRow;
  Move.VerticalTabs = DownBy > 0 && DownBy < CsiLength(DownBy);
  const int Vertical = DownBy >= 0 ? DownBytes[size_t(DownBy)] : UpBytes[size_t(-DownBy)];
  if (Vertical + EdgeBytes[size_t(Column)] < Move.Bytes)
    Move.Bytes = Vertical + EdgeBytes[size_t(Column)], Move.Way = TMove::FromEdge;
  if (FromColumn < 0) return Move;
  const int RightBy = Column - FromColumn;
  Move.Backspaces = RightBy < 0 && -RightBy < CsiLength(-RightBy);
  const int Sideways = RightBy >= 0 ? RightBytes[size_t(RightBy)] : LeftBytes[size_t(-RightBy)];
  if (Vertical + Sideways < Move.Bytes) Move.Bytes = Vertical + Sideways, Move.Way = TMove::Relative;
  return Move;
}

void TTerminalEncoder::TableMoves() {
  const int Width = Fit.Width(), Height = Fit.Height();
  AbsoluteRow.resize(size_t(Height));
  DownBytes.resize(size_t(Height));
  UpBytes.resize(size_t(Height));
  for (int Row = 0; Row < Height; ++Row) {
    AbsoluteRow[size_t(Row)] = uint8_t(3 + Digits(Fit.Top() + Row + 1));
    DownBytes[size_t(Row)] = uint8_t(Row == 0 ? 0 : std::min(Row, CsiLength(Row)));
    UpBytes[size_t(Row)] = uint8_t(Row == 0 ? 0 : Row == 1 ? 2 : CsiLength(Row));
  }
  AbsoluteColumn.resize(size_t(Width));
  EdgeBytes.resize(size_t(Width));
  ByNumber.resize(size_t(Width));
  for (int Column = 0; Column < Width; ++Column) {
    const int Across = Fit.Left() + Column;
    AbsoluteColumn[size_t(Column)] = uint8_t(Across > 0 ? 1 + Digits(Across + 1) : 0);
    const int FromEdge = 1 + (Across > 0 ? RightLength(Across, Terminal.Tabs) : 0);
    ByNumber[size_t(Column)] = CsiLength(Across + 1) < FromEdge;
    EdgeBytes[size_t(Column)] = uint8_t(std::min(FromEdge, CsiLength(Across + 1)));
  }
  // Across by up to the width: the cursor may stand just right of the picture, in the margin.
  RightBytes.resize(size_t(Width) + 1);
  LeftBytes.resize(size_t(Width) + 1);
  for (int By = 0; By <= Width; ++By) {
    RightBytes[size_t(By)] = uint8_t(By == 0 ? 0 : RightLength(By, Terminal.Tabs));
    LeftBytes[size_t(By)] = uint8_t(By == 0 ? 0 : std::min(By, CsiLength(By)));
  }
}

void TTerminalEncoder::MoveTo(int Row, int Column, std::string& Out) {
  const TMove Move = PlanMove(CursorRow, CursorColumn, Row, Column);
  const int Across = Fit.Left() + Column;
  if (Move.Way == TMove::Absolute) {
    Out += "\x1b[";
    AppendNumber(Out, Fit.Top() + Row + 1);
    if (Across > 0) {
      Out += ';';
      AppendNumber(Out, Across + 1);
    }
    Out += 'H';
  } else {
    const int DownBy = std::abs(Row - CursorRow), AcrossBy = std::abs(Column - CursorColumn);
    const bool ToNumber = Move.Way == TMove::FromEdge && ByNumber[size_t(Column)];
    if (Move.Way == TMove::FromEdge && !ToNumber) Out += '\r';
    if (Move.VerticalTabs)
      Out.append(size_t(DownBy), '\v');
    else if (DownBy == 1 && Row < CursorRow)
      Out += "\x1bM";  // a reverse index, which scrolls only at the top, where no move goes up
    else if (DownBy > 0)
      AppendCsi(Out, DownBy, Row > CursorRow ? 'B' : 'A');
    if (ToNumber) {
      AppendCsi(Out, Across + 1, 'G');
    } else if (Move.Way == TMove::FromEdge) {
      if (Across > 0) MoveRight(Across, Out);
    } else if (Move.Backspaces) {
      Out.append(size_t(AcrossBy), '\b');
    } else if (Column < CursorColumn) {
      AppendCsi(Out, AcrossBy, 'D');
    } else if (AcrossBy > 0) {
      MoveRight(AcrossBy, Out);
    }
  }
  CursorRow = Row;
  CursorColumn = Column;
}

void TTerminalEncoder::EncodePicture(std::span<const TCharInfo> Picture, std::string& Out) {
  Out += SyncBegin;
  const size_t FrameBegin = Out.size();
  TextEnd = 0;
  const bool Whole = !HaveLast;
  if (Whole) {
    // A resized terminal may hold anything; erasing with a black background paints the margins.
    Out += "\x1b[0;";
    AppendColor(Out, Terminal, true, 0);
    Out += "m\x1b[2J";
    Foreground = Unknown;
    Background = 0;
    Charset = -1;
    // A tab stop at every column, so that a tab moves one column right.
    if (Terminal.Tabs) {
      Out += "\r\x1b[3g";
      for (int Column = 1; Column < Fit.TerminalColumns(); ++Column) Out += "\x1b[C\x1bH";
    }
  }
  // Whatever wrote to the terminal between frames may have moved the cursor.
  CursorRow = CursorColumn = -1;
  const bool MayDrawLines = Terminal.LineDrawing && Charset != 0;
  const int Width = Fit.Width(), Height = Fit.Height();
  const size_t Count = size_t(Width) * size_t(Height);
  const TCharInfo Erased{' ', 0, 0};  // what the cleared screen shows
  Dirty.resize(Count);
  PassOfCell.resize(Count);
  int PenCells[256 + 16] = {};  // changed glyphs by pen, then changed blanks by background
  uint8_t* const Marks = Dirty.data();
  // Marks the cells from Begin to End anew.
  auto Mark = [&](size_t Begin, size_t End) {
    for (size_t Index = Begin; Index < End; ++Index) {
      // Without branches: changes come and go at random, as in noise.
      const TCharInfo& Cell = Picture[Index];
      const bool Changed = !SameOnScreen(Cell, Whole ? Erased : Last[Index]);
      PenCells[IsBlank(Cell) ? 256 + BgOf(Cell) : Cell.Attributes & 255] += Changed - Marks[Index];
      Marks[Index] = Changed;
    }
  };
  std::fill(Marks, Marks + Count, 0);
  Mark(0, Count);
  if (!Whole) {
    int Changed = 0;
    for (const int Cells : PenCells) Changed += Cells;
    if (FollowMotion(Picture, Changed, Out)) Mark(0, Count);
    ClearUnder(Picture, Out);
    for (size_t Row = 0; Row < size_t(Height); ++Row)
      if (Clears[Row].Gain > 0) Mark(Row * size_t(Width), (Row + 1) * size_t(Width));
  }
  // A blank's foreground is any: it goes with the pen most changed glyphs on its background
  // have, so that one pass writes both.
  for (int Bg = 0; Bg < 16; ++Bg) {
    const int* Pens = PenCells + Bg * 16;
    Planner->BlankPen[Bg] = uint8_t(Bg * 16 + (std::max_element(Pens, Pens + 16) - Pens));
    PenCells[Planner->BlankPen[Bg]] += PenCells[256 + Bg];
  }
  // What a pass likely spends reaching a left cell: a short move where its pen has a cell in
  // every row or so, a longer one across rows where it is rare.
  for (int Pen = 0; Pen < 256; ++Pen) {
    const int Apart = PenCells[Pen] ? int(Count) / PenCells[Pen] : int(Count);
    Planner->DeferMove[Pen] = Apart < Width ? 3 : 5;
  }
  Deferred.clear();
  for (int Row = 0, Planned = -2; Row < Height; ++Row) {
    const size_t Begin = size_t(Row) * size_t(Width);
    const uint8_t* RowMarks = Marks + Begin;
    if (std::find(RowMarks, RowMarks + Width, 1) != RowMarks + Width &&
        EncodeRow(Row, Picture.data() + Begin, RowMarks, Planned == Row - 1, Out))
      Planned = Row;
  }
  WriteDeferred(Picture, Out);
  std::copy(Picture.begin(), Picture.end(), Last.begin());
  HaveLast = true;
  if (Terminal.Repeat != TTerminalKind::TRepeat::None)
    RepeatGlyphs(Out, FrameBegin, MayDrawLines, Terminal.Repeat == TTerminalKind::TRepeat::Ascii);
  Out += SyncEnd;
}

void TTerminalEncoder::ClearUnder(std::span<const TCharInfo> Picture, std::string& Out) {
  // A cell costs its glyph's bytes and about one for reaching it (a blank, one and one). On a row
  // cleared to a background, a changed blank of that background costs nothing, and an unchanged
  // cell that is not such a blank must be written again.
  const int Width = Fit.Width(), Height = Fit.Height();
  Clears.assign(size_t(Height), TClear{});
  int ScreenGain[16] = {}, RowsGain = 0;
  for (int Row = 0; Row < Height; ++Row) {
    const TCharInfo* const Cells = Picture.data() + size_t(Row) * size_t(Width);
    const uint8_t* const Changed = Dirty.data() + size_t(Row) * size_t(Width);
    int ChangedBlanks[16] = {}, UnchangedBlanks[16] = {}, Unchanged = 0;
    for (int Column = 0; Column < Width; ++Column) {
      const TCharInfo& Cell = Cells[Column];
      Unchanged += Changed[Column] ? 0 : CellBytes[Cell.AsciiChar];
      if (IsBlank(Cell))
        (Changed[Column] ? ChangedBlanks : UnchangedBlanks)[BgOf(Cell)] += CellBytes[Cell.AsciiChar];
    }
    // The whole row cleared to the background that saves most.
    TClear& Best = Clears[size_t(Row)];
    for (int Bg = 0; Bg < 16; ++Bg) {
      const int Gain = ChangedBlanks[Bg] - (Unchanged - UnchangedBlanks[Bg]);
      ScreenGain[Bg] += Gain;
      if (Gain - RowClearBytes > Best.Gain) Best = TClear{Gain - RowClearBytes, uint8_t(Bg)};
    }
    RowsGain += Best.Gain;
  }
  // The whole screen is cleared at once where that saves more than clearing rows; margins must
  // stay black.
  const bool Margins = Fit.MarginsBeside() || Fit.MarginsAbove();
  const int ScreenBg = Margins ? 0 : int(std::max_element(ScreenGain, ScreenGain + 16) - ScreenGain);
  if (ScreenGain[ScreenBg] - ScreenClearBytes > RowsGain) {
    SetPen(-1, ScreenBg, Out);
    Out += "\x1b[2J";
    std::fill(Last.begin(), Last.end(), TCharInfo{' ', 0, uint16_t(ScreenBg << 4)});
    for (TClear& Clear : Clears) Clear.Gain = 1;
    return;
  }
  // Erasing to the end of the line also clears the right margin, which must stay black.
  const bool LineEndIsEdge = Fit.ReachesRightEdge();
  for (int Row = 0; Row < Height; ++Row) {
    const TClear& Clear = Clears[size_t(Row)];
    if (Clear.Gain <= 0) continue;
    MoveTo(Row, 0, Out);
    Erase(Clear.Bg, LineEndIsEdge ? 0 : Width, Out);
    const auto Begin = Last.begin() + ptrdiff_t(Row) * Width;
    std::fill(Begin, Begin + Width, TCharInfo{' ', 0, uint16_t(Clear.Bg << 4)});
  }
}

bool TTerminalEncoder::FollowMotion(std::span<const TCharInfo> Picture, int Changed,
                                    std::string& Out) {
  // Only a picture that changed much may have moved.
  const int Width = Fit.Width(), Height = Fit.Height(), Count = Width * Height;
  if (Changed * 4 < Count) return false;
  // What a move uncovers takes the pen's background, as erases do; beside a picture with margins
  // that must be black, as they are.
  const bool Margins = Fit.MarginsBeside();
  const int Bg = Margins || Background == Unknown ? 0 : Background;
  const TCharInfo Exposed{' ', 0, uint16_t(Bg << 4)};
  if (!Motions.Find(Picture, Last, Width, Height, Exposed, Motion)) return false;
  // The bytes go aside first: the move is made where it keeps more cells than it costs bytes, each
  // cell kept at least a byte less to write.
  const int Fg = Foreground, WasBg = Background, Row = CursorRow, Column = CursorColumn;
  std::string& Bytes = MotionBytes;
  Bytes.clear();
  SetPen(-1, Bg, Bytes);
  if (Motion.Down != 0) {
    // Lines inserted or deleted at the picture's top move the rows below it to the scrolling
    // region's end, which must then be the picture's last row. Setting the region, and resetting
    // it, sends the cursor home.
    const bool Region = Fit.MarginsAbove();
    if (Region) {
      Bytes += "\x1b[";
      AppendNumber(Bytes, Fit.Top() + 1);
      Bytes += ';';
      AppendNumber(Bytes, Fit.Top() + Height);
      Bytes += 'r';
      CursorRow = CursorColumn = -1;
    }
    MoveTo(0, 0, Bytes);
    AppendCsi(Bytes, std::abs(Motion.Down), Motion.Down > 0 ? 'L' : 'M');
    if (Region) Bytes += "\x1b[r";
    // Terminals differ on where the cursor goes.
    CursorRow = CursorColumn = -1;
  }
  for (int Moved = 0; Moved < Height; ++Moved)
    if (Motion.RowMoves[size_t(Moved)]) {
      MoveTo(Moved, 0, Bytes);
      AppendCsi(Bytes, Motion.Left, 'P');
    }
  if (Motion.Kept - (Count - Changed) <= int(Bytes.size())) {
    Foreground = Fg, Background = WasBg, CursorRow = Row, CursorColumn = Column;
    return false;
  }
  Out += Bytes;
  TMotionFinder::Apply(Motion, Last, Width, Height, Exposed, MovedLast);
  Last.swap(MovedLast);
  return true;
}

bool TTerminalEncoder::EncodeRow(int Row, const TCharInfo* Cells, const uint8_t* Changed,
                                 bool BelowLast, std::string& Out) {
  const int Width = Fit.Width();
  // A row goes to the passes whole, which order each pen's cells over the screen, unless it has
  // blanks enough in a row to erase: then the row is planned.
  if (LongestBlankRun(Cells, Changed, Width) < ErasableBlanks) {
    DeferRow(Row, Cells, Changed);
    return false;
  }
  // Erasing to the end of the line also clears the right margin, which must stay black.
  const bool LineEndIsEdge = Fit.ReachesRightEdge();
  const auto Steps =
      Planner->Plan(Cells, Changed, Width, Foreground, Background, LineEndIsEdge, BelowLast);
  // The cursor goes where the plan stands only when something is written there: a row, or its
  // end, whose changed cells are all left to the passes costs no move.
  int Target = int(std::find(Changed, Changed + Width, 1) - Changed);
  auto Arrive = [&] {
    if (Target >= 0) MoveTo(Row, Target, Out);
    Target = -1;
  };
  for (const TRowPlanner::TStep& Step : Steps) {
    const TCharInfo& Cell = Cells[Step.From];
    switch (Step.Action) {
      case TRowPlanner::Write:
        Arrive();
        SetPen(IsBlank(Cell) ? -1 : FgOf(Cell), BgOf(Cell), Out);
        PutGlyph(Cell.AsciiChar, Out);
        CursorColumn = ColumnAfterWriting(Step.To);
        break;
      case TRowPlanner::Defer:
        Arrive();
        PutGlyph(' ', Out);
        CursorColumn = ColumnAfterWriting(Step.To);
        Defer(Row, Step.From, Cell);
        break;
      case TRowPlanner::DeferRest:
        for (int Column = Step.From; Column < Width; ++Column)
          if (Changed[Column]) Defer(Row, Column, Cells[Column]);
        break;
      case TRowPlanner::Skip:
        if (Step.To < Width) Target = Step.To;
        break;
      case TRowPlanner::Erase:
        Arrive();
        Erase(BgOf(Cell), Step.Param - Step.From, Out);
        if (Step.To < Width) Target = Step.To;
        break;
      case TRowPlanner::EraseLine:
        Arrive();
        Erase(BgOf(Cell), 0, Out);
        break;
      case TRowPlanner::Start:
        break;
    }
  }
  return true;
}

void TTerminalEncoder::DeferRow(int Row, const TCharInfo* Cells, const uint8_t* Changed) {
  // A changed blank goes with the pass of a changed glyph beside it on its background (through
  // other such blanks), so that the pass writes them in one stretch.
  const int Width = Fit.Width();
  auto GlyphPen = [&](int Column) { return Cells[Column].Attributes & 255; };
  int Left = -1;  // the pen of the glyph to the left, through blanks
  for (int Column = 0; Column < Width; ++Column) {
    const TCharInfo& Cell = Cells[Column];
    if (!Changed[Column]) {
      Left = -1;
    } else if (!IsBlank(Cell)) {
      Left = GlyphPen(Column);
      Defer(Row, Column, Cell);
    } else {
      if (Left >= 0 && Left >> 4 != BgOf(Cell)) Left = -1;
      int Pass = Left;
      for (int Right = Column + 1; Pass < 0 && Right < Width && Changed[Right] &&
                                   BgOf(Cells[Right]) == BgOf(Cell);
           ++Right)
        if (!IsBlank(Cells[Right])) Pass = GlyphPen(Right);
      Defer(Row, Column, Cell, Pass);
    }
  }
}

void TTerminalEncoder::Defer(int Row, int Column, const TCharInfo& Cell, int Pass) {
  const size_t Index = size_t(Row) * size_t(Fit.Width()) + size_t(Column);
  Dirty[Index] = 2;
  if (Pass < 0) Pass = Planner->PassOf(Cell);
  PassOfCell[Index] = uint8_t(Pass);
  Deferred.push_back(
      TDeferred{TCharInfo{Cell.AsciiChar, 0, uint16_t(Pass)}, uint16_t(Column), uint16_t(Row)});
}

void TTerminalEncoder::OrderPass(size_t Begin, size_t End) {
  // Stretches: cells of the pass on one row, each at most two columns from the one before, which
  // the pass writes in one go; then an order of them that moves the cursor little (PassTour.h).
  // Cells further apart (two bytes or more to cross between them) are left to the order, which
  // may reach the later one for less from elsewhere (from the row above, for one).
  constexpr int Near = 2;
  Stretches.clear();
  for (size_t Index = Begin; Index < End; ++Index) {
    const TDeferred& Cell = ByPen[Index];
    if (!Stretches.empty() && Stretches.back().Row == Cell.Row &&
        Cell.Column - Stretches.back().Last <= Near) {
      Stretches.back().End = uint32_t(Index + 1);
      Stretches.back().Last = Cell.Column;
    } else {
      Stretches.push_back(
          TStretch{uint32_t(Index), uint32_t(Index + 1), Cell.Row, Cell.Column, Cell.Column});
    }
  }
  if (Stretches.size() < 2) return;
  Stops.clear();
  for (const TStretch& Stretch : Stretches)
    Stops.push_back(TTourStop{Stretch.Row, Stretch.First, ColumnAfterWriting(Stretch.Last + 1)});
  auto Cost = [this](int FromRow, int FromColumn, int ToRow, int ToColumn) {
    return PlanMove(FromRow, FromColumn, ToRow, ToColumn).Bytes;
  };
  Improver.Build(Stops, Tour, CursorRow, CursorColumn, Cost);
  Improver.Improve(Stops, Tour, CursorRow, CursorColumn, Cost);
  Ordered.clear();
  for (uint32_t Index : Tour) {
    const TStretch& Stretch = Stretches[Index];
    Ordered.insert(Ordered.end(), ByPen.begin() + Stretch.Begin, ByPen.begin() + Stretch.End);
  }
  std::copy(Ordered.begin(), Ordered.end(), ByPen.begin() + ptrdiff_t(Begin));
}

void TTerminalEncoder::WriteDeferred(std::span<const TCharInfo> Picture, std::string& Out) {
  // By pen, each pass in the order OrderPass gives; pens sharing a background follow each other,
  // so that switching sends only a foreground.
  int Start[257] = {};
  for (const auto& Left : Deferred) ++Start[Left.Pen() + 1];
  for (int Pen = 0; Pen < 256; ++Pen) Start[Pen + 1] += Start[Pen];
  ByPen.resize(Deferred.size());
  for (const auto& Left : Deferred) ByPen[size_t(Start[Left.Pen()]++)] = Left;
  const int Width = Fit.Width();
  size_t PassEnd = 0;
  for (size_t Index = 0; Index < ByPen.size(); ++Index) {
    if (Index == PassEnd) {
      // A new pass: its cells in an order that moves the cursor little, from where it stands.
      PassEnd = Index;
      while (PassEnd < ByPen.size() && ByPen[PassEnd].Pen() == ByPen[Index].Pen()) ++PassEnd;
      OrderPass(Index, PassEnd);
    }
    const TDeferred& Left = ByPen[Index];
    const TCharInfo& Cell = Left.Cell;
    const size_t Row = size_t(Left.Row) * size_t(Width);
    if (Dirty[Row + Left.Column] != 2) continue;  // written on the way by an earlier pass
    Dirty[Row + Left.Column] = 0;
    // Most often the cursor stands there already, after the cell before.
    if (CursorRow != Left.Row || CursorColumn != Left.Column) Reach(Left, Picture, Out);
    SetPen(IsBlank(Cell) ? -1 : FgOf(Cell), BgOf(Cell), Out);
    PutGlyph(Cell.AsciiChar, Out);
    CursorColumn = ColumnAfterWriting(Left.Column + 1);
  }
}

void TTerminalEncoder::Reach(const TDeferred& Left, std::span<const TCharInfo> Picture,
                             std::string& Out) {
  const TCharInfo& Cell = Left.Cell;
  const size_t Row = size_t(Left.Row) * size_t(Fit.Width());
  // Whether this pen shows a cell as it is.
  auto Shows = [&](const TCharInfo& Other) {
    return IsBlank(Other) ? BgOf(Other) == BgOf(Cell) : (Other.Attributes & 255) == Left.Pen();
  };
  // A cell left to a pass still to come: a filler stands there until then.
  auto Later = [&](int Column) {
    return Dirty[Row + size_t(Column)] == 2 && PassOfCell[Row + size_t(Column)] > Left.Pen();
  };
  // Between two cells of this pen on a row, rewriting what lies there may beat a move: cells
  // that this pen shows as they are, and fillers for cells of later passes.
  int Gap = CursorRow == Left.Row && CursorColumn >= 0 && CursorColumn < Left.Column &&
                    FgOf(Cell) == Foreground && BgOf(Cell) == Background
                ? 0
                : INT_MAX;
  const int Move = RightLength(Left.Column - CursorColumn, Terminal.Tabs);
  for (int Column = CursorColumn; Gap <= Move && Column < Left.Column; ++Column) {
    const TCharInfo& Between = Picture[Row + size_t(Column)];
    if (Shows(Between))
      Gap += Planner->GlyphLength(Between.AsciiChar);
    else if (Later(Column))
      Gap += 1;
    else
      Gap = INT_MAX;
  }
  if (Gap <= Move) {
    // A cell of a later pass that this pen shows is written now, once and for all.
    for (int Column = CursorColumn; Column < Left.Column; ++Column) {
      const TCharInfo& Between = Picture[Row + size_t(Column)];
      if (Shows(Between)) {
        PutGlyph(Between.AsciiChar, Out);
        if (Dirty[Row + size_t(Column)] == 2) Dirty[Row + size_t(Column)] = 0;
      } else {
        PutGlyph(' ', Out);
      }
    }
  } else {
    MoveTo(Left.Row, Left.Column, Out);
  }
}

int TTerminalEncoder::ColumnAfterWriting(int Next) const {
  // With autowrap off the cursor stays on the terminal's last column, which not every terminal
  // agrees on: count it as unknown there.
  return Fit.Left() + Next < Fit.TerminalColumns() ? Next : -1;
}

std::string TTerminalEncoder::TitleSequence(const std::string& Title) {
  std::string Clean;
  for (char C : Title)
    if (static_cast<unsigned char>(C) >= 0x20 && C != 0x7f) Clean += C;
  return "\x1b]2;" + Clean + "\x07";
}

std::string TTerminalEncoder::OpenSequence(const std::string& Title, bool FullScreen,
                                           const TTerminalKind& Kind) {
  std::string Out = "\x1b[22;0t";  // keep the old title to give it back
  Out += TitleSequence(Title);
  // Line feeds (and vertical tabs) keep the column: the encoder moves down by them.
  Out += "\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[20l";
  Out += "\x1b[9;1t";
  if (FullScreen) Out += "\x1b[10;1t";
  if (Kind.LinuxConsole) {
    // The console's 16 colours become the show's own (its default is the VGA palette).
    static constexpr char Hex[] = "0123456789abcdef";
    for (int Ansi = 0; Ansi < 16; ++Ansi) {
      Out += "\x1b]P";
      Out += Hex[Ansi];
      const TPaletteColor& Rgb = ConsolePalette[AnsiIndex(Ansi)];
      for (int Level : {Rgb.R, Rgb.G, Rgb.B}) {
        Out += Hex[Level >> 4];
        Out += Hex[Level & 15];
      }
    }
  }
  Out += "\x1b[0m\x1b[2J";
  return Out;
}

std::string TTerminalEncoder::CloseSequence(const TTerminalKind& Kind) {
  // A frame cut short may leave a scrolling region set (a moving picture sets one for a moment).
  std::string Out = "\x1b[?2026l\x1b[0m\x1b[r";
  if (Kind.LineDrawing) Out += "\x1b(B";
  // Tab stops go back to every eighth column, where terminals start them (up to 512 columns;
  // further on, the last column holds one, which moves a tab no differently).
  if (Kind.Tabs) {
    Out += "\r\x1b[3g";
    for (int Stop = 8; Stop < 512; Stop += 8) Out += "\x1b[8C\x1bH";
  }
  // The cursor is shown after the screen switch, which may restore it hidden. The Linux console
  // has no alternate screen: its palette goes back and the show's last frame is cleared away.
  if (Kind.LinuxConsole) Out += "\x1b]R\x1b[H\x1b[2J";
  return Out + "\x1b[?1049l\x1b[?7h\x1b[?25h\x1b[23;0t";
}
