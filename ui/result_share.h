// Sharing the shown result: the rows of a device table in view order as
// the shared result rows, the tab-separated lines that Copy puts on the
// clipboard, and the file format a file name asks for.
#pragma once

#include <vector>

#include <QString>

#include "result_format.h"

class QTableWidget;

// What a copy takes of each row.
enum class TCopyWhat { Rows, IpAddress, MacAddress };

// The rows of view from top to bottom, as their cells read; only the
// selected ones when selected_only.
std::vector<TResultRow> ViewRows(const QTableWidget *view, bool selected_only);

// One line per row, lines joined by "\n" (none after the last): for Rows
// "No<TAB>Model<TAB>MAC Address<TAB>IP Address", else the one field.  A
// control character inside a field (tab, line end, ...) shows as U+FFFD.
QString CopyText(const std::vector<TResultRow> &rows, TCopyWhat what);

// Puts text on the clipboard, and in the primary selection where the
// platform has one (X11).
void PutOnClipboard(const QString &text);

// The format a file name's type asks for: ".csv" CSV, ".json" JSON, ".txt"
// the text table (letters in any case); any other name gets fallback.
TResultFormat FormatForFileName(const QString &path, TResultFormat fallback);
