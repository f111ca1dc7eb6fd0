// The rows the Windows host tables take and give (MIB_IPNETROW and
// MIB_IPFORWARDROW of IP Helper, here as plain records with the same fields
// in the same order), built from and read into the network layer's own
// rows by pure functions, so that every build can test them.
// platform_windows.cpp copies them to and from the IP Helper records.
#pragma once

#include <cstdint>

#include "platform.h"

// MIB_IPNETROW.
struct _WINNETROW {
  uint32_t dwIndex;        // interface index
  uint32_t dwPhysAddrLen;  // 6
  uint8_t bPhysAddr[8];    // the MAC, then two bytes of no meaning
  uint32_t dwAddr;         // IPv4 address
  uint32_t dwType;         // WIN_IPNET_TYPE_*
};

// MIB_IPFORWARDROW.
struct _WINFORWARDROW {
  uint32_t dwForwardDest;
  uint32_t dwForwardMask;
  uint32_t dwForwardPolicy;
  uint32_t dwForwardNextHop;
  uint32_t dwForwardIfIndex;
  uint32_t dwForwardType;   // WIN_IPROUTE_TYPE_*
  uint32_t dwForwardProto;  // WIN_IPPROTO_*
  uint32_t dwForwardAge;
  uint32_t dwForwardNextHopAS;
  uint32_t dwForwardMetric1;
  uint32_t dwForwardMetric2;
  uint32_t dwForwardMetric3;
  uint32_t dwForwardMetric4;
  uint32_t dwForwardMetric5;
};

constexpr uint32_t WIN_IPNET_TYPE_DYNAMIC = 3;
constexpr uint32_t WIN_IPNET_TYPE_STATIC = 4;
constexpr uint32_t WIN_IPROUTE_TYPE_DIRECT = 3;    // the destination is on the link
constexpr uint32_t WIN_IPROUTE_TYPE_INDIRECT = 4;  // through a gateway
constexpr uint32_t WIN_IPPROTO_LOCAL = 2;          // a route of an address of the host
constexpr uint32_t WIN_IPPROTO_NETMGMT = 3;        // a static route set by a program
constexpr uint32_t WIN_METRIC_NONE = 0xFFFFFFFFu;  // "no value" in metrics 2 to 4

// The static ARP entry ip -> mac on interface ifindex, as set and deleted.
_WINNETROW win_neigh_row(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]);

// The IP Helper route of one of our rows, starting from an all-zero row.
// A link-scope row (no gateway) becomes a direct route whose next hop is
// its preferred source, the host's own address on that interface; a row
// with a gateway an indirect one through it.  Metric 1 is the row's metric,
// metrics 2 to 4 have no value, the protocol is the one Windows takes for a
// program's static route.
_WINFORWARDROW win_route_row(const _IPROUTEROW &row);

// Our row of an IP Helper route as read: the reverse of win_route_row for
// a route we added; a route of an address of the host reads as the
// kernel's, any other static one as static.  False for a mask that is not
// contiguous (no prefix length).
bool win_route_from(const _WINFORWARDROW &w, _IPROUTEROW *row);
