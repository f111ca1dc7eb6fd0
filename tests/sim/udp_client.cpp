#include "udp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "lab.h"
#include "wire_text.h"

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

UdpClient::UdpClient(const std::string &local_ip, uint16_t port) {
  if (!velatest::InOwnLabNamespace()) {
    error_ = "refusing to open a socket outside a lab namespace";
    return;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error_ = std::string("socket: ") + std::strerror(errno);
    return;
  }
  const int on = 1;
  const int rcvbuf = 1 << 20;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = velatest::Ip(local_ip);
  if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    error_ = "bind " + local_ip + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return;
  }
  fd_ = fd;
}

UdpClient::~UdpClient() {
  if (fd_ >= 0) close(fd_);
}

bool UdpClient::Send(const std::string &ip, uint16_t port, const std::vector<uint8_t> &bytes) {
  if (fd_ < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = velatest::Ip(ip);
  sent_ms_ = NowMs();
  return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to) ==
         static_cast<ssize_t>(bytes.size());
}

std::vector<Received> UdpClient::Collect(int window_ms) {
  std::vector<Received> out;
  if (fd_ < 0) return out;
  const double end = NowMs() + window_ms;
  for (;;) {
    const double left = end - NowMs();
    if (left <= 0) break;
    pollfd pfd{fd_, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left) + 1) <= 0) continue;
    uint8_t buf[65536];
    sockaddr_in src{};
    socklen_t n = sizeof src;
    const ssize_t len = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&src), &n);
    if (len < 0) continue;
    Received r;
    r.src_ip = src.sin_addr.s_addr;
    r.src_port = ntohs(src.sin_port);
    r.bytes.assign(buf, buf + len);
    r.at_ms = NowMs() - sent_ms_;
    out.push_back(r);
  }
  return out;
}
