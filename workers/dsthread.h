// Request thread of one device: carries out the device's commands one at a
// time, in hand-over order, against the device-handle functions of the
// network API, and records each outcome in the command, the device record
// and (for failures) the message queue.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "command.h"
#include "thread.h"

struct _DSONEINFO;

// A request thread's stack: its deepest path is one unicast request with a
// few small datagram buffers, so a small stack lets many devices' threads
// fit in little address space.
constexpr size_t kRequestThreadStack = 256 * 1024;

class Tdsthread final : public TThread {
 public:
  Tdsthread(bool create_suspended, _DSONEINFO *device);
  ~Tdsthread() override;

  // Appends cmd to the command list and wakes the thread (configuration
  // thread, via Dispatch).
  void AddCommand(_CMDOBJ *cmd);
  // Number of commands handed over and not yet finished.
  size_t PendingCount();
  // The commands handed over and not yet finished, front first.
  std::vector<_CMDOBJ *> CommandsSnapshot();

  // Progress callback registered by CMD_SET_CALLBACK; context is the record.
  static int OnRequestProgress(int32_t kind, int32_t arg1, int32_t arg2, void *context);
  // Makes every progress callback cancel its request: set once at shut-down
  // so that no request thread keeps the process waiting for a device.
  static void CancelAllRequests() { s_cancel_all.store(true); }

  _DSONEINFO *Device() const { return m_device; }
  bool IsFinished() const { return m_finished.load() != 0; }

 protected:
  void Execute() override;

 private:
  int32_t RunCommand(_CMDOBJ *cmd);
  int32_t OpenHandle();

  _DSONEINFO *const m_device;
  TCriticalSection m_lock;
  std::deque<_CMDOBJ *> m_commands;
  std::atomic<uint8_t> m_finished{0};

  static std::atomic<bool> s_cancel_all;
};
