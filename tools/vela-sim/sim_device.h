// The device side of the discovery protocol, as the simulator plays it: one
// simulated device with its identity and fault options, the parsed form of a
// request, and the pure functions that decide whether a device answers and
// build its reply.  No sockets here, so tests and fuzzers can drive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "proto.h"

// Size of the oversized reply (larger than any receive buffer of the finder).
constexpr size_t SIM_OVERSIZE_REPLY = 3000;
// Size of the truncated reply (shorter than every kind's reply).
constexpr size_t SIM_SHORT_REPLY = 16;
// Largest reply the simulator ever builds.
constexpr size_t SIM_REPLY_MAX = SIM_OVERSIZE_REPLY;

struct SimDevice {
  std::string name;          // INI section, for messages
  uint32_t ip = 0;           // source address of its replies, network order
  char link = 'a';           // lab link it sits behind: 'a' or 'b'
  uint32_t apid = 0;
  uint16_t hwid = 0;
  uint8_t mac[DS_MAC_SIZE] = {};
  uint32_t reported_ip = 0;  // written at reply offset 20, network order
  uint32_t delay_ms = 0;     // reply delay

  // Fault options.
  bool bad_status = false;       // status byte 1
  bool bad_reserved = false;     // non-zero reserved bytes
  int command = -1;              // reply command byte instead of kind | 0x80; -1: none
  bool oversize = false;         // 3000-byte reply
  bool short_reply = false;      // 16-byte reply
  bool twice = false;            // every answer sent twice
  bool silent_when_known = false;
  uint32_t answer_from = 0;      // answer from the k-th command-1 request on (0, 1: always)
  bool no_unicast = false;       // never answer a request sent to its own address
  uint8_t info[DS_INFO_BLOCK_SIZE] = {};

  // Run-time state: command-1 requests this device has received.
  uint32_t searches_seen = 0;
};

// A request as the simulator understands it.
struct SimRequest {
  uint8_t kind = 0;                 // 1, 2 or 22
  const uint8_t *entries = nullptr; // known-device entries of a command-1 request
  size_t entry_count = 0;
  const uint8_t *identity = nullptr;// apid, hwid, MAC of a set-value or info request
};

// Parses a received datagram.  1 for a well-formed request (command 1, 2 or
// 22, status 0, reserved 0, long enough for its kind), -1 for anything else,
// which the simulator ignores.  Known-device entries are counted from the
// bytes actually received; a trailing partial entry is ignored.
int sim_parse_request(const uint8_t *buf, size_t len, SimRequest *out);

// Decides whether dev answers req, which was sent to dst (network order;
// broadcast when is_broadcast).  Counts command-1 requests for answer_from,
// so call it once per device and request.
bool sim_device_answers(SimDevice *dev, const SimRequest &req, uint32_t dst, bool is_broadcast);

// Builds dev's reply to a request of the given kind, with its fault options
// applied.  Returns the reply length, or -1 for an unknown kind or short cap.
int sim_build_reply(const SimDevice &dev, uint8_t kind, uint8_t *buf, size_t cap);
