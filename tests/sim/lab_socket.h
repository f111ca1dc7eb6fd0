// The common part of the simulator tests' sockets: a descriptor that is only
// ever opened inside a lab namespace, the text of the last failure, and
// closing.  UdpClient and ArpWatch are built on it.
#pragma once

#include <sys/socket.h>

#include <string>

class LabSocket {
 public:
  LabSocket(const LabSocket &) = delete;
  LabSocket &operator=(const LabSocket &) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string &error() const { return error_; }

 protected:
  LabSocket() = default;
  ~LabSocket();

  // Opens socket(domain, type, protocol), refusing outside a lab namespace;
  // what names the socket in the error text.  False with error() set.
  bool Open(int domain, int type, int protocol, const std::string &what);

  // Binds the open socket to addr; on failure sets error() to
  // "<what>: <reason>" and closes the socket.
  bool Bind(const sockaddr *addr, socklen_t len, const std::string &what);

  // Records message as the error and closes the socket.
  void Fail(const std::string &message);

  int fd_ = -1;

 private:
  std::string error_;
};
