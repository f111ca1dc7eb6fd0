// Linux host services: getifaddrs for the local address list, rtnetlink
// through libnl-route-3 for the address, route and neighbour tables, and the
// monotonic clock.  Every libnl object lives in a small holder so that each
// return path gives it back.
#include "platform.h"
#include "nl_hold.h"
#include "platform_linux_rows.h"
#include "route_values.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <netlink/object.h>
#include <netlink/route/addr.h>
#include <netlink/route/neighbour.h>
#include <netlink/route/nexthop.h>
#include <netlink/route/route.h>
#include <netlink/route/rtnl.h>
#include <netlink/socket.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

// The route rows carry the kernel's own numbers.
static_assert(PLAT_RTPROT_KERNEL == RTPROT_KERNEL && PLAT_RTPROT_STATIC == RTPROT_STATIC);
static_assert(PLAT_RT_SCOPE_UNIVERSE == RT_SCOPE_UNIVERSE && PLAT_RT_SCOPE_LINK == RT_SCOPE_LINK);
static_assert(PLAT_RTN_UNICAST == RTN_UNICAST && PLAT_RT_TABLE_MAIN == RT_TABLE_MAIN);

namespace {

uint32_t status_of(int nl_err) {
  if (nl_err >= 0) return PLAT_OK;
  if (nl_err == -NLE_PERM) return PLAT_ERR_ACCESS_DENIED;
  if (nl_err == -NLE_NOMEM) return PLAT_ERR_NO_MEMORY;
  return PLAT_ERR_GEN_FAILURE;
}

// Opens a route-netlink socket; null when that fails.
NlSock open_route_socket() {
  NlSock sk(nl_socket_alloc());
  if (!sk) return sk;
  if (nl_connect(sk.get(), NETLINK_ROUTE) < 0) sk.reset();
  return sk;
}

uint32_t mask_of(unsigned prefix_len) {
  const uint32_t host = prefix_len == 0 ? 0u : 0xFFFFFFFFu << (32 - prefix_len);
  return htonl(host);
}

// A 4-byte IPv4 nl_addr into *out; false for anything else.
bool ipv4_of(nl_addr *a, uint32_t *out) {
  if (a == nullptr || nl_addr_get_family(a) != AF_INET || nl_addr_get_len(a) != 4) return false;
  std::memcpy(out, nl_addr_get_binary_addr(a), 4);
  return true;
}

NlAddr make_ipv4(uint32_t ip, unsigned prefix_len) {
  NlAddr a(nl_addr_build(AF_INET, &ip, 4));
  if (a) nl_addr_set_prefixlen(a.get(), static_cast<int>(prefix_len));
  return a;
}

// Rows collected while a dump is parsed; bad is set by any row we cannot use.
template <typename Row>
struct Dump {
  std::vector<Row> rows;
  bool bad = false;
};

// Keeps the row of one parsed object of a dump, or marks the dump bad.
template <typename Row>
void take(nl_object *obj, void *arg) {
  auto *d = static_cast<Dump<Row> *>(arg);
  Row row{};
  int r = 0;
  if constexpr (std::is_same_v<Row, _IPADDRROW>) {
    if (std::strcmp(nl_object_get_type(obj), "route/addr") == 0)
      r = plat_linux_addr_row(reinterpret_cast<rtnl_addr *>(obj), &row);
  } else {
    if (std::strcmp(nl_object_get_type(obj), "route/route") == 0)
      r = plat_linux_route_row(reinterpret_cast<rtnl_route *>(obj), &row);
  }
  if (r > 0) d->rows.push_back(row);
  else if (r < 0) d->bad = true;
}

template <typename Row>
int on_dump_msg(nl_msg *msg, void *arg) {
  auto *d = static_cast<Dump<Row> *>(arg);
  if (nl_msg_parse(msg, take<Row>, d) < 0) d->bad = true;
  return NL_OK;
}

// Dumps one rtnetlink table of family AF_INET into d.  A dump the kernel
// marks as interrupted by a concurrent change is taken again, a few times.
template <typename Row>
uint32_t dump(int msg_type, Dump<Row> *d) {
  constexpr int kAttempts = 3;
  int err = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    *d = Dump<Row>{};
    NlSock sk = open_route_socket();
    if (!sk) return PLAT_ERR_GEN_FAILURE;
    nl_socket_modify_cb(sk.get(), NL_CB_VALID, NL_CB_CUSTOM, on_dump_msg<Row>, d);
    err = nl_rtgen_request(sk.get(), msg_type, AF_INET, NLM_F_DUMP);
    if (err >= 0) err = nl_recvmsgs_default(sk.get());
    if (err != -NLE_DUMP_INTR) break;
  }
  if (err < 0) return status_of(err);
  return d->bad ? PLAT_ERR_INVALID_DATA : PLAT_OK;
}

