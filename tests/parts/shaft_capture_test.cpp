// The shaft descent and shaft palette parts as vorlek-capture plays them: a few frames of each,
// reached by leaping through the show with the Right key.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TFrame {
  std::vector<std::u32string> Glyphs;   // 50 rows of 80
  std::vector<std::string> Attributes;  // 50 rows of 80 two-digit hex pairs
  char Back(int Column, int Row) const { return Attributes[size_t(Row)][size_t(2 * Column)]; }
  char Fore(int Column, int Row) const { return Attributes[size_t(Row)][size_t(2 * Column + 1)]; }
  std::u32string Cell(int Column, int Row) const {
    return Glyphs[size_t(Row)].substr(size_t(Column), 1) + char32_t(Back(Column, Row)) +
           char32_t(Fore(Column, Row));
  }
};

std::u32string Columns(const std::string& Utf8) {
  std::u32string Out;
  for (size_t I = 0; I < Utf8.size();) {
    const auto Lead = uint8_t(Utf8[I]);
    const size_t Length = Lead < 0x80 ? 1 : Lead < 0xE0 ? 2 : Lead < 0xF0 ? 3 : 4;
    char32_t C = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (size_t K = 1; K < Length && I + K < Utf8.size(); ++K) C = (C << 6) | (Utf8[I + K] & 0x3F);
    Out += C;
    I += Length;
  }
  return Out;
}

