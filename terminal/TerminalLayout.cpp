#include "terminal/TerminalLayout.h"

#include <algorithm>
#include <cstdint>

namespace {
// Show index shown by terminal index Index when Count terminal cells stand for Size show cells:
// evenly spread with both ends kept, so the first and last show row and column stay in view.
int Sample(int Index, int Count, int Size) {
  if (Count >= Size) return Index;
  if (Count == 1) return (Size - 1) / 2;
  return (Index * (Size - 1) * 2 + (Count - 1)) / (2 * (Count - 1));  // rounded to nearest
}

// One axis without repetition: centred where it fits, sampled where it does not.
void Axis(int Count, int Size, int& Margin, std::vector<int>& Sources) {
  const int Shown = std::min(Count, Size);
  Margin = (Count - Shown) / 2;
  Sources.resize(size_t(Shown));
  for (int I = 0; I < Shown; ++I) Sources[size_t(I)] = Sample(I, Count, Size);
}

// One axis with every show cell Repeat times, centred.
void Repeated(int Count, int Size, int Repeat, int& Margin, std::vector<int>& Sources) {
  Margin = (Count - Size * Repeat) / 2;
  Sources.resize(size_t(Size * Repeat));
  for (int I = 0; I < Size * Repeat; ++I) {
    Sources[size_t(I)] = I / Repeat;
  }
}

// How far a show cell drawn Across wide and Down high is from square (and so the picture from
// the show's 8:5): the larger side over the smaller, kept as a fraction so choices compare exactly.
struct TDistortion {
  int64_t Larger, Smaller;
  bool operator<(const TDistortion& Other) const {
    return Larger * Other.Smaller < Other.Larger * Smaller;
  }
  bool operator==(const TDistortion& Other) const {
    return Larger * Other.Smaller == Other.Larger * Smaller;
  }
};
TDistortion DistortionOf(int64_t Across, int64_t Down) {
  return Across >= Down ? TDistortion{Across, Down} : TDistortion{Down, Across};
}

// Line arms of the code page 437 box-drawing glyphs 0xb3 to 0xda: 0 none, 1 single, 2 double.
struct TArms {
  uint8_t Right, Down;
};
constexpr TArms BoxArms[0xda - 0xb3 + 1] = {
    {0, 1}, {0, 1}, {0, 1}, {0, 2}, {0, 2}, {0, 1}, {0, 2}, {0, 2},  // │ ┤ ╡ ╢ ╖ ╕ ╣ ║
    {0, 2}, {0, 0}, {0, 0}, {0, 0}, {0, 1}, {1, 0}, {1, 0}, {1, 1},  // ╗ ╝ ╜ ╛ ┐ └ ┴ ┬
    {1, 1}, {1, 0}, {1, 1}, {2, 1}, {1, 2}, {2, 0}, {2, 2}, {2, 0},  // ├ ─ ┼ ╞ ╟ ╚ ╔ ╩
    {2, 2}, {2, 2}, {2, 0}, {2, 2}, {2, 0}, {1, 0}, {2, 1}, {1, 2},  // ╦ ╠ ═ ╬ ╧ ╨ ╤ ╥
    {1, 0}, {2, 0}, {2, 1}, {1, 2}, {1, 2}, {2, 1}, {0, 0}, {1, 1},  // ╙ ╘ ╒ ╓ ╫ ╪ ┘ ┌
};
constexpr uint8_t Blank = ' ';
constexpr uint8_t FullBlock = 0xdb, LowerHalf = 0xdc, LeftHalf = 0xdd, RightHalf = 0xde,
                  UpperHalf = 0xdf;

// Copy Copy of Repeat of a half block covering the first (Leading) or second half of the cell.
uint8_t SplitHalf(uint8_t Glyph, int Copy, int Repeat, bool Leading) {
  const bool InFirstHalf = 2 * (Copy + 1) <= Repeat, InSecondHalf = 2 * Copy >= Repeat;
  if (InFirstHalf) return Leading ? FullBlock : Blank;
  if (InSecondHalf) return Leading ? Blank : FullBlock;
  return Glyph;  // the middle copy of an odd count still shows a half
}
}  // namespace