// One allocation: the table header, then its rows.
template <typename Table, typename Row>
Table *new_table(const std::vector<Row> &rows) {
  const size_t head = (sizeof(Table) + alignof(Row) - 1) / alignof(Row) * alignof(Row);
  void *mem = std::malloc(head + rows.size() * sizeof(Row) + 1);
  if (mem == nullptr) return nullptr;
  auto *t = static_cast<Table *>(mem);
  t->count = static_cast<uint32_t>(rows.size());
  t->rows = reinterpret_cast<Row *>(static_cast<char *>(mem) + head);
  if (!rows.empty()) std::memcpy(t->rows, rows.data(), rows.size() * sizeof(Row));
  return t;
}

NlRoute route_from_row(const _IPROUTEROW *row) {
  NlRoute r(rtnl_route_alloc());
  if (!r) return r;
  rtnl_route_set_family(r.get(), AF_INET);
  rtnl_route_set_table(r.get(), row->table);
  rtnl_route_set_tos(r.get(), row->tos);
  rtnl_route_set_protocol(r.get(), row->protocol);
  rtnl_route_set_scope(r.get(), row->scope);
  rtnl_route_set_type(r.get(), row->type);
  rtnl_route_set_priority(r.get(), row->metric);
  NlAddr dst = make_ipv4(row->dest, row->dst_len);
  if (!dst || rtnl_route_set_dst(r.get(), dst.get()) < 0) return nullptr;
  if (row->prefsrc != 0) {
    NlAddr src = make_ipv4(row->prefsrc, 32);
    if (!src || rtnl_route_set_pref_src(r.get(), src.get()) < 0) return nullptr;
  }
  if (row->ifindex != 0 || row->gateway != 0) {
    NlNexthop nh(rtnl_route_nh_alloc());
    if (!nh) return nullptr;
    if (row->ifindex != 0) rtnl_route_nh_set_ifindex(nh.get(), static_cast<int>(row->ifindex));
    if (row->gateway != 0) {
      NlAddr gw = make_ipv4(row->gateway, 32);
      if (!gw) return nullptr;
      rtnl_route_nh_set_gateway(nh.get(), gw.get());
    }
    rtnl_route_add_nexthop(r.get(), nh.release());  // the route owns it now
  }
  return r;
}

NlNeigh neigh_of(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]) {
  NlNeigh n(rtnl_neigh_alloc());
  if (!n) return n;
  rtnl_neigh_set_family(n.get(), AF_INET);
  rtnl_neigh_set_ifindex(n.get(), static_cast<int>(ifindex));
  NlAddr dst = make_ipv4(ip, 32);
  NlAddr ll(nl_addr_build(AF_LLC, mac, 6));
  if (!dst || !ll || rtnl_neigh_set_dst(n.get(), dst.get()) < 0) return nullptr;
  rtnl_neigh_set_lladdr(n.get(), ll.get());
  return n;
}

}  // namespace

int plat_linux_addr_row(rtnl_addr *a, _IPADDRROW *row) {
  if (rtnl_addr_get_family(a) != AF_INET) return 0;  // not asked for; not ours to judge
  const int plen = rtnl_addr_get_prefixlen(a);
  const int ifindex = rtnl_addr_get_ifindex(a);
  if (!ipv4_of(rtnl_addr_get_local(a), &row->addr) || plen < 0 || plen > 32 || ifindex <= 0)
    return -1;
  row->mask = mask_of(static_cast<unsigned>(plen));
  row->ifindex = static_cast<uint32_t>(ifindex);
  return 1;
}

