// Byte-level encoding of the discovery protocol.  The byte order is mixed on
// purpose: the length field is big-endian, apid, hwid and the set-value
// argument are little-endian, addresses stay in network order and the MAC is
// copied as transmitted.
#include "proto.h"

#include <cstring>

namespace {

constexpr size_t kApidOffset = 8;
constexpr size_t kHwidOffset = 12;
constexpr size_t kMacOffset = 14;
constexpr size_t kReportedIpOffset = 20;
constexpr size_t kValueOffset = 20;
constexpr size_t kInfoOffset = 20;

void put_le32(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

void put_le16(uint8_t *p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

uint32_t get_le32(const uint8_t *p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint16_t get_le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// apid, hwid and MAC at offsets 8, 12 and 14: the identity block shared by
// the known-device entries (at entry offset 0) and the unicast requests.
void put_identity(uint8_t *p, const _DSNETINFO *dev) {
  put_le32(p, dev->apid);
  put_le16(p + 4, dev->hwid);
  std::memcpy(p + 6, dev->mac, DS_MAC_SIZE);
}

}  // namespace

int dsproto_put_header(uint8_t *buf, size_t cap, uint8_t command, uint16_t length) {
  if (buf == nullptr || cap < DS_HEADER_SIZE) return -1;
  buf[0] = command;
  buf[1] = 0;
  buf[2] = static_cast<uint8_t>(length >> 8);
  buf[3] = static_cast<uint8_t>(length);
  std::memset(buf + 4, 0, 4);
  return static_cast<int>(DS_HEADER_SIZE);
}

int dsproto_build_search(uint8_t *buf, size_t cap, const _DSNETINFO *const *heard, size_t count) {
  if (count > DS_MAX_ENTRIES) count = DS_MAX_ENTRIES;
  if (count > 0 && heard == nullptr) return -1;
  const size_t len = DS_HEADER_SIZE + DS_ENTRY_SIZE * count;
  if (buf == nullptr || cap < len) return -1;
  dsproto_put_header(buf, cap, DS_KIND_SEARCH, static_cast<uint16_t>(len));
  for (size_t i = 0; i < count; ++i)
    put_identity(buf + DS_HEADER_SIZE + DS_ENTRY_SIZE * i, heard[i]);
  return static_cast<int>(len);
}

int dsproto_build_identify(uint8_t *buf, size_t cap) {
  if (dsproto_put_header(buf, cap, DS_KIND_IDENTIFY, DS_IDENTIFY_REQ_SIZE) < 0) return -1;
  return static_cast<int>(DS_IDENTIFY_REQ_SIZE);
}

int dsproto_build_set_value(uint8_t *buf, size_t cap, const _DSNETINFO *dev, int32_t value) {
  if (buf == nullptr || dev == nullptr || cap < DS_SET_VALUE_REQ_SIZE) return -1;
  std::memset(buf, 0, DS_SET_VALUE_REQ_SIZE);
  dsproto_put_header(buf, cap, DS_KIND_SET_VALUE, DS_SET_VALUE_REQ_SIZE);
  put_identity(buf + kApidOffset, dev);
  put_le16(buf + kValueOffset, static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFF));
  return static_cast<int>(DS_SET_VALUE_REQ_SIZE);
}

int dsproto_build_info(uint8_t *buf, size_t cap, const _DSNETINFO *dev) {
  if (buf == nullptr || dev == nullptr || cap < DS_INFO_REQ_SIZE) return -1;
  std::memset(buf, 0, DS_INFO_REQ_SIZE);
  dsproto_put_header(buf, cap, DS_KIND_GET_INFO, DS_INFO_REQ_SIZE);
  put_identity(buf + kApidOffset, dev);
  return static_cast<int>(DS_INFO_REQ_SIZE);
}

size_t dsproto_reply_size(uint8_t kind) {
  switch (kind) {
    case DS_KIND_SEARCH: return DS_SEARCH_REPLY_SIZE;
    case DS_KIND_SET_VALUE: return DS_SET_VALUE_REPLY_SIZE;
    case DS_KIND_GET_INFO: return DS_INFO_REPLY_SIZE;
    default: return 0;
  }
}

bool dsproto_is_reply(const uint8_t *buf, size_t len, uint8_t kind, uint32_t reserved) {
  if (buf == nullptr || len < DS_HEADER_SIZE) return false;
  const uint32_t got = uint32_t{buf[4]} << 24 | uint32_t{buf[5]} << 16 | uint32_t{buf[6]} << 8 | buf[7];
  return buf[0] == static_cast<uint8_t>(kind | DS_REPLY_BIT) && buf[1] == 0 && got == reserved;
}

size_t dsproto_reply_min(uint8_t kind) {
  // Only the header of a set-value reply matters: a device that answers
  // with the header alone has answered, and asking again would make it act
  // on the value again.
  return kind == DS_KIND_SET_VALUE ? DS_HEADER_SIZE : dsproto_reply_size(kind);
}

bool dsproto_accept_reply(const uint8_t *buf, size_t len, uint8_t kind, uint32_t reserved) {
  const size_t need = dsproto_reply_min(kind);
  return need != 0 && len >= need && dsproto_is_reply(buf, len, kind, reserved);
}

bool dsproto_read_search_reply(const uint8_t *buf, size_t len, uint32_t src_ip, uint32_t local_ip,
                               bool direct, _DSNETINFO *out) {
  if (out == nullptr || !dsproto_accept_reply(buf, len, DS_KIND_SEARCH, 0)) return false;
  _DSNETINFO info{};
  info.apid = get_le32(buf + kApidOffset);
  info.hwid = get_le16(buf + kHwidOffset);
  std::memcpy(info.mac, buf + kMacOffset, DS_MAC_SIZE);
  std::memcpy(&info.reported_ip, buf + kReportedIpOffset, 4);
  info.ip = src_ip != 0 ? src_ip : info.reported_ip;
  info.local_ip = local_ip;
  info.flags = direct ? DS_DIRECT : 0;
  *out = info;
  return true;
}

int dsproto_check_identify(const uint8_t *buf, size_t len, _DSNETINFO *rec) {
  if (rec == nullptr || !dsproto_accept_reply(buf, len, DS_KIND_IDENTIFY, 0)) return -1;
  const uint32_t apid = get_le32(buf + kApidOffset);
  const uint16_t hwid = get_le16(buf + kHwidOffset);
  const uint8_t *mac = buf + kMacOffset;

  if (rec->apid == 0) rec->apid = apid;
  else if (rec->apid != apid) return -1;
  if (rec->hwid == 0) rec->hwid = hwid;
  else if (rec->hwid != hwid) return -1;
  if (dsproto_mac_is_zero(rec->mac)) std::memcpy(rec->mac, mac, DS_MAC_SIZE);
  else if (std::memcmp(rec->mac, mac, DS_MAC_SIZE) != 0) return -1;

  if (rec->reported_ip == 0) std::memcpy(&rec->reported_ip, buf + kReportedIpOffset, 4);
  return 1;
}

bool dsproto_read_info(const uint8_t *buf, size_t len, uint8_t out[DS_INFO_BLOCK_SIZE]) {
  if (out == nullptr || !dsproto_accept_reply(buf, len, DS_KIND_GET_INFO, 0)) return false;
  std::memcpy(out, buf + kInfoOffset, DS_INFO_BLOCK_SIZE);
  return true;
}

int dsproto_build_search_reply(uint8_t *buf, size_t cap, uint32_t apid, uint16_t hwid,
                               const uint8_t mac[DS_MAC_SIZE], uint32_t reported_ip) {
  if (buf == nullptr || mac == nullptr || cap < DS_SEARCH_REPLY_SIZE) return -1;
  dsproto_put_header(buf, cap, DS_KIND_SEARCH | DS_REPLY_BIT, DS_SEARCH_REPLY_SIZE);
  put_le32(buf + kApidOffset, apid);
  put_le16(buf + kHwidOffset, hwid);
  std::memcpy(buf + kMacOffset, mac, DS_MAC_SIZE);
  std::memcpy(buf + kReportedIpOffset, &reported_ip, 4);
  return static_cast<int>(DS_SEARCH_REPLY_SIZE);
}

uint16_t dsproto_length_field(const uint8_t *buf, size_t len) {
  if (buf == nullptr || len < 4) return 0;
  return static_cast<uint16_t>(buf[2] << 8 | buf[3]);
}

bool dsproto_mac_is_zero(const uint8_t mac[DS_MAC_SIZE]) {
  for (size_t i = 0; i < DS_MAC_SIZE; ++i)
    if (mac[i] != 0) return false;
  return true;
}
