#include "ipv4_text.h"

#include "netorder.h"

std::string Ipv4Text(uint32_t ip)
{
  if (ip == 0)
    return std::string();
  char text[INET_ADDRSTRLEN];
  struct in_addr addr;
  addr.s_addr = ip;
  if (inet_ntop(AF_INET, &addr, text, sizeof text) == nullptr)
    return std::string();
  return text;
}
