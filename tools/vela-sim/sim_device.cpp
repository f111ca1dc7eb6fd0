// Request parsing and reply building of the simulated devices.
#include "sim_device.h"

#include <cstring>

namespace {

constexpr size_t kIdentityOffset = 8;  // apid, hwid, MAC in requests and replies
constexpr size_t kIdentitySize = 12;
constexpr size_t kInfoOffset = 20;

// The identity block of dev as it stands on the wire (apid and hwid
// little-endian, MAC as transmitted); the search reply builder lays it out.
void identity_bytes(const SimDevice &dev, uint8_t out[kIdentitySize]) {
  uint8_t reply[DS_SEARCH_REPLY_SIZE];
  dsproto_build_search_reply(reply, sizeof reply, dev.apid, dev.hwid, dev.mac, dev.reported_ip);
  std::memcpy(out, reply + kIdentityOffset, kIdentitySize);
}

bool listed_in(const SimDevice &dev, const SimRequest &req) {
  uint8_t mine[kIdentitySize];
  identity_bytes(dev, mine);
  for (size_t i = 0; i < req.entry_count; ++i)
    if (std::memcmp(req.entries + i * DS_ENTRY_SIZE, mine, kIdentitySize) == 0) return true;
  return false;
}

}  // namespace

int sim_parse_request(const uint8_t *buf, size_t len, SimRequest *out) {
  if (buf == nullptr || out == nullptr || len < DS_HEADER_SIZE) return -1;
  if (buf[1] != 0 || buf[4] != 0 || buf[5] != 0 || buf[6] != 0 || buf[7] != 0) return -1;
  SimRequest req;
  req.kind = buf[0];
  switch (req.kind) {
    case DS_KIND_SEARCH:
      req.entries = buf + DS_HEADER_SIZE;
      req.entry_count = (len - DS_HEADER_SIZE) / DS_ENTRY_SIZE;
      break;
    case DS_KIND_SET_VALUE:
      if (len < DS_SET_VALUE_REQ_SIZE) return -1;
      req.identity = buf + kIdentityOffset;
      break;
    case DS_KIND_GET_INFO:
      if (len < DS_INFO_REQ_SIZE) return -1;
      req.identity = buf + kIdentityOffset;
      break;
    default:
      return -1;
  }
  *out = req;
  return 1;
}

bool sim_device_answers(SimDevice *dev, const SimRequest &req, uint32_t dst, bool is_broadcast) {
  // Set-value and info go to one device only; a broadcast one is nobody's.
  if (!is_broadcast && dst != dev->ip) return false;
  if (is_broadcast && req.kind != DS_KIND_SEARCH) return false;

  if (req.kind == DS_KIND_SEARCH) {
    // Counted before any other test so that answer_from counts every search
    // the device has seen, also those it kept silent on.
    if (dev->searches_seen < UINT32_MAX) ++dev->searches_seen;
    // A unicast command 1 is an identify or a directed search; the two look
    // alike on the wire, so no_unicast silences both.
    if (!is_broadcast && dev->no_unicast) return false;
    if (dev->searches_seen < dev->answer_from) return false;
    if (dev->silent_when_known && listed_in(*dev, req)) return false;
    return true;
  }

  if (dev->no_unicast) return false;
  // Several simulated devices may share one address; the identity in the
  // request says which of them is meant.
  uint8_t mine[kIdentitySize];
  identity_bytes(*dev, mine);
  return std::memcmp(req.identity, mine, kIdentitySize) == 0;
}

int sim_build_reply(const SimDevice &dev, uint8_t kind, uint8_t *buf, size_t cap) {
  const size_t base = dsproto_reply_size(kind);
  if (base == 0 || buf == nullptr || cap < SIM_REPLY_MAX) return -1;

  // Every reply starts like a search reply: header, identity, and at offset
  // 20 the reported address (search), the end (set-value) or the info block.
  std::memset(buf, 0, SIM_REPLY_MAX);
  dsproto_build_search_reply(buf, cap, dev.apid, dev.hwid, dev.mac, dev.reported_ip);
  if (kind == DS_KIND_GET_INFO) std::memcpy(buf + kInfoOffset, dev.info, DS_INFO_BLOCK_SIZE);
  else if (kind == DS_KIND_SET_VALUE) std::memset(buf + kInfoOffset, 0, 4);

  size_t len = base;
  if (dev.oversize) len = SIM_OVERSIZE_REPLY;
  else if (dev.short_reply) len = SIM_SHORT_REPLY;

  dsproto_put_header(buf, cap, static_cast<uint8_t>(kind | DS_REPLY_BIT), static_cast<uint16_t>(len));
  if (dev.command >= 0) buf[0] = static_cast<uint8_t>(dev.command);
  if (dev.bad_status) buf[1] = 1;
  if (dev.bad_reserved) buf[7] = 1;
  return static_cast<int>(len);
}

uint64_t sim_random_next(uint64_t *state) {
  // splitmix64: small, fast, and every seed gives a good stream.
  uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

namespace {

uint64_t splitmix64(uint64_t *state) { return sim_random_next(state); }

// Uniform in [0, 1).
double draw_unit(SimDevice *dev) { return static_cast<double>(splitmix64(&dev->rng) >> 11) * 0x1.0p-53; }

bool draw_chance(SimDevice *dev, double p) { return p > 0 && draw_unit(dev) < p; }

}  // namespace

void sim_fault_start(SimDevice *dev) {
  // FNV-1a of the name, so that devices with one seed still differ.
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : dev->name) h = (h ^ c) * 0x100000001b3ull;
  dev->rng = dev->seed ^ h;
}

bool sim_fault_request_lost(SimDevice *dev) { return draw_chance(dev, dev->faults.loss); }

SimReplyFate sim_fault_reply(SimDevice *dev) {
  SimReplyFate fate;
  if (draw_chance(dev, dev->faults.loss)) {
    fate.copies = 0;
    return fate;
  }
  if (draw_chance(dev, dev->faults.duplicate)) fate.copies = 2;
  for (int k = 0; k < fate.copies; ++k) {
    if (dev->faults.jitter_ms > 0)
      fate.extra_delay_ms[k] = static_cast<uint32_t>(splitmix64(&dev->rng) % (uint64_t{dev->faults.jitter_ms} + 1));
    fate.corrupt[k] = draw_chance(dev, dev->faults.corrupt);
  }
  return fate;
}

void sim_fault_corrupt(SimDevice *dev, uint8_t *buf, size_t len) {
  if (buf == nullptr || len <= DS_HEADER_SIZE) return;
  const size_t payload = len - DS_HEADER_SIZE;
  size_t changes = 1 + static_cast<size_t>(splitmix64(&dev->rng) % 4);
  if (changes > payload) changes = payload;
  size_t done[4];
  for (size_t i = 0; i < changes;) {
    const size_t at = DS_HEADER_SIZE + static_cast<size_t>(splitmix64(&dev->rng) % payload);
    bool again = false;
    for (size_t j = 0; j < i; ++j) again = again || done[j] == at;
    if (again) continue;  // each changed byte only once, so that no change undoes another
    buf[at] ^= static_cast<uint8_t>(1 + splitmix64(&dev->rng) % 255);  // never 0: the byte changes
    done[i++] = at;
  }
}
