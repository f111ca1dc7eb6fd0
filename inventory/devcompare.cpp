// Row comparisons of the device lists.
#include "devcompare.h"

#include "netorder.h"

#include <cstring>

int CompareIp(uint32_t ip1, uint32_t ip2) {
  // Network order to host order puts the first dotted part on top.
  return ntohl(ip1) > ntohl(ip2) ? 1 : -1;
}

int CompareText(const std::string &a, const std::string &b) {
  int r = std::strcoll(a.c_str(), b.c_str());
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
