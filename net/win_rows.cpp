// Rows of the Windows host tables, built and read without any Windows
// header.
#include "win_rows.h"

#include <cstring>

#include "netorder.h"
#include "route_values.h"

namespace {

// Prefix length of a contiguous mask (network order), -1 for any other.
int prefix_of(uint32_t mask) {
  const uint32_t host = ntohl(mask);
  const uint32_t inverted = ~host;
  if ((inverted & (inverted + 1)) != 0) return -1;
  int n = 0;
  for (uint32_t m = host; m != 0; m <<= 1) n++;
  return n;
}

}  // namespace

_WINNETROW win_neigh_row(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]) {
  _WINNETROW r{};
  r.dwIndex = ifindex;
  r.dwPhysAddrLen = 6;
  std::memcpy(r.bPhysAddr, mac, 6);
  r.dwAddr = ip;
  r.dwType = WIN_IPNET_TYPE_STATIC;
  return r;
}

_WINFORWARDROW win_route_row(const _IPROUTEROW &row) {
  _WINFORWARDROW w{};
  const bool direct = row.gateway == 0;
  w.dwForwardDest = row.dest;
  w.dwForwardMask = row.mask;
  w.dwForwardPolicy = 0;
  w.dwForwardNextHop = direct ? row.prefsrc : row.gateway;
  w.dwForwardIfIndex = row.ifindex;
  w.dwForwardType = direct ? WIN_IPROUTE_TYPE_DIRECT : WIN_IPROUTE_TYPE_INDIRECT;
  w.dwForwardProto = WIN_IPPROTO_NETMGMT;
  w.dwForwardAge = 0;
  w.dwForwardNextHopAS = 0;
  w.dwForwardMetric1 = row.metric;
  w.dwForwardMetric2 = WIN_METRIC_NONE;
  w.dwForwardMetric3 = WIN_METRIC_NONE;
  w.dwForwardMetric4 = WIN_METRIC_NONE;
  w.dwForwardMetric5 = 0;
  return w;
}

bool win_route_from(const _WINFORWARDROW &w, _IPROUTEROW *row) {
  const int prefix = prefix_of(w.dwForwardMask);
  if (prefix < 0) return false;
  *row = _IPROUTEROW{};
  const bool direct = w.dwForwardType == WIN_IPROUTE_TYPE_DIRECT;
  row->dest = w.dwForwardDest;
  row->mask = w.dwForwardMask;
  row->dst_len = static_cast<uint8_t>(prefix);
  row->protocol = w.dwForwardProto == WIN_IPPROTO_LOCAL ? PLAT_RTPROT_KERNEL : PLAT_RTPROT_STATIC;
  row->scope = direct ? PLAT_RT_SCOPE_LINK : PLAT_RT_SCOPE_UNIVERSE;
  row->type = PLAT_RTN_UNICAST;
  row->table = PLAT_RT_TABLE_MAIN;
  row->metric = w.dwForwardMetric1;
  row->ifindex = w.dwForwardIfIndex;
  row->gateway = direct ? 0 : w.dwForwardNextHop;
  row->prefsrc = direct ? w.dwForwardNextHop : 0;
  return true;
}
