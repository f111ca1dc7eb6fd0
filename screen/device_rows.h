// The rows and columns of the two device lists (the main window's list and
// the search dialog's list), as texts: what a row shows for a device and how
// the columns are captioned and sized.  No windowing library.
#pragma once

#include <cstdint>
#include <string>

#include "proto.h"
#include "result_format.h"
#include "texttable.h"

// Caption ids of the four device columns: "No", "Model", "MAC Address",
// "IP Address".
constexpr int DEVICE_COLUMN_COUNT = 4;
extern const int DEVICE_COLUMN_IDS[DEVICE_COLUMN_COUNT];

// A column's caption: the text ids[i].
std::string ColumnCaption(const int *ids, int i, TTextSource texts = LoadStr);
// A column's width in pixels: the text ids[i] + 900 read as a decimal
// number, else 70 for the first column and 105 for the others.
int ColumnWidth(const int *ids, int i, TTextSource texts = LoadStr);

// One row of a device list.
struct TDeviceRow {
  int position = 0;      // the row's data: its position in the list it was filled from
  std::string no;        // position + 1
  std::string model;     // ModelText, valid UTF-8 (an invalid byte shows as U+FFFD)
  std::string mac;       // MacText
  std::string ip;        // IpText with the broadcast address blank
  uint32_t ip_addr = 0;  // the device's address (network order), for the sort
};

// The row for the device net at position.
TDeviceRow MakeDeviceRow(int position, const _DSNETINFO &net);

// The row as the result formatter and the copy take it.
TResultRow ResultRowOf(const TDeviceRow &row);

// The text of a cell: column 0 to 3; empty for any other column.
const std::string &CellText(const TDeviceRow &row, int column);
