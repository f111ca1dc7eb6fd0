// Host ARP and route changes for unicast requests to devices heard by
// broadcast.  The ARP lock covers reading the address table together with an
// ARP change, the route lock covers reading a table together with a route
// change; no operation holds both, so they cannot deadlock.
#include "iphelp.h"

#include "netorder.h"
#include "route_values.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

constexpr uint32_t kBroadcast = 0xFFFFFFFFu;
constexpr uint32_t kHostRouteMetric = 20;

// The locks live as long as the process: a request thread may still be in a
// change when the layer shuts down, and must not find its lock freed under
// it.  s_ready (set by iphelp_init, cleared by iphelp_cleanup) says whether
// entries are added; it is checked again under the lock.  Deletions do not
// look at it: a request whose entries went in before the shut-down still
// takes them out.
std::mutex s_arp_lock;
std::mutex s_route_lock;
std::atomic<bool> s_ready{false};

// What our adds put into the host tables and no delete has taken out yet,
// so that iphelp_cleanup can take it out itself when the request that added
// it is still waiting, or will never get to its delete because the process
// ends.  Fixed tables, trivially destructible, so that they outlive every
// thread: s_neigh under the ARP lock, s_routes under the route lock.
constexpr int kMaxHeld = 256;
struct HeldNeigh {
  bool used;
  uint32_t ifindex;
  uint32_t ip;
  uint8_t mac[6];
};
struct HeldRoute {
  bool used;
  _IPROUTEROW row;
};
HeldNeigh s_neigh[kMaxHeld];
HeldRoute s_routes[kMaxHeld];

void hold_neigh(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]) {
  for (HeldNeigh &h : s_neigh) {
    if (h.used) continue;
    h = HeldNeigh{true, ifindex, ip, {}};
    std::memcpy(h.mac, mac, sizeof h.mac);
    return;
  }
}

void release_neigh(uint32_t ifindex, uint32_t ip) {
  for (HeldNeigh &h : s_neigh) {
    if (!h.used || h.ifindex != ifindex || h.ip != ip) continue;
    h.used = false;
    return;
  }
}

void hold_route(const _IPROUTEROW &row) {
  for (HeldRoute &h : s_routes) {
    if (h.used) continue;
    h = HeldRoute{true, row};
    return;
  }
}

void release_route(uint32_t dest) {
  for (HeldRoute &h : s_routes) {
    if (!h.used || h.row.dest != dest) continue;
    h.used = false;
    return;
  }
}

// The routes iphelp_delete_routes takes: host routes (/32) to the address
// that the kernel did not make.  A route with a shorter prefix whose
// destination happens to be the device's address (a device answering from
// a subnet's network address) is a whole subnet's route, not ours to take.
bool is_deletable_host_route(const _IPROUTEROW &row, uint32_t dest) {
  return row.dest == dest && row.dst_len == 32 && row.protocol != PLAT_RTPROT_KERNEL;
}

// Prefix length of a contiguous mask, -1 for any other mask.
int prefix_len_of(uint32_t mask) {
  const uint32_t host = ntohl(mask);
  const uint32_t inverted = ~host;
  if ((inverted & (inverted + 1)) != 0) return -1;
  return __builtin_popcount(host);
}

struct TableFree {
  void operator()(void *t) const { std::free(t); }
};

// Interface index and mask of local_ip from a fresh address table.
bool interface_of(uint32_t local_ip, uint32_t *ifindex, uint32_t *mask) {
  _IPADDRTABLE *table = nullptr;
  if (iphelp_get_addr_table(&table, false) != PLAT_OK) return false;
  std::unique_ptr<_IPADDRTABLE, TableFree> hold(table);
  return iphelp_find_interface(table, local_ip, ifindex, mask);
}

// The ARP entry for ip on the interface owning local_ip, set or deleted
// under the ARP lock.  Adding needs the layer to be ready; deleting does not.
void change_arp(uint32_t ip, const uint8_t mac[6], uint32_t local_ip, bool add) {
  if (ip == 0 || ip == kBroadcast || (add && !s_ready)) return;
  std::lock_guard<std::mutex> guard(s_arp_lock);
  if (add && !s_ready) return;
  uint32_t ifindex = 0;
  uint32_t mask = 0;
  if (!interface_of(local_ip, &ifindex, &mask)) return;
  if (add) {
    if (plat_set_neigh(ifindex, ip, mac) == PLAT_OK) hold_neigh(ifindex, ip, mac);
  } else {
    plat_delete_neigh(ifindex, ip, mac);
    release_neigh(ifindex, ip);
  }
}

}  // namespace

