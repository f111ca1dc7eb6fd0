// The rows handed to the Windows host tables (IP Helper's MIB_IPNETROW and
// MIB_IPFORWARDROW), built and read by pure functions: tested on every
// build, so a Linux run already shows what Windows would be asked to do.
#include <gtest/gtest.h>

#include <cstring>

#include "route_values.h"
#include "win_rows.h"
#include "wire_text.h"

namespace {

using velatest::Ip;

// The host route iphelp_add_host_route adds for a device heard through the
// interface with index ifindex and local address local.
_IPROUTEROW HostRoute(uint32_t dest, uint32_t ifindex, uint32_t local) {
  _IPROUTEROW r{};
  r.dest = dest;
  r.mask = Ip("255.255.255.255");
  r.dst_len = 32;
  r.protocol = PLAT_RTPROT_STATIC;
  r.scope = PLAT_RT_SCOPE_LINK;
  r.type = PLAT_RTN_UNICAST;
  r.table = PLAT_RT_TABLE_MAIN;
  r.metric = 20;
  r.ifindex = ifindex;
  r.prefsrc = local;
  return r;
}

// A device found through 192.168.1.10/24 (interface 7) at 10.0.0.5 with MAC
// 02:00:00:01:02:03: a static ARP entry 10.0.0.5 -> that MAC on interface 7.
TEST(WinRows, ArpEntryIsStaticWithTheMac) {
  const uint8_t mac[6] = {0x02, 0x00, 0x00, 0x01, 0x02, 0x03};
  const _WINNETROW r = win_neigh_row(7, Ip("10.0.0.5"), mac);
  EXPECT_EQ(r.dwIndex, 7u);
  EXPECT_EQ(r.dwPhysAddrLen, 6u);
  EXPECT_EQ(std::memcmp(r.bPhysAddr, mac, 6), 0);
  EXPECT_EQ(r.dwAddr, Ip("10.0.0.5"));
  EXPECT_EQ(r.dwType, 4u) << "MIB_IPNET_TYPE_STATIC";
}

// The same device's host route: 10.0.0.5/32, next hop our own 192.168.1.10
// on interface 7, direct, set by a program, metric 1 of 20 and no other.
TEST(WinRows, HostRouteIsTheDirectRouteOfTheInterfaceThatHeardTheDevice) {
  const _WINFORWARDROW w = win_route_row(HostRoute(Ip("10.0.0.5"), 7, Ip("192.168.1.10")));
  struct Field {
    const char *name;
    uint32_t got;
    uint32_t want;
  };
  const Field fields[] = {
      {"dest", w.dwForwardDest, Ip("10.0.0.5")},
      {"mask", w.dwForwardMask, 0xFFFFFFFFu},
      {"policy", w.dwForwardPolicy, 0},
      {"next hop", w.dwForwardNextHop, Ip("192.168.1.10")},
      {"interface", w.dwForwardIfIndex, 7},
      {"type", w.dwForwardType, 3},    // MIB_IPROUTE_TYPE_DIRECT
      {"proto", w.dwForwardProto, 3},  // MIB_IPPROTO_NETMGMT
      {"age", w.dwForwardAge, 0},
      {"next-hop AS", w.dwForwardNextHopAS, 0},
      {"metric 1", w.dwForwardMetric1, 20},
      {"metric 2", w.dwForwardMetric2, 0xFFFFFFFFu},
      {"metric 3", w.dwForwardMetric3, 0xFFFFFFFFu},
      {"metric 4", w.dwForwardMetric4, 0xFFFFFFFFu},
      {"metric 5", w.dwForwardMetric5, 0},
  };
  for (const Field &f : fields) EXPECT_EQ(f.got, f.want) << f.name;
}

// A route read back from the table is the row it was made from, so the
// delete finds and hands back exactly what the add put in.
TEST(WinRows, OurRouteReadsBackAsItWasMade) {
  const _IPROUTEROW made = HostRoute(Ip("172.31.9.5"), 12, Ip("192.168.77.10"));
  _IPROUTEROW read{};
  ASSERT_TRUE(win_route_from(win_route_row(made), &read));
  EXPECT_EQ(std::memcmp(&read, &made, sizeof read), 0);
}

// Rows of other routes: a gateway's route stays indirect through it, a
// route of an address of the host reads as the kernel's (never taken by a
// delete), and a mask with holes is no route we can read.
TEST(WinRows, OtherRoutesReadAsWhatTheyAre) {
  _WINFORWARDROW via{};
  via.dwForwardDest = Ip("10.20.30.0");
  via.dwForwardMask = Ip("255.255.255.0");
  via.dwForwardNextHop = Ip("10.99.0.1");
  via.dwForwardIfIndex = 3;
  via.dwForwardType = WIN_IPROUTE_TYPE_INDIRECT;
  via.dwForwardProto = WIN_IPPROTO_NETMGMT;
  via.dwForwardMetric1 = 5;
  _IPROUTEROW r{};
  ASSERT_TRUE(win_route_from(via, &r));
  EXPECT_EQ(r.dst_len, 24);
  EXPECT_EQ(r.gateway, Ip("10.99.0.1"));
  EXPECT_EQ(r.prefsrc, 0u);
  EXPECT_EQ(r.scope, PLAT_RT_SCOPE_UNIVERSE);
  EXPECT_EQ(r.protocol, PLAT_RTPROT_STATIC);
  const _WINFORWARDROW back = win_route_row(r);
  EXPECT_EQ(back.dwForwardNextHop, Ip("10.99.0.1"));
  EXPECT_EQ(back.dwForwardType, WIN_IPROUTE_TYPE_INDIRECT);

  _WINFORWARDROW local = via;
  local.dwForwardDest = Ip("192.168.77.10");
  local.dwForwardMask = Ip("255.255.255.255");
  local.dwForwardType = WIN_IPROUTE_TYPE_DIRECT;
  local.dwForwardProto = WIN_IPPROTO_LOCAL;
  ASSERT_TRUE(win_route_from(local, &r));
  EXPECT_EQ(r.protocol, PLAT_RTPROT_KERNEL);
  EXPECT_EQ(r.dst_len, 32);

  const uint32_t masks[] = {Ip("255.0.255.0"), Ip("0.0.0.255"), Ip("255.255.255.254") ^ 0xFFFFFFFFu};
  for (uint32_t m : masks) {
    _WINFORWARDROW odd = via;
    odd.dwForwardMask = m;
    EXPECT_FALSE(win_route_from(odd, &r)) << velatest::IpText(m);
  }
  _WINFORWARDROW any = via;
  any.dwForwardDest = 0;
  any.dwForwardMask = 0;
  ASSERT_TRUE(win_route_from(any, &r)) << "the default route";
  EXPECT_EQ(r.dst_len, 0);
}

}  // namespace
