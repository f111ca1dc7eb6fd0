// Sharing the shown result on Qt: the rows of a device table in view order
// as the shared result rows, and the clipboard.  The copy text and the
// format a file name asks for are the shared list commands.
#pragma once

#include <vector>

#include <QString>

#include "list_commands.h"
#include "result_format.h"

class QTableWidget;

// The rows of view from top to bottom, as their cells read; only the
// selected ones when selected_only.
std::vector<TResultRow> ViewRows(const QTableWidget *view, bool selected_only);

// Puts text on the clipboard, and in the primary selection where the
// platform has one (X11).
void PutOnClipboard(const QString &text);
