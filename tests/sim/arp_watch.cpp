#include "arp_watch.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>


namespace {

// Ethernet/IPv4 ARP body as a SOCK_DGRAM packet socket delivers it.
constexpr size_t kArpSize = 28;
constexpr uint16_t kArpReply = 2;

}  // namespace

ArpWatch::ArpWatch(const std::string &ifname) {
  if (!Open(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ARP), "packet socket")) return;
  const unsigned index = if_nametoindex(ifname.c_str());
  if (index == 0) {
    Fail("no interface " + ifname);
    return;
  }
  sockaddr_ll addr{};
  addr.sll_family = AF_PACKET;
  addr.sll_protocol = htons(ETH_P_ARP);
  addr.sll_ifindex = static_cast<int>(index);
  Bind(reinterpret_cast<const sockaddr *>(&addr), sizeof addr, "bind to " + ifname);
}

std::vector<ArpReply> ArpWatch::Replies(int window_ms) {
  std::vector<ArpReply> out;
  if (fd_ < 0) return out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(window_ms);
  for (;;) {
    uint8_t buf[256];
    const ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n < 0) {
      if (errno != EAGAIN && errno != EINTR) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd pfd{fd_, POLLIN, 0};
      poll(&pfd, 1, static_cast<int>(left.count()) + 1);
      continue;
    }
    // Ethernet (1), IPv4 (0x0800), 6-byte and 4-byte addresses, a reply.
    if (static_cast<size_t>(n) < kArpSize || buf[0] != 0 || buf[1] != 1 || buf[2] != 8 || buf[3] != 0 ||
        buf[4] != 6 || buf[5] != 4 || buf[6] != 0 || buf[7] != kArpReply)
      continue;
    ArpReply r;
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", buf[8], buf[9], buf[10], buf[11], buf[12],
                  buf[13]);
    r.sender_mac = mac;
    std::memcpy(&r.sender_ip, buf + 14, 4);
    out.push_back(r);
  }
  return out;
}
