// POSIX sockets for the socket engine; the stop wake-up is an eventfd in
// the same poll set as the sockets.
#include "sockio.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// The wake-up's eventfd, -1 while none; made once, never closed, so a
// search thread still running at exit never meets it closed.
std::atomic<int> s_wake_fd{-1};

sockaddr_in address_of(uint32_t ip, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = ip;
  return sa;
}

}  // namespace

bool sockio_startup() { return true; }

void sockio_cleanup() {}

sockio_t sockio_open_udp(bool broadcast) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return SOCKIO_INVALID;
  const int on = 1;
  if (broadcast && setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    sockio_close(fd);
    return SOCKIO_INVALID;
  }
  return fd;
}

// Linux releases the descriptor even when close() reports EINTR, so it is
// never retried: a retry could close a descriptor another thread has just
// been given.
void sockio_close(sockio_t s) { close(s); }

bool sockio_bind(sockio_t s, uint32_t ip, uint16_t port) {
  const sockaddr_in sa = address_of(ip, port);
  return bind(s, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0;
}

uint16_t sockio_bound_port(sockio_t s) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(s, reinterpret_cast<sockaddr *>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

bool sockio_send_to(sockio_t s, uint32_t ip, uint16_t port, const uint8_t *data, size_t len) {
  const sockaddr_in to = address_of(ip, port);
  const ssize_t n = sendto(s, data, len, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
  return n >= 0 && static_cast<size_t>(n) == len;
}

long sockio_recv_from(sockio_t s, uint8_t *buf, size_t cap, uint32_t *src_ip, uint16_t *src_port) {
  sockaddr_in from{};
  socklen_t from_len = sizeof from;
  // MSG_TRUNC makes recvfrom report the datagram's real size, so an
  // oversized one is recognised and dropped whole.
  const ssize_t n = recvfrom(s, buf, cap, MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from),
                             &from_len);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return SOCKIO_NOTHING;
    return SOCKIO_FAILED;
  }
  if (static_cast<size_t>(n) > cap) return SOCKIO_TOO_LONG;
  *src_ip = from.sin_addr.s_addr;
  *src_port = ntohs(from.sin_port);
  return static_cast<long>(n);
}

int sockio_wait(const sockio_t *socks, int n, bool wake, int timeout_ms, bool *readable, bool *woken) {
  // poll() rather than select(): an fd_set cannot hold descriptors above
  // FD_SETSIZE, and a busy process may well own that many.
  pollfd fds[64 + 1];
  if (n > 64) n = 64;
  for (int i = 0; i < n; ++i) fds[i] = pollfd{socks[i], POLLIN, 0};
  const int wake_fd = wake ? s_wake_fd.load() : -1;
  nfds_t count = static_cast<nfds_t>(n);
  if (wake_fd >= 0) fds[count++] = pollfd{wake_fd, POLLIN, 0};
  if (woken) *woken = false;
  const int r = poll(fds, count, timeout_ms);
  if (r < 0) return errno == EINTR ? 0 : -1;
  for (int i = 0; i < n; ++i) {
    if (fds[i].revents & POLLNVAL) return -1;
    if (readable) readable[i] = (fds[i].revents & (POLLIN | POLLERR)) != 0;
  }
  if (woken && wake_fd >= 0) *woken = (fds[n].revents & POLLIN) != 0;
  return r;
}

void sockio_wake_prepare() {
  if (s_wake_fd.load() >= 0) return;
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  int none = -1;
  if (fd >= 0 && !s_wake_fd.compare_exchange_strong(none, fd)) close(fd);
}

void sockio_wake_raise() {
  const int fd = s_wake_fd.load();
  if (fd < 0) return;
  const uint64_t one = 1;
  (void)!write(fd, &one, sizeof one);
}

void sockio_wake_drain() {
  const int fd = s_wake_fd.load();
  if (fd < 0) return;
  uint64_t count = 0;
  (void)!read(fd, &count, sizeof count);
}
