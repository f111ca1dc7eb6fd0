// Watches the ARP replies that reach one interface of the calling thread's
// network namespace, through a packet socket.  It refuses to open one
// outside a lab namespace.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArpReply {
  std::string sender_mac;  // "02:00:00:00:00:01"
  uint32_t sender_ip = 0;  // network order
};

class ArpWatch {
 public:
  // Starts watching ifname; ok() tells whether it worked.
  explicit ArpWatch(const std::string &ifname);
  ~ArpWatch();
  ArpWatch(const ArpWatch &) = delete;
  ArpWatch &operator=(const ArpWatch &) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string &error() const { return error_; }

  // Every ARP reply received since the start or the last call, waiting up
  // to window_ms for more.
  std::vector<ArpReply> Replies(int window_ms);

 private:
  int fd_ = -1;
  std::string error_;
};