int plat_linux_route_row(rtnl_route *r, _IPROUTEROW *row) {
  if (rtnl_route_get_family(r) != AF_INET || rtnl_route_get_table(r) != RT_TABLE_MAIN) return 0;
  if (rtnl_route_get_flags(r) & RTM_F_CLONED) return 0;

  *row = _IPROUTEROW{};
  nl_addr *dst = rtnl_route_get_dst(r);
  const int plen = dst ? nl_addr_get_prefixlen(dst) : -1;
  // A default route carries an empty destination with prefix length 0.
  const bool empty_default = dst && nl_addr_get_len(dst) == 0 && plen == 0;
  if (plen < 0 || plen > 32 || (!empty_default && !ipv4_of(dst, &row->dest))) return -1;
  row->dst_len = static_cast<uint8_t>(plen);
  row->mask = mask_of(row->dst_len);
  row->tos = rtnl_route_get_tos(r);
  row->protocol = rtnl_route_get_protocol(r);
  row->scope = rtnl_route_get_scope(r);
  row->type = rtnl_route_get_type(r);
  row->table = rtnl_route_get_table(r);
  row->metric = rtnl_route_get_priority(r);
  if (nl_addr *src = rtnl_route_get_pref_src(r); src && !ipv4_of(src, &row->prefsrc)) return -1;
  // A multipath route is handed back without next hops, which the kernel
  // matches on destination, metric and the other keys alone.
  if (rtnl_route_get_nnexthops(r) == 1) {
    rtnl_nexthop *nh = rtnl_route_nexthop_n(r, 0);
    const int oif = rtnl_route_nh_get_ifindex(nh);
    row->ifindex = oif > 0 ? static_cast<uint32_t>(oif) : 0;
    if (nl_addr *gw = rtnl_route_nh_get_gateway(nh); gw && !ipv4_of(gw, &row->gateway)) return -1;
  }
  return 1;
}

namespace {

// The interface choice and the addresses the last listing left out.  Set
// and read before any worker thread starts, like the local address list.
std::mutex s_choice_lock;
std::vector<std::string> s_chosen;
std::vector<_PLATIFADDR> s_left_out;

bool chosen(const char *name) {
  if (s_chosen.empty()) return true;
  return std::find(s_chosen.begin(), s_chosen.end(), name) != s_chosen.end();
}

_PLATIFADDR row_of(const ifaddrs *i) {
  _PLATIFADDR row{};
  std::strncpy(row.name, i->ifa_name ? i->ifa_name : "", PLAT_IFNAME_SIZE - 1);
  if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET)
    row.addr = reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr;
  row.up = (i->ifa_flags & IFF_UP) != 0;
  row.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
  return row;
}

}  // namespace

int plat_local_ipv4(uint32_t *addrs, int max) {
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) != 0) return -1;
  Ifaddrs hold(list);
  std::lock_guard<std::mutex> guard(s_choice_lock);
  s_left_out.clear();
  int n = 0;
  for (ifaddrs *i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK)) continue;
    if (!chosen(i->ifa_name)) continue;
    if (n < max)
      addrs[n++] = reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr;
    else
      s_left_out.push_back(row_of(i));
  }
  return n;
}

int plat_interface_ipv4(_PLATIFADDR *rows, int max) {
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) != 0) return -1;
  Ifaddrs hold(list);
  // getifaddrs gives each interface once with its link-layer address
  // (AF_PACKET) and once per IP address; an interface without an IPv4
  // address gets one row with address 0.
  std::vector<_PLATIFADDR> found;
  for (ifaddrs *i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET) found.push_back(row_of(i));
  }
  for (ifaddrs *i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_name == nullptr) continue;
    const _PLATIFADDR row = row_of(i);
    const bool listed = std::any_of(found.begin(), found.end(), [&](const _PLATIFADDR &f) {
      return std::strncmp(f.name, row.name, PLAT_IFNAME_SIZE) == 0;
    });
    if (!listed) {
      _PLATIFADDR bare = row;
      bare.addr = 0;
      found.push_back(bare);
    }
  }
  const int n = static_cast<int>(found.size());
  for (int k = 0; k < n && k < max; ++k) rows[k] = found[static_cast<size_t>(k)];
  return n;
}

