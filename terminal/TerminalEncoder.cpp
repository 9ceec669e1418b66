#include "terminal/TerminalEncoder.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "terminal/Cp437.h"
#include "terminal/Palette.h"
#include "terminal/RowPlanner.h"

namespace {
constexpr int Unknown = TRowPlanner::Unknown;  // a pen colour the encoder cannot vouch for

// Whether two cells look the same on the terminal: a blank shows only its background.
bool LookSame(const TCharInfo& A, const TCharInfo& B) {
  if (BgOf(A) != BgOf(B)) return false;
  if (IsBlank(A)) return IsBlank(B);
  return A.AsciiChar == B.AsciiChar && FgOf(A) == FgOf(B);
}

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

constexpr const char* SyncBegin = "\x1b[?2026h";
constexpr const char* SyncEnd = "\x1b[?2026l";
}  // namespace

TTerminalEncoder::TTerminalEncoder(bool TrueColor) : TTerminalEncoder(TTerminalKind{.TrueColor = TrueColor}) {}

TTerminalEncoder::TTerminalEncoder(const TTerminalKind& Kind_)
    : Terminal(Kind_),
      Last(size_t(Columns) * Rows),
      Planner(std::make_unique<TRowPlanner>(Terminal)) {
  Deferred.reserve(size_t(TRowPlanner::MaxWidth) * TTerminalLayout::ShowRows * TTerminalLayout::MaxRepeat);
}

TTerminalEncoder::~TTerminalEncoder() = default;

void TTerminalEncoder::Resize(int TerminalColumns, int TerminalRows, TCellShape Cell) {
  TTerminalLayout Next(TerminalColumns, TerminalRows, Cell);
  if (Next.TerminalColumns() == Fit.TerminalColumns() && Next.TerminalRows() == Fit.TerminalRows() &&
      Next.Width() == Fit.Width() && Next.Height() == Fit.Height())
    return;
  Fit = std::move(Next);
  Last.assign(size_t(Fit.Width()) * size_t(Fit.Height()), TCharInfo{});
  Invalidate();
}

void TTerminalEncoder::Invalidate() { HaveLast = false; }

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

void TTerminalEncoder::MoveTo(int Row, int Column, std::string& Out) {
  const int Across = Fit.Left() + Column;  // the terminal's column, from 0
  // Absolute, always possible; the column is left out when it is the first.
  enum { Absolute, FromEdge, Relative } Way = Absolute;
  int Best = 3 + Digits(Fit.Top() + Row + 1) + (Across > 0 ? 1 + Digits(Across + 1) : 0);
  const int DownBy = std::abs(Row - CursorRow), AcrossBy = std::abs(Column - CursorColumn);
  // Down a few rows, a vertical tab each (a line feed that keeps the column, which the
  // pseudo-terminal passes as it is, unlike "\n"); up, or further down, a cursor control. Only
  // towards a row of the picture, so it never scrolls.
  const bool Tabs = Row > CursorRow && DownBy < CsiLength(DownBy);
  const int Down = DownBy == 0 ? 0 : Tabs ? DownBy : CsiLength(DownBy);
  // Left by a few columns, a backspace each.
  const bool Backspaces = Column < CursorColumn && AcrossBy < CsiLength(AcrossBy);
  const int Sideways = AcrossBy == 0 ? 0 : Backspaces ? AcrossBy : CsiLength(AcrossBy);
  if (CursorRow >= 0) {
    // Relative: down (or up) from where the cursor stands, across from there or from the left
    // edge after a carriage return.
    const int Edge = 1 + Down + (Across > 0 ? CsiLength(Across) : 0);
    if (Edge < Best) Best = Edge, Way = FromEdge;
    if (CursorColumn >= 0 && Down + Sideways < Best) Way = Relative;
  }
  if (Way == Absolute) {
    Out += "\x1b[";
    AppendNumber(Out, Fit.Top() + Row + 1);
    if (Across > 0) {
      Out += ';';
      AppendNumber(Out, Across + 1);
    }
    Out += 'H';
  } else {
    if (Way == FromEdge) Out += '\r';
    if (Tabs)
      Out.append(size_t(DownBy), '\v');
    else if (DownBy > 0)
      AppendCsi(Out, DownBy, Row > CursorRow ? 'B' : 'A');
    if (Way == FromEdge && Across > 0) AppendCsi(Out, Across, 'C');
    if (Way == Relative && Backspaces)
      Out.append(size_t(AcrossBy), '\b');
    else if (Way == Relative && AcrossBy > 0)
      AppendCsi(Out, AcrossBy, Column > CursorColumn ? 'C' : 'D');
  }
  CursorRow = Row;
  CursorColumn = Column;
}

