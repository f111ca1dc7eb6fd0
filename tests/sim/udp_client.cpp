#include "udp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "wire_text.h"

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

sockaddr_in Endpoint(const std::string &ip, uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = velatest::Ip(ip);
  return addr;
}

}  // namespace

UdpClient::UdpClient(const std::string &local_ip, uint16_t port) {
  if (!Open(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0, "socket")) return;
  const int on = 1;
  const int rcvbuf = 1 << 20;
  setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  const std::string what = "bind " + local_ip + ":" + std::to_string(port);
  if (setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    Fail(what + ": " + std::strerror(errno));
    return;
  }
  const sockaddr_in addr = Endpoint(local_ip, port);
  Bind(reinterpret_cast<const sockaddr *>(&addr), sizeof addr, what);
}

bool UdpClient::Send(const std::string &ip, uint16_t port, const std::vector<uint8_t> &bytes) {
  if (fd_ < 0) return false;
  const sockaddr_in to = Endpoint(ip, port);
  sent_ms_ = NowMs();
  return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) ==
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

std::vector<Received> From(const std::vector<Received> &all, const std::string &ip) {
  std::vector<Received> out;
  for (const Received &r : all)
    if (velatest::IpText(r.src_ip) == ip) out.push_back(r);
  return out;
}
