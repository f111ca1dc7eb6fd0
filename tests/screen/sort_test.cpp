// The sort states, the row comparison and the stable sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "screen_test_util.h"
#include "sort_rules.h"

namespace {

using screentest::Ip;
using screentest::Row;

int ByteCompare(const std::string &a, const std::string &b) { return std::strcmp(a.c_str(), b.c_str()); }

TEST(SortState, NextStateAndDirection)
{
  EXPECT_EQ(NextSortState(SortNone), SortAscending);
  EXPECT_EQ(NextSortState(SortAscending), SortDescending);
  EXPECT_EQ(NextSortState(SortDescending), SortAscending);
  EXPECT_EQ(SortDirection(SortAscending), 1);
  EXPECT_EQ(SortDirection(SortDescending), 0);
}

TEST(SortState, HeaderClicks)
{
  // Each step: the column clicked (-1: SetSortColumn(sort column,
  // ascending) as at the first showing), then the sort column and the four
  // states expected.
  struct Step {
    int click;
    int sort_column;
    TSortState states[4];
  };
  const Step steps[] = {
      {-1, 0, {SortAscending, SortNone, SortNone, SortNone}},
      {0, 0, {SortDescending, SortNone, SortNone, SortNone}},
      {0, 0, {SortAscending, SortNone, SortNone, SortNone}},
      {3, 3, {SortNone, SortNone, SortNone, SortAscending}},
      {3, 3, {SortNone, SortNone, SortNone, SortDescending}},
      {1, 1, {SortNone, SortAscending, SortNone, SortNone}},
      {3, 3, {SortNone, SortNone, SortNone, SortAscending}},  // a column left starts again
      {7, 3, {SortNone, SortNone, SortNone, SortAscending}},  // no such column: nothing changes
  };
  TSortColumns sort;
  EXPECT_EQ(sort.SortColumn(), 0);
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(sort.State(c), SortNone);
  for (const Step &s : steps) {
    SCOPED_TRACE(s.click);
    if (s.click < 0)
      sort.Set(sort.SortColumn(), SortAscending);
    else
      sort.Click(s.click);
    EXPECT_EQ(sort.SortColumn(), s.sort_column);
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(sort.State(c), s.states[c]) << "column " << c;
  }
}

TEST(Compare, ByColumnAndDirection)
{
  const TDeviceRow a = Row(0, "VL-2104", Ip(192, 168, 1, 9), "02:00:00:00:00:09");
  const TDeviceRow b = Row(1, "VL-2108", Ip(192, 168, 1, 10), "02:00:00:00:00:0A");
  const TDeviceRow c = Row(2, "vl-2104", Ip(10, 0, 0, 1), "02:00:00:00:00:09");
  const TDeviceRow zero = Row(3, "VL-2104", 0);
  const TDeviceRow c_again = Row(5, "vl-2104", Ip(10, 0, 0, 1));
  struct Case {
    int column;
    const TDeviceRow *x, *y;
    int ascending, descending;
  };
  const Case cases[] = {
      {0, &a, &b, -1, 1},
      {0, &c_again, &a, 5, -5},             // the position difference itself
      {3, &a, &b, -1, 1},                   // .9 before .10: numeric, not text
      {3, &c, &a, -1, 1},                   // 10.0.0.1 before 192.168.0.1
      {3, &zero, &c, -1, 1},                // 0.0.0.0 first
      {3, &c, &c_again, -1, 1},             // equal addresses are never equal
      {3, &c_again, &c, -1, 1},
      {1, &a, &b, -1, 1},
      {1, &a, &zero, 0, 0},
      {1, &a, &c, -1, 1},                   // case counts (bytes here)
      {2, &a, &b, -1, 1},
      {2, &a, &c, 0, 0},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(testing::Message() << "column " << k.column << " rows " << k.x->no << "," << k.y->no);
    EXPECT_EQ(CompareDeviceRows(k.column, *k.x, *k.y, 1, ByteCompare), k.ascending);
    EXPECT_EQ(CompareDeviceRows(k.column, *k.x, *k.y, 0, ByteCompare), k.descending);
    // Any direction other than 1 is descending.
    EXPECT_EQ(CompareDeviceRows(k.column, *k.x, *k.y, 2, ByteCompare), k.descending);
  }
}

TEST(Compare, TextComparisonIsTheOneGiven)
{
  // The locale's answer is taken as its sign only.
  auto reversed = [](const std::string &x, const std::string &y) { return 42 * ByteCompare(y, x); };
  const TDeviceRow a = Row(0, "A", 0), b = Row(1, "B", 0);
  EXPECT_EQ(CompareDeviceRows(1, a, b, 1, reversed), 1);
  EXPECT_EQ(CompareDeviceRows(1, b, a, 1, reversed), -1);
  EXPECT_EQ(CompareDeviceRows(1, a, a, 1, reversed), 0);
}

TEST(StableSort, Orders)
{
  struct Case {
    std::vector<int> keys;
    bool descending;
    std::vector<int> order;
  };
  const Case cases[] = {
      {{}, false, {}},
      {{5}, false, {0}},
      {{3, 1, 2}, false, {1, 2, 0}},
      {{3, 1, 2}, true, {0, 2, 1}},
      {{2, 1, 2, 1, 2}, false, {1, 3, 0, 2, 4}},  // equal keys keep their order
      {{2, 1, 2, 1, 2}, true, {0, 2, 4, 1, 3}},
      {{9, 8, 7, 6, 5, 4, 3, 2, 1}, false, {8, 7, 6, 5, 4, 3, 2, 1, 0}},
  };
  for (const Case &c : cases) {
    auto cmp = [&](int i, int j) {
      int r = c.keys[i] < c.keys[j] ? -1 : (c.keys[i] > c.keys[j] ? 1 : 0);
      return c.descending ? -r : r;
    };
    EXPECT_EQ(StableSortOrder(static_cast<int>(c.keys.size()), cmp), c.order);
  }
}

TEST(StableSort, AComparisonThatNeverAnswersZeroStillGivesAPermutation)
{
  // Equal addresses compare -1 both ways, ascending and (negated) +1 both
  // ways descending: the result must still hold every row once.
  std::vector<TDeviceRow> rows;
  for (int i = 0; i < 37; ++i)
    rows.push_back(Row(i, "", Ip(10, 0, 0, static_cast<uint8_t>(i % 3))));
  for (int direction : {1, 0}) {
    std::vector<int> order = StableSortOrder(static_cast<int>(rows.size()), [&](int i, int j) {
      return CompareDeviceRows(3, rows[i], rows[j], direction, ByteCompare);
    });
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 37; ++i)
      ASSERT_EQ(sorted[i], i);
    for (size_t k = 1; k < order.size(); ++k) {
      uint8_t prev = static_cast<uint8_t>(order[k - 1] % 3), cur = static_cast<uint8_t>(order[k] % 3);
      if (direction == 1)
        EXPECT_LE(prev, cur);
      else
        EXPECT_GE(prev, cur);
    }
  }
}

}  // namespace
