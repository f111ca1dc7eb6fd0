// Small socket helpers shared by the network tests.
#pragma once

#include <cstdint>

#include "wire_text.h"

namespace nettest {

// A dotted IPv4 address in network byte order (0 when it does not parse).
inline uint32_t Ip4(const char *text) { return velatest::Ip(text); }

// A UDP socket bound to ip:port (network-order address, host-order port);
// -1 when it cannot be bound.
int BoundUdp(uint32_t ip, uint16_t port);

// The local port (host order) a socket is bound to; 0 on error.
uint16_t BoundPort(int fd);

}  // namespace nettest
