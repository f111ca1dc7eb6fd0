// Small text helpers for tests that check bytes on the wire: hex text,
// IPv4 text, and device identities written the way tests read best.
#pragma once

#include "netorder.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "proto.h"

namespace velatest {

// Lower-case hex of n bytes, no separators.
inline std::string Hex(const uint8_t *p, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += kHex[p[i] >> 4];
    s += kHex[p[i] & 0xF];
  }
  return s;
}

inline std::string Hex(const std::vector<uint8_t> &bytes) { return Hex(bytes.data(), bytes.size()); }

// Bytes of a hex text (pairs of digits, no separators).
inline std::vector<uint8_t> Unhex(const std::string &hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// IPv4 address text to network order, and back.
inline uint32_t Ip(const std::string &text) {
  in_addr a{};
  inet_pton(AF_INET, text.c_str(), &a);
  return a.s_addr;
}

inline std::string IpText(uint32_t ip) {
  char text[INET_ADDRSTRLEN] = "";
  in_addr a{};
  a.s_addr = ip;
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

// A record carrying only an identity; mac_hex is 12 hex digits.
inline _DSNETINFO Identity(uint32_t apid, uint16_t hwid, const char *mac_hex) {
  _DSNETINFO d{};
  d.apid = apid;
  d.hwid = hwid;
  const std::vector<uint8_t> mac = Unhex(mac_hex);
  if (mac.size() == DS_MAC_SIZE) std::memcpy(d.mac, mac.data(), DS_MAC_SIZE);
  return d;
}

}  // namespace velatest
