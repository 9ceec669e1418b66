#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <queue>
#include <vector>

#include "harness/EncodingFloor.h"

namespace {

// The cursor's least moves agree with a plain search over every place the cursor may stand on a
// small screen, each control taken one at a time: the least bytes to where the next glyph goes.
TEST(EncodingFloorTest, CursorMovesAreTheLeastOverEveryControl) {
  const int Columns = 20, Rows = 7, Last = Columns - 1, Bottom = Rows - 1;
  TCursorMoves Moves(Columns, Rows);
  // A place: row, column and whether the last column was just written.
  auto Index = [&](int Row, int Column, bool Pending) {
    return (Row * Columns + Column) * 2 + Pending;
  };
  auto Length = [](int N) { return N < 10 ? 1 : 2; };
  auto Each = [&](int Row, int Column, bool Pending,
                  const std::function<void(int, int, bool, int)>& To) {
    if (Pending) {
      To(Row, Last, false, 0);  // terminals leave the wrap on the way (see CursorMoves.h)
      if (Row < Bottom) To(Row + 1, 1, false, 1);  // writing wraps
    } else {
      To(Row, std::min(Last, Column + 1), Column == Last, 1);  // writing
      To(Row, std::max(0, Column - 1), false, 1);
      if (Column == 0) To(Row == 0 ? Bottom : Row - 1, Last, false, 1);  // reverse wrap
      To(Row, std::min(Last, (Column / 8 + 1) * 8), false, 1);
      To(Row, 0, false, 1);
    }
    // Row moves keep the wrap where terminals do; line feed (also in new line mode), index,
    // next line, reverse index, the lower left corner.
    if (Row < Bottom) {
      To(Row + 1, Column, Pending, 1);
      To(Row + 1, 0, false, 1);
    }
    if (Row > 0) To(Row - 1, Column, Pending, 2);
    To(Bottom, 0, false, 2);
    const int At = Pending ? Last : Column;
    for (int N = 0; N <= 30; ++N) {  // CSI with no count (N = 0), or with one
      const int Bytes = 3 + (N ? Length(N) : 0), By = std::max(1, N);
      To(std::max(0, Row - By), Column, Pending, Bytes);                              // A
      To(std::min(Bottom, Row + By), Column, Pending, Bytes);                         // B, e
      To(std::min(Bottom, Row + By), 0, false, Bytes);                                // E
      To(std::max(0, Row - By), 0, false, Bytes);                                     // F
      To(Row, std::min(Last, At + By), false, Bytes);                                 // C, a
      To(Row, std::max(0, At - By), false, Bytes);                                    // D
      To(Row, std::min(Last, By - 1), false, Bytes);                                  // G, `
      To(std::min(Bottom, By - 1), Column, Pending, Bytes);                           // d
      To(Row, std::min(Last, (At / 8 + By) * 8), false, Bytes);                       // I
      To(Row, At == 0 ? 0 : std::max(0, ((At - 1) / 8 - By + 1) * 8), false, Bytes);  // Z
      for (int M = 0; M <= 30; ++M)  // H, f: row;column, either left out
        To(std::min(Bottom, By - 1), std::min(Last, std::max(1, M) - 1), false,
           Bytes + (M ? 1 + Length(M) : 0));
    }
  };
  for (int Row = 0; Row < Rows; ++Row)
    for (int Column = 0; Column <= Columns; ++Column) {
      const bool Pending = Column == Columns;
      std::vector<int> Cost(size_t(Columns * Rows * 2), 1 << 20);
      using TQueued = std::pair<int, int>;
      std::priority_queue<TQueued, std::vector<TQueued>, std::greater<>> Queue;
      Cost[size_t(Index(Row, Pending ? Last : Column, Pending))] = 0;
      Queue.push({0, Index(Row, Pending ? Last : Column, Pending)});
      while (!Queue.empty()) {
        const auto [Bytes, Place] = Queue.top();
        Queue.pop();
        if (Bytes > Cost[size_t(Place)]) continue;
        Each(Place / 2 / Columns, Place / 2 % Columns, Place % 2, [&](int R, int C, bool P, int B) {
          if (Bytes + B < Cost[size_t(Index(R, C, P))]) {
            Cost[size_t(Index(R, C, P))] = Bytes + B;
            Queue.push({Bytes + B, Index(R, C, P)});
          }
        });
      }
      for (int Cell = 0; Cell < Columns * Rows; ++Cell) {
        const int R = Cell / Columns, C = Cell % Columns;
        int Least = Cost[size_t(Index(R, C, false))];
        if (C == 0 && R > 0) Least = std::min(Least, Cost[size_t(Index(R - 1, Last, true))]);
        ASSERT_EQ(Moves.From(Row, Column, Cell), Least)
            << "from " << Row << "," << Column << " to " << R << "," << C;
      }
    }
}

// The least assignment is the least over every pairing, found by trying them all on small random
// costs: ends and starts in up to three groups (a pair costs what its groups' pair costs, and what
// the end adds), some pairs listed, an end sometimes cheapest on its own start. One group is the
// single default.
TEST(EncodingFloorTest, LeastAssignmentIsTheLeastOverEveryPairing) {
  uint32_t Seed = 11;
  auto Random = [&](uint32_t Range) {
    Seed = Seed * 1664525u + 1013904223u;
    return int((Seed >> 8) % Range);
  };
  for (int Trial = 0; Trial < 600; ++Trial) {
    const int Count = 1 + Random(7), Groups = Trial % 2 ? 1 + Random(3) : 1;
    std::vector<int> Far(size_t(Groups * Groups), 3), EndGroups, StartGroups, Leave;
    if (Groups > 1)
      for (int& Cost : Far) Cost = 2 + Random(6);
    for (int Index = 0; Index < Count; ++Index) {
      EndGroups.push_back(Random(uint32_t(Groups)));
      StartGroups.push_back(Random(uint32_t(Groups)));
      Leave.push_back(Groups > 1 ? Random(3) : 0);
    }
    std::vector<std::vector<int>> Cost(size_t(Count), std::vector<int>(size_t(Count), 0));
    std::vector<TPairCost> Cheaper;
    for (int End = 0; End < Count; ++End)
      for (int Start = 0; Start < Count; ++Start) {
        int& Pair = Cost[size_t(End)][size_t(Start)];
        Pair = Far[size_t(EndGroups[size_t(End)] * Groups + StartGroups[size_t(Start)])] +
               Leave[size_t(End)];
        if (Random(3) == 0) {
          const int Listed = Random(5);
          Cheaper.push_back({End, Start, Listed});
          Pair = std::min(Pair, Listed);
        }
      }
    std::vector<int> Pairing(size_t(Count), 0);
    std::iota(Pairing.begin(), Pairing.end(), 0);
    long Least = 1 << 30;
    do {
      long Sum = 0;
      for (int End = 0; End < Count; ++End) Sum += Cost[size_t(End)][size_t(Pairing[size_t(End)])];
      Least = std::min(Least, Sum);
    } while (std::next_permutation(Pairing.begin(), Pairing.end()));
    const long Found =
        Groups > 1 ? LeastAssignment({Count, EndGroups, StartGroups, Leave, Groups, Far, Cheaper})
                   : LeastAssignment(Count, 3, Cheaper);
    EXPECT_EQ(Found, Least) << "trial " << Trial;
  }
}

// Small frames on a 10 x 6 screen, each with the way the floor takes across its gaps: the glyphs,
// and the fewest bytes of controls across each gap, at most three with any control (one byte
// back for a cursor an earlier frame may have saved); without a restore of the cursor, the
// bytes of an SGR on top of the move where the pen changes. Changed blanks are written on the
// way, or erased by ECH or EL.
TEST(EncodingFloorTest, GapsCostTheLeastAControlCanTake) {
  struct TCase {
    const char* What;
    std::vector<std::pair<int, TCharInfo>> Cells;  // cell index, what it shows now
    long AnyControl, NoRestore;
  };
  const TCharInfo X{'X', 0, 0x07}, Block{0xdb, 0, 0x07}, Blue{'X', 0, 0x17}, Green{'X', 0, 0x12},
      Red{' ', 0, 0x40};
  const std::vector<TCase> Cases = {
      {"a staircase: X LF X LF X LF X", {{0, X}, {11, X}, {22, X}, {33, X}}, 6, 7},
      {"a row with unchanged cells between: X o X o X", {{0, X}, {2, X}, {4, X}}, 4, 5},
      {"four columns apart: X o _ _ X, three cells written", {{2, X}, {6, X}}, 4, 5},
      {"two pens side by side: X SGR X", {{0, X}, {1, Blue}}, 4, 6},
      {"both colours change: X SGR X", {{0, X}, {1, Green}}, 4, 8},
      {"the last column, then the next row's first: X X", {{9, X}, {10, X}}, 2, 2},
      {"far apart: X LF LF LF LF BS X", {{3, X}, {45, X}}, 4, 7},
      {"a block is three bytes, each time: X LF X (in new line mode), in UTF-8",
       {{0, Block}, {10, Block}},
       6,
       7},
      {"a blank written on the way: X SP X", {{0, X}, {1, {' ', 0, 0x07}}, {2, X}}, 2, 3},
      {"a blank far from another: SP, and ECH for the other",
       {{3, {' ', 0, 0x40}}, {57, {' ', 0, 0x20}}},
       3,
       4},
      {"a row of blanks: EL",
       {{50, Red},
        {51, Red},
        {52, Red},
        {53, Red},
        {54, Red},
        {55, Red},
        {56, Red},
        {57, Red},
        {58, Red},
        {59, Red}},
       2,
       3},
  };
  TFloorFinder Floors(10, 6);
  for (const TCase& Case : Cases) {
    std::vector<TCharInfo> Before(60, TCharInfo{' ', 0, 0x07}), After = Before;
    for (int Cell : {1, 3}) Before[size_t(Cell)] = After[size_t(Cell)] = TCharInfo{'o', 0, 0x07};
    for (const auto& [Cell, Shows] : Case.Cells) After[size_t(Cell)] = Shows;
    EXPECT_EQ(Floors.Floor(Before, After).Bytes(), Case.AnyControl) << Case.What;
    EXPECT_EQ(Floors.Floor(Before, After, TFloorModel::NoRestore).Bytes(), Case.NoRestore)
        << Case.What;
  }
  // An erase spoils the unchanged glyphs it covers, which must be written again: blanks between
  // blocks go as spaces, a byte each and a byte over each block between (an EL would cost three
  // bytes and two more for each block, three bytes in UTF-8, beyond the byte a move counts).
  std::vector<TCharInfo> Before(60, TCharInfo{' ', 0, 0x07});
  for (int Cell = 50; Cell < 60; ++Cell) Before[size_t(Cell)] = Block;
  std::vector<TCharInfo> After = Before;
  for (int Cell = 50; Cell < 60; Cell += 2) After[size_t(Cell)] = Red;
  EXPECT_EQ(Floors.Floor(Before, After).Bytes(), 8);
  EXPECT_EQ(Floors.Floor(Before, After, TFloorModel::NoRestore).Bytes(), 9);
}

}  // namespace
