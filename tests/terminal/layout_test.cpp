// Where the show lands on terminals of every size and cell shape, and how repeated cells keep
// line art joined.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "terminal/Cp437.h"
#include "terminal/TerminalLayout.h"
#include "terminal/TerminalTraits.h"

namespace {

TEST(LayoutTest, RepetitionKeepsThePictureInProportion) {
  struct TCase {
    int Columns, Rows;
    TCellShape Cell;
    int Width, Height, Left, Top;
  } Cases[] = {
      {200, 60, {1, 2}, 160, 50, 20, 5},      // tall cells, the usual guess: columns doubled
      {200, 60, {8, 8}, 80, 50, 60, 5},       // square cells: one cell per cell
      {240, 67, {8, 16}, 160, 50, 40, 8},     // a maximized terminal with an 8 x 16 font
      {160, 50, {9, 18}, 160, 50, 0, 0},
      {250, 60, {10, 20}, 160, 50, 45, 5},
      {250, 60, {8, 17}, 160, 50, 45, 5},     // 16:17 beats 24:17
      {250, 60, {7, 16}, 160, 50, 45, 5},
      {240, 100, {8, 8}, 160, 100, 40, 0},    // square cells double both ways where they fit
      {330, 100, {8, 16}, 320, 100, 5, 0},    // as large as fits: 4 x 2 beats 2 x 1
      {400, 300, {8, 8}, 320, 200, 40, 50},   // at most four copies each way
      {65535, 65535, {1, 1}, 320, 200, 32607, 32667},
      {159, 50, {1, 2}, 80, 50, 39, 0},       // no room in proportion: one cell per cell
      {80, 50, {1, 2}, 80, 50, 0, 0},
      {81, 99, {1, 1}, 80, 50, 0, 24},
      {200, 60, {0, 0}, 80, 50, 60, 5},       // a cell without a size counts as square
      {200, 40, {1, 2}, 80, 40, 60, 0},       // too few rows: the reduced view
      {80, 24, {1, 2}, 80, 24, 0, 0},
      {0, 0, {1, 2}, 1, 1, 0, 0},
  };
  for (const TCase& Case : Cases) {
    TTerminalLayout Layout(Case.Columns, Case.Rows, Case.Cell);
    EXPECT_EQ((std::array{Layout.Width(), Layout.Height(), Layout.Left(), Layout.Top()}),
              (std::array{Case.Width, Case.Height, Case.Left, Case.Top}))
        << Case.Columns << " x " << Case.Rows << " cells of " << Case.Cell.Width << " x "
        << Case.Cell.Height;
  }
}

std::u32string Text(const std::string& Codes) {
  std::u32string Out;
  for (char Code : Codes) Out += Cp437ToUnicode(uint8_t(Code));
  return Out;
}

std::string Copies(const std::string& Codes, int Copy, int Repeat, bool Down) {
  std::string Out;
  for (char Code : Codes) Out += char(RepeatedGlyph(uint8_t(Code), Copy, Repeat, Down));
  return Out;
}

// Every line-art glyph of the code page, doubled: across, the first copy keeps the glyph and the
// second continues its right arm (light or double) or is blank; down, the second continues its
// lower arm. Half blocks split between the copies; every other glyph repeats.
TEST(LayoutTest, DoubledLineArtStaysJoined) {
  std::string Box;
  for (int Code = 0xb3; Code <= 0xda; ++Code) Box += char(Code);
  ASSERT_EQ(Text(Box), U"│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌");
  EXPECT_EQ(Text(Copies(Box, 0, 2, false)), Text(Box));
  EXPECT_EQ(Text(Copies(Box, 1, 2, false)), U"             ──────═─════════─═──══──═ ─");
  EXPECT_EQ(Text(Copies(Box, 0, 2, true)), Text(Box));
  EXPECT_EQ(Text(Copies(Box, 1, 2, true)), U"│││║║│║║║   │  ││ ││║ ║ ║║ ║  │║  │║║│ │");
  // A third or fourth copy continues the same arm.
  EXPECT_EQ(Copies(Box, 3, 4, false), Copies(Box, 1, 2, false));

  const std::string Halves = "\xdd\xde\xdf\xdc";  // ▌▐▀▄
  EXPECT_EQ(Text(Copies(Halves, 0, 2, false)), U"█ ▀▄");
  EXPECT_EQ(Text(Copies(Halves, 1, 2, false)), U" █▀▄");
  EXPECT_EQ(Text(Copies(Halves, 0, 2, true)), U"▌▐█ ");
  EXPECT_EQ(Text(Copies(Halves, 1, 2, true)), U"▌▐ █");
  EXPECT_EQ(Text(Copies(Halves, 1, 3, false)), U"▌▐▀▄");  // the middle of three keeps the half

  for (int Code = 0; Code < 256; ++Code) {
    if ((Code >= 0xb3 && Code <= 0xda) || (Code >= 0xdc && Code <= 0xdf)) continue;
    for (bool Down : {false, true})
      for (int Copy = 0; Copy < 4; ++Copy)
        EXPECT_EQ(RepeatedGlyph(uint8_t(Code), Copy, 4, Down), Code) << Code;
  }
}

// Applying the layout: each show cell becomes its copies with its colours, corners stay corners.
TEST(LayoutTest, ApplyDoublesTheColumns) {
  std::vector<TCharInfo> Show(size_t(ShowColumns) * ShowRows, TCharInfo{' ', 0, 0x07});
  Show[0] = TCharInfo{0xda, 0, 0x4e};  // ┌
  Show[1] = TCharInfo{0xbf, 0, 0x1f};  // ┐
  Show[80] = TCharInfo{0xdd, 0, 0x2a}; // ▌
  TTerminalLayout Layout(160, 50, TCellShape{8, 16});
  std::vector<TCharInfo> Out;
  Layout.Apply(Show, Out);
  ASSERT_EQ(Out.size(), 160u * 50u);
  const TCharInfo Want[] = {{0xda, 0, 0x4e}, {0xc4, 0, 0x4e}, {0xbf, 0, 0x1f}, {' ', 0, 0x1f}};
  for (int Column = 0; Column < 4; ++Column) EXPECT_EQ(Out[size_t(Column)], Want[Column]) << Column;
  EXPECT_EQ(Out[160], (TCharInfo{0xdb, 0, 0x2a}));
  EXPECT_EQ(Out[161], (TCharInfo{' ', 0, 0x2a}));
}


// What the user, the terminal and the console say of the cell, most trusted first.
TEST(LayoutTest, CellShapeFromItsSources) {
  EXPECT_EQ(ParseCellShape("8x16"), (TCellShape{8, 16}));
  EXPECT_EQ(ParseCellShape("512x1"), (TCellShape{512, 1}));
  for (const char* Bad : {"", "x", "8x", "x8", "8", "0x8", "8x0", "-8x8", "8x8x", "8 x 8", "513x8",
                          "99999999999x8", "8X8"})
    EXPECT_EQ(ParseCellShape(Bad), std::nullopt) << Bad;

  EXPECT_EQ(CellFromWindowPixels(1600, 1000, 200, 60), (TCellShape{8, 16}));
  EXPECT_EQ(CellFromWindowPixels(0, 0, 200, 60), std::nullopt);  // tmux and most others
  EXPECT_EQ(CellFromWindowPixels(100, 100, 200, 60), std::nullopt);
  EXPECT_EQ(CellFromWindowPixels(1600, 1000, 0, 0), std::nullopt);

  const TCellShape A{1, 1}, B{2, 2}, C{3, 3}, D{4, 4};
  EXPECT_EQ(ChooseCellShape({A, B, C, D}), A);
  EXPECT_EQ(ChooseCellShape({{}, B, C, D}), B);
  EXPECT_EQ(ChooseCellShape({{}, {}, C, D}), C);
  EXPECT_EQ(ChooseCellShape({{}, {}, {}, D}), D);
  EXPECT_EQ(ChooseCellShape({}), (TCellShape{1, 2}));

  for (const char* Term : {"linux", "linux-16color", "linux-m"}) EXPECT_TRUE(IsLinuxConsoleTerm(Term));
  for (const char* Term : {"", "xterm", "xlinux", "linux16", "Linux"}) EXPECT_FALSE(IsLinuxConsoleTerm(Term));
  for (const char* Term : {"xterm", "xterm-256color", "xterm-kitty", "tmux-256color", "screen"})
    EXPECT_TRUE(DrawsLineDrawing(Term));
  for (const char* Term : {"", "linux", "dumb", "xterms", "vt52", "screenx"}) EXPECT_FALSE(DrawsLineDrawing(Term));
}

}  // namespace
