// Windows Sockets for the socket engine.  The stop wake-up is a UDP socket
// bound to the loopback address that sends itself one byte per raise: it
// sits in the same select() set as the search's sockets, as the eventfd
// does on Linux.
#include "sockio.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <atomic>
#include <mutex>

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

// The wake-up socket and its own address; made once after a start-up,
// never closed, so a search thread still running at exit never meets it
// closed.
std::mutex s_wake_lock;
std::atomic<SOCKET> s_wake{INVALID_SOCKET};
sockaddr_in s_wake_addr{};

}  // namespace

bool sockio_startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void sockio_cleanup() { WSACleanup(); }

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
  return s;
}

void sockio_close(sockio_t s) { closesocket(s); }

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
  const int n = sendto(s, reinterpret_cast<const char *>(data), static_cast<int>(len), 0,
                       reinterpret_cast<const sockaddr *>(&to), sizeof to);
  return n != SOCKET_ERROR && static_cast<size_t>(n) == len;
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
  const SOCKET wake_s = wake ? s_wake.load() : INVALID_SOCKET;
  if (woken) *woken = false;
  fd_set set;
  FD_ZERO(&set);
  if (n > FD_SETSIZE - 1) n = FD_SETSIZE - 1;
  for (int i = 0; i < n; ++i) FD_SET(socks[i], &set);
  if (wake_s != INVALID_SOCKET) FD_SET(wake_s, &set);
  if (set.fd_count == 0) {
    // select() refuses an empty set.
    Sleep(static_cast<DWORD>(timeout_ms));
    return 0;
  }
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  const int r = select(0, &set, nullptr, nullptr, &tv);
  if (r == SOCKET_ERROR) return WSAGetLastError() == WSAEINTR ? 0 : -1;
  for (int i = 0; i < n; ++i)
    if (readable) readable[i] = FD_ISSET(socks[i], &set) != 0;
  if (woken && wake_s != INVALID_SOCKET) *woken = FD_ISSET(wake_s, &set) != 0;
  return r;
}

void sockio_wake_prepare() {
  if (s_wake.load() != INVALID_SOCKET) return;
  std::lock_guard<std::mutex> hold(s_wake_lock);
  if (s_wake.load() != INVALID_SOCKET) return;
  // A start-up of its own, never cleaned up: the last WSACleanup of the
  // program's own start-ups would close the wake-up socket with the others.
  static const bool started = sockio_startup();
  if (!started) return;
  const sockio_t s = sockio_open_udp(false);
  if (s == SOCKIO_INVALID) return;
  sockaddr_in sa = address_of(htonl(INADDR_LOOPBACK), 0);
  int len = sizeof sa;
  u_long nonblocking = 1;
  if (bind(s, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr *>(&sa), &len) != 0 ||
      ioctlsocket(s, FIONBIO, &nonblocking) != 0) {
    closesocket(s);
    return;
  }
  s_wake_addr = sa;
  s_wake.store(s);
}

void sockio_wake_raise() {
  const SOCKET s = s_wake.load();
  if (s == INVALID_SOCKET) return;
  const char one = 1;
  sendto(s, &one, 1, 0, reinterpret_cast<const sockaddr *>(&s_wake_addr), sizeof s_wake_addr);
}

void sockio_wake_drain() {
  const SOCKET s = s_wake.load();
  if (s == INVALID_SOCKET) return;
  char buf[16];
  while (recv(s, buf, sizeof buf, 0) > 0) {
  }
}
