// The simulator's socket loop: one UDP socket on the wildcard address of the
// namespace, replies sent from each device's own source address.
#pragma once

#include <cstdint>
#include <vector>

#include "sim_device.h"

// Plays devices on UDP port `port` until SIGTERM or SIGINT.  The log file at
// log_path is created (truncated) only once the socket is bound, so its
// existence tells a starter that the simulator is ready.  Returns 0 after a
// signal, 1 when the socket or the log cannot be set up.  With iface (an
// interface index) non-zero, a datagram not sent to one of the namespace's
// own addresses (a broadcast) is taken only when it came in on iface; 0
// takes every datagram.
int sim_serve(std::vector<SimDevice> *devices, const char *log_path, uint16_t port, unsigned iface);

// True when ip (network order) is an address of this namespace, tested by
// binding a socket to it.
bool sim_address_is_local(uint32_t ip);
