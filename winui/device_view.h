// The device list views of the Windows program (the main window's list and
// the search dialog's list) on the common controls' report-style list view:
// columns, rows, the header's sort arrows and the selected rows.  What the
// rows show is the shared screen logic (device_rows.h).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "device_rows.h"
#include "result_format.h"
#include "sort_rules.h"

// Appends the four device columns (ColumnCaption, ColumnWidth scaled to dpi).
void AddDeviceColumns(HWND list, UINT dpi);
// Sets the columns' widths again for dpi.
void ScaleDeviceColumns(HWND list, UINT dpi);
// Appends a row for row; its data (lParam) is row.position.
void AppendDeviceRow(HWND list, const TDeviceRow &row);
// The position a row carries.
int RowData(HWND list, int index);

// The rows from top to bottom as their cells read; only the selected ones
// when selected_only.
std::vector<TResultRow> ViewRows(HWND list, bool selected_only);

// The header's arrow images at dpi: image 0 the ascending arrow, image 1
// the descending one, each filled with the button face colour with the
// arrow drawn on top.  The caller owns the list.
HIMAGELIST MakeArrowImages(UINT dpi);
// Shows the arrow of state at the right of column's caption, or none for
// SortNone.
void SetHeaderArrow(HWND list, int column, TSortState state);

// The user locale's comparison of two texts, case-sensitive (CompareStringW
// of the user's default locale with no flags): -1, 0 or +1.
int LocaleCompare(const std::string &a, const std::string &b);

// Puts text on the clipboard as Unicode text; false when it could not.
bool PutOnClipboard(HWND owner, const std::string &text);
