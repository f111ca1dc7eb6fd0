#include "list_commands.h"

#include <cctype>

#include "utf8text.h"

std::string CopyText(const std::vector<TResultRow> &rows, TCopyWhat what, const char *line_end)
{
  // A tab or line end inside a field (a model name from the model file may
  // hold one) would split the row; control characters show as U+FFFD, as
  // in the text table.
  auto field = [](const std::string &text) { return Utf8Displayable(text); };
  std::string text;
  for (size_t i = 0; i < rows.size(); ++i) {
    const TResultRow &r = rows[i];
    if (i > 0)
      text += line_end;
    switch (what) {
    case TCopyWhat::Rows:
      text += field(r.no) + '\t' + field(r.model) + '\t' + field(r.mac) + '\t' + field(r.ip);
      break;
    case TCopyWhat::IpAddress:
      text += field(r.ip);
      break;
    case TCopyWhat::MacAddress:
      text += field(r.mac);
      break;
    }
  }
  return text;
}

TResultFormat FormatForFileName(const std::string &path, TResultFormat fallback)
{
  // The type is what follows the last dot of the last path part.
  size_t name = path.find_last_of("/\\");
  name = name == std::string::npos ? 0 : name + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < name)
    return fallback;
  std::string type = path.substr(dot + 1);
  for (char &c : type)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (type == "csv")
    return TResultFormat::Csv;
  if (type == "json")
    return TResultFormat::Json;
  if (type == "txt")
    return TResultFormat::Table;
  return fallback;
}

TListKey ListKeyAction(int letter, bool ctrl, bool shift, bool alt)
{
  if (!ctrl)
    return TListKey::None;
  if (letter == 'A')
    return TListKey::SelectAll;
  if (letter == 'C' && !shift && !alt)
    return TListKey::Copy;
  return TListKey::None;
}