void TTerminalEncoder::EncodePicture(std::span<const TCharInfo> Picture, std::string& Out) {
  Out += SyncBegin;
  const bool Whole = !HaveLast;
  if (Whole) {
    // A resized terminal may hold anything; erasing with a black background paints the margins.
    Out += "\x1b[0;";
    AppendColor(Out, Terminal, true, 0);
    Out += "m\x1b[2J";
    Foreground = Unknown;
    Background = 0;
  }
  // Whatever wrote to the terminal between frames may have moved the cursor.
  CursorRow = CursorColumn = -1;
  const int Width = Fit.Width(), Height = Fit.Height();
  const size_t Count = size_t(Width) * size_t(Height);
  const TCharInfo Erased{' ', 0, 0};  // what the cleared screen shows
  Dirty.resize(Count);
  int PenCells[256 + 16] = {};  // changed glyphs by pen, then changed blanks by background
  for (size_t Index = 0; Index < Count; ++Index) {
    const TCharInfo& Cell = Picture[Index];
    Dirty[Index] = !LookSame(Cell, Whole ? Erased : Last[Index]);
    if (Dirty[Index]) ++PenCells[IsBlank(Cell) ? 256 + BgOf(Cell) : Cell.Attributes & 255];
  }
  // A blank's foreground is any: it goes with the pen most changed glyphs on its background
  // have, so that one pass writes both.
  for (int Bg = 0; Bg < 16; ++Bg) {
    const int* Pens = PenCells + Bg * 16;
    Planner->BlankPen[Bg] = uint8_t(Bg * 16 + (std::max_element(Pens, Pens + 16) - Pens));
    PenCells[Planner->BlankPen[Bg]] += PenCells[256 + Bg];
  }
  // A pen whose cells lie close together is cheap to visit cell by cell; a rare one takes a move
  // across rows for each.
  for (int Pen = 0; Pen < 256; ++Pen) {
    const int Apart = PenCells[Pen] ? int(Count) / PenCells[Pen] : int(Count);
    Planner->DeferMove[Pen] = Apart < 10 ? 3 : Apart < Width ? 4 : 6;
  }
  Deferred.clear();
  for (int Row = 0; Row < Height; ++Row) {
    const size_t Begin = size_t(Row) * size_t(Width);
    const uint8_t* Marks = Dirty.data() + Begin;
    if (std::find(Marks, Marks + Width, 1) != Marks + Width)
      EncodeRow(Row, Picture.data() + Begin, Marks, Out);
  }
  WriteDeferred(Picture, Out);
  std::copy(Picture.begin(), Picture.end(), Last.begin());
  HaveLast = true;
  Out += SyncEnd;
}

void TTerminalEncoder::EncodeRow(int Row, const TCharInfo* Cells, const uint8_t* Changed,
                                 std::string& Out) {
  const int Width = Fit.Width();
  // Erasing to the end of the line also clears the right margin, which must stay black.
  const bool LineEndIsEdge = Fit.Left() + Width == Fit.TerminalColumns();
  const auto Steps = Planner->Plan(Cells, Changed, Width, Foreground, Background, LineEndIsEdge);
  MoveTo(Row, int(std::find(Changed, Changed + Width, 1) - Changed), Out);
  for (const TRowPlanner::TStep& Step : Steps) {
    const TCharInfo& Cell = Cells[Step.From];
    switch (Step.Action) {
      case TRowPlanner::Write:
        SetPen(IsBlank(Cell) ? -1 : FgOf(Cell), BgOf(Cell), Out);
        Out += Cp437ToUtf8(Cell.AsciiChar);
        CursorColumn = ColumnAfterWriting(Step.To);
        break;
      case TRowPlanner::Defer:
        Out += ' ';
        CursorColumn = ColumnAfterWriting(Step.To);
        Defer(Row, Step.From, Cell);
        break;
      case TRowPlanner::DeferRest:
        for (int Column = Step.From; Column < Width; ++Column)
          if (Changed[Column]) Defer(Row, Column, Cells[Column]);
        break;
      case TRowPlanner::Skip:
        if (Step.To < Width) MoveTo(Row, Step.To, Out);
        break;
      case TRowPlanner::Erase:
        SetPen(-1, BgOf(Cell), Out);
        AppendCsi(Out, Step.Param - Step.From, 'X');
        if (Step.To < Width) MoveTo(Row, Step.To, Out);
        break;
      case TRowPlanner::EraseLine:
        SetPen(-1, BgOf(Cell), Out);
        Out += "\x1b[K";
        break;
      case TRowPlanner::Start:
        break;
    }
  }
}

