// Parsing and checking a search target.
#include "search_target.h"

#include "netorder.h"

#include <algorithm>

#include "dsapi.h"
#include "ipv4_text.h"

namespace {

// Strict dotted decimal: four parts of 1 to 3 digits, each 0..255.
bool ParseDotted(const std::string &text, uint32_t *host_order) {
  uint32_t value = 0;
  size_t pos = 0;
  for (int part = 0; part < 4; part++) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.')
        return false;
      pos++;
    }
    size_t digits = 0;
    uint32_t v = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
      v = v * 10 + static_cast<uint32_t>(text[pos] - '0');
      pos++;
      digits++;
    }
    if (digits == 0 || digits > 3 || v > 255)
      return false;
    value = (value << 8) | v;
  }
  if (pos != text.size())
    return false;
  *host_order = value;
  return true;
}

std::string Trim(const std::string &text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos)
    return "";
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

bool ParseSearchTarget(const std::string &raw, TSearchTarget *out, std::string *error) {
  const std::string text = Trim(raw);
  const size_t slash = text.find('/');
  const std::string addr_text = text.substr(0, slash);
  uint32_t addr = 0;
  if (!ParseDotted(addr_text, &addr)) {
    *error = "'" + text + "' is not an IPv4 address (a.b.c.d) or subnet prefix (a.b.c.0/24)";
    return false;
  }
  int32_t prefix_len = 32;
  if (slash != std::string::npos) {
    const std::string len_text = text.substr(slash + 1);
    bool digits = !len_text.empty() && len_text.size() <= 2 &&
                  len_text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits) {
      *error = "'" + text + "' is not an IPv4 address (a.b.c.d) or subnet prefix (a.b.c.0/24)";
      return false;
    }
    prefix_len = std::stoi(len_text);
    if (prefix_len < DS_SUBNET_PREFIX_MIN || prefix_len > DS_SUBNET_PREFIX_MAX) {
      *error = "subnet prefix /" + len_text + " of '" + text + "' is not searchable: use /" +
               std::to_string(DS_SUBNET_PREFIX_MIN) + " to /" + std::to_string(DS_SUBNET_PREFIX_MAX) +
               " (one device: the address alone)";
      return false;
    }
    const uint32_t host_bits = 0xFFFFFFFFu >> prefix_len;
    if ((addr & host_bits) != 0) {
      const std::string network = Ipv4Text(htonl(addr & ~host_bits));
      *error = "'" + text + "' has host bits set after the prefix: did you mean " + network + "/" +
               len_text + "?";
      return false;
    }
  }
  const uint32_t first = addr >> 24;
  const char *why = nullptr;
  if (addr == 0xFFFFFFFFu)
    why = "is the broadcast address (a search without a target broadcasts)";
  else if (first == 0)
    why = "is in 0.0.0.0/8, which names no device";
  else if (first == 127)
    why = "is a loopback address";
  else if (first >= 224 && first <= 239)
    why = "is a multicast address";
  else if (first >= 240)
    why = "is a reserved address";
  if (why != nullptr) {
    *error = "'" + text + "' " + why;
    return false;
  }
  out->address = htonl(addr);
  out->prefix_len = prefix_len;
  return true;
}

namespace {

uint32_t MaskOf(int32_t prefix_len) { return prefix_len <= 0 ? 0 : 0xFFFFFFFFu << (32 - prefix_len); }

bool Contains(const _DSSUBNET &s, uint32_t host_order) {
  return (host_order & MaskOf(s.prefix_len)) == ntohl(s.network);
}

std::string SubnetText(const _DSSUBNET &s) { return SearchTargetText({s.network, s.prefix_len}); }

}  // namespace

bool CheckSearchTarget(const TSearchTarget &target, const std::vector<_DSSUBNET> &connected,
                       std::string *notice, std::string *error) {
  notice->clear();
  const std::string text = SearchTargetText(target);
  const uint32_t addr = ntohl(target.address);
  if (target.prefix_len >= 32) {
    for (const _DSSUBNET &s : connected) {
      if (s.prefix_len > 30 || !Contains(s, addr))
        continue;
      const uint32_t network = ntohl(s.network);
      const char *which = addr == network ? "network" : addr == (network | ~MaskOf(s.prefix_len)) ? "broadcast" : nullptr;
      if (which != nullptr) {
        *error = "'" + text + "' is the " + which + " address of the connected subnet " + SubnetText(s) +
                 " (a search without a target broadcasts)";
        return false;
      }
    }
    return true;
  }
  // The connected subnets that share addresses with the target, and
  // whether a host address of the target is left to ask.
  const uint32_t mask = MaskOf(target.prefix_len);
  std::string on_link;
  int overlapping = 0;
  for (const _DSSUBNET &s : connected) {
    const uint32_t common = mask & MaskOf(s.prefix_len);
    if ((addr & common) != (ntohl(s.network) & common))
      continue;
    on_link += (overlapping++ ? ", " : "") + SubnetText(s);
  }
  if (overlapping == 0)
    return true;
  bool left = false;
  for (uint32_t host = addr + 1; host < (addr | ~mask) && !left; host++) {
    left = true;
    for (const _DSSUBNET &s : connected)
      left = left && !Contains(s, host);
  }
  const std::string subnets = (overlapping > 1 ? "the connected subnets " : "the connected subnet ") + on_link;
  const std::string why = ": a search without a target (broadcast) reaches them";
  if (!left) {
    *error = "every address of '" + text + "' is on " + subnets + why;
    return false;
  }
  *notice = text + ": the addresses on " + subnets + " are left out" + why;
  return true;
}

std::vector<_DSSUBNET> HostConnectedSubnets() {
  std::vector<_DSSUBNET> rows(16);
  int n = ds_connected_subnets(rows.data(), static_cast<int>(rows.size()));
  if (n > static_cast<int>(rows.size())) {
    rows.resize(static_cast<size_t>(n));
    n = ds_connected_subnets(rows.data(), n);
  }
  rows.resize(n > 0 ? std::min(static_cast<size_t>(n), rows.size()) : 0);
  return rows;
}

std::string SearchTargetText(const TSearchTarget &target) {
  std::string text = Ipv4Text(target.address);
  if (target.prefix_len < 32) {
    // Appended in two steps: GCC 12 at -O2 reports a false -Wrestrict
    // overlap for "literal" + std::string (a known fault of its string
    // inlining), and a clean build must print no warning.
    text += '/';
    text += std::to_string(target.prefix_len);
  }
  return text;
}
