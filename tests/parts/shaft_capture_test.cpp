// The shaft descent and shaft palette parts as vorlek-capture plays them: a few frames of each,
// reached by leaping through the show with the Right key.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CaptureFrames.h"

namespace {

// Frames by show time, from Right presses that leap towards each target (ascending, divisible by
// 4), then steps onto it; a leap lands at least 200 ms early, so the bass levels settle first.
std::map<int64_t, TFrame> Capture(const std::string& Audio, const std::vector<int64_t>& Targets) {
  std::string Keys, Cells;
  int64_t Clock = 0, Show = 0;  // the show time the frame at Clock reaches
  for (int64_t Target : Targets) {
    Cells += " --cells-at " + std::to_string(Target);
    for (; Show < Target; Show += 4, Clock += 4) {
      if (Show + 1004 > Target - 200) continue;
      Keys += (Keys.empty() ? "" : ",") + std::to_string(Clock) + ":right";
      Show += 1000;
    }
  }
  // The frame after the one reaching a target depicts it; stop just after the last.
  int Status;
  const std::string Out =
      RunCommand(std::string(std::getenv("VORLEK_BUILD_DIR")) + "/vorlek-capture " + Audio +
                     " --step 4 --keys " + Keys + Cells + " --until " + std::to_string(Clock + 12),
                 Status);
  const std::vector<TFrame> Read = ReadFrames(Out);
  std::map<int64_t, TFrame> Frames;
  for (size_t I = 0; Status == 0 && I < Read.size() && I < Targets.size(); ++I)
    Frames[Targets[I]] = Read[I];
  return Frames;
}

char Back(const TFrame& F, int Column, int Row) {
  return F.Attributes[size_t(Row)][size_t(2 * Column)];
}
char Fore(const TFrame& F, int Column, int Row) {
  return F.Attributes[size_t(Row)][size_t(2 * Column + 1)];
}

// Cells of a frame for which Test(Frame, Column, Row) holds, in a rectangle of the screen.
template <typename TTest>
int CountCells(const TFrame& F, TTest Test, int Column0 = 0, int Column1 = 80, int Row0 = 0,
               int Row1 = 50) {
  int Count = 0;
  for (int Row = Row0; Row < Row1; ++Row)
    for (int Column = Column0; Column < Column1; ++Column) Count += Test(F, Column, Row);
  return Count;
}

const std::string Fire = "04cef";  // black, dark and bright red, yellow, white
bool IsFire(char Colour) { return Fire.find(Colour) != std::string::npos; }
bool IsMagentaOrBlue(char Colour) { return Colour == 'd' || Colour == '9' || Colour == '1'; }

TEST(ShaftCaptureTest, DescentFadesInThenThePaletteCyclesAndBreaksUp) {
  ASSERT_NE(std::getenv("VORLEK_BUILD_DIR"), nullptr);
  auto Frames = Capture("--silent", {42000, 43000, 46000, 50000, 58000, 70000, 73996});
  ASSERT_EQ(Frames.size(), 7u);
  std::map<int64_t, std::vector<std::u32string>> Glyphs;
  for (auto& [Ms, Frame] : Frames)
    for (const std::string& Row : Frame.Glyphs) Glyphs[Ms].push_back(Columns(Row));

  // Black first, then the fire palette through the default ramp ("b" follows an "X"), brightening.
  for (int64_t Ms : {42000, 43000, 46000, 50000}) {
    const std::u32string Allowed = Ms == 42000 ? U" " : U" \u2219+sodX0b";
    EXPECT_EQ(CountCells(Frames[Ms],
                         [&](const TFrame& F, int C, int R) {
                           return Allowed.find(Glyphs[Ms][size_t(R)][size_t(C)]) !=
                                      std::u32string::npos &&
                                  IsFire(Back(F, C, R)) && IsFire(Fore(F, C, R)) &&
                                  (Ms > 42000 || Back(F, C, R) == '0');
                         }),
              4000)
        << Ms;
  }
  auto Bright = [](const TFrame& F, int C, int R) { return Fire.find(Back(F, C, R)) >= 2; };
  EXPECT_GT(CountCells(Frames[46000], Bright), CountCells(Frames[43000], Bright));

  // Magenta and blues only top-left and bottom-right, once the offset has grown.
  auto Cycled = [](const TFrame& F, int C, int R) {
    return IsMagentaOrBlue(Back(F, C, R)) || IsMagentaOrBlue(Fore(F, C, R));
  };
  for (int64_t Ms : {58000, 70000, 73996}) {
    EXPECT_EQ(CountCells(Frames[Ms], Cycled, 40, 80, 0, 25), 0) << Ms;
    EXPECT_EQ(CountCells(Frames[Ms], Cycled, 0, 40, 25, 50), 0) << Ms;
  }
  EXPECT_EQ(CountCells(Frames[58000], Cycled), 0);
  EXPECT_GT(CountCells(Frames[70000], Cycled, 0, 40, 0, 25), 200);
  EXPECT_GT(CountCells(Frames[70000], Cycled, 40, 80, 25, 50), 200);

  // In the mosaic each 16 x 16 block, split where quadrants meet, holds a dither of at most three
  // different cells; a normal frame's blocks hold more.
  std::map<int64_t, int> Varied;
  for (int64_t Ms : {70000, 73996}) {
    std::map<int, std::set<std::u32string>> Regions;
    for (int R = 0; R < 50; ++R)
      for (int C = 0; C < 80; ++C)
        Regions[(R / 16 * 5 + C / 16) * 4 + R / 25 * 2 + C / 40].insert(
            {Glyphs[Ms][size_t(R)][size_t(C)], char32_t(Back(Frames[Ms], C, R)),
             char32_t(Fore(Frames[Ms], C, R))});
    ASSERT_EQ(Regions.size(), 30u);
    for (const auto& Region : Regions) Varied[Ms] += Region.second.size() > 3;
  }
  EXPECT_GE(Varied[70000], 20);
  EXPECT_EQ(Varied[73996], 0);
}

TEST(ShaftCaptureTest, BassChangesTheDescent) {
  ASSERT_NE(std::getenv("VORLEK_BUILD_DIR"), nullptr);
  const auto Quiet = Capture("--silent", {50000});
  const auto Loud =
      Capture("--music " + std::string(std::getenv("VORLEK_BUILD_DIR")) + "/vorlek.ogg", {50000});
  ASSERT_EQ(Quiet.size(), 1u);
  ASSERT_EQ(Loud.size(), 1u);
  EXPECT_TRUE(Loud.at(50000).Attributes != Quiet.at(50000).Attributes) << "as if silent";
}

}  // namespace
