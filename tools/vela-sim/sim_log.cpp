#include "sim_log.h"

#include <arpa/inet.h>

#include <cstdio>

namespace {

std::string endpoint(uint32_t ip, uint16_t port) {
  char text[INET_ADDRSTRLEN] = "";
  in_addr a{};
  a.s_addr = ip;
  inet_ntop(AF_INET, &a, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(port));
}

}  // namespace

std::string sim_log_line(double unix_time, uint32_t src_ip, uint16_t src_port, uint32_t dst_ip,
                         uint16_t dst_port, const uint8_t *buf, size_t len) {
  static const char kHex[] = "0123456789abcdef";
  char t[64];
  std::snprintf(t, sizeof t, "%.6f", unix_time);
  std::string line = "{\"t\":";
  line += t;
  line += ",\"src\":\"" + endpoint(src_ip, src_port) + "\",\"dst\":\"" + endpoint(dst_ip, dst_port) +
          "\",\"len\":" + std::to_string(len) + ",\"hex\":\"";
  line.reserve(line.size() + 2 * len + 4);
  for (size_t i = 0; i < len; ++i) {
    line += kHex[buf[i] >> 4];
    line += kHex[buf[i] & 0xF];
  }
  line += "\"}\n";
  return line;
}
