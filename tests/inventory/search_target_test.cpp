// Search targets as the user types them, the interface list of the
// settings, and the network API's checks of a subnet search's arguments.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dsapi.h"
#include "interfaces.h"
#include "search_target.h"
#include "wire_text.h"

namespace {

using velatest::Ip;

TSearchTarget Parsed(const std::string &text) {
  TSearchTarget t;
  std::string error;
  EXPECT_TRUE(ParseSearchTarget(text, &t, &error)) << text << ": " << error;
  return t;
}

std::string Refused(const std::string &text) {
  TSearchTarget t;
  t.address = 0x01020304;
  std::string error;
  EXPECT_FALSE(ParseSearchTarget(text, &t, &error)) << text;
  EXPECT_EQ(t.address, 0x01020304u) << "a refused target leaves *out alone";
  return error;
}

TEST(SearchTarget, AddressesAndPrefixes) {
  TSearchTarget one = Parsed("10.20.30.77");
  EXPECT_EQ(one.address, Ip("10.20.30.77"));
  EXPECT_EQ(one.prefix_len, 32);
  TSearchTarget net = Parsed(" 10.20.30.0/24 ");
  EXPECT_EQ(net.address, Ip("10.20.30.0"));
  EXPECT_EQ(net.prefix_len, 24);
  EXPECT_EQ(Parsed("172.16.4.0/22").prefix_len, 22);
  EXPECT_EQ(Parsed("192.168.1.4/30").prefix_len, 30);
  EXPECT_EQ(Parsed("192.168.1.255").address, Ip("192.168.1.255")) << "a subnet's broadcast address is one target";
  EXPECT_EQ(SearchTargetText(net), "10.20.30.0/24");
  EXPECT_EQ(SearchTargetText(one), "10.20.30.77");
}

TEST(SearchTarget, BadInputGetsAClearMessage) {
  for (const char *text : {"", "10.20.30", "10.20.30.1.2", "10.20.30.256", "10.20.30.-1", "a.b.c.d",
                           "10.20.30.0/", "10.20.30.0/x", "10.20.30.0/24/1", "0x0a.1.2.3", "10..30.1",
                           "10.20.30.0001", "host.example", "10.20.30.0/024"})
    EXPECT_NE(Refused(text).find("is not an IPv4 address (a.b.c.d) or subnet prefix"), std::string::npos)
        << text;
  EXPECT_EQ(Refused("10.20.30.0/31"),
            "subnet prefix /31 of '10.20.30.0/31' is not searchable: use /22 to /30 (one device: the address alone)");
  EXPECT_NE(Refused("10.20.28.0/21").find("use /22 to /30"), std::string::npos);
  EXPECT_NE(Refused("10.0.0.0/8").find("use /22 to /30"), std::string::npos);
  EXPECT_NE(Refused("10.20.30.0/32").find("use /22 to /30"), std::string::npos);
  EXPECT_EQ(Refused("10.20.30.5/24"), "'10.20.30.5/24' has host bits set after the prefix: did you mean 10.20.30.0/24?");
  EXPECT_EQ(Refused("127.0.0.1"), "'127.0.0.1' is a loopback address");
  EXPECT_EQ(Refused("127.1.2.0/24"), "'127.1.2.0/24' is a loopback address");
  EXPECT_EQ(Refused("224.0.0.1"), "'224.0.0.1' is a multicast address");
  EXPECT_EQ(Refused("239.255.255.0/24"), "'239.255.255.0/24' is a multicast address");
  EXPECT_EQ(Refused("240.0.0.1"), "'240.0.0.1' is a reserved address");
  EXPECT_EQ(Refused("0.0.0.0"), "'0.0.0.0' is in 0.0.0.0/8, which names no device");
  EXPECT_EQ(Refused("255.255.255.255"),
            "'255.255.255.255' is the broadcast address (a search without a target broadcasts)");
}

TEST(InterfaceList, SplitAtCommas) {
  EXPECT_EQ(SplitInterfaceList("eth0,wlan0"), (std::vector<std::string>{"eth0", "wlan0"}));
  EXPECT_EQ(SplitInterfaceList(" eth0 , ,wlan0,"), (std::vector<std::string>{"eth0", "wlan0"}));
  EXPECT_TRUE(SplitInterfaceList("").empty());
  EXPECT_TRUE(SplitInterfaceList(" , ").empty());
}

// A listing of g_rows interface rows, as ds_interface_addresses gives
// them: at most max filled, the number there are returned.  A caller that
// asks more than three times is going round in circles; the listing then
// fails, so that the loop ends and the test can say so.
int g_rows = 0;
int g_calls = 0;
int ListRows(_DSIFADDR *rows, int max) {
  if (++g_calls > 3)
    return -1;
  for (int i = 0; i < g_rows && i < max; i++) {
    rows[i] = _DSIFADDR{};
    std::snprintf(rows[i].name, sizeof rows[i].name, "if%d", i);
    rows[i].addr = static_cast<uint32_t>(i + 1);
  }
  return g_rows;
}

// Any number of rows is taken whole, in at most two calls: one, and a
// second with room for all when the first buffer was too small.  The counts
// cover every buffer size up to 300, each exactly full among them.
TEST(InterfaceList, EveryRowCountIsReadWholeInAtMostTwoCalls) {
  for (int n = 0; n <= 300; n++) {
    g_rows = n;
    g_calls = 0;
    const std::vector<_DSIFADDR> rows = AllInterfaceRows(ListRows);
    ASSERT_EQ(rows.size(), static_cast<size_t>(n)) << n << " rows, after " << g_calls << " calls";
    EXPECT_LE(g_calls, 2) << n << " rows";
    if (n > 0) {
      EXPECT_EQ(std::string(rows.back().name), "if" + std::to_string(n - 1));
    }
  }
  g_rows = 5;
  g_calls = 3;  // the next call fails
  EXPECT_TRUE(AllInterfaceRows(ListRows).empty()) << "a listing that fails gives no rows";
}

int IgnoreDevice(_DSNETINFO *) { return 1; }

TEST(SubnetSearch, ArgumentsAreCheckedBeforeAnythingIsSent) {
  // Each call returns before it takes the search lock or opens a socket, so
  // this runs in any namespace without ds_init.
  EXPECT_EQ(ds_search_subnet(Ip("10.20.30.0"), 24, nullptr), DS_ERR_INVALID);
  EXPECT_EQ(ds_search_subnet(Ip("10.20.30.0"), 21, IgnoreDevice), DS_ERR_INVALID);
  EXPECT_EQ(ds_search_subnet(Ip("10.20.30.0"), 31, IgnoreDevice), DS_ERR_INVALID);
  EXPECT_EQ(ds_search_subnet(Ip("10.20.30.0"), 32, IgnoreDevice), DS_ERR_INVALID);
  EXPECT_EQ(ds_search_subnet(Ip("10.20.30.5"), 24, IgnoreDevice), DS_ERR_INVALID) << "host bits";
  EXPECT_EQ(ds_search_subnet(Ip("10.20.30.2"), 30, IgnoreDevice), DS_ERR_INVALID) << "host bits";
}

}  // namespace
