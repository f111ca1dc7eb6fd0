#include "sort_rules.h"

#include <algorithm>

#include "devcompare.h"

TSortState NextSortState(TSortState old)
{
  return static_cast<TSortState>((static_cast<int>(old) + 1) % 2);
}

int SortDirection(TSortState state)
{
  return state == SortAscending ? 1 : 0;
}

TSortColumns::TSortColumns(int count) : m_states(static_cast<size_t>(count), SortNone) {}

TSortState TSortColumns::State(int column) const
{
  if (column < 0 || column >= Count())
    return SortNone;
  return m_states[static_cast<size_t>(column)];
}

void TSortColumns::Set(int column, TSortState state)
{
  std::fill(m_states.begin(), m_states.end(), SortNone);
  if (column >= 0 && column < Count())
    m_states[static_cast<size_t>(column)] = state;
}

void TSortColumns::Click(int column)
{
  if (column < 0 || column >= Count())
    return;
  TSortState next = NextSortState(State(column));
  m_sort_column = column;
  Set(column, next);
}

int CompareDeviceRows(int column, const TDeviceRow &a, const TDeviceRow &b, int direction,
                      const TTextCompare &text_compare)
{
  int result;
  switch (column) {
  case SORT_NO:
    result = CompareNo(a.position, b.position);
    break;
  case SORT_IP:
    result = CompareIp(a.ip_addr, b.ip_addr);
    break;
  default: {
    int r = text_compare(CellText(a, column), CellText(b, column));
    result = r < 0 ? -1 : (r > 0 ? 1 : 0);
    break;
  }
  }
  return ApplySortDirection(result, direction);
}

std::vector<int> StableSortOrder(int count, const std::function<int(int, int)> &compare)
{
  std::vector<int> order(static_cast<size_t>(std::max(count, 0))), tmp(order.size());
  for (int i = 0; i < count; ++i)
    order[static_cast<size_t>(i)] = i;
  // Bottom-up merge sort over the item indices.
  for (int width = 1; width < count; width *= 2) {
    for (int lo = 0; lo < count; lo += 2 * width) {
      int mid = std::min(lo + width, count), hi = std::min(lo + 2 * width, count);
      int a = lo, b = mid, out = lo;
      while (a < mid && b < hi)
        tmp[out++] = compare(order[a], order[b]) > 0 ? order[b++] : order[a++];
      while (a < mid)
        tmp[out++] = order[a++];
      while (b < hi)
        tmp[out++] = order[b++];
    }
    order.swap(tmp);
  }
  return order;
}
