// The target of a search by address, as the user types it: one device's
// IPv4 address, or a routed subnet as a prefix "10.20.30.0/24" (/22 to /30).
// Shared by vela-find's --target and the desktop program's Search Address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dsapi.h"

struct TSearchTarget {
  uint32_t address = 0;   // network order: the device, or the subnet's network address
  int32_t prefix_len = 32;  // 32 for one device, 22..30 for a subnet
};

// Reads text (blanks around it allowed) into *out.  False with a message
// for the user in *error: not a dotted-decimal IPv4 address or prefix, a
// prefix length outside /22../30, host bits after the prefix, or an address
// that cannot be searched (0.0.0.0/8, loopback, multicast, reserved,
// 255.255.255.255).
bool ParseSearchTarget(const std::string &text, TSearchTarget *out, std::string *error);

// Checks a parsed target against the subnets the host's own addresses are
// on (connected; ds_connected_subnets), whose devices a broadcast search
// reaches and whose every address asked would make the kernel resolve it:
//  - one address that is the network or broadcast address of such a subnet
//    (/30 or shorter) is refused as 255.255.255.255 is;
//  - a subnet whose every host address lies on them is refused;
//  - a subnet that lies on them in part is searched without those
//    addresses (ds_search_subnet leaves them out): true with a notice
//    naming them in *notice;
//  - anything else (one address on such a subnet too): true, no notice.
// False with the reason for the user in *error.
bool CheckSearchTarget(const TSearchTarget &target, const std::vector<_DSSUBNET> &connected,
                       std::string *notice, std::string *error);

// The host's connected subnets now (ds_connected_subnets); empty when they
// cannot be read.
std::vector<_DSSUBNET> HostConnectedSubnets();

// The target as the user would type it: "10.20.30.5" or "10.20.30.0/24".
std::string SearchTargetText(const TSearchTarget &target);
