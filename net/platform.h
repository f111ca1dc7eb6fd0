// Host services the network layer needs from the operating system: the
// local IPv4 address list, the IPv4 address, route and neighbour tables, and
// a millisecond tick with sleep.  Only this header is seen by tqsock and
// iphelp; platform_linux.cpp implements it on getifaddrs and rtnetlink.
//
// All IPv4 addresses are in network byte order.  The table operations return
// a platform status: PLAT_OK or one of the PLAT_ERR_ values.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t PLAT_OK = 0;
constexpr uint32_t PLAT_ERR_ACCESS_DENIED = 5;   // no right to change the table
constexpr uint32_t PLAT_ERR_NO_MEMORY = 8;
constexpr uint32_t PLAT_ERR_GEN_FAILURE = 31;    // the kernel refused or the read failed
constexpr uint32_t PLAT_ERR_INVALID_DATA = 13;   // the kernel sent a row we cannot read
constexpr uint32_t PLAT_ERR_NO_DATA = 232;       // the table holds no row

constexpr int PLAT_MAX_LOCAL = 16;

// One row of the IPv4 address table.
struct _IPADDRROW {
  uint32_t addr;     // local address
  uint32_t mask;     // subnet mask from the prefix length
  uint32_t ifindex;  // interface that owns the address
};

// Address table: count rows, in the kernel's order.  One allocation, freed
// with std::free.
struct _IPADDRTABLE {
  uint32_t count;
  _IPADDRROW *rows;  // points just behind the header, inside the allocation
};

// One route of the main IPv4 table, complete enough to hand back to
// plat_delete_route unchanged.
struct _IPROUTEROW {
  uint32_t dest;     // destination address
  uint32_t mask;     // mask from dst_len
  uint8_t dst_len;   // prefix length, 0..32
  uint8_t tos;
  uint8_t protocol;  // RTPROT_*
  uint8_t scope;     // RT_SCOPE_*
  uint8_t type;      // RTN_*
  uint32_t table;    // RT_TABLE_*
  uint32_t metric;   // route priority
  uint32_t ifindex;  // output interface of a single next hop, 0 for none/multipath
  uint32_t gateway;  // gateway of a single next hop, 0 for none/multipath
  uint32_t prefsrc;  // preferred source address, 0 for none
};

// Route table: count rows; one allocation, freed with std::free.
struct _IPROUTETABLE {
  uint32_t count;
  _IPROUTEROW *rows;
};

// Lists the IPv4 addresses of the interfaces that are up, loopback left out,
// in the kernel's order, at most max.  Returns the number listed, or -1 when
// the interfaces could not be read.  With an interface choice (below) only
// the chosen interfaces' addresses are listed.  Addresses beyond max are
// remembered for plat_left_out_ipv4.
int plat_local_ipv4(uint32_t *addrs, int max);

// Interface name and its NUL: a Linux name has at most 15 bytes, a Windows
// adapter name (a GUID in braces) 38, a friendly name (UTF-8) is cut.
constexpr int PLAT_IFNAME_SIZE = 64;

// One IPv4 address of an interface.
struct _PLATIFADDR {
  char name[PLAT_IFNAME_SIZE];  // interface name
  uint32_t addr;                // IPv4 address
  bool up;                      // the interface is up
  bool loopback;                // a loopback interface
};

// Lists every interface (also those without an IPv4 address, with addr 0)
// and every IPv4 address of each, in the kernel's order, under every name
// it can be chosen by (Windows: the friendly name, then the adapter name);
// at most max rows are filled.  Returns the number of rows there are (it may exceed max), or
// -1 when the interfaces could not be read.
int plat_interface_ipv4(_PLATIFADDR *rows, int max);

// Chooses the interfaces whose addresses plat_local_ipv4 lists: count names
// (each cut to PLAT_IFNAME_SIZE - 1 characters); count 0 lists every
// interface that is up again.  The names are not checked here.
void plat_choose_interfaces(const char *const *names, int count);

// The addresses the last plat_local_ipv4 found but had no room for, in the
// kernel's order; at most max rows are filled.  Returns their number.
int plat_left_out_ipv4(_PLATIFADDR *rows, int max);

// Reads the IPv4 address table into a new allocation (*table, freed by the
// caller with std::free), sorted by address when sort is set, else in the
// kernel's order.  PLAT_OK, or a failure with *table null.  A row the kernel
// sends that is not a plain IPv4 address fails the whole read.
uint32_t plat_get_addr_table(_IPADDRTABLE **table, bool sort);

// Reads the main IPv4 route table, sorted by destination, prefix length and
// metric when sort is set, else in the kernel's order.  PLAT_OK with a new
// allocation in *table, PLAT_ERR_NO_DATA for an empty table, or a failure;
// *table is null on every failure.  A malformed row fails the whole read.
uint32_t plat_get_route_table(_IPROUTETABLE **table, bool sort);

// Sets a permanent neighbour entry ip -> mac on interface ifindex, replacing
// any entry for ip there.  PLAT_OK or a failure.
uint32_t plat_set_neigh(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]);

// Deletes the neighbour entry for ip on interface ifindex.
uint32_t plat_delete_neigh(uint32_t ifindex, uint32_t ip, const uint8_t mac[6]);

// Adds (or replaces) the route described by row.
uint32_t plat_add_route(const _IPROUTEROW *row);

// Deletes the route described by row, as read by plat_get_route_table.
uint32_t plat_delete_route(const _IPROUTEROW *row);

// Milliseconds on a monotonic clock, wrapping at 2^32; compare differences
// as unsigned values.
uint32_t plat_tick_ms();

// Sleeps ms milliseconds (resuming after signals).
void plat_sleep_ms(uint32_t ms);
