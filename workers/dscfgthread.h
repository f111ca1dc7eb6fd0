// Configuration thread: every command for a device passes through it.  It
// keeps posted commands in order, hands the oldest one to its device's
// request thread every 10 ms unless a device with the same address and
// another MAC has a command in progress, and frees finished commands.
// With nothing pending and nothing in progress it sleeps until a command is
// posted.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <vector>

#include "command.h"
#include "thread.h"

struct _DSONEINFO;

class Tdscfgthread final : public TThread {
 public:
  explicit Tdscfgthread(bool create_suspended);
  // Stops the thread, then frees every command it still holds.
  ~Tdscfgthread() override;

  // Queues a command for device, or returns an identical pending one when
  // auto_free is set.  The returned object belongs to this thread: with
  // auto_free it may be freed as soon as it is done.
  _CMDOBJ *PostCommand(_DSONEINFO *device, int32_t code, int32_t param, int32_t param2,
                       uint8_t auto_free);

  // Sizes of the two lists, for tests and diagnostics.
  size_t PendingCount();
  size_t InFlightCount();

 protected:
  void Execute() override;

 private:
  void Dispatch(_CMDOBJ *cmd);
  bool Clashes(const _CMDOBJ *cmd, const _CMDOBJ *other) const;
  void Sweep();
  bool Busy() const;

  TCriticalSection m_lock;
  std::deque<_CMDOBJ *> m_pending;
  std::list<_CMDOBJ *> m_in_flight;
  int32_t m_next_seq = 0;
  std::atomic<uint8_t> m_finished{0};
};
