// Holders for libnl objects: each releases its object with the matching
// libnl call when it goes out of scope, so that no return path leaks one.
#pragma once

#include <ifaddrs.h>
#include <netlink/addr.h>
#include <netlink/cache.h>
#include <netlink/route/addr.h>
#include <netlink/route/neighbour.h>
#include <netlink/route/nexthop.h>
#include <netlink/route/route.h>
#include <netlink/socket.h>

#include <memory>

// Deleter calling a libnl release function.
template <auto Release>
struct NlReleaser {
  template <typename T>
  void operator()(T *p) const { Release(p); }
};

using NlSock = std::unique_ptr<nl_sock, NlReleaser<nl_socket_free>>;
using NlAddr = std::unique_ptr<nl_addr, NlReleaser<nl_addr_put>>;
using NlRoute = std::unique_ptr<rtnl_route, NlReleaser<rtnl_route_put>>;
using NlNeigh = std::unique_ptr<rtnl_neigh, NlReleaser<rtnl_neigh_put>>;
using NlRtAddr = std::unique_ptr<rtnl_addr, NlReleaser<rtnl_addr_put>>;
using NlNexthop = std::unique_ptr<rtnl_nexthop, NlReleaser<rtnl_route_nh_free>>;
using NlCache = std::unique_ptr<nl_cache, NlReleaser<nl_cache_free>>;
using Ifaddrs = std::unique_ptr<ifaddrs, NlReleaser<freeifaddrs>>;
