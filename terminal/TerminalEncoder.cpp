#include "terminal/TerminalEncoder.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "terminal/Cp437.h"

namespace {
// RGB of the 16 console colours, as the console shows them.
constexpr uint8_t ColorRgb[16][3] = {
    {0, 0, 0},       {0, 0, 192},   {0, 192, 0},   {0, 192, 192}, {192, 0, 0},   {192, 0, 192},
    {192, 192, 0},   {192, 192, 192}, {127, 127, 127}, {0, 0, 255}, {0, 255, 0},   {0, 255, 255},
    {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};

// Console colours count blue as bit 0 and red as bit 2; the terminal's standard colours the other
// way round.
constexpr int AnsiIndex(int Color) {
  return ((Color & 1) << 2) | (Color & 2) | ((Color & 4) >> 2) | (Color & 8);
}

constexpr int Unknown = 16;  // a pen colour the encoder cannot vouch for
constexpr int PenOf(int Fg, int Bg) { return Fg << 5 | Bg; }
constexpr int PenFg(int Pen) { return Pen >> 5; }
constexpr int PenBg(int Pen) { return Pen & 31; }
constexpr int PenCount = PenOf(Unknown, Unknown) + 1;

int FgOf(const TCharInfo& Cell) { return Cell.Attributes & 15; }
int BgOf(const TCharInfo& Cell) { return (Cell.Attributes >> 4) & 15; }
bool IsBlank(const TCharInfo& Cell) { return Cell.AsciiChar == 0 || Cell.AsciiChar == ' '; }

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

int Digits(int Value) { return Value < 10 ? 1 : Value < 100 ? 2 : Value < 1000 ? 3 : 4; }

// A cursor control with a count: the count is left out when it is 1, the default.
void AppendCsi(std::string& Out, int Count, char Final) {
  Out += "\x1b[";
  if (Count != 1) AppendNumber(Out, Count);
  Out += Final;
}
int CsiLength(int Count) { return Count == 1 ? 3 : 3 + Digits(Count); }

// Appends the SGR parameters selecting console colour Color as foreground or background.
void AppendColor(std::string& Out, const TTerminalKind& Kind, bool Background, int Color) {
  if (Kind.LinuxConsole) {
    // Its own rules: intensity is a flag of its own (SGR 1/22 for the foreground, the blink bit,
    // SGR 5/25, for the background), and 90-97 would set it for good; 100-107 show dark.
    const int Ansi = AnsiIndex(Color);
    AppendNumber(Out, (Background ? 40 : 30) + (Ansi & 7));
    if (!Background)
      Out += Ansi & 8 ? ";1" : ";22";
    else if (Kind.BrightBackgrounds)
      Out += Ansi & 8 ? ";5" : ";25";
    return;
  }
  if (Kind.TrueColor) {
    Out += Background ? "48;2;" : "38;2;";
    AppendNumber(Out, ColorRgb[Color][0]);
    Out += ';';
    AppendNumber(Out, ColorRgb[Color][1]);
    Out += ';';
    AppendNumber(Out, ColorRgb[Color][2]);
    return;
  }
  int Ansi = AnsiIndex(Color);
  int Base = Background ? (Ansi & 8 ? 100 : 40) : (Ansi & 8 ? 90 : 30);
  AppendNumber(Out, Base + (Ansi & 7));
}

constexpr const char* SyncBegin = "\x1b[?2026h";
constexpr const char* SyncEnd = "\x1b[?2026l";
}  // namespace

// The row planner: a shortest path over the cells of one row. A state is the cursor standing at
// a cell with some pen; the steps are writing the cell, skipping to the next changed cell with a
// cursor move, erasing a run of blanks, and leaving a changed cell to a pass of its own pen after
// the rows (a filler space stands in until then, so an odd colour costs no SGR back and forth).
// Each step costs the bytes it writes, a left cell what its pass will likely spend on it.
struct TTerminalEncoder::TRowPlan {
  enum TAction : uint8_t { Start, Write, Skip, Erase, EraseLine, Defer, DeferRest };
  struct TState {
    int Cost;
    uint16_t Pen;
    TAction Action;  // the step that led here
    uint16_t From;   // the cell it started at
    uint16_t FromIndex;
    uint16_t Param;  // Erase: the end of the erased run
  };
  static constexpr int MaxWidth = TTerminalLayout::ShowColumns * TTerminalLayout::MaxRepeat;

