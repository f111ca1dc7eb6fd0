// The simulator's log: one JSON line per received datagram, so that tests can
// check the exact bytes the finder sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Formats one log line (with its newline):
// {"t":<unix time>,"src":"a.b.c.d:port","dst":"a.b.c.d:port","len":N,"hex":"..."}
// Addresses and ports in network byte order.
std::string sim_log_line(double unix_time, uint32_t src_ip, uint16_t src_port, uint32_t dst_ip,
                         uint16_t dst_port, const uint8_t *buf, size_t len);
