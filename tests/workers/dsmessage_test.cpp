// Failure-notice queue.
#include <gtest/gtest.h>

#include <ctime>
#include <memory>
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
  const double now = DsLocalDateTime();
  for (int expect = 0; expect < 3; expect++) {
    std::unique_ptr<_DSMSG> m(q.Take());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->seq, expect);
    EXPECT_EQ(m->msg_id, 1002);
    // Stamped with the local date and time of its posting (days since
    // 30 December 1899): within a minute of now.
    EXPECT_NEAR(m->time, now, 60.0 / 86400.0);
  }
  EXPECT_EQ(q.Take(), nullptr);
}

TEST(DsMessage, LocalDateTimeMatchesTheCalendar) {
  time_t now = time(nullptr);
  const struct tm local = *std::localtime(&now);  // no other thread uses it here
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
