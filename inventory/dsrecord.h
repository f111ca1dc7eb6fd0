// The record of one distinct device.  Allocated once, zero-filled, when the
// device is first heard; never moved or freed while the device list lives,
// so request threads, commands and lists hold plain pointers to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "proto.h"

class Tdsthread;

// Bits of _DSONEINFO::flags.
constexpr uint16_t DSF_FIXED = 0x0001;        // survives the start of a broadcast search
constexpr uint16_t DSF_INFO_PENDING = 0x0002; // cleared by a successful info command
constexpr uint16_t DSF_OPEN_FAILED = 0x0004;  // the last open of the handle failed
constexpr uint16_t DSF_OPEN = 0x0010;         // the device handle is open
constexpr uint16_t DSF_NO_MAC = 0x0040;       // first heard without a MAC; never cleared

struct _DSONEINFO {
  // Set and cleared only with atomic bit operations (DsFlagSet/DsFlagClear):
  // the list, the request thread and the UI write different bits.
  std::atomic<uint16_t> flags{0};
  std::atomic<int32_t> last_result{0};
  std::atomic<int32_t> progress[3] = {0, 0, 0};
  std::atomic<uint8_t> abort_request{0};
  uint8_t aux[4] = {};  // request thread only
  // Guarded by net_lock: rewritten by the device list and by the request
  // thread's open, read by the configuration thread and the UI.
  _DSNETINFO net{};
  std::atomic<int32_t> handle{0};
  Tdsthread *thread = nullptr;
  std::atomic<uint8_t> reachable{0};
  int32_t ports = 0;
  uint8_t info[DS_INFO_BLOCK_SIZE] = {};  // request thread only; read after a done command
  // Innermost lock of the program: held only for a copy of net, never
  // while another lock is taken.
  mutable std::mutex net_lock;
};

inline void DsFlagSet(_DSONEINFO *rec, uint16_t bits) { rec->flags.fetch_or(bits); }
inline void DsFlagClear(_DSONEINFO *rec, uint16_t bits) {
  rec->flags.fetch_and(static_cast<uint16_t>(~bits));
}
inline bool DsFlagTest(const _DSONEINFO *rec, uint16_t bits) { return (rec->flags.load() & bits) != 0; }

// A consistent copy of the record's net.
inline _DSNETINFO DsNetCopy(const _DSONEINFO *rec) {
  std::lock_guard<std::mutex> hold(rec->net_lock);
  return rec->net;
}
// Replaces the record's net as a whole.
inline void DsNetStore(_DSONEINFO *rec, const _DSNETINFO &net) {
  std::lock_guard<std::mutex> hold(rec->net_lock);
  rec->net = net;
}
