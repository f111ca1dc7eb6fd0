// A minimal finder-side UDP client for the simulator tests: one socket bound
// to a local address and port, send, and collect every datagram for a while.
// It refuses to open a socket outside a lab namespace.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lab_socket.h"

struct Received {
  uint32_t src_ip = 0;    // network order
  uint16_t src_port = 0;  // host order
  std::vector<uint8_t> bytes;
  double at_ms = 0;       // milliseconds since the client's last send
};

// The datagrams of all that came from source address ip (dotted).
std::vector<Received> From(const std::vector<Received> &all, const std::string &ip);

class UdpClient : public LabSocket {
 public:
  // Binds to local_ip:port with broadcasting enabled; ok() tells whether it worked.
  UdpClient(const std::string &local_ip, uint16_t port);

  // Sends bytes to ip:port; false on failure.
  bool Send(const std::string &ip, uint16_t port, const std::vector<uint8_t> &bytes);
  // Every datagram received within window_ms.
  std::vector<Received> Collect(int window_ms);

 private:
  double sent_ms_ = 0;
};
