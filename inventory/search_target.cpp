// Parsing and checking a search target.
#include "search_target.h"

#include "netorder.h"

#include "dsapi.h"
#include "devtext.h"

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
      const std::string network = IpText(htonl(addr & ~host_bits), false);
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

std::string SearchTargetText(const TSearchTarget &target) {
  std::string text = IpText(target.address, false);
  if (target.prefix_len < 32)
    text += "/" + std::to_string(target.prefix_len);
  return text;
}
