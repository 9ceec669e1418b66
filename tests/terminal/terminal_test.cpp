#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "LinuxConsoleScreen.h"
#include "harness/EncodingFloor.h"
#include "harness/RepeatScan.h"
#include "harness/VTermScreen.h"
#include "terminal/Cp437.h"
#include "terminal/Palette.h"
#include "terminal/TerminalEncoder.h"
#include "terminal/TerminalLayout.h"

namespace {

std::vector<TCharInfo> RandomFrame(uint32_t Seed) {
  std::vector<TCharInfo> Cells(4000);
  for (auto& Cell : Cells) {
    Seed = Seed * 1664525u + 1013904223u;
    Cell.AsciiChar = uint8_t(Seed >> 24);
    Cell.Attributes = uint16_t((Seed >> 8) & 0xff);
  }
  return Cells;
}

// Whether a colour of the emulated terminal is console colour Console.
bool IsColor(const VTermColor& Got, int Console, bool TrueColor) {
  if (TrueColor)
    return VTERM_COLOR_IS_RGB(&Got) && Got.rgb.red == ConsolePalette[Console].R &&
           Got.rgb.green == ConsolePalette[Console].G && Got.rgb.blue == ConsolePalette[Console].B;
  return VTERM_COLOR_IS_INDEXED(&Got) && Got.indexed.idx == AnsiIndex(Console);
}

// Whether the emulated terminal's cell shows Want's glyph and colours. A blank shows no
// foreground, and a glyph in its background colour shows nothing else: only the background
// counts for them, the glyph shown either a blank or theirs in that colour.
bool Shows(const TVTermScreen& Term, int Row, int Column, const TCharInfo& Want, bool TrueColor) {
  VTermScreenCell Got = Term.Cell(Row, Column);
  const int Fg = Want.Attributes & 15, Bg = (Want.Attributes >> 4) & 15;
  const bool Blank = Want.AsciiChar == 0 || Want.AsciiChar == ' ';
  if (Got.width != 1 || !IsColor(Got.bg, Bg, TrueColor)) return false;
  const char32_t Glyph = Term.Glyph(Row, Column);
  if (Blank || Fg == Bg)
    return Glyph == U' ' ||
           (Glyph == Cp437ToUnicode(Want.AsciiChar) && IsColor(Got.fg, Bg, TrueColor));
  return Glyph == Cp437ToUnicode(Want.AsciiChar) && IsColor(Got.fg, Fg, TrueColor);
}

// A margin cell: nothing written, the background black.
bool BlankOnBlack(const TVTermScreen& Term, int Row, int Column) {
  VTermScreenCell Got = Term.Cell(Row, Column);
  const bool Black = VTERM_COLOR_IS_RGB(&Got.bg)
                         ? Got.bg.rgb.red == 0 && Got.bg.rgb.green == 0 && Got.bg.rgb.blue == 0
                         : VTERM_COLOR_IS_INDEXED(&Got.bg) && Got.bg.indexed.idx == 0;
  return Got.chars[0] == 0 && Black;
}

TEST(EncoderTest, UnchangedFrameWritesOnlyTheSyncBrackets) {
  TTerminalEncoder Encoder(false);
  auto Frame = RandomFrame(3);
  std::string Bytes;
  Encoder.Encode(Frame, Bytes);
  Bytes.clear();
  Encoder.Encode(Frame, Bytes);
  EXPECT_EQ(Bytes, "\x1b[?2026h\x1b[?2026l");
}

TEST(EncoderTest, ColoursAreSentOnlyWhenTheyChange) {
  TTerminalEncoder Encoder(false);
  std::vector<TCharInfo> Frame(4000, TCharInfo{'x', 0, 0x1f});
  std::string Bytes;
  Encoder.Encode(Frame, Bytes);
  size_t Count = 0;
  for (size_t At = Bytes.find("m"); At != std::string::npos; At = Bytes.find("m", At + 1)) ++Count;
  EXPECT_EQ(Count, 2u);  // the black reset before the clear, then blue and white once
  EXPECT_NE(Bytes.find("\x1b[97;44m"), std::string::npos);

  // The terminal keeps its colours between frames: a changed glyph alone sends no colour.
  Frame[500].AsciiChar = 'y';
  Bytes.clear();
  Encoder.Encode(Frame, Bytes);
  EXPECT_EQ(Bytes, "\x1b[?2026h\x1b[7;21Hy\x1b[?2026l");
  // A new colour sends only the half that changed.
  Frame[501].Attributes = 0x1e;
  Bytes.clear();
  Encoder.Encode(Frame, Bytes);
  EXPECT_EQ(Bytes, "\x1b[?2026h\x1b[7;22H\x1b[93mx\x1b[?2026l");
  // A glyph in its background colour goes out as a blank, and then changing it shows nothing.
  Frame[502] = TCharInfo{196, 0, 0x11};
  Bytes.clear();
  Encoder.Encode(Frame, Bytes);
  EXPECT_EQ(Bytes, "\x1b[?2026h\x1b[7;23H \x1b[?2026l");
  Frame[502].AsciiChar = 'z';
  Bytes.clear();
  Encoder.Encode(Frame, Bytes);
  EXPECT_EQ(Bytes, "\x1b[?2026h\x1b[?2026l");
}

// Whether Bytes move what the screen shows: insert or delete lines, or delete characters.
bool MovesScreen(const std::string& Bytes) {
  for (size_t At = Bytes.find("\x1b["); At != std::string::npos; At = Bytes.find("\x1b[", At + 1)) {
    size_t End = At + 2;
    while (End < Bytes.size() && Bytes[End] >= '0' && Bytes[End] <= '9') ++End;
    if (End < Bytes.size() && (Bytes[End] == 'L' || Bytes[End] == 'M' || Bytes[End] == 'P'))
      return true;
  }
  return false;
}

// The show cell a terminal cell shows along one axis of Count terminal cells for Size show cells:
// centred with margins (-1) when the terminal is larger, else the nearest with both ends kept.
int SourceOf(int Index, int Count, int Size) {
  if (Count >= Size) {
    int Shown = Index - (Count - Size) / 2;
    return Shown >= 0 && Shown < Size ? Shown : -1;
  }
  if (Count == 1) return (Size - 1) / 2;
  return int(std::lround(double(Index) * (Size - 1) / (Count - 1)));
}

// Every cell of the emulated terminal shows what the layout puts there: its show cell (a copy of
// it where show cells are repeated), or a black blank in the margins.
void ExpectLaidOut(const TVTermScreen& Term, const std::vector<TCharInfo>& Frame, bool TrueColor,
                   const TTerminalLayout& Layout = TTerminalLayout()) {
  const int Across = Layout.RepeatX(), Down = Layout.RepeatY();
  int Mismatches = 0;
  for (int Row = 0; Row < Term.Rows; ++Row)
    for (int Column = 0; Column < Term.Columns; ++Column) {
      const int ShowRow = SourceOf(Row, Term.Rows, 50 * Down);
      const int ShowColumn = SourceOf(Column, Term.Columns, 80 * Across);
      const bool Margin = ShowRow < 0 || ShowColumn < 0;
      bool Right;
      if (Margin) {
        Right = BlankOnBlack(Term, Row, Column);
      } else {
        TCharInfo Want = Frame[size_t((ShowRow / Down) * 80 + ShowColumn / Across)];
        Want.AsciiChar = Layout.GlyphAt(Want.AsciiChar, ShowColumn, ShowRow);
        Right = Shows(Term, Row, Column, Want, TrueColor);
      }
      if (!Right && ++Mismatches <= 3)
        ADD_FAILURE() << "cell " << Row << "," << Column << (Margin ? " (margin)" : "");
    }
  EXPECT_EQ(Mismatches, 0);
}

// The next frame of a sequence that holds what the show does to a screen: noise, runs of one
// glyph and colour, long runs of blanks (some to the row's end), sparse changes, blanks whose
// foreground alone changes, frames that do not change at all, and the picture moving.
void NextFrame(std::vector<TCharInfo>& Cells, int Step, uint32_t& Seed) {
  auto Random = [&](uint32_t Range) {
    Seed = Seed * 1664525u + 1013904223u;
    return (Seed >> 8) % Range;
  };
  const int Row = int(Random(50));
  switch (Step % 8) {
    case 0:  // noise over a band of rows or, every other time, the whole screen, from a few colours
             // as the show draws it
      for (int Index = Step % 16 ? Row * 80 : 0,
               End = Step % 16 ? std::min(4000, (Row + 12) * 80) : 4000;
           Index < End; ++Index) {
        const uint32_t Pick = Random(8);
        Cells[size_t(Index)] = TCharInfo{uint8_t(Pick < 3 ? ' ' : Pick < 4 ? 0 : 176 + Random(48)),
                                         0, uint16_t(Random(3) * 0x40 + Random(4) * 4)};
      }
      break;
    case 1:  // runs of blanks on one background, the last ones reaching the row's end
      for (int Run = 0; Run < 8; ++Run) {
        const int Start = int(Random(4000)), Length = int(Random(100));
        const uint16_t Attributes = uint16_t(Random(256));
        for (int Index = Start; Index < std::min(4000, Start + Length); ++Index)
          Cells[size_t(Index)] = TCharInfo{uint8_t(Random(2) ? ' ' : 0), 0, Attributes};
      }
      break;
    case 2:  // runs of one glyph and colour
      for (int Run = 0; Run < 6; ++Run) {
        const int Start = int(Random(4000)), Length = int(Random(30));
        const TCharInfo Cell{uint8_t(Random(256)), 0, uint16_t(Random(256))};
        for (int Index = Start; Index < std::min(4000, Start + Length); ++Index)
          Cells[size_t(Index)] = Cell;
      }
      break;
    case 3:  // a few cells anywhere, the corners among them
      for (int Index : {0, 79, 3920, 3999, int(Random(4000)), int(Random(4000))})
        Cells[size_t(Index)] = TCharInfo{uint8_t(Random(256)), 0, uint16_t(Random(256))};
      break;
    case 4:  // only blanks change, and only their foreground
      for (auto& Cell : Cells)
        if (Cell.AsciiChar == 0 || Cell.AsciiChar == ' ')
          Cell.Attributes = uint16_t((Cell.Attributes & 0xf0) | Random(16));
      break;
    case 5:  // nothing changes
      break;
    case 6: {  // the picture moves a few rows down or up and a column or two left, uncovering new
               // cells, with a few changed on the way
      const int Down = int(Random(7)) - 3, Left = Down == 0 ? 1 + int(Random(2)) : int(Random(3));
      const std::vector<TCharInfo> Before = Cells;
      for (int To = 0; To < 50; ++To)
        for (int Column = 0; Column < 80; ++Column) {
          const int From = To - Down, Across = Column + Left;
          const bool Kept = From >= 0 && From < 50 && Across < 80 && Random(8) > 0;
          Cells[size_t(To * 80 + Column)] =
              Kept ? Before[size_t(From * 80 + Across)]
                   : TCharInfo{uint8_t(Random(256)), 0, uint16_t(Random(256))};
        }
      break;
    }
    default: {  // a mapped picture: two colours swapping foreground and background from cell to
                // cell, ramp glyphs, a third of the cells as they were
      const uint32_t One = Random(16), Other = Random(16);
      for (int Index = Row * 80; Index < std::min(4000, (Row + 15) * 80); ++Index)
        if (Random(3) > 0) {
          const uint32_t Pair = Random(2) ? One * 16 + Other : Other * 16 + One;
          Cells[size_t(Index)] = TCharInfo{uint8_t(" \xf9+sodX0\xdc"[Random(9)]), 0, uint16_t(Pair)};
        }
      break;
    }
  }
}

// Long sequences of frames replay exactly, frame after frame, in both colour modes, with and
// without tabs, the line-drawing set and REP (of ASCII alone, or of every glyph), and on terminals
// of the show's size, larger and smaller, with a resize on the way; a moving picture is moved on
// the screen. Given back, the terminal has
// its tab stops every eighth column again, and ASCII. Where the terminal shows the frame cell for
// cell in UTF-8, no frame that leaves what the screen shows in place takes fewer bytes than the
// floor under any exact encoding that, as this one, never restores the cursor. Noise over the
// whole screen is written on a cleared screen where no margin must stay black.
TEST(EncoderTest, SequencesReplayExactlyFrameAfterFrame) {
  TFloorFinder Floors(80, 50);
  struct TSize {
    int Columns, Rows;
    TCellShape Cell;
  };
  using enum TTerminalKind::TRepeat;
  for (const TTerminalKind Kind :
       {TTerminalKind{}, TTerminalKind{.TrueColor = true},
        TTerminalKind{.Tabs = false, .Repeat = Ascii},
        TTerminalKind{.LineDrawing = true, .Repeat = Every}}) {
    const bool TrueColor = Kind.TrueColor;
    TTerminalEncoder Encoder(Kind);
    uint32_t Seed = TrueColor ? 7 : Kind.LineDrawing ? 3 : Kind.Tabs ? 5 : 9;
    auto Frame = RandomFrame(Seed);
    // Tall cells double the columns where they fit; square ones double both ways.
    for (TSize Size : {TSize{80, 50, {1, 1}}, {97, 53, {1, 1}}, {63, 31, {1, 2}}, {200, 60, {8, 16}},
                       {165, 103, {8, 8}}, {80, 50, {1, 2}}}) {
      Encoder.Resize(Size.Columns, Size.Rows, Size.Cell);
      TVTermScreen Term(Size.Rows, Size.Columns);
      Term.Feed(TTerminalEncoder::OpenSequence("vorlek", false, Kind));
      long TabsSent = 0, LineDrawingChosen = 0, Moved = 0, Cleared = 0, Repeats = 0;
      for (int Step = 0; Step < 36; ++Step) {
        SCOPED_TRACE(testing::Message() << Size.Columns << " x " << Size.Rows << " step " << Step
                                        << (TrueColor ? " rgb" : "") << (Kind.Tabs ? "" : " no tabs")
                                        << (Kind.LineDrawing ? " line drawing" : ""));
        const std::vector<TCharInfo> Before = Frame;
        if (Step > 0) NextFrame(Frame, Step, Seed);
        std::string Bytes;
        Encoder.Encode(Frame, Bytes);
        Term.Feed(Bytes);
        Moved += Step % 8 == 6 && MovesScreen(Bytes);
        Cleared += Step > 0 && Bytes.find("\x1b[2J") != std::string::npos;
        if (Size.Columns == 80 && Size.Cell.Height == 2 && !Kind.LineDrawing &&
            Kind.Repeat == None && !MovesScreen(Bytes)) {
          EXPECT_LE(Floors.Floor(Before, Frame, TFloorModel::NoRestore).Bytes(),
                    long(Bytes.size()));
        }
        ExpectLaidOut(Term, Frame, TrueColor, Encoder.Layout());
        TabsSent += std::count(Bytes.begin(), Bytes.end(), '\t');
        LineDrawingChosen += Bytes.find("\x1b(0") != std::string::npos;
        // A REP follows a glyph: ASCII alone where the terminal repeats no other.
        for (const size_t At : RepeatOffsets(Bytes)) {
          ++Repeats;
          ASSERT_GT(At, 0u);
          EXPECT_TRUE(Kind.Repeat == Every || uint8_t(Bytes[At - 1]) < 0x80);
        }
        // A blank shows no foreground: changing only that writes nothing.
        if (Step % 8 == 4 || Step % 8 == 5) {
          EXPECT_EQ(Bytes, "\x1b[?2026h\x1b[?2026l");
        }
      }
      EXPECT_EQ(TabsSent > 0, Kind.Tabs);
      // Where the picture keeps whole cells (not sampled), each move of it is followed.
      if (!Encoder.Layout().Reduced()) {
        EXPECT_EQ(Moved, 4);
      }
      // Noise over the whole screen is written on a cleared one where no margin must stay black.
      const TTerminalLayout& Fit = Encoder.Layout();
      if (Fit.Width() == Size.Columns && Fit.Height() == Size.Rows) {
        EXPECT_GT(Cleared, 0);
      }
      EXPECT_EQ(LineDrawingChosen > 0, Kind.LineDrawing);
      EXPECT_EQ(Repeats > 0, Kind.Repeat != None);
      Term.Feed(TTerminalEncoder::CloseSequence(Kind) + "\x1b[H\t8\t16q");
      EXPECT_EQ(Term.Glyph(0, 8), U'8');
      EXPECT_EQ(Term.Glyph(0, 16), U'1');
      EXPECT_EQ(Term.Glyph(0, 18), U'q');
    }
  }
}

// Larger terminals show the picture centred between black margins, smaller ones every cell of
// the terminal sampled from the picture; nothing wraps or scrolls, and each resize re-lays it.
TEST(EncoderTest, PictureFitsEveryTerminalSize) {
  struct TSize {
    int Columns, Rows;
  };
  for (bool TrueColor : {false, true}) {
    TTerminalEncoder Encoder(TrueColor);
    auto Frame = RandomFrame(4);
    for (TSize Size : {TSize{120, 60}, {80, 24}, {40, 20}, {1, 1}, {81, 7}, {80, 50}}) {
      SCOPED_TRACE(testing::Message()
                   << Size.Columns << " x " << Size.Rows << (TrueColor ? " rgb" : ""));
      Encoder.Resize(Size.Columns, Size.Rows, TCellShape{1, 1});
      TVTermScreen Term(Size.Rows, Size.Columns);
      Term.Feed(TTerminalEncoder::OpenSequence("vorlek", false));
      // A whole frame, then one where a few cells change (the corners among them).
      for (int Pass = 0; Pass < 2; ++Pass) {
        if (Pass == 1)
          for (int Index : {0, 79, 1234, 3920, 3999})
            Frame[size_t(Index)] = TCharInfo{219, 0, 0x4e};
        std::string Bytes;
        Encoder.Encode(Frame, Bytes);
        Term.Feed(Bytes);
        ExpectLaidOut(Term, Frame, TrueColor);
        if (Pass == 1) {
          EXPECT_LT(Bytes.size(), 200u);
        }
      }
      EXPECT_EQ(Encoder.Layout().Reduced(), Size.Columns < 80 || Size.Rows < 50);
    }
  }
}

TEST(EncoderTest, CodePageGlyphs) {
  EXPECT_EQ(Cp437ToUnicode(0), U' ');
  EXPECT_EQ(Cp437ToUnicode(1), U'\u263A');
  EXPECT_EQ(Cp437ToUnicode(127), U'\u2302');
  EXPECT_EQ(Cp437ToUnicode(176), U'\u2591');
  EXPECT_EQ(Cp437ToUnicode(219), U'\u2588');
  EXPECT_EQ(Cp437ToUnicode(220), U'\u2584');
  EXPECT_EQ(Cp437ToUnicode(223), U'\u2580');
  EXPECT_EQ(Cp437ToUtf8('A'), "A");
  EXPECT_EQ(Cp437ToUtf8(130), "\xc3\xa9");      // é
  EXPECT_EQ(Cp437ToUtf8(196), "\xe2\x94\x80");  // ─
  EXPECT_EQ(UnicodeToCp437(U'\u00e9'), 130);
  EXPECT_EQ(UnicodeToCp437(U'/'), '/');
  EXPECT_EQ(UnicodeToCp437(U'\u4e2d'), -1);
  for (int Code = 1; Code < 256; ++Code)
    EXPECT_EQ(UnicodeToCp437(Cp437ToUnicode(uint8_t(Code))), Code);
}

TEST(EncoderTest, OpenAndCloseSequences) {
  std::string Open = TTerminalEncoder::OpenSequence("vorlek", true);
  for (const char* Part : {"\x1b[22;0t", "\x1b]2;vorlek\x07", "\x1b[?1049h", "\x1b[?25l",
                           "\x1b[?7l", "\x1b[9;1t", "\x1b[10;1t"})
    EXPECT_NE(Open.find(Part), std::string::npos) << Part;
  EXPECT_EQ(Open.find("\x1b[22;0t"), 0u);  // the old title is kept before it is replaced
  EXPECT_EQ(TTerminalEncoder::OpenSequence("vorlek", false).find("\x1b[10;1t"), std::string::npos);
  std::string Close = TTerminalEncoder::CloseSequence();
  for (const char* Part : {"\x1b[0m", "\x1b[r", "\x1b[?7h", "\x1b[?25h", "\x1b[?1049l", "\x1b[23;0t"})
    EXPECT_NE(Close.find(Part), std::string::npos) << Part;
  // Control characters in a title could end the sequence early.
  EXPECT_EQ(TTerminalEncoder::TitleSequence("a\x07"
                                            "b\x1b"),
            "\x1b]2;ab\x07");
}


// The Linux console's own colour rules: a seeded sequence of frames replays exactly through a
// model of that console, intensity included, with its 256-glyph font (bright backgrounds by the
// blink bit) and its 512-glyph font (none: they show dark). The show's palette is set first and
// reset last, and nothing it cannot show (24-bit colour, REP, the line-drawing set) is sent,
// whatever was asked.
TEST(EncoderTest, LinuxConsoleShowsEveryColourByItsRules) {
  for (bool BigFont : {false, true}) {
    SCOPED_TRACE(BigFont ? "512 glyphs" : "256 glyphs");
    const TTerminalKind Kind{.TrueColor = true, .LinuxConsole = true, .BrightBackgrounds = !BigFont,
                             .LineDrawing = true, .Repeat = TTerminalKind::TRepeat::Every};
    TTerminalEncoder Encoder(Kind);
    Encoder.Resize(80, 50, TCellShape{8, 8});
    TLinuxConsoleScreen Term(50, 80, BigFont);
    Term.Feed(TTerminalEncoder::OpenSequence("vorlek", false, Kind));
    ASSERT_EQ(Term.Palette.size(), 16u);
    for (int Ansi = 0; Ansi < 16; ++Ansi) {
      const TPaletteColor& Want = ConsolePalette[AnsiIndex(Ansi)];
      EXPECT_EQ(Term.Palette[size_t(Ansi)].Entry, Ansi);
      EXPECT_EQ(Term.Palette[size_t(Ansi)].Rgb, uint32_t(Want.R << 16 | Want.G << 8 | Want.B));
    }
    uint32_t Seed = 11;
    auto Frame = RandomFrame(Seed);
    int Moved = 0;
    for (int Step = 0; Step < 36; ++Step) {
      if (Step > 0) NextFrame(Frame, Step, Seed);
      std::string Bytes;
      Encoder.Encode(Frame, Bytes);
      Term.Feed(Bytes);
      Moved += Step % 8 == 6 && MovesScreen(Bytes);
      EXPECT_EQ(Bytes.find("\x1b(0"), std::string::npos);
      int Mismatches = 0;
      for (int Index = 0; Index < 4000; ++Index) {
        const TCharInfo& Want = Frame[size_t(Index)];
        const auto& Got = Term.Cell(Index / 80, Index % 80);
        const int Fg = AnsiIndex(Want.Attributes & 15), Bg = AnsiIndex((Want.Attributes >> 4) & 15);
        const bool Blank = Want.AsciiChar == 0 || Want.AsciiChar == ' ' || Fg == Bg;
        const bool Right = Got.Bg == (BigFont ? Bg & 7 : Bg) &&
                           (Blank ? Got.Glyph == U' ' || (Got.Glyph == Cp437ToUnicode(Want.AsciiChar) &&
                                                          Got.Fg == Got.Bg)
                                  : Got.Glyph == Cp437ToUnicode(Want.AsciiChar) && Got.Fg == Fg);
        if (!Right && ++Mismatches <= 3)
          ADD_FAILURE() << "step " << Step << " cell " << Index << ": fg " << Got.Fg << " bg "
                        << Got.Bg << " want " << Fg << " on " << Bg;
      }
      ASSERT_EQ(Mismatches, 0) << "step " << Step;
    }
    EXPECT_EQ(Moved, 4);
    Term.Feed(TTerminalEncoder::CloseSequence(Kind));
    EXPECT_EQ(Term.Palette.size(), 17u);
    EXPECT_EQ(Term.Palette.back().Entry, -1);  // reset
    EXPECT_EQ(Term.Unsupported, 0);
    // Given back cleared, in the console's own colours: no alternate screen keeps the show.
    for (int Index = 0; Index < 4000; ++Index) {
      const auto& Got = Term.Cell(Index / 80, Index % 80);
      ASSERT_TRUE(Got.Glyph == U' ' && Got.Fg == 7 && Got.Bg == 0) << Index;
    }
    // And its tab stops every eighth column.
    Term.Feed("\t8");
    EXPECT_EQ(Term.Cell(0, 8).Glyph, U'8');
  }
}

}  // namespace
