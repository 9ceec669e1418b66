#include <gtest/gtest.h>

#include <vector>

#include "VTermScreen.h"
#include "platform/Cp437.h"
#include "platform/TerminalEncoder.h"

namespace {

constexpr uint8_t Rgb[16][3] = {
    {0, 0, 0},       {0, 0, 192},   {0, 192, 0},   {0, 192, 192}, {192, 0, 0},     {192, 0, 192},
    {192, 192, 0},   {192, 192, 192}, {127, 127, 127}, {0, 0, 255}, {0, 255, 0},   {0, 255, 255},
    {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};

// The terminal's colour number for a console colour: red and blue bits swap places.
int AnsiOf(int Console) {
  return ((Console & 1) << 2) | (Console & 2) | ((Console & 4) >> 2) | (Console & 8);
}

std::vector<TCharInfo> RandomFrame(uint32_t Seed) {
  std::vector<TCharInfo> Cells(4000);
  for (auto& Cell : Cells) {
    Seed = Seed * 1664525u + 1013904223u;
    Cell.AsciiChar = uint8_t(Seed >> 24);
    Cell.Attributes = uint16_t((Seed >> 8) & 0xff);
  }
  return Cells;
}

// Every visible cell of the emulated terminal shows the glyph and colours of Cells.
void ExpectShows(const TVTermScreen& Term, const std::vector<TCharInfo>& Cells, bool TrueColor) {
  int Mismatches = 0;
  for (int Row = 0; Row < std::min(50, Term.Rows); ++Row)
    for (int Column = 0; Column < std::min(80, Term.Columns); ++Column) {
      const TCharInfo& Want = Cells[size_t(Row * 80 + Column)];
      VTermScreenCell Got = Term.Cell(Row, Column);
      const int Fg = Want.Attributes & 15, Bg = (Want.Attributes >> 4) & 15;
      bool Same = Term.Glyph(Row, Column) == Cp437ToUnicode(Want.AsciiChar) && Got.width == 1;
      if (TrueColor) {
        Same = Same && VTERM_COLOR_IS_RGB(&Got.fg) && VTERM_COLOR_IS_RGB(&Got.bg) &&
               Got.fg.rgb.red == Rgb[Fg][0] && Got.fg.rgb.green == Rgb[Fg][1] &&
               Got.fg.rgb.blue == Rgb[Fg][2] && Got.bg.rgb.red == Rgb[Bg][0] &&
               Got.bg.rgb.green == Rgb[Bg][1] && Got.bg.rgb.blue == Rgb[Bg][2];
      } else {
        Same = Same && VTERM_COLOR_IS_INDEXED(&Got.fg) && VTERM_COLOR_IS_INDEXED(&Got.bg) &&
               Got.fg.indexed.idx == AnsiOf(Fg) && Got.bg.indexed.idx == AnsiOf(Bg);
      }
      if (!Same && ++Mismatches <= 5)
        ADD_FAILURE() << "cell " << Row << "," << Column << " code " << int(Want.AsciiChar)
                      << " attr " << Want.Attributes;
    }
  EXPECT_EQ(Mismatches, 0);
}

class EncoderTest : public testing::TestWithParam<bool> {};

TEST_P(EncoderTest, FramesReplayToTheSameCells) {
  const bool TrueColor = GetParam();
  TTerminalEncoder Encoder(TrueColor);
  TVTermScreen Term(50, 80);
  Term.Feed(TTerminalEncoder::OpenSequence("vorlek", false));
  std::string Bytes;
  auto Frame = RandomFrame(1);
  Encoder.Encode(Frame, Bytes);
  Term.Feed(Bytes);
  ExpectShows(Term, Frame, TrueColor);
  const size_t FullSize = Bytes.size();

  // A few cells change: only they are written, and the screen follows.
  for (int Index : {0, 79, 80, 1234, 3999}) Frame[size_t(Index)] = TCharInfo{219, 0, 0x4e};
  Bytes.clear();
  Encoder.Encode(Frame, Bytes);
  Term.Feed(Bytes);
  ExpectShows(Term, Frame, TrueColor);
  EXPECT_LT(Bytes.size(), 200u);
  EXPECT_GT(FullSize, 4000u);

  // Another whole frame over the old one.
  Frame = RandomFrame(2);
  Bytes.clear();
  Encoder.Encode(Frame, Bytes);
  Term.Feed(Bytes);
  ExpectShows(Term, Frame, TrueColor);
}

INSTANTIATE_TEST_SUITE_P(Colours, EncoderTest, testing::Bool());

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
  EXPECT_EQ(Count, 2u);  // the reset before the clear, then blue and white once
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
}

TEST(EncoderTest, SmallerTerminalClipsWithoutScrolling) {
  TTerminalEncoder Encoder(true);
  Encoder.Resize(60, 30);
  TVTermScreen Small(30, 60);
  auto Frame = RandomFrame(4);
  std::string Bytes;
  Encoder.Encode(Frame, Bytes);
  Small.Feed(Bytes);
  ExpectShows(Small, Frame, true);  // row 0 is still row 0: nothing wrapped or scrolled

  // Growing again rewrites every cell.
  Encoder.Resize(80, 50);
  TVTermScreen Large(50, 80);
  Bytes.clear();
  Encoder.Encode(Frame, Bytes);
  Large.Feed(Bytes);
  ExpectShows(Large, Frame, true);
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
  for (int Code = 1; Code < 256; ++Code) EXPECT_EQ(UnicodeToCp437(Cp437ToUnicode(uint8_t(Code))), Code);
}

TEST(EncoderTest, OpenAndCloseSequences) {
  std::string Open = TTerminalEncoder::OpenSequence("vorlek", true);
  for (const char* Part : {"\x1b[22;0t", "\x1b]2;vorlek\x07", "\x1b[?1049h", "\x1b[?25l",
                           "\x1b[?7l", "\x1b[9;1t", "\x1b[10;1t"})
    EXPECT_NE(Open.find(Part), std::string::npos) << Part;
  EXPECT_EQ(Open.find("\x1b[22;0t"), 0u);  // the old title is kept before it is replaced
  EXPECT_EQ(TTerminalEncoder::OpenSequence("vorlek", false).find("\x1b[10;1t"), std::string::npos);
  std::string Close = TTerminalEncoder::CloseSequence();
  for (const char* Part : {"\x1b[0m", "\x1b[?7h", "\x1b[?25h", "\x1b[?1049l", "\x1b[23;0t"})
    EXPECT_NE(Close.find(Part), std::string::npos) << Part;
  // Control characters in a title could end the sequence early.
  EXPECT_EQ(TTerminalEncoder::TitleSequence("a\x07" "b\x1b"), "\x1b]2;ab\x07");
}

}  // namespace
