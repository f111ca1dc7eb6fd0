// Windows host services: IP Helper for the local address list (adapters
// that are up, loopback left out, IPv4, in the system's order) and the
// address, route and ARP tables; the tick counter and Sleep.  The table
// changes use the older IP Helper calls (CreateIpNetEntry, SetIpNetEntry,
// DeleteIpNetEntry, CreateIpForwardEntry, DeleteIpForwardEntry) with rows
// built by win_rows.h.
#include "platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "win_rows.h"

static_assert(sizeof(_WINNETROW) == sizeof(MIB_IPNETROW), "MIB_IPNETROW layout");
static_assert(offsetof(_WINNETROW, dwAddr) == offsetof(MIB_IPNETROW, dwAddr), "MIB_IPNETROW layout");
static_assert(sizeof(_WINFORWARDROW) == sizeof(MIB_IPFORWARDROW), "MIB_IPFORWARDROW layout");
static_assert(offsetof(_WINFORWARDROW, dwForwardMetric5) == offsetof(MIB_IPFORWARDROW, dwForwardMetric5),
              "MIB_IPFORWARDROW layout");

namespace {

// The adapters (IPv4 only) in the system's order; empty with false when
// they could not be read.
bool read_adapters(std::vector<unsigned char> *buf) {
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  for (int attempt = 0; attempt < 4; ++attempt) {
    buf->assign(size, 0);
    const ULONG r = GetAdaptersAddresses(AF_INET, flags, nullptr,
                                         reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buf->data()), &size);
    if (r == NO_ERROR) return true;
    if (r == ERROR_NO_DATA) {
      buf->clear();
      return true;
    }
    if (r != ERROR_BUFFER_OVERFLOW) break;  // size now holds what is needed
  }
  buf->clear();
  return false;
}

const IP_ADAPTER_ADDRESSES *first_adapter(const std::vector<unsigned char> &buf) {
  return buf.empty() ? nullptr : reinterpret_cast<const IP_ADAPTER_ADDRESSES *>(buf.data());
}

std::string utf8_of(const wchar_t *w) {
  if (w == nullptr || *w == 0) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

uint32_t ipv4_of(const SOCKET_ADDRESS &a) {
  return reinterpret_cast<const sockaddr_in *>(a.lpSockaddr)->sin_addr.s_addr;
}

bool is_ipv4(const IP_ADAPTER_UNICAST_ADDRESS *u) {
  return u->Address.lpSockaddr != nullptr && u->Address.lpSockaddr->sa_family == AF_INET;
}

// One row of an adapter, under its friendly name (what the system shows)
// or, with by_adapter_name, its adapter name; cut to the field without
// splitting a character.
_PLATIFADDR row_of(const IP_ADAPTER_ADDRESSES *a, uint32_t addr, bool by_adapter_name = false) {
  _PLATIFADDR row{};
  std::string name = by_adapter_name ? std::string(a->AdapterName ? a->AdapterName : "") : utf8_of(a->FriendlyName);
  size_t len = std::min(name.size(), static_cast<size_t>(PLAT_IFNAME_SIZE - 1));
  while (len > 0 && len < name.size() && (static_cast<unsigned char>(name[len]) & 0xC0) == 0x80) len--;
  std::memcpy(row.name, name.data(), len);
  row.addr = addr;
  row.up = a->OperStatus == IfOperStatusUp;
  row.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
  return row;
}

// The interface choice and the addresses the last listing left out.  Set
// and read before any worker thread starts, like the local address list.
std::mutex s_choice_lock;
std::vector<std::string> s_chosen;
std::vector<_PLATIFADDR> s_left_out;

// An adapter is chosen by its friendly name or by its adapter name.
bool chosen(const IP_ADAPTER_ADDRESSES *a) {
  if (s_chosen.empty()) return true;
  const std::string friendly = utf8_of(a->FriendlyName);
  const std::string adapter = a->AdapterName ? a->AdapterName : "";
  for (const std::string &c : s_chosen)
    if (c == friendly || c == adapter) return true;
  return false;
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

// Asks IP Helper for a table the way its table calls are meant to be
// used: with no buffer first, then with a buffer of the size it reported.
template <typename Call>
uint32_t read_table(std::vector<unsigned char> *buf, Call call) {
  ULONG size = 0;
  DWORD r = call(nullptr, &size);
  if (r != ERROR_INSUFFICIENT_BUFFER) return r;
  for (int attempt = 0; attempt < 4; ++attempt) {  // the table may grow in between
    buf->assign(size, 0);
    r = call(buf->data(), &size);
    if (r != ERROR_INSUFFICIENT_BUFFER) return r;
  }
  return r;
}

MIB_IPNETROW net_row(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]) {
  const _WINNETROW w = win_neigh_row(ifindex, ip, mac);
  MIB_IPNETROW r;
  std::memcpy(&r, &w, sizeof r);
  return r;
}

MIB_IPFORWARDROW forward_row(const _IPROUTEROW *row) {
  const _WINFORWARDROW w = win_route_row(*row);
  MIB_IPFORWARDROW r;
  std::memcpy(&r, &w, sizeof r);
  return r;
}

}  // namespace

