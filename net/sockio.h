// The host's IPv4 UDP sockets, as the socket engine uses them: one small
// seam over POSIX sockets (sockio_posix.cpp) and Windows Sockets
// (sockio_windows.cpp), chosen by the build.  Addresses are IPv4 in network
// byte order, ports in host order.  Sockets are never inherited by a child
// process.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
typedef uintptr_t sockio_t;  // SOCKET
constexpr sockio_t SOCKIO_INVALID = ~static_cast<sockio_t>(0);
#else
typedef int sockio_t;  // a file descriptor
constexpr sockio_t SOCKIO_INVALID = -1;
#endif

// Starts the socket library (Windows Sockets 1.1 or later); true when it may
// be used.  Every successful start is matched by one sockio_cleanup.
bool sockio_startup();
void sockio_cleanup();

// A new IPv4 UDP socket, with broadcasting allowed when broadcast is set.
// An ICMP port-unreachable never shows as an error of a later receive.
// SOCKIO_INVALID when the socket or an option failed (nothing left open).
sockio_t sockio_open_udp(bool broadcast);

void sockio_close(sockio_t s);

// Binds s to ip:port; false when that failed.
bool sockio_bind(sockio_t s, uint32_t ip, uint16_t port);

// The port s is bound to, 0 when unknown.
uint16_t sockio_bound_port(sockio_t s);

// Sends one datagram; true when all of it was sent.
bool sockio_send_to(sockio_t s, uint32_t ip, uint16_t port, const uint8_t *data, size_t len);

// Results of sockio_recv_from besides a length.
constexpr long SOCKIO_NOTHING = -1;    // nothing waiting, or interrupted
constexpr long SOCKIO_TOO_LONG = -2;   // a datagram longer than the buffer: discarded
constexpr long SOCKIO_FAILED = -3;     // a receive error

// Receives one datagram without waiting: its length (at most cap, into buf)
// with its source, or one of the results above.
long sockio_recv_from(sockio_t s, uint8_t *buf, size_t cap, uint32_t *src_ip, uint16_t *src_port);

// Waits up to timeout_ms (0: not at all) until one of the n sockets, or the
// stop wake-up when wake is set, is readable.  readable[i] tells which
// socket is; *woken whether the wake-up was.  The number of readable
// sockets and wake-up, 0 on time-out or interruption, -1 on error.
int sockio_wait(const sockio_t *socks, int n, bool wake, int timeout_ms, bool *readable, bool *woken);

// The stop wake-up: one object per process, readable after every raise
// until drained, made by sockio_wake_prepare (at the latest by a wait with
// wake set).  Should it not be available, waits time out as usual.
// sockio_wake_raise may be called from a signal handler or any thread.
void sockio_wake_prepare();
void sockio_wake_raise();
void sockio_wake_drain();
