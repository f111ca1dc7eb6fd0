// Device identity test and display texts.
#include "devtext.h"

#include "netorder.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "modellock.h"
#include "modeltable.h"

bool SameDevice(_DSNETINFO *new_info, _DSNETINFO *stored) {
  if (new_info->hwid != stored->hwid || new_info->apid != stored->apid)
    return false;
  bool new_zero = dsproto_mac_is_zero(new_info->mac);
  bool stored_zero = dsproto_mac_is_zero(stored->mac);
  if (new_info->ip == stored->ip) {
    // Matched by address alone when one side lacks the MAC; the copy makes
    // the MAC known on both sides before the caller copies one over the other.
    if (new_zero) {
      if (!stored_zero)
        std::memcpy(new_info->mac, stored->mac, DS_MAC_SIZE);
      return true;
    }
    if (stored_zero) {
      std::memcpy(stored->mac, new_info->mac, DS_MAC_SIZE);
      return true;
    }
    return std::memcmp(new_info->mac, stored->mac, DS_MAC_SIZE) == 0;
  }
  return !new_zero && std::memcmp(new_info->mac, stored->mac, DS_MAC_SIZE) == 0;
}

std::string ModelText(uint32_t apid, uint16_t hwid) {
  {
    std::shared_lock<std::shared_mutex> hold(ModelTableLock());
    for (const _MODELINFO &row : ModelTable)
      if (row.apid == apid && row.hwid == hwid)
        return std::string(row.model_name, strnlen(row.model_name, MODEL_NAME_SIZE));
  }
  char text[32];
  std::snprintf(text, sizeof text, "%x,%x", apid, static_cast<unsigned>(hwid));
  return text;
}

std::string MacText(const uint8_t mac[DS_MAC_SIZE]) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

std::string IpText(uint32_t ip, bool blank_broadcast) {
  if (ip == 0 || (blank_broadcast && ip == 0xFFFFFFFFu))
    return std::string();
  char text[INET_ADDRSTRLEN];
  struct in_addr addr;
  addr.s_addr = ip;
  if (inet_ntop(AF_INET, &addr, text, sizeof text) == nullptr)
    return std::string();
  return text;
}
