// Process-wide queue of failure notices left by the request threads.
// Posting is off from construction and nothing in the program switches it
// on; the switch and the reader exist for tests and future consumers.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>

#include "thread.h"

struct _DSONEINFO;

// Message ids are text-table ids.
constexpr int32_t DSMSG_COMMAND_FAIL = 1002;

struct _DSMSG {
  int32_t seq = 0;
  double time = 0;  // local date and time: days since 30 December 1899
  int32_t msg_id = 0;
  _DSONEINFO *device = nullptr;
  int32_t command = 0;
  int32_t result = 0;
};

class TDsMessage {
 public:
  TDsMessage() = default;
  TDsMessage(const TDsMessage &) = delete;
  TDsMessage &operator=(const TDsMessage &) = delete;
  ~TDsMessage();

  // Appends a notice; returns at once, allocating nothing, while posting
  // is off.
  void Post(int32_t msg_id, _DSONEINFO *device, int32_t command, int32_t result);

  void SetEnabled(bool on) { m_enabled.store(on ? 1 : 0); }
  // Removes and returns the oldest notice (the caller frees it), or null.
  _DSMSG *Take();
  size_t Count();

 private:
  std::atomic<uint8_t> m_enabled{0};
  int32_t m_next_seq = 0;
  TCriticalSection m_lock;
  std::deque<_DSMSG *> m_messages;
};

// The one queue of the process.  Built on first use, so that it outlives
// every object that touches it during its own construction (the device
// list does, which keeps the queue alive until its threads have stopped).
TDsMessage &DsMessage();

// Current local date and time as days since 30 December 1899.
double DsLocalDateTime();
