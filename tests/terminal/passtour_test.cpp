#include "terminal/PassTour.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <random>
#include <vector>

namespace {

// Moves as a terminal prices them, roughly: down a byte a row, up four, across a byte a column up
// to four, and six from nowhere known.
int Cost(int FromRow, int FromColumn, int Row, int Column) {
  if (FromRow < 0 || FromColumn < 0) return 6;
  const int Down = Row - FromRow;
  return (Down >= 0 ? std::min(Down, 4) : 4) + std::min(std::abs(Column - FromColumn), 4);
}

int TourCost(const std::vector<TTourStop>& Stops, const std::vector<uint32_t>& Tour) {
  int Bytes = 0, Row = 0, Column = 0;
  for (uint32_t Stop : Tour) {
    Bytes += Cost(Row, Column, Stops[Stop].Row, Stops[Stop].Enter);
    Row = Stops[Stop].Row, Column = Stops[Stop].Leave;
  }
  return Bytes;
}

TEST(PassTourTest, AStragglerLeftToTheEndGoesNextToItsRow) {
  // Two stops a row over three rows; the greedy order left the second of row 0 for last (18
  // bytes). It goes after the first, and row 1 is then taken from its right end (12 bytes).
  const std::vector<TTourStop> Stops = {{0, 0, 1}, {0, 6, 7}, {1, 0, 1}, {1, 6, 7}, {2, 0, 1}};
  std::vector<uint32_t> Tour = {0, 2, 3, 4, 1};
  TPassTour().Improve(Stops, Tour, 0, 0, Cost);
  EXPECT_EQ(Tour, (std::vector<uint32_t>{0, 1, 3, 2, 4}));
  EXPECT_EQ(TourCost(Stops, Tour), 12);
}

void ExpectEveryStopOnce(const std::vector<uint32_t>& Tour, size_t Count, int Trial) {
  std::vector<uint32_t> Sorted = Tour, All(Count);
  std::sort(Sorted.begin(), Sorted.end());
  std::iota(All.begin(), All.end(), 0u);
  ASSERT_EQ(Sorted, All) << Trial;
}

TEST(PassTourTest, EveryStopStaysAndNoOrderCostsMore) {
  std::mt19937 Random(7);
  TPassTour Improver;
  int Shorter = 0;
  long Built = 0, InOrder = 0;
  for (int Trial = 0; Trial < 300; ++Trial) {
    // Stops in the order of the screen, at most one a cell; some leave the cursor unknown.
    std::vector<TTourStop> Stops;
    for (int Cell = 0; Cell < 12 * 8; ++Cell)
      if (Random() % 3 == 0) {
        const int Leave = Cell % 12 + 1 + int(Random() % 2);
        Stops.push_back({Cell / 12, Cell % 12, Leave >= 12 ? -1 : Leave});
      }
    std::vector<uint32_t> Tour(Stops.size());
    std::iota(Tour.begin(), Tour.end(), 0u);
    std::shuffle(Tour.begin(), Tour.end(), Random);
    const int Before = TourCost(Stops, Tour);
    Improver.Improve(Stops, Tour, 0, 0, Cost);
    ExpectEveryStopOnce(Tour, Stops.size(), Trial);
    const int After = TourCost(Stops, Tour);
    ASSERT_LE(After, Before) << Trial;
    Shorter += After < Before;
    // Built from the cheapest links: every stop once, and cheaper than the order of the screen.
    Improver.Build(Stops, Tour, 0, 0, Cost);
    ExpectEveryStopOnce(Tour, Stops.size(), Trial);
    Built += TourCost(Stops, Tour);
    std::iota(Tour.begin(), Tour.end(), 0u);
    InOrder += TourCost(Stops, Tour);
  }
  EXPECT_GT(Shorter, 250);
  EXPECT_LT(Built, InOrder);
}

}  // namespace
