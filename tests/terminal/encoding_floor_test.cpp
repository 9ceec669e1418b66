#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "harness/EncodingFloor.h"

namespace {

// The least assignment is the least over every pairing, found by trying them all on small random
// costs (some pairs listed, the rest at the default, an end sometimes cheapest on its own start).
TEST(EncodingFloorTest, LeastAssignmentIsTheLeastOverEveryPairing) {
  uint32_t Seed = 11;
  auto Random = [&](uint32_t Range) {
    Seed = Seed * 1664525u + 1013904223u;
    return int((Seed >> 8) % Range);
  };
  for (int Trial = 0; Trial < 300; ++Trial) {
    const int Count = 1 + Random(7);
    std::vector<std::vector<int>> Cost(size_t(Count), std::vector<int>(size_t(Count), 3));
    std::vector<TPairCost> Cheaper;
    for (int End = 0; End < Count; ++End)
      for (int Start = 0; Start < Count; ++Start)
        if (Random(3) == 0) {
          Cost[size_t(End)][size_t(Start)] = Random(3);
          Cheaper.push_back({End, Start, Cost[size_t(End)][size_t(Start)]});
        }
    std::vector<int> Pairing(size_t(Count), 0);
    std::iota(Pairing.begin(), Pairing.end(), 0);
    long Least = 1 << 30;
    do {
      long Sum = 0;
      for (int End = 0; End < Count; ++End) Sum += Cost[size_t(End)][size_t(Pairing[size_t(End)])];
      Least = std::min(Least, Sum);
    } while (std::next_permutation(Pairing.begin(), Pairing.end()));
    EXPECT_EQ(LeastAssignment(Count, 3, Cheaper), Least) << "trial " << Trial;
  }
}

// Small frames on a 10 x 6 screen, each with the way the floor takes across its gaps: the glyphs,
// a byte for each step that one byte makes, and for a change of pen or a far move three (any
// control, one byte back for a cursor an earlier frame may have saved) or four (without a
// restore of the cursor, which also prices a reach of three bytes).
TEST(EncodingFloorTest, GapsCostTheLeastAControlCanTake) {
  struct TCase {
    const char* What;
    std::vector<std::pair<int, TCharInfo>> Cells;  // cell index, what it shows now
    long AnyControl, NoRestore;
  };
  const TCharInfo X{'X', 0, 0x07}, Block{0xdb, 0, 0x07}, Blue{'X', 0, 0x17};
  const std::vector<TCase> Cases = {
      {"a staircase: X LF X LF X LF X", {{0, X}, {11, X}, {22, X}, {33, X}}, 6, 7},
      {"a row with unchanged cells between: X o X o X", {{0, X}, {2, X}, {4, X}}, 4, 5},
      {"four columns apart: X o _ _ X, three cells written", {{2, X}, {6, X}}, 4, 5},
      {"two pens side by side: X SGR X", {{0, X}, {1, Blue}}, 4, 6},
      {"the last column, then the next row's first: X X", {{9, X}, {10, X}}, 2, 2},
      {"far apart: X CSI 5;6 H X", {{3, X}, {45, X}}, 4, 6},
      {"a block is three bytes, each time: X CR LF X, in UTF-8", {{0, Block}, {10, Block}}, 7, 8},
      {"blanks that change colour may all be erased at once",
       {{3, {' ', 0, 0x40}}, {57, {' ', 0, 0x20}}},
       0,
       0},
  };
  for (const TCase& Case : Cases) {
    std::vector<TCharInfo> Before(60, TCharInfo{' ', 0, 0x07}), After = Before;
    for (int Cell : {1, 3}) Before[size_t(Cell)] = After[size_t(Cell)] = TCharInfo{'o', 0, 0x07};
    for (const auto& [Cell, Shows] : Case.Cells) After[size_t(Cell)] = Shows;
    EXPECT_EQ(EncodingFloor(Before, After, 10, 6).Bytes(), Case.AnyControl) << Case.What;
    EXPECT_EQ(EncodingFloor(Before, After, 10, 6, TFloorModel::NoRestore).Bytes(), Case.NoRestore)
        << Case.What;
  }
}

}  // namespace
