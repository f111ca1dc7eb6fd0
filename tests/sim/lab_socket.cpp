#include "lab_socket.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lab.h"

LabSocket::~LabSocket() {
  if (fd_ >= 0) close(fd_);
}

bool LabSocket::Open(int domain, int type, int protocol, const std::string &what) {
  if (!velatest::InOwnLabNamespace()) {
    error_ = "refusing to open a " + what + " outside a lab namespace";
    return false;
  }
  fd_ = socket(domain, type, protocol);
  if (fd_ < 0) {
    error_ = what + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool LabSocket::Bind(const sockaddr *addr, socklen_t len, const std::string &what) {
  if (bind(fd_, addr, len) == 0) return true;
  Fail(what + ": " + std::strerror(errno));
  return false;
}

void LabSocket::Fail(const std::string &message) {
  error_ = message;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}
