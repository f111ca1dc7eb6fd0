// Reading rtnetlink objects into table rows: what the kernel may send that
// is not a usable IPv4 row must be recognised, so that the whole table read
// fails rather than hand a half-read row to the route deletion.
#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <netlink/addr.h>
#include <netlink/route/nexthop.h>

#include <gtest/gtest.h>

#include <memory>

#include "nl_hold.h"
#include "platform_linux_rows.h"
#include "sock_util.h"

namespace {

NlAddr Parse(const char *text, int family) {
  nl_addr *a = nullptr;
  EXPECT_EQ(nl_addr_parse(text, family, &a), 0) << text;
  return NlAddr(a);
}

using nettest::Ip4;

NlRtAddr MakeAddr(const char *local, int family, int plen, int ifindex) {
  NlRtAddr a(rtnl_addr_alloc());
  if (local) {
    NlAddr l = Parse(local, AF_UNSPEC);
    rtnl_addr_set_local(a.get(), l.get());
  }
  rtnl_addr_set_family(a.get(), family);  // after the local address: may contradict it
  rtnl_addr_set_prefixlen(a.get(), plen);
  rtnl_addr_set_ifindex(a.get(), ifindex);
  return a;
}

TEST(PlatformRows, AddressRowsAreReadOrRefused) {
  _IPADDRROW row{};
  EXPECT_EQ(plat_linux_addr_row(MakeAddr("192.168.77.10", AF_INET, 24, 3).get(), &row), 1);
  EXPECT_EQ(row.addr, Ip4("192.168.77.10"));
  EXPECT_EQ(row.mask, Ip4("255.255.255.0"));
  EXPECT_EQ(row.ifindex, 3u);
  EXPECT_EQ(plat_linux_addr_row(MakeAddr("10.1.2.3", AF_INET, 0, 1).get(), &row), 1);
  EXPECT_EQ(row.mask, 0u);
  EXPECT_EQ(plat_linux_addr_row(MakeAddr("10.1.2.3", AF_INET, 32, 1).get(), &row), 1);
  EXPECT_EQ(row.mask, 0xFFFFFFFFu);

  EXPECT_EQ(plat_linux_addr_row(MakeAddr("fe80::1", AF_INET6, 64, 3).get(), &row), 0);  // not ours
  EXPECT_EQ(plat_linux_addr_row(MakeAddr(nullptr, AF_INET, 24, 3).get(), &row), -1);
  EXPECT_EQ(plat_linux_addr_row(MakeAddr("fe80::1", AF_INET, 24, 3).get(), &row), -1);
  EXPECT_EQ(plat_linux_addr_row(MakeAddr("10.1.2.3", AF_INET, 33, 3).get(), &row), -1);
  EXPECT_EQ(plat_linux_addr_row(MakeAddr("10.1.2.3", AF_INET, 24, 0).get(), &row), -1);
}

NlRoute MakeRoute(const char *dst, int plen, uint32_t table = RT_TABLE_MAIN) {
  NlRoute r(rtnl_route_alloc());
  if (dst) {
    NlAddr d = Parse(dst, AF_UNSPEC);
    nl_addr_set_prefixlen(d.get(), plen);
    rtnl_route_set_dst(r.get(), d.get());
  }
  rtnl_route_set_family(r.get(), AF_INET);
  rtnl_route_set_table(r.get(), table);
  rtnl_route_set_priority(r.get(), 20);
  return r;
}

void AddNexthop(rtnl_route *r, int ifindex, const char *gateway) {
  rtnl_nexthop *nh = rtnl_route_nh_alloc();
  rtnl_route_nh_set_ifindex(nh, ifindex);
  if (gateway) {
    NlAddr gw = Parse(gateway, AF_UNSPEC);
    rtnl_route_nh_set_gateway(nh, gw.get());
  }
  rtnl_route_add_nexthop(r, nh);
}

TEST(PlatformRows, RouteRowsAreReadOrRefused) {
  _IPROUTEROW row{};
  NlRoute r = MakeRoute("172.31.9.5", 32);
  AddNexthop(r.get(), 4, "192.168.77.1");
  ASSERT_EQ(plat_linux_route_row(r.get(), &row), 1);
  EXPECT_EQ(row.dest, Ip4("172.31.9.5"));
  EXPECT_EQ(row.dst_len, 32);
  EXPECT_EQ(row.mask, 0xFFFFFFFFu);
  EXPECT_EQ(row.metric, 20u);
  EXPECT_EQ(row.ifindex, 4u);
  EXPECT_EQ(row.gateway, Ip4("192.168.77.1"));
  EXPECT_EQ(row.table, static_cast<uint32_t>(RT_TABLE_MAIN));

  // A multipath route is handed back without next hops.
  NlRoute multi = MakeRoute("10.0.0.0", 8);
  AddNexthop(multi.get(), 4, nullptr);
  AddNexthop(multi.get(), 5, nullptr);
  ASSERT_EQ(plat_linux_route_row(multi.get(), &row), 1);
  EXPECT_EQ(row.ifindex, 0u);
  EXPECT_EQ(row.mask, Ip4("255.0.0.0"));

  // The default route comes with an empty destination.
  NlRoute def(rtnl_route_alloc());
  NlAddr empty(nl_addr_alloc(0));
  nl_addr_set_family(empty.get(), AF_INET);
  rtnl_route_set_dst(def.get(), empty.get());
  rtnl_route_set_family(def.get(), AF_INET);
  rtnl_route_set_table(def.get(), RT_TABLE_MAIN);
  ASSERT_EQ(plat_linux_route_row(def.get(), &row), 1);
  EXPECT_EQ(row.dest, 0u);
  EXPECT_EQ(row.dst_len, 0);

  EXPECT_EQ(plat_linux_route_row(MakeRoute("10.0.0.0", 8, RT_TABLE_LOCAL).get(), &row), 0);
  EXPECT_EQ(plat_linux_route_row(MakeRoute(nullptr, 0).get(), &row), -1);
  EXPECT_EQ(plat_linux_route_row(MakeRoute("fe80::", 64).get(), &row), -1);
  EXPECT_EQ(plat_linux_route_row(MakeRoute("10.0.0.0", 40).get(), &row), -1);
  NlRoute bad_gw = MakeRoute("172.31.9.5", 32);
  AddNexthop(bad_gw.get(), 4, "fe80::1");
  EXPECT_EQ(plat_linux_route_row(bad_gw.get(), &row), -1);
}

}  // namespace

// Only a permanent entry counts as someone's static entry, which a request
// never replaces; every state of the kernel's own resolution may be.
TEST(PlatformRows, NeighbourKindFollowsThePermanentState) {
  const struct {
    int state;
    int kind;
  } cases[] = {
      {NUD_PERMANENT, PLAT_NEIGH_STATIC},   {NUD_PERMANENT | NUD_NOARP, PLAT_NEIGH_STATIC},
      {NUD_REACHABLE, PLAT_NEIGH_DYNAMIC},  {NUD_STALE, PLAT_NEIGH_DYNAMIC},
      {NUD_DELAY, PLAT_NEIGH_DYNAMIC},      {NUD_PROBE, PLAT_NEIGH_DYNAMIC},
      {NUD_INCOMPLETE, PLAT_NEIGH_DYNAMIC}, {NUD_FAILED, PLAT_NEIGH_DYNAMIC},
      {NUD_NOARP, PLAT_NEIGH_DYNAMIC},
  };
  for (const auto &c : cases) {
    NlNeigh n(rtnl_neigh_alloc());
    rtnl_neigh_set_state(n.get(), c.state);
    EXPECT_EQ(plat_linux_neigh_kind(n.get()), c.kind) << "state 0x" << std::hex << c.state;
  }
}