void iphelp_init() {
  s_ready = true;
  // A program that ends without ds_cleanup, or while a request is stuck in
  // its wait, leaves no entry of ours behind either.
  static std::once_flag at_exit;
  std::call_once(at_exit, [] { std::atexit(iphelp_cleanup); });
}

void iphelp_cleanup() {
  s_ready = false;
  // Once a change under way has finished (one lock at a time, never both),
  // take out whatever our adds left in: the requests that made them may be
  // waiting for a reply still, or never get to their delete at all.
  {
    std::lock_guard<std::mutex> guard(s_arp_lock);
    for (HeldNeigh &h : s_neigh) {
      if (!h.used) continue;
      plat_delete_neigh(h.ifindex, h.ip, h.mac);
      h.used = false;
    }
  }
  std::lock_guard<std::mutex> guard(s_route_lock);
  for (HeldRoute &h : s_routes) {
    if (!h.used) continue;
    plat_delete_route(&h.row);
    h.used = false;
  }
}

uint32_t iphelp_get_addr_table(_IPADDRTABLE **table, bool sort) {
  return plat_get_addr_table(table, sort);
}

uint32_t iphelp_get_route_table(_IPROUTETABLE **table, bool sort) {
  return plat_get_route_table(table, sort);
}

bool iphelp_find_interface(const _IPADDRTABLE *table, uint32_t local_ip, uint32_t *ifindex,
                           uint32_t *mask) {
  if (table == nullptr || local_ip == kBroadcast) return false;
  for (uint32_t i = 0; i < table->count; ++i) {
    if (table->rows[i].addr != local_ip) continue;
    *ifindex = table->rows[i].ifindex;
    *mask = table->rows[i].mask;
    return true;
  }
  return false;
}

void iphelp_add_arp(uint32_t ip, const uint8_t mac[6], uint32_t local_ip) {
  change_arp(ip, mac, local_ip, true);
}

void iphelp_delete_arp(uint32_t ip, uint32_t local_ip, const uint8_t mac[6]) {
  change_arp(ip, mac, local_ip, false);
}

void iphelp_add_host_route(uint32_t dest, uint32_t mask, uint32_t next_hop, uint32_t local_ip) {
  const int prefix_len = prefix_len_of(mask);
  // 0.0.0.0 is no device address: a route to it would sit beside the
  // default route, whose destination it shares.
  if (dest == 0 || dest == kBroadcast || next_hop == 0 || next_hop == kBroadcast ||
      (dest & mask) != dest || local_ip == kBroadcast || prefix_len < 0 || !s_ready)
    return;
  std::lock_guard<std::mutex> guard(s_route_lock);
  if (!s_ready) return;
  uint32_t ifindex = 0;
  uint32_t if_mask = 0;
  if (!interface_of(local_ip, &ifindex, &if_mask)) return;
  if ((next_hop & if_mask) != (local_ip & if_mask)) return;

  // Linux takes no gateway that is one of the host's own addresses: the
  // equivalent of "next hop = our own address on that interface" is a
  // link-scope route out of that interface with our address as source.
  _IPROUTEROW row{};
  row.dest = dest;
  row.mask = mask;
  row.dst_len = static_cast<uint8_t>(prefix_len);
  row.protocol = PLAT_RTPROT_STATIC;
  row.scope = PLAT_RT_SCOPE_LINK;
  row.type = PLAT_RTN_UNICAST;
  row.table = PLAT_RT_TABLE_MAIN;
  row.metric = kHostRouteMetric;
  row.ifindex = ifindex;
  row.prefsrc = next_hop;
  if (plat_add_route(&row) == PLAT_OK) hold_route(row);
}

void iphelp_delete_routes(uint32_t dest) {
  // Every route whose destination is 0.0.0.0 includes the default route:
  // a device record without an address must never take it away.
  if (dest == 0 || dest == kBroadcast) return;
  std::lock_guard<std::mutex> guard(s_route_lock);
  _IPROUTETABLE *table = nullptr;
  if (iphelp_get_route_table(&table, true) != PLAT_OK) {
    std::free(table);
    return;
  }
  std::unique_ptr<_IPROUTETABLE, TableFree> hold(table);
  for (uint32_t i = 0; i < table->count; ++i) {
    if (!is_deletable_host_route(table->rows[i], dest)) continue;
    if (plat_delete_route(&table->rows[i]) != PLAT_OK) return;  // ours, if left, stays held
  }
  release_route(dest);
}
