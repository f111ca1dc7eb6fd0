// An IPv4 address as text, for messages and lists.
#pragma once

#include <cstdint>
#include <string>

// Dotted decimal of ip (network order, first byte first: 192.168.1.20);
// empty for 0.0.0.0.
std::string Ipv4Text(uint32_t ip);
