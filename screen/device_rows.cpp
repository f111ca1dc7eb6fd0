#include "device_rows.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "devtext.h"
#include "utf8text.h"

const int DEVICE_COLUMN_IDS[DEVICE_COLUMN_COUNT] = {TXT_COL_NO, TXT_COL_MODEL, TXT_COL_MAC, TXT_COL_IP};

namespace {

constexpr int kFirstColumnWidth = 70;
constexpr int kOtherColumnWidth = 105;

// The whole text as a decimal int, else def.
int TextAsInt(const std::string &text, int def)
{
  if (text.empty())
    return def;
  errno = 0;
  char *end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX)
    return def;
  return static_cast<int>(v);
}

}  // namespace

std::string ColumnCaption(const int *ids, int i, TTextSource texts)
{
  return texts(ids[i]);
}

int ColumnWidth(const int *ids, int i, TTextSource texts)
{
  int def = i == 0 ? kFirstColumnWidth : kOtherColumnWidth;
  return TextAsInt(texts(ids[i] + TXT_COLUMN_WIDTH_OFFSET), def);
}

TDeviceRow MakeDeviceRow(int position, const _DSNETINFO &net)
{
  TDeviceRow row;
  row.position = position;
  row.no = std::to_string(position + 1);
  // A model name comes from the model file or a device and may hold any
  // bytes; every list shows it as text.
  row.model = Utf8Repair(ModelText(net.apid, net.hwid));
  row.mac = MacText(net.mac);
  row.ip = IpText(net.ip, true);
  row.ip_addr = net.ip;
  return row;
}

TResultRow ResultRowOf(const TDeviceRow &row)
{
  return {row.no, row.model, row.mac, row.ip};
}

const std::string &CellText(const TDeviceRow &row, int column)
{
  static const std::string none;
  switch (column) {
  case 0:
    return row.no;
  case 1:
    return row.model;
  case 2:
    return row.mac;
  case 3:
    return row.ip;
  default:
    return none;
  }
}
