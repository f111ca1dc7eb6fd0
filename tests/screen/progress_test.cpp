// The search dialog's countdown and timer steps.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "search_progress.h"

namespace {

TEST(Countdown, Arithmetic)
{
  struct Case {
    int32_t count, time_ms, seconds;
  };
  const Case cases[] = {
      {5, 1000, 5}, {1, 500, 0}, {-1, 1000, 4294966}, {0, 1000, 0}, {3, 1999, 5}, {5, 0, 0}, {-1, -1, 0},
  };
  for (const Case &c : cases)
    EXPECT_EQ(CountdownSeconds(c.count, c.time_ms), c.seconds) << c.count << " x " << c.time_ms;

  struct Remain {
    int32_t timeout;
    uint32_t start, now;
    int32_t left;
  };
  const Remain remains[] = {
      {5, 1000, 1000, 5},     {5, 1000, 1999, 5}, {5, 1000, 2000, 4},  {5, 0xFFFFFC18u, 1000u, 3},  // across the wrap
      {1, 0, 3500, -2},       {0, 100, 1099, 0},  {4294966, 0, 0, 4294966},
  };
  for (const Remain &r : remains)
    EXPECT_EQ(RemainSeconds(r.timeout, r.start, r.now), r.left) << r.start << " .. " << r.now;
}

TEST(Progress, TimerSteps)
{
  // Pass count 5, pass time 1000: a countdown of 5 s.  Each step is one
  // tick: the time, the found count, then the label and the new rows.
  struct Step {
    uint32_t now;
    int found;
    const char *label;
    int first_new, end_new;
    int32_t timeout_after;
    uint32_t start_after;
  };
  const uint32_t t0 = 0xFFFFF000u;  // the countdown runs across the tick count's wrap
  const Step steps[] = {
      {t0 + 100, 0, "Found 0 Vela(s), remain timeout = 5 second(s)", 0, 0, 5, t0},
      {t0 + 2000, 0, "Found 0 Vela(s), remain timeout = 3 second(s)", 0, 0, 5, t0},
      // Two devices: the label shows them with the old time; the
      // countdown starts again at this tick.
      {t0 + 2100, 2, "Found 2 Vela(s), remain timeout = 3 second(s)", 0, 2, 5, t0 + 2100},
      {t0 + 2200, 2, "Found 2 Vela(s), remain timeout = 5 second(s)", 2, 2, 5, t0 + 2100},
      {t0 + 2300, 3, "Found 3 Vela(s), remain timeout = 5 second(s)", 2, 3, 5, t0 + 2300},
      {t0 + 7300, 3, "Found 3 Vela(s), remain timeout = 0 second(s)", 3, 3, 5, t0 + 2300},
      // The search outlasts the countdown: negative, not clamped.
      {t0 + 9300, 3, "Found 3 Vela(s), remain timeout = -2 second(s)", 3, 3, 5, t0 + 2300},
  };
  TSearchProgress p;
  p.SerCnt = 5;
  p.SerTim = 1000;
  p.ShownCount = 9;  // left from nothing: Begin starts afresh
  p.Begin(t0);
  EXPECT_EQ(p.ShownCount, 0);
  EXPECT_EQ(p.TimeoutSeconds, 5);
  EXPECT_EQ(p.StartTick, t0);
  for (const Step &s : steps) {
    SCOPED_TRACE(s.label);
    TProgressStep step = p.Tick(s.now, s.found);
    EXPECT_EQ(step.label, s.label);
    EXPECT_EQ(step.first_new, s.first_new);
    EXPECT_EQ(step.end_new, s.end_new);
    EXPECT_EQ(p.ShownCount, s.found);
    EXPECT_EQ(p.TimeoutSeconds, s.timeout_after);
    EXPECT_EQ(p.StartTick, s.start_after);
  }
}

TEST(Progress, CountdownFromTheSettingsAsRead)
{
  struct Case {
    int32_t count, time_ms;
    const char *first_label;
  };
  const Case cases[] = {
      {1, 500, "Found 0 Vela(s), remain timeout = 0 second(s)"},
      {0, 1000, "Found 0 Vela(s), remain timeout = 0 second(s)"},
      {-1, 1000, "Found 0 Vela(s), remain timeout = 4294966 second(s)"},
      {3, 2000, "Found 0 Vela(s), remain timeout = 6 second(s)"},
  };
  for (const Case &c : cases) {
    TSearchProgress p;
    p.SerCnt = c.count;
    p.SerTim = c.time_ms;
    p.Begin(50);
    EXPECT_EQ(p.Tick(150, 0).label, c.first_label);
  }
}

std::string NoTexts(int) { return std::string(); }

TEST(Progress, NoProgressTextLeavesTheLabelEmpty)
{
  TSearchProgress p;
  p.SerCnt = 5;
  p.SerTim = 1000;
  p.Begin(0);
  TProgressStep step = p.Tick(100, 1, NoTexts);
  EXPECT_EQ(step.label, "");
  EXPECT_EQ(step.end_new, 1);
}

TEST(Progress, WidestTexts)
{
  std::vector<std::string> widest = WidestProgressTexts();
  ASSERT_EQ(widest.size(), 2u);
  EXPECT_EQ(widest[0], "Found 128 Vela(s), remain timeout = 4294966 second(s)");
  EXPECT_EQ(widest[1], "Found 128 Vela(s), remain timeout = -999999 second(s)");
}

TEST(Progress, TickCountAdvancesInMilliseconds)
{
  uint32_t before = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  uint32_t gone = TickCount() - before;
  EXPECT_GE(gone, 20u);      // tick granularity on Windows is about 16 ms
  EXPECT_LT(gone, 60000u);
}

}  // namespace
