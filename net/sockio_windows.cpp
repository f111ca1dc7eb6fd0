// Windows Sockets for the socket engine.
//
// A wait that may last (tqsock_idle, a search's pause between polls) waits
// on event objects: each socket signals one of its own when a datagram
// arrives (WSAEventSelect), and the stop wake-up is an event object too, in
// the same WaitForMultipleObjects set, as the eventfd is in Linux's poll
// set.  Under wine a select() that waits wakes several milliseconds after
// its datagram arrives; an event at once.  Which socket is readable is
// always told by a select() that does not wait.
#include "sockio.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <timeapi.h>

#include <atomic>
#include <mutex>
#include <unordered_map>

// Not in every SDK's headers: turns the reports of ICMP port-unreachable
// (WSAECONNRESET on the next receive) off for a UDP socket.
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace {

sockaddr_in address_of(uint32_t ip, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = ip;
  return sa;
}

// The event of every open socket, set when a datagram arrives.
std::mutex s_events_lock;
std::unordered_map<SOCKET, WSAEVENT> s_events;

WSAEVENT event_of(SOCKET s) {
  std::lock_guard<std::mutex> hold(s_events_lock);
  const auto it = s_events.find(s);
  return it == s_events.end() ? WSA_INVALID_EVENT : it->second;
}

// The stop wake-up: a manual-reset event, set by every raise until drained.
// Made once, never closed, so a search thread still running at exit never
// meets it closed.
std::atomic<HANDLE> s_wake{nullptr};

// Which of the n sockets are readable now (select with no wait); its result.
int readable_now(const sockio_t *socks, int n, bool *readable) {
  fd_set set;
  FD_ZERO(&set);
  for (int i = 0; i < n; ++i) FD_SET(socks[i], &set);
  timeval none{0, 0};
  const int r = select(0, &set, nullptr, nullptr, &none);
  if (r == SOCKET_ERROR) return WSAGetLastError() == WSAEINTR ? 0 : -1;
  for (int i = 0; i < n; ++i)
    if (readable) readable[i] = FD_ISSET(socks[i], &set) != 0;
  return r;
}

}  // namespace

bool sockio_startup() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  // Waits of 1 ms resolution while the network layer runs: with Windows'
  // default clock tick (15.6 ms) the 10 ms poll pause, and with it every
  // pass, would overrun by up to a tick.
  timeBeginPeriod(1);
  return true;
}

void sockio_cleanup() {
  timeEndPeriod(1);
  WSACleanup();
}

sockio_t sockio_open_udp(bool broadcast) {
  // WSA_FLAG_NO_HANDLE_INHERIT: a child process never holds our sockets.
  SOCKET s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return SOCKIO_INVALID;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  const BOOL on = TRUE;
  if (broadcast && setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char *>(&on), sizeof on) != 0) {
    closesocket(s);
    return SOCKIO_INVALID;
  }
  // An ICMP port-unreachable for one of our requests must not read as a
  // failed receive that ends a search.
  BOOL off = FALSE;
  DWORD bytes = 0;
  if (WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &bytes, nullptr, nullptr) != 0) {
    closesocket(s);
    return SOCKIO_INVALID;
  }
  // The socket's arrival event (which also makes it non-blocking: it is
  // read only when select() found it readable).
  WSAEVENT ev = WSACreateEvent();
  if (ev == WSA_INVALID_EVENT || WSAEventSelect(s, ev, FD_READ) != 0) {
    if (ev != WSA_INVALID_EVENT) WSACloseEvent(ev);
    closesocket(s);
    return SOCKIO_INVALID;
  }
  std::lock_guard<std::mutex> hold(s_events_lock);
  s_events[s] = ev;
  return s;
}

void sockio_close(sockio_t s) {
  // The table forgets the socket before it is closed: once closed, its
  // handle value may be given to another thread's new socket at once.
  WSAEVENT ev = WSA_INVALID_EVENT;
  {
    std::lock_guard<std::mutex> hold(s_events_lock);
    const auto it = s_events.find(s);
    if (it != s_events.end()) {
      ev = it->second;
      s_events.erase(it);
    }
  }
  closesocket(s);
  if (ev != WSA_INVALID_EVENT) WSACloseEvent(ev);
}

