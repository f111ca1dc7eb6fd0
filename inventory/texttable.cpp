// The text table: every user-visible text by number.
#include "texttable.h"

#include <cstdio>

namespace {

struct TextEntry {
  int id;
  const char *text;
};

const TextEntry kTexts[] = {
    {10, "No"},
    {11, "Model"},
    {12, "MAC Address"},
    {13, "IP Address"},
    {15, "Vela(s)"},
    {16, "Search Result"},
    {250, "Initial Socket Error!"},
    {300, "Product Name: "},
    {301, "Version: "},
    {401, "Vela Finder"},
    {404, "SoftWare\\Vela\\"},
    {405, "SerCnt"},
    {406, "SerTim"},
    {601, "Found %d Vela(s), remain timeout = %d second(s)"},
    {1002, "Command Fail:"},
};

}  // namespace

std::string LoadStr(int id) {
  for (const TextEntry &e : kTexts)
    if (e.id == id)
      return e.text;
  return std::string();
}

std::string SearchResultText(int count) {
  return LoadStr(TXT_SEARCH_RESULT) + " - " + std::to_string(count) + " " + LoadStr(TXT_UNIT);
}

std::string ProgressText(int found, int remain_seconds) {
  std::string format = LoadStr(TXT_PROGRESS);
  if (format.empty())
    return std::string();
  char text[128];
  std::snprintf(text, sizeof text, format.c_str(), found, remain_seconds);
  return text;
}
