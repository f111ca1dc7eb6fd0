// Flood mode of the simulator: a bounded stream of datagrams at a fixed rate
// to given addresses, for trying the finder under load in the lab.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class SimFloodKind {
  Random,        // random bytes, 1 to 1472 of them
  UnknownModel,  // well-formed search replies of a model no table lists, one identity
  Oversize,      // 3000-byte datagrams that start like a search reply
};

// Limits of one flood: it never sends more than SIM_FLOOD_MAX_COUNT
// datagrams nor runs longer than SIM_FLOOD_MAX_SECONDS.
constexpr uint64_t SIM_FLOOD_MAX_RATE = 1000000;
constexpr double SIM_FLOOD_MAX_SECONDS = 60;
constexpr uint64_t SIM_FLOOD_MAX_COUNT = 10000000;
constexpr size_t SIM_FLOOD_MAX_TARGETS = 16;

// apid and hwid of the unknown-model flood's replies.
constexpr uint32_t SIM_FLOOD_APID = 0x7FFFFFF1;
constexpr uint16_t SIM_FLOOD_HWID = 0xFFF1;

// Parses "random", "unknown-model" or "oversize".
bool sim_flood_kind(const std::string &text, SimFloodKind *out);
// Parses "a.b.c.d:port" (port 1 .. 65535).
bool sim_flood_target(const std::string &text, sockaddr_in *out);

// Builds the n-th datagram of a flood of kind into buf (at least 3000
// bytes), drawing from *rng; returns its length.
size_t sim_flood_datagram(SimFloodKind kind, uint64_t *rng, uint8_t *buf, size_t cap);

// Sends rate datagrams a second for seconds seconds, in turn to each target,
// paced in 1 ms steps, from one socket on the wildcard address; at most
// SIM_FLOOD_MAX_COUNT in all.  Prints what it sent on stderr.  Returns 0, or
// 1 when the socket cannot be opened.  The caller checks the namespace.
int sim_flood(SimFloodKind kind, uint64_t rate, double seconds, const std::vector<sockaddr_in> &targets,
              uint64_t seed);