bool sockio_bind(sockio_t s, uint32_t ip, uint16_t port) {
  const sockaddr_in sa = address_of(ip, port);
  return bind(s, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0;
}

uint16_t sockio_bound_port(sockio_t s) {
  sockaddr_in sa{};
  int len = sizeof sa;
  if (getsockname(s, reinterpret_cast<sockaddr *>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

bool sockio_send_to(sockio_t s, uint32_t ip, uint16_t port, const uint8_t *data, size_t len) {
  const sockaddr_in to = address_of(ip, port);
  for (int attempt = 0;; ++attempt) {
    const int n = sendto(s, reinterpret_cast<const char *>(data), static_cast<int>(len), 0,
                         reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (n != SOCKET_ERROR) return static_cast<size_t>(n) == len;
    // The socket is non-blocking: a full send buffer waits for room, as a
    // blocking send would, but not for ever.
    if (WSAGetLastError() != WSAEWOULDBLOCK || attempt > 0) return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{1, 0};
    if (select(0, nullptr, &set, nullptr, &limit) != 1) return false;
  }
}

long sockio_recv_from(sockio_t s, uint8_t *buf, size_t cap, uint32_t *src_ip, uint16_t *src_port) {
  // Only called for a socket select() found readable: the receive does not
  // block.
  sockaddr_in from{};
  int from_len = sizeof from;
  const int n = recvfrom(s, reinterpret_cast<char *>(buf), static_cast<int>(cap), 0,
                         reinterpret_cast<sockaddr *>(&from), &from_len);
  if (n == SOCKET_ERROR) {
    const int err = WSAGetLastError();
    // A datagram longer than the buffer: the rest is gone, and the datagram
    // counts as never received.
    if (err == WSAEMSGSIZE) return SOCKIO_TOO_LONG;
    if (err == WSAEWOULDBLOCK || err == WSAEINTR || err == WSAECONNRESET) return SOCKIO_NOTHING;
    return SOCKIO_FAILED;
  }
  *src_ip = from.sin_addr.s_addr;
  *src_port = ntohs(from.sin_port);
  return n;
}

int sockio_wait(const sockio_t *socks, int n, bool wake, int timeout_ms, bool *readable, bool *woken) {
  if (wake) sockio_wake_prepare();
  const HANDLE stop = wake ? s_wake.load() : nullptr;
  if (woken) *woken = false;
  if (n > MAXIMUM_WAIT_OBJECTS - 1) n = MAXIMUM_WAIT_OBJECTS - 1;
  if (timeout_ms <= 0) {
    const int ready = n > 0 ? readable_now(socks, n, readable) : 0;
    const bool stopped = stop != nullptr && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
    if (woken) *woken = stopped;
    return ready < 0 ? -1 : ready + (stopped ? 1 : 0);
  }
  // A wait: on the stop first (it wins when both are set), then on every
  // socket's arrival event.  An arrival since the socket was last read has
  // set its event, also one that came after the caller's last look.
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  DWORD count = 0;
  if (stop != nullptr) handles[count++] = stop;
  const DWORD first_socket = count;
  for (int i = 0; i < n; ++i) {
    const WSAEVENT ev = event_of(socks[i]);
    if (ev != WSA_INVALID_EVENT) handles[count++] = ev;
  }
  if (count == 0) {
    Sleep(static_cast<DWORD>(timeout_ms));
    return 0;
  }
  const DWORD r = WaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(timeout_ms));
  const bool stopped = stop != nullptr && r == WAIT_OBJECT_0;
  // The arrival event that woke the wait is cleared: the datagram is the
  // caller's to read now, and the next arrival sets it again.
  if (r >= WAIT_OBJECT_0 + first_socket && r < WAIT_OBJECT_0 + count) WSAResetEvent(handles[r - WAIT_OBJECT_0]);
  if (woken) *woken = stopped;
  if (r == WAIT_TIMEOUT) return 0;
  if (r >= WAIT_OBJECT_0 + count) return -1;
  if (readable == nullptr) return 1;
  const int ready = n > 0 ? readable_now(socks, n, readable) : 0;
  return ready < 0 ? -1 : ready + (stopped ? 1 : 0);
}

void sockio_wake_prepare() {
  if (s_wake.load() != nullptr) return;
  HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE none = nullptr;
  if (ev != nullptr && !s_wake.compare_exchange_strong(none, ev)) CloseHandle(ev);
}

void sockio_wake_raise() {
  const HANDLE ev = s_wake.load();
  if (ev != nullptr) SetEvent(ev);
}

void sockio_wake_drain() {
  const HANDLE ev = s_wake.load();
  if (ev != nullptr) ResetEvent(ev);
}
