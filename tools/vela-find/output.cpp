// Rows of vela-find, their order and the three output formats.
#include "output.h"

#include <algorithm>

#include "texttable.h"

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

std::string CsvField(const std::string &s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos)
    return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"')
      q += '"';
    q += c;
  }
  return q + "\"";
}

std::string JsonString(const std::string &s) {
  std::string q = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      q += '\\';
      q += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      q += esc;
    } else {
      q += static_cast<char>(c);
    }
  }
  return q + "\"";
}

void WriteTable(FILE *out, const std::vector<TFindRow> &rows, int found) {
  std::vector<std::string> head = {LoadStr(TXT_COL_NO), LoadStr(TXT_COL_MODEL), LoadStr(TXT_COL_MAC),
                                   LoadStr(TXT_COL_IP)};
  std::vector<std::vector<std::string>> cells;
  for (const TFindRow &r : rows)
    cells.push_back({std::to_string(r.pos + 1), r.model, r.mac, r.ip});
  size_t width[4];
  for (size_t c = 0; c < 4; c++) {
    width[c] = head[c].size();
    for (const auto &line : cells)
      width[c] = std::max(width[c], line[c].size());
  }
  auto print_line = [&](const std::vector<std::string> &line) {
    std::string text;
    for (size_t c = 0; c < 4; c++) {
      text += line[c];
      if (c < 3)
        text += std::string(width[c] - line[c].size() + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    std::fprintf(out, "%s\n", text.c_str());
  };
  print_line(head);
  for (const auto &line : cells)
    print_line(line);
  std::fprintf(out, "\n%s\n", SearchResultText(found).c_str());
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
  switch (format) {
    case TOutputFormat::Table:
      WriteTable(out, rows, found);
      break;
    case TOutputFormat::Csv:
      std::fprintf(out, "%s,%s,%s,%s\n", CsvField(LoadStr(TXT_COL_NO)).c_str(),
                   CsvField(LoadStr(TXT_COL_MODEL)).c_str(), CsvField(LoadStr(TXT_COL_MAC)).c_str(),
                   CsvField(LoadStr(TXT_COL_IP)).c_str());
      for (const TFindRow &r : rows)
        std::fprintf(out, "%d,%s,%s,%s\n", r.pos + 1, CsvField(r.model).c_str(), CsvField(r.mac).c_str(),
                     CsvField(r.ip).c_str());
      break;
    case TOutputFormat::Json:
      std::fprintf(out, "{\"found\": %d, \"devices\": [", found);
      for (size_t i = 0; i < rows.size(); i++) {
        const TFindRow &r = rows[i];
        std::fprintf(out, "%s\n  {\"no\": %d, \"model\": %s, \"mac\": %s, \"ip\": %s}", i ? "," : "",
                     r.pos + 1, JsonString(r.model).c_str(), JsonString(r.mac).c_str(),
                     JsonString(r.ip).c_str());
      }
      std::fprintf(out, "%s]}\n", rows.empty() ? "" : "\n");
      break;
  }
}
