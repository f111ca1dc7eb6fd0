// Flood mode: datagrams built from a seeded generator and sent in 1 ms
// bursts, so the rate holds on average without a sleep per datagram.
#include "sim_flood.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "proto.h"
#include "sim_device.h"

namespace {

uint64_t next(uint64_t *state) { return sim_random_next(state); }

double now_s() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

constexpr size_t kRandomMax = 1472;  // the largest UDP payload of one Ethernet frame
constexpr size_t kOversize = 3000;

}  // namespace

bool sim_flood_kind(const std::string &text, SimFloodKind *out) {
  if (text == "random") *out = SimFloodKind::Random;
  else if (text == "unknown-model") *out = SimFloodKind::UnknownModel;
  else if (text == "oversize") *out = SimFloodKind::Oversize;
  else return false;
  return true;
}

bool sim_flood_target(const std::string &text, sockaddr_in *out) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = text.substr(0, colon), port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long p = std::stoul(port);
  if (p < 1 || p > 65535) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(p));
  if (inet_pton(AF_INET, host.c_str(), &a.sin_addr) != 1) return false;
  *out = a;
  return true;
}

size_t sim_flood_datagram(SimFloodKind kind, uint64_t *rng, uint8_t *buf, size_t cap) {
  if (cap < kOversize) return 0;
  switch (kind) {
    case SimFloodKind::Random: {
      const size_t len = 1 + static_cast<size_t>(next(rng) % kRandomMax);
      for (size_t i = 0; i < len; i += 8) {
        const uint64_t r = next(rng);
        std::memcpy(buf + i, &r, len - i < 8 ? len - i : 8);
      }
      return len;
    }
    case SimFloodKind::UnknownModel: {
      static const uint8_t mac[DS_MAC_SIZE] = {0x02, 0xff, 0xff, 0xff, 0xff, 0xf1};
      dsproto_build_search_reply(buf, cap, SIM_FLOOD_APID, SIM_FLOOD_HWID, mac, 0);
      return DS_SEARCH_REPLY_SIZE;
    }
    case SimFloodKind::Oversize: {
      static const uint8_t mac[DS_MAC_SIZE] = {0x02, 0xff, 0xff, 0xff, 0xff, 0xf2};
      std::memset(buf, 0, kOversize);
      dsproto_build_search_reply(buf, cap, SIM_FLOOD_APID, SIM_FLOOD_HWID, mac, 0);
      dsproto_put_header(buf, cap, DS_KIND_SEARCH | DS_REPLY_BIT, static_cast<uint16_t>(kOversize));
      return kOversize;
    }
  }
  return 0;
}

int sim_flood(SimFloodKind kind, uint64_t rate, double seconds, const std::vector<sockaddr_in> &targets,
              uint64_t seed) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::fprintf(stderr, "vela-sim: flood socket: %s\n", std::strerror(errno));
    return 1;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);

  double total_d = static_cast<double>(rate) * seconds;
  const uint64_t total = total_d >= static_cast<double>(SIM_FLOOD_MAX_COUNT) ? SIM_FLOOD_MAX_COUNT
                                                                             : static_cast<uint64_t>(total_d);
  uint64_t rng = seed, sent = 0, refused = 0;
  // Datagrams go out in batches of one sendmmsg call each, which keeps the
  // sender's cost per datagram low enough to outpace a reader.
  constexpr size_t kBatch = 64;
  static uint8_t bufs[kBatch][kOversize];
  static iovec iov[kBatch];
  static mmsghdr msgs[kBatch];
  const double start = now_s();
  // Each round sends what is due by now, at most 16 batches, so that a
  // sender slower than the rate still stops on time; a sender ahead of the
  // rate waits 1 ms.
  for (;;) {
    const double elapsed = now_s() - start;
    if (sent + refused >= total || elapsed > seconds) break;
    const double due_d = static_cast<double>(rate) * elapsed;
    const uint64_t due = due_d >= static_cast<double>(total) ? total : static_cast<uint64_t>(due_d) + 1;
    for (int round = 0; round < 16 && sent + refused < due; ++round) {
      const uint64_t left = due - sent - refused;
      const size_t n = left < kBatch ? static_cast<size_t>(left) : kBatch;
      for (size_t i = 0; i < n; ++i) {
        iov[i] = iovec{bufs[i], sim_flood_datagram(kind, &rng, bufs[i], sizeof bufs[i])};
        msgs[i] = mmsghdr{};
        const sockaddr_in &to = targets[(sent + refused + i) % targets.size()];
        msgs[i].msg_hdr.msg_name = const_cast<sockaddr_in *>(&to);
        msgs[i].msg_hdr.msg_namelen = sizeof to;
        msgs[i].msg_hdr.msg_iov = &iov[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
      }
      const int done = sendmmsg(fd, msgs, static_cast<unsigned>(n), 0);
      if (done < 0) {
        ++refused;  // the first of the batch failed; the rest go in the next round
        continue;
      }
      sent += static_cast<uint64_t>(done);
    }
    if (sent + refused >= due) usleep(1000);
  }
  close(fd);
  std::fprintf(stderr, "vela-sim: flood sent %llu datagram(s), %llu refused by the stack, in %.2f s\n",
               static_cast<unsigned long long>(sent), static_cast<unsigned long long>(refused), now_s() - start);
  return 0;
}
