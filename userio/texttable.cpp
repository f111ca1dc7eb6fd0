// The text table: every user-visible text by number.
#include "texttable.h"

#include <cstdio>

namespace {

struct TextEntry {
  int id;
  const char *text;
};

const TextEntry kTexts[] = {
#define VELA_TEXT(id, text) {id, text},
#include "texts.inc"
#undef VELA_TEXT
};

}  // namespace

std::string LoadStr(int id) {
  for (const TextEntry &e : kTexts)
    if (e.id == id)
      return e.text;
  return std::string();
}

std::string SearchResultText(int count, TTextSource texts) {
  return texts(TXT_SEARCH_RESULT) + " - " + std::to_string(count) + " " + texts(TXT_UNIT);
}

std::string ProgressText(int found, int remain_seconds, TTextSource texts) {
  std::string format = texts(TXT_PROGRESS);
  if (format.empty())
    return std::string();
  char text[128];
  std::snprintf(text, sizeof text, format.c_str(), found, remain_seconds);
  return text;
}