  int FgLength[16], BgLength[16];  // SGR parameter lengths of each colour
  int GlyphLength[256];
  // The states at each cell (MaxWidth: the row done), one per pen, at most Capacity; only the
  // MaxStates cheapest go on: more pens rarely pay, and each costs time on every cell.
  static constexpr int Capacity = 16, MaxStates = 3;
  TState States[MaxWidth + 1][Capacity];
  int Counts[MaxWidth + 1] = {};
  int16_t Slot[MaxWidth + 1][PenCount];  // where each pen's state is in States, -1 for none
  // What a pass is likely to spend moving to one of its cells, by how often its pen occurs.
  int DeferMove[256];
  struct TDeferred {
    TCharInfo Cell;
    uint16_t Column;
    uint16_t Row;
    int Pen() const { return Cell.Attributes & 255; }  // background * 16 + foreground
  };
  std::vector<TDeferred> Deferred;
  std::vector<TDeferred> ByPen;  // Deferred sorted by pen

  explicit TRowPlan(const TTerminalKind& Kind) {
    for (int Color = 0; Color < 16; ++Color) {
      std::string Text;
      AppendColor(Text, Kind, false, Color);
      FgLength[Color] = int(Text.size());
      Text.clear();
      AppendColor(Text, Kind, true, Color);
      BgLength[Color] = int(Text.size());
    }
    for (int Code = 0; Code < 256; ++Code) GlyphLength[Code] = int(Cp437ToUtf8(uint8_t(Code)).size());
    for (auto& Pens : Slot) std::fill(std::begin(Pens), std::end(Pens), int16_t(-1));
    Deferred.reserve(size_t(MaxWidth) * TTerminalLayout::ShowRows * TTerminalLayout::MaxRepeat);
  }

  // Bytes of the SGR taking Pen to one that has Bg and, unless it is -1, Fg; the new pen in Next.
  int PenCost(int Pen, int Fg, int Bg, int& Next) const {
    const bool NewFg = Fg >= 0 && Fg != PenFg(Pen), NewBg = Bg != PenBg(Pen);
    Next = PenOf(NewFg ? Fg : PenFg(Pen), Bg);
    if (!NewFg && !NewBg) return 0;
    return 3 + (NewFg ? FgLength[Fg] : 0) + (NewBg ? BgLength[Bg] : 0) + (NewFg && NewBg ? 1 : 0);
  }

  void Clear(int At) {
    for (int Index = 0; Index < Counts[At]; ++Index) Slot[At][States[At][Index].Pen] = -1;
    Counts[At] = 0;
  }

  void Relax(int At, const TState& State) {
    int16_t& Index = Slot[At][State.Pen];
    if (Index >= 0) {
      if (State.Cost < States[At][Index].Cost) States[At][Index] = State;
      return;
    }
    if (Counts[At] < Capacity) {
      Index = int16_t(Counts[At]++);
      States[At][Index] = State;
      return;
    }
    // Full: the new state takes the place of the dearest, if it is cheaper.
    TState* Dearest = std::max_element(States[At], States[At] + Capacity, Cheaper);
    if (State.Cost >= Dearest->Cost) return;
    Slot[At][Dearest->Pen] = -1;
    Index = int16_t(Dearest - States[At]);
    *Dearest = State;
  }

  static bool Cheaper(const TState& A, const TState& B) { return A.Cost < B.Cost; }

