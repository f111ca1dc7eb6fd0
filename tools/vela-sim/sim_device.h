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

// Random faults of one device, drawn from the device's own generator so that
// a run is repeatable from its seed.  Fractions are 0 .. 1.
struct SimFaults {
  double loss = 0;         // each request ignored, and each reply not sent, with this chance
  uint32_t jitter_ms = 0;  // each reply copy delayed by a further 0 .. jitter_ms (reorders)
  double duplicate = 0;    // each reply sent twice with this chance
  double corrupt = 0;      // each reply copy with 1 to 4 payload bytes changed with this chance
};

// Bits of SimDevice::faults_set: which fault values the device file gave
// (the others take the command line's values).
constexpr unsigned SIM_FAULT_LOSS = 1, SIM_FAULT_JITTER = 2, SIM_FAULT_DUPLICATE = 4, SIM_FAULT_CORRUPT = 8,
                   SIM_FAULT_SEED = 16;

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

  SimFaults faults;
  uint64_t seed = 1;         // the device's generator starts from seed and name
  unsigned faults_set = 0;   // SIM_FAULT_* bits of the values its file section gave

  // Run-time state: command-1 requests this device has received, and the
  // state of its fault generator (see sim_fault_start).
  uint32_t searches_seen = 0;
  uint64_t rng = 0;
};

// What the faults make of one reply: how many copies go out (0: lost, 1, or
// 2 when duplicated), each copy's extra delay and whether it is corrupted.
struct SimReplyFate {
  int copies = 1;
  uint32_t extra_delay_ms[2] = {0, 0};
  bool corrupt[2] = {false, false};
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

// The next number of a seeded pseudo-random stream whose state is *state.
uint64_t sim_random_next(uint64_t *state);

// Sets up dev's fault generator from its seed and name.  Call once before
// the first request; the same seed and name give the same faults.
void sim_fault_start(SimDevice *dev);
// Draws whether dev ignores a request it received (chance faults.loss).
// Draws nothing when loss is 0.
bool sim_fault_request_lost(SimDevice *dev);
// Draws the fate of one reply of dev: loss, duplication, then per copy the
// jitter and the corruption.  Draws only for the faults that are non-zero.
SimReplyFate sim_fault_reply(SimDevice *dev);
// Changes 1 to 4 bytes after the 8-byte header of a reply of len bytes, each
// to another value.  Nothing happens to a reply without payload.
void sim_fault_corrupt(SimDevice *dev, uint8_t *buf, size_t len);
