// One wildcard socket receives every request, with IP_PKTINFO giving the
// address each was sent to.  Replies leave the same socket through sendmsg
// with IP_PKTINFO naming the device's address as the source, so one process
// answers for any number of devices, each from its own address, to the
// request's source address and port.  Delayed replies wait in a queue ordered
// by due time; replies that are due go out together without sleeping, so a
// hundred devices answer within the same millisecond.
//
// In the lab a device namespace may carry macvlans on top of its link, one
// per device MAC, so that frames addressed to a device's own MAC are taken
// in.  The kernel hands every broadcast frame to the link and to each
// macvlan, so with a receive interface set the server keeps a broadcast only
// in the copy that arrived on that interface; datagrams sent to one of the
// namespace's own addresses are kept whichever interface they came in by.
#include "sim_server.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>

#include "sim_log.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void on_stop_signal(int) { g_stop = 1; }

struct Pending {
  size_t device;
  sockaddr_in to;
  uint8_t kind;
  bool corrupt = false;
};

int64_t now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

double unix_now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Receive buffer asked for (as root, beyond net.core.rmem_max): a broadcast
// arrives once per macvlan as well, and the copies must not crowd out the
// one that counts.
constexpr int kReceiveBuffer = 4 << 20;

// The IPv4 addresses of this namespace: its own (unicast) addresses, and the
// broadcast addresses, that is the limited broadcast and every interface's
// directed broadcast.
struct LocalAddresses {
  std::vector<uint32_t> unicast;
  std::vector<uint32_t> broadcast{INADDR_BROADCAST};
};

LocalAddresses local_addresses() {
  LocalAddresses out;
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  for (ifaddrs *i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    const uint32_t addr = reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr;
    out.unicast.push_back(addr);
    if (!(i->ifa_flags & IFF_BROADCAST) || i->ifa_broadaddr == nullptr) continue;
    // An address without a broadcast address (the /32 device addresses) is
    // listed by getifaddrs with itself in that place: not a broadcast.
    const uint32_t brd = reinterpret_cast<const sockaddr_in *>(i->ifa_broadaddr)->sin_addr.s_addr;
    if (brd == addr) continue;
    out.broadcast.push_back(brd);
  }
  freeifaddrs(list);
  return out;
}

bool contains(const std::vector<uint32_t> &list, uint32_t ip) {
  for (uint32_t a : list)
    if (a == ip) return true;
  return false;
}

int open_socket(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  // Without the right to exceed rmem_max, the largest allowed buffer.
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof kReceiveBuffer) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
  return fd;
}

void send_reply(int fd, SimDevice &dev, const Pending &p) {
  uint8_t buf[SIM_REPLY_MAX];
  const int len = sim_build_reply(dev, p.kind, buf, sizeof buf);
  if (len < 0) return;
  if (p.corrupt) sim_fault_corrupt(&dev, buf, static_cast<size_t>(len));

  iovec iov{buf, static_cast<size_t>(len)};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr msg{};
  msg.msg_name = const_cast<sockaddr_in *>(&p.to);
  msg.msg_namelen = sizeof p.to;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  cmsghdr *c = CMSG_FIRSTHDR(&msg);
  c->cmsg_level = IPPROTO_IP;
  c->cmsg_type = IP_PKTINFO;
  c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_spec_dst.s_addr = dev.ip;
  std::memcpy(CMSG_DATA(c), &info, sizeof info);

  if (sendmsg(fd, &msg, 0) < 0)
    std::fprintf(stderr, "vela-sim: [%s] reply not sent: %s\n", dev.name.c_str(), std::strerror(errno));
}

class Server {
 public:
  Server(std::vector<SimDevice> *devices, int fd, uint16_t port, unsigned iface, FILE *log)
      : devices_(devices), fd_(fd), port_(port), iface_(iface), log_(log), addresses_(local_addresses()) {}

