// Reading one rtnetlink object into a table row, apart from the dump so that
// the checks on what the kernel sends can be tried on objects built by hand.
#pragma once

#include <netlink/route/addr.h>
#include <netlink/route/neighbour.h>
#include <netlink/route/route.h>

#include "platform.h"

// 1 with *row filled, 0 for an object that is no IPv4 address (skipped), -1
// for a malformed one (no 4-byte local address, bad prefix, no interface).
int plat_linux_addr_row(rtnl_addr *a, _IPADDRROW *row);

// 1 with *row filled, 0 for a route outside the main IPv4 table or a cloned
// one (skipped), -1 for a malformed one (destination, source or gateway not
// a 4-byte IPv4 address, prefix length above 32).
int plat_linux_route_row(rtnl_route *r, _IPROUTEROW *row);

// The kind of a neighbour entry (PLAT_NEIGH_ of platform.h) from its state:
// permanent is a static entry, any other state one the kernel keeps for
// its own resolution.
int plat_linux_neigh_kind(rtnl_neigh *n);
