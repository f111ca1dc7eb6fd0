// Identity test, display texts, text table and row comparisons.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

#include "devcompare.h"
#include "devtext.h"
#include "modeltable.h"
#include "texttable.h"
#include "wire_text.h"

namespace {

const uint8_t kZero[6] = {0, 0, 0, 0, 0, 0};
const uint8_t kMacA[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
const uint8_t kMacB[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x66};

using velatest::Ip;

_DSNETINFO Info(const char *ip, const uint8_t mac[6], uint16_t hwid = 0x2104) {
  _DSNETINFO n{};
  n.apid = 0x00560001;
  n.hwid = hwid;
  n.ip = Ip(ip);
  std::memcpy(n.mac, mac, 6);
  return n;
}

bool MacIs(const _DSNETINFO &n, const uint8_t mac[6]) { return std::memcmp(n.mac, mac, 6) == 0; }

struct SameDeviceRow {
  bool same_ip;
  const uint8_t *new_mac, *stored_mac;
  bool result;
  const uint8_t *new_after, *stored_after;
};

TEST(SameDevice, WholeTableWithMacCopying) {
  const SameDeviceRow rows[] = {
      {true, kZero, kZero, true, kZero, kZero},
      {true, kZero, kMacA, true, kMacA, kMacA},   // new takes stored's MAC
      {true, kMacA, kZero, true, kMacA, kMacA},   // stored takes new's MAC
      {true, kMacA, kMacA, true, kMacA, kMacA},
      {true, kMacA, kMacB, false, kMacA, kMacB},
      {false, kZero, kZero, false, kZero, kZero},
      {false, kZero, kMacA, false, kZero, kMacA},
      {false, kMacA, kMacA, true, kMacA, kMacA},
      {false, kMacA, kMacB, false, kMacA, kMacB},
      {false, kMacA, kZero, false, kMacA, kZero},
  };
  int i = 0;
  for (const SameDeviceRow &r : rows) {
    _DSNETINFO n = Info("192.168.1.20", r.new_mac);
    _DSNETINFO s = Info(r.same_ip ? "192.168.1.20" : "192.168.1.21", r.stored_mac);
    EXPECT_EQ(SameDevice(&n, &s), r.result) << "row " << i;
    EXPECT_TRUE(MacIs(n, r.new_after)) << "row " << i;
    EXPECT_TRUE(MacIs(s, r.stored_after)) << "row " << i;
    i++;
  }
}

TEST(SameDevice, ModelIdsMustMatchAndNothingIsCopiedOtherwise) {
  _DSNETINFO n = Info("192.168.1.20", kZero, 0x2104);
  _DSNETINFO s = Info("192.168.1.20", kMacA, 0x2108);
  EXPECT_FALSE(SameDevice(&n, &s));
  EXPECT_TRUE(MacIs(n, kZero));
  _DSNETINFO s2 = Info("192.168.1.20", kMacA);
  s2.apid = 0x00560002;
  EXPECT_FALSE(SameDevice(&n, &s2));
  EXPECT_TRUE(MacIs(n, kZero));
}

TEST(SameDevice, OtherFieldsTakeNoPart) {
  _DSNETINFO n = Info("192.168.1.20", kMacA);
  _DSNETINFO s = Info("192.168.1.20", kMacA);
  n.reported_ip = Ip("1.2.3.4");
  n.local_ip = Ip("10.0.0.1");
  n.flags = DS_DIRECT;
  EXPECT_TRUE(SameDevice(&n, &s));
}

TEST(Texts, MacText) {
  const uint8_t mac[6] = {0, 10, 255, 1, 2, 3};
  EXPECT_EQ(MacText(mac), "00:0A:FF:01:02:03");
  EXPECT_EQ(MacText(kZero), "00:00:00:00:00:00");
  const uint8_t ff[6] = {255, 255, 255, 255, 255, 255};
  EXPECT_EQ(MacText(ff).size(), 17u);
}

TEST(Texts, IpText) {
  EXPECT_EQ(IpText(Ip("192.168.1.20"), true), "192.168.1.20");
  EXPECT_EQ(IpText(0xFFFFFFFFu, true), "");
  EXPECT_EQ(IpText(0xFFFFFFFFu, false), "255.255.255.255");
  EXPECT_EQ(IpText(0, true), "");
  EXPECT_EQ(IpText(0, false), "");
  EXPECT_EQ(IpText(Ip("0.0.0.1"), true), "0.0.0.1");
  EXPECT_EQ(IpText(Ip("10.0.0.0"), true), "10.0.0.0");
}

TEST(Texts, ModelText) {
  ResetModelTable();
  EXPECT_EQ(ModelText(0x00560001, 0x2104), "VL-2104");
  EXPECT_EQ(ModelText(0x7f, 0x1a0), "7f,1a0");
  EXPECT_EQ(ModelText(0xFFFFFFFFu, 0xFFFF), "ffffffff,ffff");
  // 0,0 matches the first empty row: a known model with an empty name.
  EXPECT_EQ(ModelText(0, 0), "");
}

TEST(TextTable, Lookups) {
  EXPECT_EQ(LoadStr(10), "No");
  EXPECT_EQ(LoadStr(13), "IP Address");
  EXPECT_EQ(LoadStr(250), "Initial Socket Error!");
  EXPECT_EQ(LoadStr(404), "SoftWare\\Vela\\");
  EXPECT_EQ(LoadStr(1002), "Command Fail:");
  for (int id : {910, 911, 912, 913, 999, 0, -1, 14, 602})
    EXPECT_EQ(LoadStr(id), "") << id;
  EXPECT_EQ(SearchResultText(3), "Search Result - 3 Vela(s)");
  EXPECT_EQ(ProgressText(3, 4), "Found 3 Vela(s), remain timeout = 4 second(s)");
  EXPECT_EQ(ProgressText(0, -2), "Found 0 Vela(s), remain timeout = -2 second(s)");
}

TEST(Compare, IpIsNumericAndNeverEqual) {
  EXPECT_LT(CompareIp(Ip("192.168.1.9"), Ip("192.168.1.10")), 0);
  EXPECT_LT(CompareIp(Ip("10.0.0.1"), Ip("192.168.0.1")), 0);
  EXPECT_GT(CompareIp(Ip("192.168.0.1"), Ip("10.0.0.1")), 0);
  EXPECT_EQ(CompareIp(Ip("10.0.0.1"), Ip("10.0.0.1")), -1);
  EXPECT_LT(CompareIp(0, Ip("0.0.0.1")), 0);
  EXPECT_EQ(ApplySortDirection(CompareIp(Ip("10.0.0.2"), Ip("10.0.0.1")), 0), -1);
  EXPECT_EQ(ApplySortDirection(5, 1), 5);
  EXPECT_EQ(CompareNo(2, 7), -5);
}

TEST(Compare, TextIsCaseSensitiveCollation) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(CompareText("VL-2104", "VL-2104"), 0);
  EXPECT_EQ(CompareText("VC-1010", "VL-2104"), -1);
  EXPECT_EQ(CompareText("vl", "VL"), 1);  // case matters
  EXPECT_EQ(CompareText("", "A"), -1);
}

}  // namespace