  // Reads every waiting datagram; false only when the socket itself is
  // unusable.  Transient errors (an ICMP error queued on the socket, memory
  // pressure) end this round and the loop goes on.
  bool drain() {
    for (;;) {
      sockaddr_in src{};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
      iovec iov{buf_, sizeof buf_};
      msghdr msg{};
      msg.msg_name = &src;
      msg.msg_namelen = sizeof src;
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      const ssize_t n = recvmsg(fd_, &msg, 0);
      if (n < 0) return errno != EBADF && errno != ENOTSOCK && errno != EINVAL && errno != EFAULT;

      uint32_t dst = 0;
      unsigned ifindex = 0;
      for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
          in_pktinfo info{};
          std::memcpy(&info, CMSG_DATA(c), sizeof info);
          dst = info.ipi_addr.s_addr;
          ifindex = static_cast<unsigned>(info.ipi_ifindex);
        }
      }
      // A broadcast's copy through another interface (a macvlan) is dropped
      // unseen: each datagram is logged and answered once.
      if (iface_ != 0 && ifindex != iface_ && !contains(addresses_.unicast, dst)) continue;
      handle(src, dst, static_cast<size_t>(n));
    }
  }

  // Sends every reply that is due; returns the poll time-out until the next.
  int flush_due() {
    const int64_t now = now_ms();
    while (!queue_.empty() && queue_.begin()->first <= now) {
      const Pending p = queue_.begin()->second;
      queue_.erase(queue_.begin());
      send_reply(fd_, (*devices_)[p.device], p);
    }
    if (queue_.empty()) return -1;
    return static_cast<int>(queue_.begin()->first - now);
  }

 private:
  void handle(const sockaddr_in &src, uint32_t dst, size_t len) {
    const std::string line =
        sim_log_line(unix_now(), src.sin_addr.s_addr, src.sin_port, dst, htons(port_), buf_, len);
    std::fwrite(line.data(), 1, line.size(), log_);
    std::fflush(log_);

    SimRequest req;
    if (sim_parse_request(buf_, len, &req) < 0) return;
    const bool is_broadcast = contains(addresses_.broadcast, dst);

    const int64_t now = now_ms();
    for (size_t i = 0; i < devices_->size(); ++i) {
      SimDevice &dev = (*devices_)[i];
      // Fault injection: a request that reaches the device may be ignored,
      // and each reply lost, duplicated, delayed further or corrupted.
      if ((is_broadcast || dst == dev.ip) && sim_fault_request_lost(&dev)) continue;
      if (!sim_device_answers(&dev, req, dst, is_broadcast)) continue;
      const SimReplyFate fate = sim_fault_reply(&dev);
      const int twice = dev.twice ? 2 : 1;
      for (int c = 0; c < fate.copies; ++c) {
        const Pending p{i, src, req.kind, fate.corrupt[c]};
        for (int k = 0; k < twice; ++k) queue_.emplace(now + dev.delay_ms + fate.extra_delay_ms[c], p);
      }
    }
  }

  std::vector<SimDevice> *devices_;
  int fd_;
  uint16_t port_;
  unsigned iface_;  // index of the receive interface for broadcasts; 0: any
  FILE *log_;
  LocalAddresses addresses_;
  std::multimap<int64_t, Pending> queue_;  // equal due times keep arrival order
  uint8_t buf_[65536];
};

}  // namespace

bool sim_address_is_local(uint32_t ip) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = ip;
  const bool ok = bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

int sim_serve(std::vector<SimDevice> *devices, const char *log_path, uint16_t port, unsigned iface) {
  // The stop signals are blocked except inside ppoll, so a signal can never
  // slip in between the flag test and the wait.
  sigset_t stop_set, wait_mask;
  sigemptyset(&stop_set);
  sigaddset(&stop_set, SIGTERM);
  sigaddset(&stop_set, SIGINT);
  sigprocmask(SIG_BLOCK, &stop_set, &wait_mask);
  sigdelset(&wait_mask, SIGTERM);
  sigdelset(&wait_mask, SIGINT);
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  const int fd = open_socket(port);
  if (fd < 0) {
    std::fprintf(stderr, "vela-sim: cannot listen on UDP port %u: %s\n", port, std::strerror(errno));
    return 1;
  }
  FILE *log = std::fopen(log_path, "w");
  if (log == nullptr) {
    std::fprintf(stderr, "vela-sim: cannot write log %s: %s\n", log_path, std::strerror(errno));
    close(fd);
    return 1;
  }

  auto server = std::make_unique<Server>(devices, fd, port, iface, log);
  int rc = 0;
  while (!g_stop) {
    const int wait_ms = server->flush_due();
    timespec ts{};
    timespec *timeout = nullptr;
    if (wait_ms >= 0) {
      ts.tv_sec = wait_ms / 1000;
      ts.tv_nsec = static_cast<long>(wait_ms % 1000) * 1000000;
      timeout = &ts;
    }
    pollfd pfd{fd, POLLIN, 0};
    const int r = ppoll(&pfd, 1, timeout, &wait_mask);
    if (r < 0 && errno != EINTR) {
      std::fprintf(stderr, "vela-sim: poll failed: %s\n", std::strerror(errno));
      rc = 1;
      break;
    }
    if (r > 0 && !server->drain()) {
      std::fprintf(stderr, "vela-sim: receive failed: %s\n", std::strerror(errno));
      rc = 1;
      break;
    }
  }
  server.reset();
  std::fclose(log);
  close(fd);
  return rc;
}
