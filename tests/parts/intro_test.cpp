#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "console/ImageToCells.h"
#include "image/Random.h"
#include "parts/Intro.h"

namespace {

// One colour table for the whole file: it never changes once built.
const TColorTable& Colors() {
  static const TColorTable Table;
  return Table;
}

constexpr uint8_t HalfBlock = 220;

uint32_t NextState(uint32_t State) { return State * 134775813u + 1u; }

struct TIntro {
  TRecordingScreen Screen;
  TConsole Console{Screen, "vorlek", false};
  TRandom Random;
  TScene1 Scene;
  explicit TIntro(const std::string& Directory = "/home/demo")
      : Scene(Directory, Random, Colors()) {
    Scene.SetOutput(Console);
  }
  const TCharInfo& At(int Column, int Row) const {
    return Console.Cells[size_t(Row * 80 + Column)];
  }
  void RenderAt(int32_t Ms) {
    Random.State = 0;
    Scene.Elapsed = Ms;
    Scene.Render();
  }
};

// What the block mapper draws for a black window.
TCharInfo BlankCell() {
  TRecordingScreen Screen;
  TConsole Console(Screen, "x", false);
  TImage Black(161, 101);
  TLin1Mapper Mapper(Colors());
  DrawBlockImage(Console, Black, 0, 0, Mapper);
  return Console.Cells[0];
}

TEST(IntroTest, StartsAsAPlainPromptOverBlack) {
  TIntro Intro;
  const TCharInfo Blank = BlankCell();
  EXPECT_EQ(Blank.Attributes, 0x01);
  for (int32_t Ms : {0, 1500}) {
    Intro.RenderAt(Ms);
    const std::string Prompt = "/home/demo> ";
    for (int Row = 0; Row < 50; ++Row)
      for (int Column = 0; Column < 80; ++Column) {
        const TCharInfo& Cell = Intro.At(Column, Row);
        if (Row == 0 && Column < int(Prompt.size()))
          ASSERT_EQ(Cell, (TCharInfo{uint8_t(Prompt[size_t(Column)]), 0, 0x07})) << Ms;
        else
          ASSERT_EQ(Cell, Blank) << Ms << " at " << Column << "," << Row;  // no caption, no logo
      }
  }
}

TEST(IntroTest, CaptionAndLogoReadPlainlyAtFiveAndAHalfSeconds) {
  TIntro Intro;
  Intro.RenderAt(5500);
  const std::string First = "quentar", Second = "presents";
  for (size_t I = 0; I < First.size(); ++I)
    EXPECT_EQ(Intro.At(5 + 2 * int(I), 15), (TCharInfo{uint8_t(First[I]), 0, 0x0f}));
  for (size_t I = 0; I < Second.size(); ++I)
    EXPECT_EQ(Intro.At(21 + 2 * int(I), 15), (TCharInfo{uint8_t(Second[I]), 0, 0x0f}));

  // The logo rows hold exactly what the logo alone draws there.
  TRecordingScreen Screen;
  TConsole Reference(Screen, "x", false);
  DrawHalfBlockImage(Reference, Intro.Scene.Logo, 0, 12, Colors());
  int LogoCells = 0;
  for (int Row = 12; Row <= 32; ++Row)
    for (int Column = 0; Column < 80; ++Column) {
      const TCharInfo& Want = Reference.Cells[size_t(Row * 80 + Column)];
      if (Want.AsciiChar != HalfBlock) continue;
      ++LogoCells;
      EXPECT_EQ(Intro.At(Column, Row), Want) << Column << "," << Row;
    }
  EXPECT_GT(LogoCells, 300);
  // The prompt is gone.
  for (int Column = 0; Column < 80; ++Column) EXPECT_NE(Intro.At(Column, 0).Attributes, 0x07);
}

TEST(IntroTest, ScrambledLogoCellsTurnWhiteOnBlackOrKeepTheirColours) {
  TIntro Intro;
  TRecordingScreen Screen;
  TConsole Reference(Screen, "x", false);
  DrawHalfBlockImage(Reference, Intro.Scene.Logo, 0, 12, Colors());
  Intro.RenderAt(3500);  // the strongest scramble, over the logo itself
  int Kept = 0, Scrambled = 0;
  for (int Row = 17; Row <= 28; ++Row)
    for (int Column = 0; Column < 80; ++Column) {
      const TCharInfo& Logo = Reference.Cells[size_t(Row * 80 + Column)];
      if (Logo.AsciiChar != HalfBlock) continue;
      const TCharInfo& Got = Intro.At(Column, Row);
      if (Got.AsciiChar == HalfBlock) {
        EXPECT_EQ(Got.Attributes, Logo.Attributes);
        ++Kept;
      } else {
        EXPECT_NE(std::string("+sodX0").find(char(Got.AsciiChar)), std::string::npos);
        EXPECT_EQ(Got.Attributes, 0x0f);
        ++Scrambled;
      }
    }
  EXPECT_GT(Kept, 50);
  EXPECT_GT(Scrambled, 50);
}

TEST(IntroTest, OnlyNoiseRemainsFromNineAndAHalfSeconds) {
  for (int32_t Ms : {9500, 9800}) {
    TIntro Intro;
    Intro.RenderAt(Ms);
    for (const TCharInfo& Cell : Intro.Console.Cells) {
      ASSERT_NE(Cell.Attributes, 0x0f) << Ms;
      ASSERT_NE(Cell.Attributes, 0x07) << Ms;
      ASSERT_NE(Cell.AsciiChar, HalfBlock) << Ms;
    }
  }
}

TEST(IntroTest, NoisePulsesTwice) {
  TIntro Intro;
  auto Strongest = [&](int32_t Ms) {
    Intro.RenderAt(Ms);
    uint32_t Max = 0;
    for (TPixel P : Intro.Scene.Canvas.Pixels) Max = std::max(Max, P & 0xFF);
    return Max;
  };
  EXPECT_EQ(Strongest(0), 0u);
  EXPECT_EQ(Strongest(1999), 0u);
  EXPECT_EQ(Strongest(6000), 0u);
  EXPECT_EQ(Strongest(10000), 0u);
  EXPECT_EQ(Strongest(4000), 255u);
  EXPECT_EQ(Strongest(8000), 255u);
  const uint32_t Rising = Strongest(3000);  // weight 181: 255 * 181 / 256
  EXPECT_EQ(Rising, 180u);
}

TEST(IntroTest, ScrambleDrawsOnceAndPicksFromTheGlyphTable) {
  TRandom Random;
  for (float Amount : {0.0f, 0.1f, 1.0f}) {
    Random.State = 99;
    TScene1::ScrambleGlyph(Random, 'a', 1.57f, Amount);
    EXPECT_EQ(Random.State, NextState(99)) << Amount;
  }
  // Without strength, or below 1.5 of it, the character stays.
  Random.State = 5;
  for (int I = 0; I < 100; ++I) {
    EXPECT_EQ(TScene1::ScrambleGlyph(Random, 'a', float(I), 0.0f), 'a');
    EXPECT_EQ(TScene1::ScrambleGlyph(Random, 'a', 1.5707964f, 0.2f), 'a');  // d = 1.4
  }
  // At full strength all seven outcomes come up.
  std::string Seen;
  for (int I = 0; I < 700; ++I) {
    const char C = char(TScene1::ScrambleGlyph(Random, 'a', 1.5707964f, 1.0f));
    if (Seen.find(C) == std::string::npos) Seen += C;
  }
  std::sort(Seen.begin(), Seen.end());
  EXPECT_EQ(Seen, "+0Xados");
}

TEST(IntroTest, PromptOfLongAndNonAsciiDirectories) {
  const std::string Long = "/" + std::string(120, 'x');
  TIntro Intro(Long);
  Intro.RenderAt(0);
  for (int Column = 1; Column < 80; ++Column) EXPECT_EQ(Intro.At(Column, 0).AsciiChar, 'x');
  EXPECT_EQ(Intro.At(0, 1), BlankCell());  // clipped, never wrapped

  TRandom Random;
  EXPECT_EQ(TScene1("/tmp/caf\xc3\xa9/\xe6\x97\xa5", Random, Colors()).Prompt, "/tmp/caf\x82/?> ");
  // Bad UTF-8 and a control byte.
  EXPECT_EQ(TScene1("/a\xff" "b\x1b", Random, Colors()).Prompt, "/a?b?> ");
  EXPECT_EQ(TScene1("", Random, Colors()).Prompt, "> ");
}

TEST(IntroTest, EnterKeepsElapsed) {
  TIntro Intro;
  Intro.Scene.Elapsed = 1234;
  Intro.Scene.Enter();
  EXPECT_EQ(Intro.Scene.Elapsed, 1234);
  EXPECT_EQ(Intro.Scene.Logo.Width, 80);
  EXPECT_EQ(Intro.Scene.Logo.TransparentColor, 0xFF0000FFu);
}

}  // namespace
