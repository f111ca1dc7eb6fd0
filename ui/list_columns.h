// Columns and rows of the two device tables (the main window's list and the
// search dialog's list) on Qt's table widget.  What they show and how they
// sort is the shared screen logic (device_rows.h, sort_rules.h).
#pragma once

#include <functional>

#include <QList>

#include "device_rows.h"
#include "sort_rules.h"

class QTableWidget;
class QTableWidgetItem;

// Common set-up of a device table: whole-row selection, no editing, no
// built-in sorting, no row header, compact rows.
void SetupDeviceTable(QTableWidget *view);

// Appends count columns to view with ColumnCaption and ColumnWidth; the
// column's tag (its sort state) is SortNone.
void AddColumns(const int *ids, int count, QTableWidget *view);

TSortState ColumnTag(const QTableWidget *view, int column);
void SetColumnTag(QTableWidget *view, int column, TSortState state);

// Appends a row for one device (MakeDeviceRow): "No" shows position + 1
// and keeps position as the row's data.
void AppendDeviceRow(QTableWidget *view, int position, const _DSNETINFO &net);

// The data (list position) a row carries.
int RowData(const QList<QTableWidgetItem *> &row);
// The row's position and cell texts (ip_addr is left 0).
TDeviceRow RowTexts(const QList<QTableWidgetItem *> &row);

// Reorders the rows of view with compare (negative: first before second) by
// StableSortOrder.  Selected rows stay selected.
void SortRows(QTableWidget *view,
              const std::function<int(const QList<QTableWidgetItem *> &,
                                      const QList<QTableWidgetItem *> &)> &compare);
