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

const std::string Fire = "04cef";  // black, dark and bright red, yellow, white
bool IsFire(char Colour) { return Fire.find(Colour) != std::string::npos; }
bool IsMagentaOrBlue(char Colour) { return Colour == 'd' || Colour == '9' || Colour == '1'; }

TEST(ShaftCaptureTest, DescentFadesInThenThePaletteCyclesAndBreaksUp) {
  ASSERT_NE(std::getenv("VORLEK_BUILD_DIR"), nullptr);
  auto Frames = CaptureAt("--silent", {42000, 43000, 46000, 50000, 58000, 70000, 73996});
  ASSERT_EQ(Frames.size(), 7u);
  std::map<int64_t, std::vector<std::u32string>> Glyphs;
  for (auto& [Ms, Frame] : Frames)
    for (const std::string& Row : Frame.Glyphs) Glyphs[Ms].push_back(Columns(Row));

  // Black first, then the fire palette through the default ramp ("b" follows an "X"), brightening.
  for (int64_t Ms : {42000, 43000, 46000, 50000}) {
    const std::u32string Allowed = Ms == 42000 ? U" " : U" \u2219+sodX0b";
    EXPECT_EQ(CountWhere(Frames[Ms],
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
  EXPECT_GT(CountWhere(Frames[46000], Bright), CountWhere(Frames[43000], Bright));

  // Magenta and blues only top-left and bottom-right, once the offset has grown.
  auto Cycled = [](const TFrame& F, int C, int R) {
    return IsMagentaOrBlue(Back(F, C, R)) || IsMagentaOrBlue(Fore(F, C, R));
  };
  for (int64_t Ms : {58000, 70000, 73996}) {
    EXPECT_EQ(CountWhere(Frames[Ms], Cycled, 40, 80, 0, 25), 0) << Ms;
    EXPECT_EQ(CountWhere(Frames[Ms], Cycled, 0, 40, 25, 50), 0) << Ms;
  }
  EXPECT_EQ(CountWhere(Frames[58000], Cycled), 0);
  EXPECT_GT(CountWhere(Frames[70000], Cycled, 0, 40, 0, 25), 200);
  EXPECT_GT(CountWhere(Frames[70000], Cycled, 40, 80, 25, 50), 200);

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
  const auto Quiet = CaptureAt("--silent", {50000});
  const auto Loud =
      CaptureAt("--music " + std::string(std::getenv("VORLEK_BUILD_DIR")) + "/vorlek.ogg", {50000});
  ASSERT_EQ(Quiet.size(), 1u);
  ASSERT_EQ(Loud.size(), 1u);
  EXPECT_TRUE(Loud.at(50000).Attributes != Quiet.at(50000).Attributes) << "as if silent";
}

}  // namespace
