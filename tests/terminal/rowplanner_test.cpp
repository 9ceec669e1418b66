#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "terminal/RowPlanner.h"

namespace {

// A row from literal text: glyphs, which cells changed ('1'), and each cell's attribute as a
// hex digit pair per cell ("07" white on black when Colors is empty).
struct TRow {
  std::vector<TCharInfo> Cells;
  std::vector<uint8_t> Changed;
};
TRow MakeRow(const char* Glyphs, const char* Changed, const char* Colors = "") {
  TRow Row;
  for (size_t Index = 0; Index < std::strlen(Glyphs); ++Index) {
    const uint16_t Attributes =
        *Colors ? uint16_t(std::stoi(std::string(Colors + 2 * Index, 2), nullptr, 16)) : 0x07;
    Row.Cells.push_back(TCharInfo{uint8_t(Glyphs[Index]), 0, Attributes});
    Row.Changed.push_back(Changed[Index] == '1');
  }
  return Row;
}

// The plan as letters, a step each: Write, Skip, Erase, K (to the line's end), Defer, Rest
// deferred; skips and erases say where the cursor goes next.
std::string Letters(std::span<const TRowPlanner::TStep> Steps) {
  std::string Out;
  for (const auto& Step : Steps) {
    Out += "?WSEKDR"[Step.Action];
    if (Step.Action == TRowPlanner::Skip || Step.Action == TRowPlanner::Erase)
      Out += std::to_string(Step.To);
  }
  return Out;
}

// Each row takes the plan with the fewest bytes: unchanged cells are rewritten when that is
// shorter than a move, blanks to the line's end are erased, an odd colour amid others is left to
// its own pass (and so is the rest of a row that holds only such cells). A tab a column moves right
// for no more than rewriting ASCII costs, so with tabs a skip wins the ties.
TEST(RowPlannerTest, PlansLiteralRowsForTheFewestBytes) {
  struct TCase {
    const char *Glyphs, *Changed, *Colors, *Plan, *TabsPlan;
    bool LineEndIsEdge;
  } Cases[] = {
      {"ab   cd", "1100011", "", "WWWWWWW", "WWS5WW", false},  // 3 spaces beat "\e[4C"
      {"ab      cd", "1100000011", "", "WWS8WW", "WWS8WW", false},  // a move beats 6 spaces
      {"a\xb0\xb0" "d", "1001", "", "WS3W", "WS3W", false},         // "\e[2C" or two tabs beat 6 bytes
      {"ab     ", "1111111", "", "WWK", "WWK", true},                // erased to the line's end
      {"ab     ", "1111111", "07071717171717", "WWE7", "WWE7", false},  // a blue run: not the margin
      {"xxxyx  x", "11110001", "0707070c07070707", "WWWDWWWW", "WWWDS7W", false},  // red waits
      {"x  y", "1001", "07070707", "WWWW", "WS3W", false},
  };
  for (const bool Tabs : {false, true}) {
    TRowPlanner Planner(TTerminalKind{.Tabs = Tabs});
    std::fill(std::begin(Planner.DeferMove), std::end(Planner.DeferMove), 6);
    for (const TCase& Case : Cases) {
      SCOPED_TRACE(std::string(Case.Glyphs) + (Tabs ? " with tabs" : ""));
      const TRow Row = MakeRow(Case.Glyphs, Case.Changed, Case.Colors);
      EXPECT_EQ(Letters(Planner.Plan(Row.Cells.data(), Row.Changed.data(), int(Row.Cells.size()), 7,
                                     0, Case.LineEndIsEdge)),
                Tabs ? Case.TabsPlan : Case.Plan);
    }
  }
}

// A pass reaches a cell just below one of its own on the row planned before, or a step or two
// beside, for a line feed and a move or two: such a cell is left to it where a cell far from the
// pass's others is written in its colour on the spot.
TEST(RowPlannerTest, ACellBelowOneLeftToItsPassIsLeftToo) {
  TRowPlanner Planner(TTerminalKind{});
  auto PlanRow = [&](const TRow& Row, bool BelowLast) {
    return Letters(Planner.Plan(Row.Cells.data(), Row.Changed.data(), int(Row.Cells.size()), 7, 0,
                                false, BelowLast));
  };
  const TRow Above = MakeRow("xxyxxxx", "1111111", "07070c07070707");
  for (const int Column : {2, 3, 4, 5}) {
    std::string Colors = "07070707070707";
    Colors.replace(size_t(2 * Column), 2, "0c");
    const TRow Below = MakeRow("xxxxxxx", "1111111", Colors.c_str());
    for (const bool BelowLast : {true, false}) {
      SCOPED_TRACE("red at " + std::to_string(Column) + (BelowLast ? " below" : " apart"));
      std::fill(std::begin(Planner.DeferMove), std::end(Planner.DeferMove), 6);
      EXPECT_EQ(PlanRow(Above, false), "WWDWWWW");
      // Far from its others the pass would spend more than two colour changes (10 bytes).
      std::fill(std::begin(Planner.DeferMove), std::end(Planner.DeferMove), 12);
      std::string Plan = "WWWWWWW";
      if (BelowLast && Column < 5) Plan[size_t(Column)] = 'D';
      EXPECT_EQ(PlanRow(Below, BelowLast), Plan);
    }
  }
  // The cells of a row's end left all at once count as left too.
  std::fill(std::begin(Planner.DeferMove), std::end(Planner.DeferMove), 3);
  EXPECT_EQ(PlanRow(MakeRow("xxxyyyy", "1111111", "0707070c0c0c0c"), false), "WWWR");
  std::fill(std::begin(Planner.DeferMove), std::end(Planner.DeferMove), 12);
  EXPECT_EQ(PlanRow(MakeRow("xxxxxxx", "1111111", "07070707070c07"), true), "WWWWWDW");
}

}  // namespace
