// One formatter for the result list, shared by vela-find and the desktop
// program.  The file writer is the host's (file_whole_*.cpp).
#include "result_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "texttable.h"
#include "utf8text.h"

namespace {

// RFC 4180: a field with a comma, a double quote or a line break is quoted,
// and each double quote inside it doubled.
std::string CsvField(const std::string &raw) {
  std::string s = Utf8Repair(raw);
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

std::string JsonString(const std::string &raw) {
  std::string q = "\"";
  for (unsigned char c : Utf8Repair(raw)) {
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

// The running number as a JSON number when it is a plain decimal number,
// else as a string.
std::string JsonNumber(const std::string &text) {
  bool digits = !text.empty() && text.size() <= 15 &&
                std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                (text.size() == 1 || text[0] != '0');
  return digits ? text : JsonString(text);
}

std::vector<std::string> Captions() {
  return {LoadStr(TXT_COL_NO), LoadStr(TXT_COL_MODEL), LoadStr(TXT_COL_MAC), LoadStr(TXT_COL_IP)};
}

std::string Table(const std::vector<TResultRow> &rows, int found) {
  std::vector<std::vector<std::string>> lines;
  lines.push_back(Captions());
  // A control character (a model file may hold ESC, BEL, tabs, line ends)
  // would reach the terminal raw and move or recolour what it shows.
  for (const TResultRow &r : rows)
    lines.push_back({Utf8Displayable(r.no), Utf8Displayable(r.model), Utf8Displayable(r.mac),
                     Utf8Displayable(r.ip)});
  size_t width[4] = {0, 0, 0, 0};
  for (const auto &line : lines)
    for (size_t c = 0; c < 4; c++)
      width[c] = std::max(width[c], Utf8Columns(line[c]));
  std::string out;
  for (const auto &line : lines) {
    std::string text;
    for (size_t c = 0; c < 4; c++) {
      text += line[c];
      if (c < 3)
        text += std::string(width[c] - Utf8Columns(line[c]) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    out += text + "\n";
  }
  return out + "\n" + SearchResultText(found) + "\n";
}

std::string Csv(const std::vector<TResultRow> &rows) {
  std::string out;
  auto line = [&](const std::vector<std::string> &f) {
    out += CsvField(f[0]) + "," + CsvField(f[1]) + "," + CsvField(f[2]) + "," + CsvField(f[3]) + "\n";
  };
  line(Captions());
  for (const TResultRow &r : rows)
    line({r.no, r.model, r.mac, r.ip});
  return out;
}

std::string Json(const std::vector<TResultRow> &rows, int found) {
  std::string out = "{\"found\": " + std::to_string(found) + ", \"devices\": [";
  for (size_t i = 0; i < rows.size(); i++) {
    const TResultRow &r = rows[i];
    out += std::string(i ? "," : "") + "\n  {\"no\": " + JsonNumber(r.no) + ", \"model\": " +
           JsonString(r.model) + ", \"mac\": " + JsonString(r.mac) + ", \"ip\": " + JsonString(r.ip) +
           "}";
  }
  return out + (rows.empty() ? "" : "\n") + "]}\n";
}

}  // namespace

std::string FormatResult(const std::vector<TResultRow> &rows, int found, TResultFormat format) {
  switch (format) {
    case TResultFormat::Table:
      return Table(rows, found);
    case TResultFormat::Csv:
      return Csv(rows);
    case TResultFormat::Json:
      return Json(rows, found);
  }
  return {};
}

bool ParseResultFormat(const std::string &name, TResultFormat *format) {
  if (name == "table")
    *format = TResultFormat::Table;
  else if (name == "csv")
    *format = TResultFormat::Csv;
  else if (name == "json")
    *format = TResultFormat::Json;
  else
    return false;
  return true;
}