uint8_t RepeatedGlyph(uint8_t Glyph, int Copy, int Repeat, bool Down) {
  if (Glyph >= 0xb3 && Glyph <= 0xda) {
    if (Copy == 0) return Glyph;
    const TArms Arms = BoxArms[Glyph - 0xb3];
    const uint8_t Arm = Down ? Arms.Down : Arms.Right;
    if (Arm == 0) return Blank;
    if (Down) return Arm == 1 ? 0xb3 : 0xba;  // │ ║
    return Arm == 1 ? 0xc4 : 0xcd;            // ─ ═
  }
  if (!Down && Glyph == LeftHalf) return SplitHalf(Glyph, Copy, Repeat, true);
  if (!Down && Glyph == RightHalf) return SplitHalf(Glyph, Copy, Repeat, false);
  if (Down && Glyph == UpperHalf) return SplitHalf(Glyph, Copy, Repeat, true);
  if (Down && Glyph == LowerHalf) return SplitHalf(Glyph, Copy, Repeat, false);
  return Glyph;
}

TTerminalLayout::TTerminalLayout(int TerminalColumns, int TerminalRows, TCellShape Cell)
    : Columns(std::max(1, TerminalColumns)), Rows(std::max(1, TerminalRows)), Shape(Cell) {
  if (Shape.Width < 1 || Shape.Height < 1) Shape = TCellShape{1, 1};
  // The repetition whose picture is closest to the show's shape, the larger on a tie; a show
  // cell on screen is RepeatX cell widths by RepeatY cell heights, square at best.
  bool Found = false;
  TDistortion Best{1, 1};
  for (int Down = 1; Down <= MaxRepeat && ShowRows * Down <= Rows; ++Down)
    for (int Across = 1; Across <= MaxRepeat && ShowColumns * Across <= Columns; ++Across) {
      const TDistortion This = DistortionOf(int64_t(Across) * Shape.Width, int64_t(Down) * Shape.Height);
      const bool Larger = Across * Down > RepeatAcross * RepeatDown;
      if (!Found || This < Best || (This == Best && Larger)) {
        Found = true;
        Best = This;
        RepeatAcross = Across;
        RepeatDown = Down;
      }
    }
  if (Found) {
    Repeated(Columns, ShowColumns, RepeatAcross, PictureLeft, SourceColumns);
    Repeated(Rows, ShowRows, RepeatDown, PictureTop, SourceRows);
  } else {
    RepeatAcross = RepeatDown = 1;
    Axis(Columns, ShowColumns, PictureLeft, SourceColumns);
    Axis(Rows, ShowRows, PictureTop, SourceRows);
  }
}

uint8_t TTerminalLayout::GlyphAt(uint8_t Glyph, int X, int Y) const {
  // Across first: the copy down of a copy across continues neither stroke of line art.
  return RepeatedGlyph(RepeatedGlyph(Glyph, X % RepeatAcross, RepeatAcross, false), Y % RepeatDown,
                       RepeatDown, true);
}

void TTerminalLayout::Apply(std::span<const TCharInfo> Cells, std::vector<TCharInfo>& Out) const {
  Out.resize(size_t(Width()) * size_t(Height()));
  size_t At = 0;
  const bool Repeats = RepeatAcross > 1 || RepeatDown > 1;
  for (int Y = 0; Y < Height(); ++Y) {
    const TCharInfo* Source = Cells.data() + size_t(SourceRows[size_t(Y)]) * ShowColumns;
    for (int X = 0; X < Width(); ++X) {
      TCharInfo Cell = Source[SourceColumns[size_t(X)]];
      if (Repeats) Cell.AsciiChar = GlyphAt(Cell.AsciiChar, X, Y);  // the first copy too: half blocks
      Out[At++] = Cell;
    }
  }
}

std::string ReducedViewMessage(int Columns, int Rows) {
  return "the " + std::to_string(Columns) + " x " + std::to_string(Rows) +
         " terminal showed a reduced view of the picture; " +
         std::to_string(TTerminalLayout::ShowColumns) + " x " +
         std::to_string(TTerminalLayout::ShowRows) + " or larger shows every cell";
}
