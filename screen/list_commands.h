// The commands of the main list: the lines that Copy puts on the clipboard,
// the file format a file name asks for (Save Result As), and what a key
// pressed in the list does.
#pragma once

#include <string>
#include <vector>

#include "result_format.h"

// What a copy takes of each row.
enum class TCopyWhat { Rows, IpAddress, MacAddress };

// One line per row, lines joined by line_end (none after the last): for
// Rows "No<TAB>Model<TAB>MAC Address<TAB>IP Address", else the one field.
// Windows' clipboard takes "\r\n", X11's "\n".  A control character inside
// a field (tab, line end, ...) shows as U+FFFD.
std::string CopyText(const std::vector<TResultRow> &rows, TCopyWhat what, const char *line_end = "\n");

// The format a file name's type asks for: ".csv" CSV, ".json" JSON, ".txt"
// the text table (letters in any case); any other name gets fallback.
TResultFormat FormatForFileName(const std::string &path, TResultFormat fallback);

// What a key pressed while the main list has the focus does.
enum class TListKey { None, SelectAll, Copy };

// letter is the key's upper-case letter ('A'..'Z'), any other value for
// other keys.  Ctrl+A selects every row whatever other modifiers are held;
// Ctrl+C copies the selected rows, but not with Shift or Alt held.
TListKey ListKeyAction(int letter, bool ctrl, bool shift, bool alt);
