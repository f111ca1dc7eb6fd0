// The countdown of vela-find's progress line: the desktop dialog's start
// value, and never below 0 when a search outlasts it.
#include <gtest/gtest.h>

#include "countdown.h"

namespace {

TEST(FindCountdown, StartsAtPassesTimesPassTimeInWholeSeconds) {
  EXPECT_EQ(CountdownSeconds(5, 1000), 5);
  EXPECT_EQ(CountdownSeconds(3, 500), 1);
  EXPECT_EQ(CountdownSeconds(0, 1000), 0);
  // The product wraps as a 32-bit number and is divided as unsigned.
  EXPECT_EQ(CountdownSeconds(-1, 1000), static_cast<int32_t>((0u - 1000u) / 1000u));
}

TEST(FindCountdown, StopsAtZero) {
  const struct {
    int32_t timeout_s;
    uint32_t elapsed_ms;
    int32_t remain;
  } cases[] = {
      {5, 0, 5},    {5, 999, 5},   {5, 1000, 4},      {5, 4999, 1},           {5, 5000, 0},
      {5, 6000, 0}, {5, 11000, 0}, {0, 0, 0},         {1, 0xFFFFFFFFu, 0},    {4294967, 0, 4294967},
  };
  for (const auto &c : cases)
    EXPECT_EQ(RemainSeconds(c.timeout_s, c.elapsed_ms), c.remain) << c.timeout_s << " after " << c.elapsed_ms;
}

}  // namespace
