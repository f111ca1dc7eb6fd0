// The sort of the main window's device list: the per-column sort states, what
// a header click does to them, the comparison of two rows and a stable sort
// that tolerates a comparison that never answers 0.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device_rows.h"

// Sort state of a column.  With these codes the state after a header click
// is (old + 1) % 2.
enum TSortState { SortDescending = 0, SortAscending = 1, SortNone = 2 };

// The state a header click gives a column in state old: SortNone and
// SortDescending give SortAscending, SortAscending gives SortDescending.
TSortState NextSortState(TSortState old);

// The direction a list's sort call is given: 1 ascending, 0 descending.
int SortDirection(TSortState state);

// The sort column and the state of each column, as the main window keeps
// them: column 0 is the sort column at first, every column SortNone.
class TSortColumns {
 public:
  explicit TSortColumns(int count = DEVICE_COLUMN_COUNT);

  int SortColumn() const { return m_sort_column; }
  TSortState State(int column) const;
  int Count() const { return static_cast<int>(m_states.size()); }

  // Every column SortNone, then column the state given (SetSortColumn).
  // The sort column itself is left as it is.
  void Set(int column, TSortState state);
  // A click on column's header: it becomes the sort column, its state
  // NextSortState of its old one, every other column SortNone.
  void Click(int column);

 private:
  int m_sort_column = 0;
  std::vector<TSortState> m_states;
};

// Compares two texts in the user's locale, case-sensitive, as a negative
// number, 0 or a positive one.
using TTextCompare = std::function<int(const std::string &, const std::string &)>;

// The comparison of two rows by column, for the given direction:
//  - 0 ("No"): a.position - b.position;
//  - 3 ("IP Address"): the addresses as unsigned numbers, first dotted part
//    most significant, +1 when a's is greater, else -1 (never 0);
//  - 1, 2 (and any other): text_compare of the cells, as -1, 0 or +1;
// then negated unless direction is 1.
int CompareDeviceRows(int column, const TDeviceRow &a, const TDeviceRow &b, int direction,
                      const TTextCompare &text_compare);

// The order of count items sorted by compare(i, j) (negative: i first): a
// stable merge sort, in which an item moves ahead of an earlier one only
// when compare says it must (> 0), so a comparison that never answers 0, or
// answers inconsistently, still gives a permutation.
std::vector<int> StableSortOrder(int count, const std::function<int(int, int)> &compare);
