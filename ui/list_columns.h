// Columns and rows shared by the two device tables (the main window's list
// and the search dialog's list).
#pragma once

#include <functional>

#include <QList>

class QTableWidget;
class QTableWidgetItem;
struct _DSNETINFO;

// Sort state of a column, kept as the column's tag.  With these codes the
// next state after a header click is (old + 1) % 2.
enum TSortState { SortDescending = 0, SortAscending = 1, SortNone = 2 };

// Caption ids of the four device columns: "No", "Model", "MAC Address",
// "IP Address".
extern const int DEVICE_COLUMN_IDS[4];

// Common set-up of a device table: whole-row selection, no editing, no
// built-in sorting, no row header, compact rows.
void SetupDeviceTable(QTableWidget *view);

// Appends count columns to view: caption = text ids[i]; width = text
// ids[i] + 900 read as a decimal number, else 70 for the first column and
// 105 for the others; tag SortNone.
void AddColumns(const int *ids, int count, QTableWidget *view);

TSortState ColumnTag(const QTableWidget *view, int column);
void SetColumnTag(QTableWidget *view, int column, TSortState state);

// Appends a row for one device: "No" shows position + 1 and keeps position
// as the row's data; Model, MAC Address and IP Address are the device texts.
void AppendDeviceRow(QTableWidget *view, int position, const _DSNETINFO &net);

// The data (list position) a row carries.
int RowData(const QList<QTableWidgetItem *> &row);

// Reorders the rows of view with compare (negative: first before second).
// A stable merge sort: a row moves ahead of an earlier one only when compare
// says it must (> 0), so comparisons that never answer 0, or answer
// inconsistently, still give a valid order.  Selected rows stay selected.
void SortRows(QTableWidget *view,
              const std::function<int(const QList<QTableWidgetItem *> &,
                                      const QList<QTableWidgetItem *> &)> &compare);
