// Device identity test and the texts a device list shows for a device.
#pragma once

#include <cstdint>
#include <string>

#include "proto.h"

// Whether new and stored describe one device (model ids, then address and
// MAC).  With equal addresses and one MAC all zero, the zero side takes the
// other's MAC first.
bool SameDevice(_DSNETINFO *new_info, _DSNETINFO *stored);

// Model name from the model table, else "%x,%x" of apid and hwid.
std::string ModelText(uint32_t apid, uint16_t hwid);
// "%02X:%02X:%02X:%02X:%02X:%02X".
std::string MacText(const uint8_t mac[DS_MAC_SIZE]);
// Dotted decimal of ip (network order); empty for 0, and for
// 255.255.255.255 when blank_broadcast is true.
std::string IpText(uint32_t ip, bool blank_broadcast = true);