  // Keeps the MaxStates cheapest states at a cell that the cheapest one there does not reach for
  // less with a bare SGR, the cheapest first.
  void Prune(int At) {
    TState* List = States[At];
    const int Count = Counts[At];
    if (Count < 2) return;
    const TState Best = *std::min_element(List, List + Count, Cheaper);
    int Kept = 0;
    TState Keep[MaxStates];
    for (int Index = 0; Index < Count; ++Index) {
      const TState& State = List[Index];
      Slot[At][State.Pen] = -1;
      if (State.Pen != Best.Pen) {
        const int Fg = PenFg(State.Pen), Bg = PenBg(State.Pen);
        int Next;
        // An unknown colour is never worth more than a known one: count it as free to reach.
        const int Switch = PenCost(Best.Pen, Fg == Unknown ? -1 : Fg,
                                   Bg == Unknown ? PenBg(Best.Pen) : Bg, Next);
        if (State.Cost >= Best.Cost + Switch) continue;
      }
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
    for (int Index = 0; Index < Kept; ++Index) {
      List[Index] = Keep[Index];
      Slot[At][Keep[Index].Pen] = int16_t(Index);
    }
    Counts[At] = Kept;
  }
};

TTerminalEncoder::TTerminalEncoder(bool TrueColor) : TTerminalEncoder(TTerminalKind{.TrueColor = TrueColor}) {}

TTerminalEncoder::TTerminalEncoder(const TTerminalKind& Kind_)
    : Terminal(Kind_),
      Last(size_t(Columns) * Rows),
      Plan(std::make_unique<TRowPlan>(Terminal)) {}

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
  const int Down = DownBy > 0 ? CsiLength(DownBy) : 0;
  if (CursorRow >= 0) {
    // Relative: down (or up) from where the cursor stands, across from there or from the left
    // edge after a carriage return. A line feed is sent only towards a row below, so it never
    // scrolls; as "\r\n" it means the same whether or not the terminal adds a carriage return.
    const int Edge = (Row == CursorRow + 1 ? 2 : 1 + Down) + (Across > 0 ? CsiLength(Across) : 0);
    if (Edge < Best) Best = Edge, Way = FromEdge;
    if (CursorColumn >= 0 && Down + (AcrossBy > 0 ? CsiLength(AcrossBy) : 0) < Best) Way = Relative;
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
    if (Way == FromEdge) Out += Row == CursorRow + 1 ? "\r\n" : "\r";
    if (DownBy > 0 && !(Way == FromEdge && Row == CursorRow + 1))
      AppendCsi(Out, DownBy, Row > CursorRow ? 'B' : 'A');
    if (Way == FromEdge && Across > 0) AppendCsi(Out, Across, 'C');
    if (Way == Relative && AcrossBy > 0) AppendCsi(Out, AcrossBy, Column > CursorColumn ? 'C' : 'D');
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
  int PenCells[256] = {};
  for (size_t Index = 0; Index < Count; ++Index) {
    const TCharInfo& Cell = Picture[Index];
    Dirty[Index] = !LookSame(Cell, Whole ? Erased : Last[Index]);
    if (Dirty[Index]) ++PenCells[Cell.Attributes & 255];
  }
  // A pen whose cells lie close together is cheap to visit cell by cell; a rare one takes a move
  // across rows for each.
  for (int Pen = 0; Pen < 256; ++Pen) {
    const int Apart = PenCells[Pen] ? int(Count) / PenCells[Pen] : int(Count);
    Plan->DeferMove[Pen] = Apart < 10 ? 3 : Apart < Width ? 4 : 6;
  }
  Plan->Deferred.clear();
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
  using TState = TRowPlan::TState;
  TRowPlan& P = *Plan;
  const int Width = Fit.Width();
  // Where the next changed cell is, and where a run of blanks on one background ends.
  int NextChanged[TRowPlan::MaxWidth + 1], RunEnd[TRowPlan::MaxWidth];
  NextChanged[Width] = Width;
  for (int Column = Width - 1; Column >= 0; --Column) {
    NextChanged[Column] = Changed[Column] ? Column : NextChanged[Column + 1];
    const bool Continues = Column + 1 < Width && IsBlank(Cells[Column + 1]) &&
                           BgOf(Cells[Column + 1]) == BgOf(Cells[Column]);
    RunEnd[Column] = Continues ? RunEnd[Column + 1] : Column + 1;
  }
  // Erasing to the end of the line also clears the right margin, which must stay black.
  const bool LineEndIsEdge = Fit.Left() + Width == Fit.TerminalColumns();

  // What the pass of its pen would likely spend on a changed cell left to it: its glyph, and a
  // move unless it follows another of its cells. Leaving every changed cell from some column on
  // to the passes needs no fillers.
  int Visit[TRowPlan::MaxWidth], DeferRest[TRowPlan::MaxWidth + 1];
  for (int Column = 0; Column < Width; ++Column) {
    const int Key = Cells[Column].Attributes & 255;
    const bool RunGoesOn =
        Column > 0 && Changed[Column - 1] && (Cells[Column - 1].Attributes & 255) == Key;
    Visit[Column] = P.GlyphLength[Cells[Column].AsciiChar] + (RunGoesOn ? 0 : P.DeferMove[Key]);
  }
  DeferRest[Width] = 0;
  for (int Column = Width - 1; Column >= 0; --Column)
    DeferRest[Column] = DeferRest[Column + 1] + (Changed[Column] ? Visit[Column] : 0);
  const int First = NextChanged[0];
  for (int Column = First; Column <= Width; ++Column) P.Clear(Column);
  P.Relax(First, TState{0, uint16_t(PenOf(Foreground, Background)), TRowPlan::Start, 0, 0, 0});
  for (int At = First; At < Width; ++At) {
    P.Prune(At);
    const TCharInfo& Cell = Cells[At];
    const int Bg = BgOf(Cell);
    for (int Index = 0; Index < P.Counts[At]; ++Index) {
      const TState State = P.States[At][Index];
      const uint16_t From = uint16_t(At);
      const uint16_t FromIndex = uint16_t(Index);
      int Pen;
      // Write the cell, changed or not.
      int Cost = State.Cost + P.PenCost(State.Pen, IsBlank(Cell) ? -1 : FgOf(Cell), Bg, Pen) +
                 P.GlyphLength[Cell.AsciiChar];
      P.Relax(At + 1, TState{Cost, uint16_t(Pen), TRowPlan::Write, From, FromIndex, 0});
      // Leave a changed cell to the pass of its pen; a run of them costs one move there.
      if (Changed[At]) {
        Cost = State.Cost + 1 + Visit[At];
        P.Relax(At + 1, TState{Cost, State.Pen, TRowPlan::Defer, From, FromIndex, 0});
        // Only the cheapest state here can end the row for the least this way.
        if (Index == 0)
          P.Relax(Width, TState{State.Cost + DeferRest[At], State.Pen, TRowPlan::DeferRest, From,
                                FromIndex, 0});
      }
      // Skip unchanged cells to the next changed one.
      if (!Changed[At]) {
        const int To = NextChanged[At];
        Cost = State.Cost + (To < Width ? CsiLength(To - At) : 0);
        P.Relax(To, TState{Cost, State.Pen, TRowPlan::Skip, From, FromIndex, 0});
      }
      // Erase a run of blanks that holds a changed cell, then move past it.
      const int End = RunEnd[At];
      if (IsBlank(Cell) && NextChanged[At] < End) {
        const int To = NextChanged[End];
        Cost = State.Cost + P.PenCost(State.Pen, -1, Bg, Pen);
        if (To == Width && End == Width && (LineEndIsEdge || Bg == 0)) {
          P.Relax(Width, TState{Cost + 3, uint16_t(Pen), TRowPlan::EraseLine, From, FromIndex, 0});
        } else {
          Cost += CsiLength(End - At) + (To < Width ? CsiLength(To - At) : 0);
          P.Relax(To, TState{Cost, uint16_t(Pen), TRowPlan::Erase, From, FromIndex, uint16_t(End)});
        }
      }
    }
  }

  // Follow the cheapest way back, then write it forwards.
  const TState* Done = P.States[Width];
  int Index = int(std::min_element(Done, Done + P.Counts[Width], TRowPlan::Cheaper) - Done);
  struct TStep {
    TRowPlan::TAction Action;
    int From, To, Param;
  };
  TStep Steps[TRowPlan::MaxWidth + 1];
  int Count = 0;
  for (int At = Width;;) {
    const TState& State = P.States[At][Index];
    if (State.Action == TRowPlan::Start) break;
    Steps[Count++] = TStep{State.Action, State.From, At, State.Param};
    At = State.From;
    Index = State.FromIndex;
  }
  // Leaves a changed cell to the pass of its pen.
  auto Defer = [&](int Column) {
    Dirty[size_t(Row) * size_t(Width) + size_t(Column)] = 2;
    P.Deferred.push_back(TRowPlan::TDeferred{Cells[Column], uint16_t(Column), uint16_t(Row)});
  };
  MoveTo(Row, First, Out);
  while (Count > 0) {
    const TStep& Step = Steps[--Count];
    const TCharInfo& Cell = Cells[Step.From];
    switch (Step.Action) {
      case TRowPlan::Write:
        SetPen(IsBlank(Cell) ? -1 : FgOf(Cell), BgOf(Cell), Out);
        Out += Cp437ToUtf8(Cell.AsciiChar);
        CursorColumn = ColumnAfterWriting(Step.To);
        break;
      case TRowPlan::Defer:
        Out += ' ';
        CursorColumn = ColumnAfterWriting(Step.To);
        Defer(Step.From);
        break;
      case TRowPlan::DeferRest:
        for (int Column = Step.From; Column < Width; ++Column)
          if (Changed[Column]) Defer(Column);
        break;
      case TRowPlan::Skip:
        if (Step.To < Width) MoveTo(Row, Step.To, Out);
        break;
      case TRowPlan::Erase:
        SetPen(-1, BgOf(Cell), Out);
        AppendCsi(Out, Step.Param - Step.From, 'X');
        if (Step.To < Width) MoveTo(Row, Step.To, Out);
        break;
      case TRowPlan::EraseLine:
        SetPen(-1, BgOf(Cell), Out);
        Out += "\x1b[K";
        break;
      case TRowPlan::Start:
        break;
    }
  }
}

void TTerminalEncoder::WriteDeferred(std::span<const TCharInfo> Picture, std::string& Out) {
  // By pen, each in the order of the screen; pens sharing a background follow each other, so
  // that switching sends only a foreground.
  int Start[257] = {};
  for (const auto& Left : Plan->Deferred) ++Start[Left.Pen() + 1];
  for (int Pen = 0; Pen < 256; ++Pen) Start[Pen + 1] += Start[Pen];
  auto& Deferred = Plan->ByPen;
  Deferred.resize(Plan->Deferred.size());
  for (const auto& Left : Plan->Deferred) Deferred[size_t(Start[Left.Pen()]++)] = Left;
  const int Width = Fit.Width();
  for (const auto& Left : Deferred) {
    const TCharInfo& Cell = Left.Cell;
    const size_t Row = size_t(Left.Row) * size_t(Width);
    // A cell left to a pass still to come: a filler stands there until then.
    auto Later = [&](int Column) {
      return Dirty[Row + size_t(Column)] == 2 &&
             (Picture[Row + size_t(Column)].Attributes & 255) > Left.Pen();
    };
    // Between two cells of this pen on a row, rewriting what lies there may beat a move: cells
    // that this pen shows as they are, and fillers for cells of later passes.
    int Gap = CursorRow == Left.Row && CursorColumn >= 0 && CursorColumn < Left.Column &&
                      FgOf(Cell) == Foreground && BgOf(Cell) == Background
                  ? 0
                  : INT_MAX;
    for (int Column = CursorColumn; Gap < INT_MAX && Column < Left.Column; ++Column) {
      const TCharInfo& Between = Picture[Row + size_t(Column)];
      if (Later(Column))
        Gap += 1;
      else if (IsBlank(Between) ? BgOf(Between) == BgOf(Cell)
                                : (Between.Attributes & 255) == Left.Pen())
        Gap += Plan->GlyphLength[Between.AsciiChar];
      else
        Gap = INT_MAX;
    }
    if (Gap < INT_MAX && Gap <= CsiLength(Left.Column - CursorColumn)) {
      for (int Column = CursorColumn; Column < Left.Column; ++Column)
        Out += Later(Column) ? std::string_view(" ")
                             : Cp437ToUtf8(Picture[Row + size_t(Column)].AsciiChar);
    } else {
      MoveTo(Left.Row, Left.Column, Out);
    }
    SetPen(IsBlank(Cell) ? -1 : FgOf(Cell), BgOf(Cell), Out);
    Out += Cp437ToUtf8(Cell.AsciiChar);
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
  Out += "\x1b[?1049h\x1b[?25l\x1b[?7l";
  Out += "\x1b[9;1t";
  if (FullScreen) Out += "\x1b[10;1t";
  if (Kind.LinuxConsole) {
    // The console's 16 colours become the show's own (its default is the VGA palette).
    static constexpr char Hex[] = "0123456789abcdef";
    for (int Ansi = 0; Ansi < 16; ++Ansi) {
      Out += "\x1b]P";
      Out += Hex[Ansi];
      for (uint8_t Level : ColorRgb[AnsiIndex(Ansi)]) {
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
