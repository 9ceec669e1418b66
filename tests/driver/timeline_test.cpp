#include <gtest/gtest.h>

#include "driver/ConsoleTimeline.h"

TEST(TimelineTest, RoundsHalvesToEven) {
  EXPECT_EQ(RoundMs(1234.5f), 1234);
  EXPECT_EQ(RoundMs(1235.5f), 1236);
}