// Plays the show from BuildDir with Right presses that leap towards each target (times divisible
// by 4), then steps onto it; returns the frames by show time.
std::map<int64_t, TFrame> Capture(const std::string& BuildDir, const std::string& Audio,
                                  const std::vector<int64_t>& Targets) {
  std::string Keys, Cells;
  int64_t Clock = 0, Show = 0;  // the show time the frame at Clock reaches
  for (int64_t Target : Targets) {
    Cells += " --cells-at " + std::to_string(Target);
    for (; Show < Target; Show += 4, Clock += 4) {
      // A leap lands at least 200 ms early, so the bass levels settle before the target.
      if (Show + 1004 > Target - 200) continue;
      Keys += (Keys.empty() ? "" : ",") + std::to_string(Clock) + ":right";
      Show += 1000;
    }
  }
  // The frame after the one reaching the target depicts it (a scene sees the previous frame's
  // time); stop just after.
  const std::string Command = BuildDir + "/vorlek-capture " + Audio + " --step 4 --keys " + Keys +
                              Cells + " --until " + std::to_string(Clock + 12);
  std::string Out;
  FILE* Pipe = popen(Command.c_str(), "r");
  if (!Pipe) return {};
  char Buffer[4096];
  for (size_t Count; (Count = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0;)
    Out.append(Buffer, Count);
  if (pclose(Pipe) != 0) return {};

  std::map<int64_t, TFrame> Frames;
  std::istringstream In(Out);
  for (std::string Line; std::getline(In, Line);) {
    if (Line.rfind("@ ", 0) != 0) continue;
    TFrame& Frame = Frames[std::stoll(Line.substr(2))];
    for (int I = 0; I < 50 && std::getline(In, Line); ++I) Frame.Glyphs.push_back(Columns(Line));
    std::getline(In, Line);
    for (int I = 0; I < 50 && std::getline(In, Line); ++I) Frame.Attributes.push_back(Line);
  }
  return Frames;
}

const std::u32string RampGlyphs = U" \u2219+sodX0b";  // the default ramp, "b" from after an "X"
const std::string FireColours = "04cef";              // black, dark and bright red, yellow, white

bool IsFire(char Colour) { return FireColours.find(Colour) != std::string::npos; }
bool IsMagentaOrBlue(char Colour) { return Colour == 'd' || Colour == '9' || Colour == '1'; }
bool IsBright(char Colour) { return FireColours.find(Colour) >= 2; }

// Cells of F for which Test(Frame, Column, Row) holds, in the rows and columns given.
template <typename TTest>
int CountCells(const TFrame& F, TTest Test, int Column0 = 0, int Column1 = 80, int Row0 = 0,
               int Row1 = 50) {
  int Count = 0;
  for (int Row = Row0; Row < Row1; ++Row)
    for (int Column = Column0; Column < Column1; ++Column) Count += Test(F, Column, Row);
  return Count;
}

// One run through both parts.
TEST(ShaftCaptureTest, DescentFadesInThenThePaletteCyclesAndBreaksUp) {
  const char* Build = std::getenv("VORLEK_BUILD_DIR");
  ASSERT_NE(Build, nullptr);
  auto Frames = Capture(Build, "--silent", {42000, 43000, 46000, 50000, 58000, 70000, 73996});
  ASSERT_EQ(Frames.size(), 7u);

  // Black first, then the fire palette through the default ramp, brighter as it fades in.
  EXPECT_EQ(CountCells(Frames[42000],
                       [](const TFrame& F, int C, int R) {
                         return F.Glyphs[size_t(R)][size_t(C)] == U' ' && F.Back(C, R) == '0';
                       }),
            4000);
  for (int64_t Ms : {43000, 46000, 50000}) {
    EXPECT_EQ(CountCells(Frames[Ms],
                         [](const TFrame& F, int C, int R) {
                           return RampGlyphs.find(F.Glyphs[size_t(R)][size_t(C)]) !=
                                      std::u32string::npos &&
                                  IsFire(F.Back(C, R)) && IsFire(F.Fore(C, R));
                         }),
              4000)
        << Ms;
  }
  auto Bright = [](const TFrame& F, int C, int R) { return IsBright(F.Back(C, R)); };
  EXPECT_GT(CountCells(Frames[46000], Bright), CountCells(Frames[43000], Bright));

  // Magenta and blues only in the top-left and bottom-right quadrants, once the offset grows.
  auto Cycled = [](const TFrame& F, int C, int R) {
    return IsMagentaOrBlue(F.Back(C, R)) || IsMagentaOrBlue(F.Fore(C, R));
  };
  for (int64_t Ms : {58000, 70000, 73996}) {
    EXPECT_EQ(CountCells(Frames[Ms], Cycled, 40, 80, 0, 25), 0) << Ms;
    EXPECT_EQ(CountCells(Frames[Ms], Cycled, 0, 40, 25, 50), 0) << Ms;
  }
  EXPECT_EQ(CountCells(Frames[58000], Cycled), 0);
  EXPECT_GT(CountCells(Frames[70000], Cycled, 0, 40, 0, 25), 200);
  EXPECT_GT(CountCells(Frames[70000], Cycled, 40, 80, 25, 50), 200);

  // Each 16 x 16 block, split where quadrants meet, holds a dither of at most three different
  // cells in the mosaic; a normal frame holds more.
  std::map<int64_t, int> Varied;  // regions of more than three different cells
  for (int64_t Ms : {70000, 73996}) {
    std::map<int, std::set<std::u32string>> Regions;
    for (int Row = 0; Row < 50; ++Row)
      for (int Column = 0; Column < 80; ++Column)
        Regions[(Row / 16 * 5 + Column / 16) * 4 + Row / 25 * 2 + Column / 40].insert(
            Frames[Ms].Cell(Column, Row));
    ASSERT_EQ(Regions.size(), 30u);
    for (const auto& Region : Regions) Varied[Ms] += Region.second.size() > 3;
  }
  EXPECT_GE(Varied[70000], 20);
  EXPECT_EQ(Varied[73996], 0);
}

TEST(ShaftCaptureTest, BassChangesTheDescent) {
  const char* Build = std::getenv("VORLEK_BUILD_DIR");
  ASSERT_NE(Build, nullptr);
  const auto Silent = Capture(Build, "--silent", {50000});
  const auto Loud = Capture(Build, "--music " + std::string(Build) + "/vorlek.ogg", {50000});
  ASSERT_EQ(Silent.size(), 1u);
  ASSERT_EQ(Loud.size(), 1u);
  const TFrame& Quiet = Silent.at(50000);
  EXPECT_GT(
      CountCells(Loud.at(50000), [&Quiet](const TFrame& F, int C,
                                          int R) { return F.Cell(C, R) != Quiet.Cell(C, R); }),
      0);
}

}  // namespace
