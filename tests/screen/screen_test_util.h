// Small helpers of the screen logic tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "device_rows.h"

namespace screentest {

// a.b.c.d in network order, built from its bytes.
inline uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
  const uint8_t bytes[4] = {a, b, c, d};
  uint32_t ip;
  std::memcpy(&ip, bytes, 4);
  return ip;
}

// A row as the lists make it, with the given model text and address.
inline TDeviceRow Row(int position, const std::string &model, uint32_t ip, const std::string &mac = "")
{
  TDeviceRow r;
  r.position = position;
  r.no = std::to_string(position + 1);
  r.model = model;
  r.mac = mac;
  r.ip_addr = ip;
  return r;
}

}  // namespace screentest