int plat_local_ipv4(uint32_t *addrs, int max) {
  std::vector<unsigned char> buf;
  if (!read_adapters(&buf)) return -1;
  std::lock_guard<std::mutex> guard(s_choice_lock);
  s_left_out.clear();
  int n = 0;
  for (const IP_ADAPTER_ADDRESSES *a = first_adapter(buf); a != nullptr; a = a->Next) {
    if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || !chosen(a)) continue;
    for (const IP_ADAPTER_UNICAST_ADDRESS *u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      if (!is_ipv4(u)) continue;
      if (n < max)
        addrs[n++] = ipv4_of(u->Address);
      else
        s_left_out.push_back(row_of(a, ipv4_of(u->Address)));
    }
  }
  return n;
}

int plat_interface_ipv4(_PLATIFADDR *rows, int max) {
  std::vector<unsigned char> buf;
  if (!read_adapters(&buf)) return -1;
  std::vector<_PLATIFADDR> found;
  for (const bool by_adapter_name : {false, true}) {
    for (const IP_ADAPTER_ADDRESSES *a = first_adapter(buf); a != nullptr; a = a->Next) {
      bool any = false;
      for (const IP_ADAPTER_UNICAST_ADDRESS *u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
        if (!is_ipv4(u)) continue;
        found.push_back(row_of(a, ipv4_of(u->Address), by_adapter_name));
        any = true;
      }
      if (!any) found.push_back(row_of(a, 0, by_adapter_name));
    }
  }
  const int n = static_cast<int>(found.size());
  for (int k = 0; k < n && k < max; ++k) rows[k] = found[static_cast<size_t>(k)];
  return n;
}

void plat_choose_interfaces(const char *const *names, int count) {
  std::lock_guard<std::mutex> guard(s_choice_lock);
  s_chosen.clear();
  for (int k = 0; k < count; ++k) s_chosen.emplace_back(names[k]);
}

int plat_left_out_ipv4(_PLATIFADDR *rows, int max) {
  std::lock_guard<std::mutex> guard(s_choice_lock);
  const int n = static_cast<int>(s_left_out.size());
  for (int k = 0; k < n && k < max; ++k) rows[k] = s_left_out[static_cast<size_t>(k)];
  return n;
}

uint32_t plat_get_addr_table(_IPADDRTABLE **table, bool sort) {
  *table = nullptr;
  std::vector<unsigned char> buf;
  const uint32_t r = read_table(&buf, [&](void *p, ULONG *size) {
    return GetIpAddrTable(static_cast<MIB_IPADDRTABLE *>(p), size, sort ? TRUE : FALSE);
  });
  if (r != NO_ERROR) return r;
  std::vector<_IPADDRROW> rows;
  if (!buf.empty()) {
    const auto *t = reinterpret_cast<const MIB_IPADDRTABLE *>(buf.data());
    for (DWORD i = 0; i < t->dwNumEntries; ++i)
      rows.push_back(_IPADDRROW{t->table[i].dwAddr, t->table[i].dwMask, t->table[i].dwIndex});
  }
  *table = new_table<_IPADDRTABLE>(rows);
  return *table ? PLAT_OK : PLAT_ERR_NO_MEMORY;
}

uint32_t plat_get_route_table(_IPROUTETABLE **table, bool sort) {
  *table = nullptr;
  std::vector<unsigned char> buf;
  const uint32_t r = read_table(&buf, [&](void *p, ULONG *size) {
    return GetIpForwardTable(static_cast<MIB_IPFORWARDTABLE *>(p), size, sort ? TRUE : FALSE);
  });
  if (r != NO_ERROR) return r;
  std::vector<_IPROUTEROW> rows;
  if (!buf.empty()) {
    const auto *t = reinterpret_cast<const MIB_IPFORWARDTABLE *>(buf.data());
    for (DWORD i = 0; i < t->dwNumEntries; ++i) {
      _WINFORWARDROW w;
      std::memcpy(&w, &t->table[i], sizeof w);
      _IPROUTEROW row;
      if (!win_route_from(w, &row)) return PLAT_ERR_INVALID_DATA;
      rows.push_back(row);
    }
  }
  if (rows.empty()) return PLAT_ERR_NO_DATA;
  *table = new_table<_IPROUTETABLE>(rows);
  return *table ? PLAT_OK : PLAT_ERR_NO_MEMORY;
}

uint32_t plat_set_neigh(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]) {
  MIB_IPNETROW row = net_row(ifindex, ip, mac);
  const DWORD r = CreateIpNetEntry(&row);
  // An entry for the address is there already: set ours over it.
  if (r == ERROR_OBJECT_ALREADY_EXISTS) return SetIpNetEntry(&row);
  return r;
}

uint32_t plat_delete_neigh(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]) {
  MIB_IPNETROW row = net_row(ifindex, ip, mac);
  return DeleteIpNetEntry(&row);
}

uint32_t plat_add_route(const _IPROUTEROW *row) {
  MIB_IPFORWARDROW r = forward_row(row);
  return CreateIpForwardEntry(&r);
}

uint32_t plat_delete_route(const _IPROUTEROW *row) {
  MIB_IPFORWARDROW r = forward_row(row);
  return DeleteIpForwardEntry(&r);
}

uint32_t plat_tick_ms() { return GetTickCount(); }

void plat_sleep_ms(uint32_t ms) { Sleep(ms); }
