// The one allocation a host table is handed out in: the table header, then
// its rows; freed with std::free.  Shared by the platform files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

// A new table of rows (header count and rows filled); null when out of memory.
template <typename Table, typename Row>
Table *plat_new_table(const std::vector<Row> &rows) {
  const size_t head = (sizeof(Table) + alignof(Row) - 1) / alignof(Row) * alignof(Row);
  void *mem = std::malloc(head + rows.size() * sizeof(Row) + 1);
  if (mem == nullptr) return nullptr;
  auto *t = static_cast<Table *>(mem);
  t->count = static_cast<uint32_t>(rows.size());
  t->rows = reinterpret_cast<Row *>(static_cast<char *>(mem) + head);
  if (!rows.empty()) std::memcpy(t->rows, rows.data(), rows.size() * sizeof(Row));
  return t;
}
