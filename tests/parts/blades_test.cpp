#include <gtest/gtest.h>

#include <cmath>

#include "parts/Blades.h"

TEST(BladesTest, SpinTurnsTwiceThenFourTimesBackAgreeingAtEightSeconds) {
  EXPECT_FLOAT_EQ(BladeSpin(0), 0);
  EXPECT_NEAR(BladeSpin(7999), 720, 0.01);
  EXPECT_FLOAT_EQ(BladeSpin(8000), 2160);  // six turns: the same angle as 720 modulo 360
  EXPECT_NEAR(std::fmod(BladeSpin(8000) - BladeSpin(7999), 360.0f), 0, 0.01);
  EXPECT_NEAR(BladeSpin(16000), 720, 0.01);
  EXPECT_NEAR(BladeSpin(4000), 720 * std::sin(3.14159265f / 4), 0.01);
}

TEST(BladesTest, BobbingSwingsBetweenPointSixAndOnePointTwoEveryTwoSeconds) {
  EXPECT_FLOAT_EQ(BladeDepth(0), -0.9f);
  EXPECT_NEAR(BladeDepth(500), -0.6f, 1e-6);
  EXPECT_NEAR(BladeDepth(1500), -1.2f, 1e-6);
  EXPECT_NEAR(BladeDepth(2000), -0.9f, 1e-6);
  EXPECT_NEAR(BladeDepth(12500), -0.6f, 1e-5);
}
