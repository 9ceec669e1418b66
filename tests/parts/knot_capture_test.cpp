// The knot tunnel and the part inside the knot as vorlek-capture plays them, jumping ahead with the
// Right key so that a few seconds of capture reach every moment looked at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "CaptureFrames.h"

namespace {

const std::string Build = std::getenv("VORLEK_BUILD_DIR") ? std::getenv("VORLEK_BUILD_DIR") : ".";
const std::vector<int> Times = {11000, 17996, 18000, 22000, 30000, 41996};

// Count presses of Key, one a 4 ms frame, from capture time From.
std::string Presses(int From, int Count, const std::string& Key) {
  std::string Out;
  for (int I = 0; I < Count; ++I) Out += "," + std::to_string(From + 4 * I) + ":" + Key;
  return Out;
}

// The frames at Times, each played through at 4 ms steps, never jumped over.
std::map<int, TFrame> Capture(const std::string& Music, const std::string& Keys, int Until) {
  std::string Command = Build + "/vorlek-capture --step 4 " + Music + " --keys " + Keys.substr(1) +
                        " --until " + std::to_string(Until);
  for (int T : Times) Command += " --cells-at " + std::to_string(T);
  int Status = 0;
  const std::string Out = RunCommand(Command, Status);
  EXPECT_EQ(Status, 0) << Command;
  const std::vector<TFrame> List = ReadFrames(Out);
  EXPECT_EQ(List.size(), Times.size()) << Command;
  std::map<int, TFrame> Frames;
  for (size_t I = 0; I < List.size() && I < Times.size(); ++I) Frames[Times[I]] = List[I];
  return Frames;
}

// Cells drawn with one of Glyphs whose two colours are both among Colors (hex digits).
int CountCells(const TFrame& Frame, const std::u32string& Glyphs,
               const std::string& Colors = "0123456789abcdef") {
  int Count = 0;
  for (size_t Row = 0; Row < 50; ++Row) {
    const std::u32string Text = Columns(Frame.Glyphs[Row]);
    for (size_t Column = 0; Column < Text.size(); ++Column) {
      const std::string A = Frame.Attributes[Row].substr(2 * Column, 2);
      Count += Glyphs.find(Text[Column]) != std::u32string::npos &&
               Colors.find(A[0]) != std::string::npos && Colors.find(A[1]) != std::string::npos;
    }
  }
  return Count;
}

TEST(KnotCaptureTest, TunnelThenInsideTheKnot) {
  const std::string Music = "--music " + Build + "/vorlek.ogg";
  // Show time = capture time + 1000 per net Right press.
  const std::string Straight = Presses(0, 10, "right") + Presses(1200, 5, "right") +
                               Presses(3100, 3, "right") + Presses(4100, 7, "right") +
                               Presses(5100, 11, "right");
  auto Played = Capture(Music, Straight, 6100);
  EXPECT_EQ(Capture(Music, Straight, 6100), Played);  // the same frames run to run

  const std::u32string Block = U" ∙│─┼┴├┬┤└┌┐┘", Ramp = U" ∙+sodX0b";  // "b": a "d" after "X"
  EXPECT_GT(4000 - CountCells(Played[11000], U" "), 800);  // the giant copy, in line art
  EXPECT_EQ(CountCells(Played[11000], Block), 4000);
  EXPECT_EQ(CountCells(Played[17996], Block), 4000);  // the block mapper to the end of 8 s
  EXPECT_GT(4000 - CountCells(Played[17996], U" ∙"), 100);
  EXPECT_EQ(CountCells(Played[18000], Ramp, "04c"), 4000);  // then black, dark and bright red
  EXPECT_GT(CountCells(Played[18000], U"sodX0"), 100);
  EXPECT_EQ(CountCells(Played[30000], Ramp, "04c"), 4000);
  std::string Black;  // what black pixels give: blank cells on black
  for (int I = 0; I < 80; ++I) Black += "04";
  EXPECT_EQ(CountCells(Played[41996], U" "), 4000);
  EXPECT_EQ(Played[41996].Attributes, std::vector<std::string>(50, Black));

  // Silent, after crossing into the tunnel and back 24 times: the tunnel draws the same frames,
  // the part inside the knot does not (the bass shrinks its tube).
  std::string Seeking =
      Presses(0, 10, "right") + Presses(1200, 5, "right") + Presses(3100, 10, "left");
  for (int At = 3160; At < 3160 + 24 * 32; At += 32)  // 8.1 to 8.9 s: two seconds up, two back
    Seeking += Presses(At, 2, "right") + Presses(At + 16, 2, "left");
  Seeking += Presses(4000, 12, "right") + Presses(5100, 7, "right") + Presses(6100, 11, "right");
  auto Silent = Capture("--silent", Seeking, 7100);
  for (int T : {11000, 17996, 18000, 22000, 41996}) EXPECT_EQ(Silent[T], Played[T]) << T;
  EXPECT_NE(Silent[30000], Played[30000]);
}

}  // namespace
