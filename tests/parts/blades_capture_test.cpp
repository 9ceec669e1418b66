// The spinning blades part as vorlek-capture plays it, and the whole show from start to end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "CaptureFrames.h"

namespace {

// A cell that shows something: a visible glyph in a colour, or a coloured background.
bool Lit(const TFrame& F, const std::vector<std::u32string>& Glyphs, int C, int R) {
  const char32_t G = Glyphs[size_t(R)][size_t(C)];
  return Back(F, C, R) != '0' || (G != U' ' && Fore(F, C, R) != '0');
}

TEST(BladesCaptureTest, MosaicFirePaletteLineArtThenOnlyTheOverlay) {
  ASSERT_NE(std::getenv("VORLEK_BUILD_DIR"), nullptr);
  auto Frames = CaptureAt("--silent", {74000, 78000, 81996, 82000, 86000, 90500});
  ASSERT_EQ(Frames.size(), 6u);
  std::map<int64_t, std::vector<std::u32string>> Glyphs;
  for (auto& [Ms, Frame] : Frames)
    for (const std::string& Row : Frame.Glyphs) Glyphs[Ms].push_back(Columns(Row));

  // The fire palette through the default ramp up to 8 s; box-drawing line art from then on.
  const std::u32string Ramp = U" \u2219+sodX0b";
  const std::u32string Lines = U" \u2500\u2502\u253c\u2534\u251c\u252c\u2524\u2514\u250c\u2510\u2518\u2219";
  const std::string Fire = "04cef";
  for (int64_t Ms : {74000, 78000, 81996, 82000, 86000, 90500}) {
    const bool LineArt = Ms >= 82000;
    EXPECT_EQ(CountWhere(Frames[Ms],
                         [&](const TFrame& F, int C, int R) {
                           const char32_t G = Glyphs[Ms][size_t(R)][size_t(C)];
                           if (LineArt) return Lines.find(G) != std::u32string::npos;
                           return Ramp.find(G) != std::u32string::npos &&
                                  Fire.find(Back(F, C, R)) != std::string::npos &&
                                  Fire.find(Fore(F, C, R)) != std::string::npos;
                         }),
              4000)
        << Ms;
  }
  // Line art uses glyphs the ramp never has, and the other way round.
  auto HasLine = [&](int64_t Ms) {
    return CountWhere(Frames[Ms], [&](const TFrame&, int C, int R) {
      const char32_t G = Glyphs[Ms][size_t(R)][size_t(C)];
      return G != U' ' && G != U'\u2219' && Lines.find(G) != std::u32string::npos;
    });
  };
  EXPECT_EQ(HasLine(81996), 0);
  EXPECT_GT(HasLine(82000), 0);

  // The first frame is 16 x 16 pixel blocks: 64 picture rows from row -7 put the block seams
  // after screen rows 8, 24 and 40. Each block holds a dither of at most three cells.
  std::map<int, std::set<std::u32string>> Blocks;
  for (int R = 0; R < 50; ++R)
    for (int C = 0; C < 80; ++C)
      Blocks[(R + 7) / 16 * 5 + C / 16].insert({Glyphs[74000][size_t(R)][size_t(C)],
                                                char32_t(Back(Frames[74000], C, R)),
                                                char32_t(Fore(Frames[74000], C, R))});
  ASSERT_EQ(Blocks.size(), 20u);
  int Varied = 0;
  for (const auto& Block : Blocks) Varied += Block.second.size() > 3;
  EXPECT_EQ(Varied, 0);
  EXPECT_GT(CountWhere(Frames[74000],
                       [&](const TFrame& F, int C, int R) { return Lit(F, Glyphs[74000], C, R); }),
            0);

  // Past 16 s the blades are gone and only the faint overlay is left.
  auto LitCells = [&](int64_t Ms) {
    return CountWhere(Frames[Ms],
                      [&](const TFrame& F, int C, int R) { return Lit(F, Glyphs[Ms], C, R); });
  };
  EXPECT_GT(LitCells(86000), 200);
  EXPECT_LT(LitCells(90500) * 10, LitCells(86000));
}

// The whole show with the track, twice at a coarse step: it ends by itself at 92 s with exit 0
// and records the same bytes both times.
TEST(BladesCaptureTest, WholeShowEndsByItselfAndRepeatsExactly) {
  const char* Build = std::getenv("VORLEK_BUILD_DIR");
  ASSERT_NE(Build, nullptr);
  std::vector<std::string> Casts;
  for (int Run = 0; Run < 2; ++Run) {
    const std::string Cast = testing::TempDir() + "vorlek-show-" + std::to_string(getpid()) + "-" +
                             std::to_string(Run) + ".cast";
    int Status;
    RunCommand(std::string(Build) + "/vorlek-capture --music " + Build +
                   "/vorlek.ogg --step 40 --cast " + Cast + " 2>&1",
               Status);
    EXPECT_EQ(Status, 0);
    std::ifstream File(Cast, std::ios::binary);
    Casts.emplace_back(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
    File.close();
    std::remove(Cast.c_str());
  }
  ASSERT_GT(Casts[0].size(), 100000u);
  EXPECT_TRUE(Casts[0] == Casts[1]) << "the two runs differ";
  // The last frame's time: the show stops on the first frame past 92 s.
  const size_t Last = Casts[0].rfind("\n[");
  ASSERT_NE(Last, std::string::npos);
  const double Seconds = std::atof(Casts[0].c_str() + Last + 2);
  EXPECT_GE(Seconds, 91.9);
  EXPECT_LT(Seconds, 92.1);
}

}  // namespace
