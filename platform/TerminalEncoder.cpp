#include "platform/TerminalEncoder.h"

#include <algorithm>
#include <charconv>

#include "platform/Cp437.h"

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

void AppendNumber(std::string& Out, int Value) {
  char Buffer[12];
  auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
  Out.append(Buffer, Result.ptr);
}

// Appends the SGR parameters selecting console colour Color as foreground or background.
void AppendColor(std::string& Out, bool TrueColor, bool Background, int Color) {
  if (TrueColor) {
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

TTerminalEncoder::TTerminalEncoder(bool TrueColor_)
    : TrueColor(TrueColor_), Last(size_t(Columns) * Rows) {}

void TTerminalEncoder::Resize(int TerminalColumns, int TerminalRows) {
  TTerminalLayout Next(TerminalColumns, TerminalRows);
  if (Next.TerminalColumns() == Fit.TerminalColumns() && Next.TerminalRows() == Fit.TerminalRows())
    return;
  Fit = std::move(Next);
  Last.assign(size_t(Fit.Width()) * size_t(Fit.Height()), TCharInfo{});
  Invalidate();
}

void TTerminalEncoder::Invalidate() { HaveLast = false; }

void TTerminalEncoder::Encode(std::span<const TCharInfo> Cells, std::string& Out) {
  if (Fit.Identity()) {
    EncodePicture(Cells.first(size_t(Columns) * Rows), Out);
    return;
  }
  Fit.Apply(Cells, Laid);
  EncodePicture(Laid, Out);
}

void TTerminalEncoder::EncodePicture(std::span<const TCharInfo> Picture, std::string& Out) {
  Out += SyncBegin;
  const bool Whole = !HaveLast;
  if (Whole) {
    // A resized terminal may hold anything; erasing with a black background paints the margins.
    Out += "\x1b[0;";
    AppendColor(Out, TrueColor, true, 0);
    Out += "m\x1b[2J";
    Foreground = -1;
    Background = 0;
  }
  const int Width = Fit.Width(), Height = Fit.Height();
  int CursorRow = -1, CursorColumn = -1;
  for (int Row = 0; Row < Height; ++Row) {
    for (int Column = 0; Column < Width; ++Column) {
      const size_t Index = size_t(Row) * size_t(Width) + size_t(Column);
      const TCharInfo& Cell = Picture[Index];
      if (!Whole && Cell.AsciiChar == Last[Index].AsciiChar &&
          Cell.Attributes == Last[Index].Attributes)
        continue;
      if (Row != CursorRow || Column != CursorColumn) {
        Out += "\x1b[";
        AppendNumber(Out, Fit.Top() + Row + 1);
        Out += ';';
        AppendNumber(Out, Fit.Left() + Column + 1);
        Out += 'H';
      }
      const int NewForeground = Cell.Attributes & 15;
      const int NewBackground = (Cell.Attributes >> 4) & 15;
      if (NewForeground != Foreground || NewBackground != Background) {
        Out += "\x1b[";
        if (NewForeground != Foreground) AppendColor(Out, TrueColor, false, NewForeground);
        if (NewForeground != Foreground && NewBackground != Background) Out += ';';
        if (NewBackground != Background) AppendColor(Out, TrueColor, true, NewBackground);
        Out += 'm';
        Foreground = NewForeground;
        Background = NewBackground;
      }
      Out += Cp437ToUtf8(Cell.AsciiChar);
      CursorRow = Row;
      CursorColumn = Column + 1;
    }
  }
  std::copy(Picture.begin(), Picture.end(), Last.begin());
  HaveLast = true;
  Out += SyncEnd;
}

std::string TTerminalEncoder::TitleSequence(const std::string& Title) {
  std::string Clean;
  for (char C : Title)
    if (static_cast<unsigned char>(C) >= 0x20 && C != 0x7f) Clean += C;
  return "\x1b]2;" + Clean + "\x07";
}

std::string TTerminalEncoder::OpenSequence(const std::string& Title, bool FullScreen) {
  std::string Out = "\x1b[22;0t";  // keep the old title to give it back
  Out += TitleSequence(Title);
  Out += "\x1b[?1049h\x1b[?25l\x1b[?7l";
  Out += "\x1b[9;1t";
  if (FullScreen) Out += "\x1b[10;1t";
  Out += "\x1b[0m\x1b[2J";
  return Out;
}

std::string TTerminalEncoder::CloseSequence() {
  return "\x1b[?2026l\x1b[0m\x1b[?1049l\x1b[?7h\x1b[?25h\x1b[23;0t";  // the cursor after the screen
                                                                      // switch, which may restore
                                                                      // it hidden
}
