// Rows of vela-find, their order and the three output formats.
#include "output.h"

#include <algorithm>

#include "result_format.h"

namespace {

int CompareRows(const TFindRow &a, const TFindRow &b, TSortKey key) {
  switch (key) {
    case SORT_NO:
      return CompareNo(a.pos, b.pos);
    case SORT_IP:
      return CompareIp(a.ip_addr, b.ip_addr);
    case SORT_MODEL:
      return CompareText(a.model, b.model);
    case SORT_MAC:
      return CompareText(a.mac, b.mac);
  }
  return 0;
}

}  // namespace

void SortFindRows(std::vector<TFindRow> *rows, TSortKey key, bool reverse) {
  int direction = reverse ? 0 : 1;
  std::vector<TFindRow> &v = *rows;
  for (size_t i = 1; i < v.size(); i++) {
    for (size_t j = i; j > 0 && ApplySortDirection(CompareRows(v[j - 1], v[j], key), direction) > 0; j--)
      std::swap(v[j - 1], v[j]);
  }
}

void WriteFindRows(FILE *out, const std::vector<TFindRow> &rows, int found, TOutputFormat format) {
  std::vector<TResultRow> texts;
  texts.reserve(rows.size());
  for (const TFindRow &r : rows)
    texts.push_back({std::to_string(r.pos + 1), r.model, r.mac, r.ip});
  const std::string text = FormatResult(texts, found, format);
  std::fwrite(text.data(), 1, text.size(), out);
}
