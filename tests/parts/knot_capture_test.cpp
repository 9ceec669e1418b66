// The knot tunnel and the part inside the knot as vorlek-capture plays them, jumping ahead with the
// Right key so that a few seconds of capture reach every moment looked at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "CaptureFrames.h"

namespace {

// Count presses of Key, one a frame (the capture steps 4 ms), from capture time From.
std::string Presses(int From, int Count, const std::string& Key) {
  std::string Out;
  for (int I = 0; I < Count; ++I) Out += "," + std::to_string(From + 4 * I) + ":" + Key;
  return Out;
}

// Frames by show time. Every wanted time is played through at 4 ms steps, never jumped over.
std::map<int, TFrame> Capture(const std::string& Music, const std::string& Keys,
                              const std::vector<int>& Times, int Until, std::string* Raw = nullptr) {
  const std::string Build = std::getenv("VORLEK_BUILD_DIR");
  std::string Command = Build + "/vorlek-capture --step 4 " + Music + " --keys " + Keys.substr(1) +
                        " --until " + std::to_string(Until);
  for (int T : Times) Command += " --cells-at " + std::to_string(T);
  int Status = 0;
  const std::string Out = RunCommand(Command, Status);
  EXPECT_EQ(Status, 0) << Command;
  if (Raw) *Raw = Out;
  std::map<int, TFrame> Frames;
  const std::vector<TFrame> List = ReadFrames(Out);
  EXPECT_EQ(List.size(), Times.size()) << Command;
  for (size_t I = 0; I < List.size() && I < Times.size(); ++I) Frames[Times[I]] = List[I];
  return Frames;
}

// Cells whose glyph is in Glyphs and whose two colours are in Colors (hex digits).
int CountCells(const TFrame& Frame, const std::u32string& Glyphs, const std::string& Colors) {
  int Count = 0;
  for (size_t Row = 0; Row < 50; ++Row) {
    const std::u32string Text = Columns(Frame.Glyphs[Row]);
    for (size_t Column = 0; Column < 80 && Column < Text.size(); ++Column) {
      const std::string Attribute = Frame.Attributes[Row].substr(2 * Column, 2);
      if (Glyphs.find(Text[Column]) != std::u32string::npos &&
          Colors.find(Attribute[0]) != std::string::npos &&
          Colors.find(Attribute[1]) != std::string::npos)
        ++Count;
    }
  }
  return Count;
}

std::string Repeat(const std::string& Text, size_t Times) {
  std::string Out;
  for (size_t I = 0; I < Times; ++I) Out += Text;
  return Out;
}

const std::string AnyColor = "0123456789abcdef";
const std::u32string BlockGlyphs = U" ∙│─┼┴├┬┤└┌┐┘";
const std::u32string RampGlyphs = U" ∙+sodX0b";  // "b" is the shaped "d" after an "X"

TEST(KnotCaptureTest, TunnelThenInsideTheKnot) {
  const std::string Music = "--music " + std::string(std::getenv("VORLEK_BUILD_DIR")) + "/vorlek.ogg";
  const std::vector<int> Times = {11000, 17996, 18000, 22000, 30000, 41996};
  // Show time = capture time + 1000 per net Right press.
  const std::string Straight = Presses(0, 10, "right") + Presses(1200, 5, "right") +
                               Presses(3100, 3, "right") + Presses(4100, 7, "right") +
                               Presses(5100, 11, "right");
  std::string First, Second;
  auto Played = Capture(Music, Straight, Times, 6100, &First);
  Capture(Music, Straight, Times, 6100, &Second);
  EXPECT_EQ(First, Second);  // the same bytes run to run

  // One second in, the giant copy covers much of the screen in block line art.
  EXPECT_GT(4000 - CountCells(Played[11000], U" ", AnyColor), 800);
  EXPECT_EQ(CountCells(Played[11000], BlockGlyphs, AnyColor), 4000);
  // The block mapper to the last frame before 8 s, the red value mapper from 8 s.
  EXPECT_EQ(CountCells(Played[17996], BlockGlyphs, AnyColor), 4000);
  EXPECT_GT(4000 - CountCells(Played[17996], U" ∙", AnyColor), 100);
  EXPECT_EQ(CountCells(Played[18000], RampGlyphs, "04c"), 4000);
  EXPECT_GT(CountCells(Played[18000], U"sodX0", "04c"), 100);
  EXPECT_EQ(CountCells(Played[30000], RampGlyphs, "04c"), 4000);
  // Faded out by the last frame: every cell is what a black pixel gives.
  for (size_t Row = 0; Row < 50; ++Row) {
    EXPECT_EQ(Played[41996].Glyphs[Row], std::string(80, ' ')) << Row;
    EXPECT_EQ(Played[41996].Attributes[Row], Repeat("04", 80)) << Row;
  }

  // Silent, after crossing into the tunnel and back 24 times: the tunnel draws the same frames,
  // the part inside the knot does not (the bass shrinks its tube).
  std::string Seeking = Presses(0, 10, "right") + Presses(1200, 5, "right") +
                        Presses(3100, 10, "left");
  for (int Cycle = 0; Cycle < 24; ++Cycle) {
    const int At = 3160 + 32 * Cycle;  // 8.1 to 8.9 s: two steps up into the tunnel, two back
    Seeking += Presses(At, 2, "right") + Presses(At + 16, 2, "left");
  }
  Seeking += Presses(4000, 12, "right") + Presses(5100, 7, "right") + Presses(6100, 11, "right");
  auto Silent = Capture("--silent", Seeking, Times, 7100);
  for (int T : {11000, 17996, 18000, 22000}) EXPECT_EQ(Silent[T], Played[T]) << T;
  EXPECT_NE(Silent[30000], Played[30000]);
  EXPECT_EQ(Silent[41996], Played[41996]);
}

}  // namespace
