// Row texts, columns and the window texts.
#include <gtest/gtest.h>

#include <cstring>

#include "device_rows.h"
#include "modeltable.h"
#include "screen_test_util.h"
#include "vela_version.h"
#include "window_texts.h"

namespace {

using screentest::Ip;

_DSNETINFO Net(uint32_t apid, uint16_t hwid, uint32_t ip, const uint8_t mac[6])
{
  _DSNETINFO n{};
  n.apid = apid;
  n.hwid = hwid;
  n.ip = ip;
  std::memcpy(n.mac, mac, 6);
  return n;
}

// A text table with widths for some columns, to check the width rule.
std::string WidthTexts(int id)
{
  switch (id) {
  case 910:
    return "90";
  case 911:
    return "wide";  // not a number: the default stays
  case 912:
    return "12x";
  case 913:
    return "-7";  // a number, taken as it is
  default:
    return LoadStr(id);
  }
}

std::string NoTexts(int) { return std::string(); }

TEST(Columns, CaptionsAndWidths)
{
  struct Case {
    TTextSource texts;
    int column;
    const char *caption;
    int width;
  };
  const Case cases[] = {
      {LoadStr, 0, "No", 70},       {LoadStr, 1, "Model", 105},   {LoadStr, 2, "MAC Address", 105},
      {LoadStr, 3, "IP Address", 105}, {WidthTexts, 0, "No", 90}, {WidthTexts, 1, "Model", 105},
      {WidthTexts, 2, "MAC Address", 105}, {WidthTexts, 3, "IP Address", -7}, {NoTexts, 0, "", 70},
      {NoTexts, 3, "", 105},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.column);
    EXPECT_EQ(ColumnCaption(DEVICE_COLUMN_IDS, c.column, c.texts), c.caption);
    EXPECT_EQ(ColumnWidth(DEVICE_COLUMN_IDS, c.column, c.texts), c.width);
  }
}

TEST(Rows, TextsOfADevice)
{
  ResetModelTable();
  const uint8_t mac[6] = {0, 10, 255, 1, 2, 3};
  struct Case {
    int position;
    _DSNETINFO net;
    const char *no, *model, *mac, *ip;
  };
  const Case cases[] = {
      {0, Net(0x00560001, 0x2104, Ip(192, 168, 1, 20), mac), "1", "VL-2104", "00:0A:FF:01:02:03", "192.168.1.20"},
      {9, Net(0x7f, 0x1a0, Ip(10, 0, 0, 1), mac), "10", "7f,1a0", "00:0A:FF:01:02:03", "10.0.0.1"},
      {127, Net(0x00560001, 0x2108, 0, mac), "128", "VL-2108", "00:0A:FF:01:02:03", ""},
      {3, Net(0x00560001, 0x2108, 0xFFFFFFFFu, mac), "4", "VL-2108", "00:0A:FF:01:02:03", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.no);
    TDeviceRow row = MakeDeviceRow(c.position, c.net);
    EXPECT_EQ(row.position, c.position);
    EXPECT_EQ(row.no, c.no);
    EXPECT_EQ(row.model, c.model);
    EXPECT_EQ(row.mac, c.mac);
    EXPECT_EQ(row.ip, c.ip);
    EXPECT_EQ(row.ip_addr, c.net.ip);
    TResultRow result = ResultRowOf(row);
    EXPECT_EQ(result.no, c.no);
    EXPECT_EQ(result.model, c.model);
    EXPECT_EQ(result.mac, c.mac);
    EXPECT_EQ(result.ip, c.ip);
    const char *cells[DEVICE_COLUMN_COUNT] = {c.no, c.model, c.mac, c.ip};
    for (int col = 0; col < DEVICE_COLUMN_COUNT; ++col)
      EXPECT_EQ(CellText(row, col), cells[col]);
    EXPECT_EQ(CellText(row, 4), "");
  }
}

TEST(Rows, ModelNameThatIsNotUtf8ShowsTheReplacementCharacter)
{
  ResetModelTable();
  // A model file may give a name in any encoding: Latin-1 here.
  _MODELINFO &spare = ModelTable[MODEL_BUILTIN_ROWS];
  spare.apid = 0x77;
  spare.hwid = 0x1;
  std::strcpy(spare.model_name, "Caf\xE9 \xFF\xFE-1");
  const uint8_t mac[6] = {2, 0, 0, 0, 0, 1};
  TDeviceRow row = MakeDeviceRow(0, Net(0x77, 0x1, Ip(10, 0, 0, 2), mac));
  EXPECT_EQ(row.model, "Caf\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD-1");
  ResetModelTable();
}

std::string OtherTexts(int id)
{
  switch (id) {
  case TXT_SEARCH_RESULT:
    return "Result";
  case TXT_UNIT:
    return "device(s)";
  case TXT_PRODUCT_NAME:
    return "Name: ";
  case TXT_PRODUCT:
    return "VF";
  case TXT_VERSION:
    return "V";
  default:
    return "";
  }
}

TEST(WindowTexts, StatusAboutAndWarning)
{
  EXPECT_EQ(InitialStatusText(), "Search Result -  0 Vela(s)");
  EXPECT_EQ(StatusText(0), "Search Result - 0 Vela(s)");
  EXPECT_EQ(StatusText(3), "Search Result - 3 Vela(s)");
  EXPECT_EQ(StatusText(128, OtherTexts), "Result - 128 device(s)");
  EXPECT_EQ(AboutProductLine(), "Product Name: Vela Finder");
  EXPECT_EQ(AboutVersionLine(), std::string("Version: ") + VELA_VERSION_TEXT);
  EXPECT_EQ(AboutProductLine(OtherTexts), "Name: VF");
  EXPECT_EQ(AboutVersionLine(OtherTexts), std::string("V") + VELA_VERSION_TEXT);
  EXPECT_EQ(ModelFileWarning(), "model_name.ini not found\n");
}

}  // namespace