void plat_choose_interfaces(const char *const *names, int count) {
  std::lock_guard<std::mutex> guard(s_choice_lock);
  s_chosen.clear();
  for (int k = 0; k < count; ++k)
    s_chosen.emplace_back(std::string(names[k]).substr(0, PLAT_IFNAME_SIZE - 1));
}

int plat_left_out_ipv4(_PLATIFADDR *rows, int max) {
  std::lock_guard<std::mutex> guard(s_choice_lock);
  const int n = static_cast<int>(s_left_out.size());
  for (int k = 0; k < n && k < max; ++k) rows[k] = s_left_out[static_cast<size_t>(k)];
  return n;
}

uint32_t plat_get_addr_table(_IPADDRTABLE **table, bool sort) {
  *table = nullptr;
  Dump<_IPADDRROW> d;
  const uint32_t st = dump(RTM_GETADDR, &d);
  if (st != PLAT_OK) return st;
  if (sort) {
    std::stable_sort(d.rows.begin(), d.rows.end(), [](const _IPADDRROW &a, const _IPADDRROW &b) {
      return ntohl(a.addr) < ntohl(b.addr);
    });
  }
  *table = new_table<_IPADDRTABLE>(d.rows);
  return *table ? PLAT_OK : PLAT_ERR_NO_MEMORY;
}

uint32_t plat_get_route_table(_IPROUTETABLE **table, bool sort) {
  *table = nullptr;
  Dump<_IPROUTEROW> d;
  const uint32_t st = dump(RTM_GETROUTE, &d);
  if (st != PLAT_OK) return st;
  if (d.rows.empty()) return PLAT_ERR_NO_DATA;
  if (sort) {
    std::stable_sort(d.rows.begin(), d.rows.end(), [](const _IPROUTEROW &a, const _IPROUTEROW &b) {
      if (a.dest != b.dest) return ntohl(a.dest) < ntohl(b.dest);
      if (a.dst_len != b.dst_len) return a.dst_len < b.dst_len;
      return a.metric < b.metric;
    });
  }
  *table = new_table<_IPROUTETABLE>(d.rows);
  return *table ? PLAT_OK : PLAT_ERR_NO_MEMORY;
}

uint32_t plat_set_neigh(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]) {
  NlSock sk = open_route_socket();
  NlNeigh n = neigh_of(ifindex, ip, mac);
  if (!sk || !n) return PLAT_ERR_GEN_FAILURE;
  rtnl_neigh_set_state(n.get(), NUD_PERMANENT);
  return status_of(rtnl_neigh_add(sk.get(), n.get(), NLM_F_CREATE | NLM_F_REPLACE));
}

uint32_t plat_delete_neigh(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]) {
  NlSock sk = open_route_socket();
  NlNeigh n = neigh_of(ifindex, ip, mac);
  if (!sk || !n) return PLAT_ERR_GEN_FAILURE;
  return status_of(rtnl_neigh_delete(sk.get(), n.get(), 0));
}

uint32_t plat_add_route(const _IPROUTEROW *row) {
  NlSock sk = open_route_socket();
  NlRoute r = route_from_row(row);
  if (!sk || !r) return PLAT_ERR_GEN_FAILURE;
  return status_of(rtnl_route_add(sk.get(), r.get(), NLM_F_CREATE | NLM_F_REPLACE));
}

uint32_t plat_delete_route(const _IPROUTEROW *row) {
  NlSock sk = open_route_socket();
  NlRoute r = route_from_row(row);
  if (!sk || !r) return PLAT_ERR_GEN_FAILURE;
  return status_of(rtnl_route_delete(sk.get(), r.get(), 0));
}

uint32_t plat_tick_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void plat_sleep_ms(uint32_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
