// Watches the ARP replies that reach one interface of the calling thread's
// network namespace, through a packet socket.  It refuses to open one
// outside a lab namespace.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lab_socket.h"

struct ArpReply {
  std::string sender_mac;  // "02:00:00:00:00:01"
  uint32_t sender_ip = 0;  // network order
};

class ArpWatch : public LabSocket {
 public:
  // Starts watching ifname; ok() tells whether it worked.
  explicit ArpWatch(const std::string &ifname);

  // Every ARP reply received since the start or the last call, waiting up
  // to window_ms for more.
  std::vector<ArpReply> Replies(int window_ms);
};
