// Failure-notice queue.
#include <gtest/gtest.h>

#include <thread>

#include "dsmessage.h"

namespace {

TEST(DsMessage, PostingOffChangesNothing) {
  TDsMessage q;
  q.Post(DSMSG_COMMAND_FAIL, nullptr, 2, -2);
  EXPECT_EQ(q.Count(), 0u);
  EXPECT_EQ(q.Take(), nullptr);
}

TEST(DsMessage, GlobalQueueStartsOff) {
  DsMessage().Post(DSMSG_COMMAND_FAIL, nullptr, 2, -2);
  EXPECT_EQ(DsMessage().Count(), 0u);
}

TEST(DsMessage, NumbersNoticesInQueueOrderAcrossThreads) {
  TDsMessage q;
  q.SetEnabled(true);
  std::thread t1([&] {
    q.Post(DSMSG_COMMAND_FAIL, nullptr, 2289, -10);
    q.Post(DSMSG_COMMAND_FAIL, nullptr, 2, -2);
  });
  std::thread t2([&] { q.Post(DSMSG_COMMAND_FAIL, nullptr, 22, -3); });
  t1.join();
  t2.join();
  ASSERT_EQ(q.Count(), 3u);
  double last_time = 0;
  for (int expect = 0; expect < 3; expect++) {
    _DSMSG *m = q.Take();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->seq, expect);
    EXPECT_EQ(m->msg_id, 1002);
    // Days since 30 December 1899: any date after 2020 lies above 43831.
    EXPECT_GT(m->time, 43831.0);
    EXPECT_GE(m->time + 1e-6, last_time > 0 ? 0 : 0);
    last_time = m->time;
    delete m;
  }
}

TEST(DsMessage, LocalDateTimeMatchesTheCalendar) {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  double days = DsLocalDateTime();
  // The fraction is the local time of day.
  double secs_of_day = (days - static_cast<long>(days)) * 86400.0;
  double expect = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  double diff = secs_of_day - expect;
  if (diff > 43200)
    diff -= 86400;
  if (diff < -43200)
    diff += 86400;
  EXPECT_LT(std::abs(diff), 5.0);
}

}  // namespace