void TTerminalEncoder::Defer(int Row, int Column, const TCharInfo& Cell) {
  Dirty[size_t(Row) * size_t(Fit.Width()) + size_t(Column)] = 2;
  Deferred.push_back(TDeferred{TCharInfo{Cell.AsciiChar, 0, uint16_t(Planner->PassOf(Cell))},
                               uint16_t(Column), uint16_t(Row)});
}

void TTerminalEncoder::WriteDeferred(std::span<const TCharInfo> Picture, std::string& Out) {
  // By pen, each in the order of the screen; pens sharing a background follow each other, so
  // that switching sends only a foreground.
  int Start[257] = {};
  for (const auto& Left : Deferred) ++Start[Left.Pen() + 1];
  for (int Pen = 0; Pen < 256; ++Pen) Start[Pen + 1] += Start[Pen];
  ByPen.resize(Deferred.size());
  for (const auto& Left : Deferred) ByPen[size_t(Start[Left.Pen()]++)] = Left;
  const int Width = Fit.Width();
  for (const auto& Left : ByPen) {
    const TCharInfo& Cell = Left.Cell;
    const size_t Row = size_t(Left.Row) * size_t(Width);
    if (Dirty[Row + Left.Column] != 2) continue;  // written on the way by an earlier pass
    // Whether this pen shows a cell as it is.
    auto Shows = [&](const TCharInfo& Other) {
      return IsBlank(Other) ? BgOf(Other) == BgOf(Cell) : (Other.Attributes & 255) == Left.Pen();
    };
    // A cell left to a pass still to come: a filler stands there until then.
    auto Later = [&](int Column) {
      return Dirty[Row + size_t(Column)] == 2 &&
             Planner->PassOf(Picture[Row + size_t(Column)]) > Left.Pen();
    };
    // Between two cells of this pen on a row, rewriting what lies there may beat a move: cells
    // that this pen shows as they are, and fillers for cells of later passes.
    int Gap = CursorRow == Left.Row && CursorColumn >= 0 && CursorColumn < Left.Column &&
                      FgOf(Cell) == Foreground && BgOf(Cell) == Background
                  ? 0
                  : INT_MAX;
    const int Move = CsiLength(Left.Column - CursorColumn);
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
          Out += Cp437ToUtf8(Between.AsciiChar);
          if (Dirty[Row + size_t(Column)] == 2) Dirty[Row + size_t(Column)] = 0;
        } else {
          Out += ' ';
        }
      }
    } else {
      MoveTo(Left.Row, Left.Column, Out);
    }
    SetPen(IsBlank(Cell) ? -1 : FgOf(Cell), BgOf(Cell), Out);
    Out += Cp437ToUtf8(Cell.AsciiChar);
    Dirty[Row + Left.Column] = 0;
    CursorColumn = ColumnAfterWriting(Left.Column + 1);
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
  // The cursor is shown after the screen switch, which may restore it hidden. The Linux console
  // has no alternate screen: its palette goes back and the show's last frame is cleared away.
  if (Kind.LinuxConsole)
    return "\x1b[?2026l\x1b[0m\x1b]R\x1b[H\x1b[2J\x1b[?1049l\x1b[?7h\x1b[?25h\x1b[23;0t";
  return "\x1b[?2026l\x1b[0m\x1b[?1049l\x1b[?7h\x1b[?25h\x1b[23;0t";
}
