// Values of the protocol, scope, type and table fields of _IPROUTEROW
// (platform.h).  The row keeps rtnetlink's numbers on every platform, so
// iphelp fills and reads it the same way everywhere; platform_linux.cpp
// hands them to the kernel as they are (and checks that they are the
// kernel's), platform_windows.cpp maps them onto MIB_IPFORWARDROW.
#pragma once

#include <cstdint>

constexpr uint8_t PLAT_RTPROT_KERNEL = 2;   // made by the kernel for an address of the host
constexpr uint8_t PLAT_RTPROT_STATIC = 4;   // added by an administrator or a program
constexpr uint8_t PLAT_RT_SCOPE_UNIVERSE = 0;
constexpr uint8_t PLAT_RT_SCOPE_LINK = 253;  // on the link: no gateway
constexpr uint8_t PLAT_RTN_UNICAST = 1;
constexpr uint32_t PLAT_RT_TABLE_MAIN = 254;
