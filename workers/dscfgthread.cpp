// Configuration thread.
#include "dscfgthread.h"

#include <cstring>
#include <mutex>

#include "dsrecord.h"
#include "dsthread.h"

Tdscfgthread::Tdscfgthread(bool create_suspended) : TThread(create_suspended) { AfterConstruction(); }

Tdscfgthread::~Tdscfgthread() {
  StopAndWait();
  // The request threads have been stopped before (the device list stops
  // them first), so nobody refers to these commands any more.
  for (_CMDOBJ *cmd : m_pending)
    delete cmd;
  for (_CMDOBJ *cmd : m_in_flight)
    delete cmd;
}

_CMDOBJ *Tdscfgthread::PostCommand(_DSONEINFO *device, int32_t code, int32_t param, int32_t param2,
                                   uint8_t auto_free) {
  std::lock_guard<TCriticalSection> hold(m_lock);
  if (auto_free) {
    for (_CMDOBJ *cmd : m_pending)
      if (cmd->device == device && cmd->code == code && cmd->param == param && cmd->param2 == param2)
        return cmd;
  }
  auto *cmd = new _CMDOBJ;
  cmd->seq = m_next_seq++;
  cmd->code = code;
  cmd->param = param;
  cmd->param2 = param2;
  cmd->auto_free = auto_free;
  cmd->device = device;
  m_pending.push_back(cmd);
  Wake();  // an idle thread starts its next pass now
  return cmd;
}

size_t Tdscfgthread::PendingCount() {
  std::lock_guard<TCriticalSection> hold(m_lock);
  return m_pending.size();
}

size_t Tdscfgthread::InFlightCount() {
  std::lock_guard<TCriticalSection> hold(m_lock);
  return m_in_flight.size();
}

void Tdscfgthread::Dispatch(_CMDOBJ *cmd) { cmd->device->thread->AddCommand(cmd); }

// Same address, different MAC: the two devices share an ARP entry, so
// they are never served at the same time.
bool Tdscfgthread::Clashes(const _CMDOBJ *cmd, const _CMDOBJ *other) const {
  _DSNETINFO a = DsNetCopy(cmd->device);
  _DSNETINFO b = DsNetCopy(other->device);
  return a.ip == b.ip && std::memcmp(a.mac, b.mac, DS_MAC_SIZE) != 0;
}

void Tdscfgthread::Sweep() {
  for (auto it = m_in_flight.begin(); it != m_in_flight.end();) {
    if (Terminated())
      return;
    _CMDOBJ *cmd = *it;
    if (cmd->done.load() && cmd->auto_free) {
      delete cmd;
      it = m_in_flight.erase(it);
    } else {
      ++it;
    }
  }
}

// Work that needs further passes: a pending command, or a handed-over one
// whose request thread has not finished it yet (it is freed, or lets a held
// command go, at a later pass).
bool Tdscfgthread::Busy() const {
  if (!m_pending.empty())
    return true;
  for (const _CMDOBJ *cmd : m_in_flight)
    if (cmd->auto_free && !cmd->done.load())
      return true;
  return false;
}

void Tdscfgthread::Execute() {
  while (!Terminated()) {
    m_lock.Enter();
    if (!Terminated() && !m_pending.empty()) {
      _CMDOBJ *cmd = m_pending.front();
      bool held = false;
      for (auto it = m_in_flight.begin(); it != m_in_flight.end();) {
        if (Terminated())
          break;
        _CMDOBJ *other = *it;
        if (other->done.load()) {
          if (other->auto_free) {
            delete other;
            it = m_in_flight.erase(it);
          } else {
            ++it;
          }
          continue;
        }
        if (Clashes(cmd, other)) {
          held = true;  // the commands behind it wait too
          break;
        }
        ++it;
      }
      if (!held) {
        m_in_flight.push_back(cmd);
        m_pending.pop_front();
        Dispatch(cmd);
      }
    }
    Sweep();
    bool busy = Busy();
    m_lock.Leave();
    // Passes stay at least 10 ms apart whatever is posted meanwhile; with
    // nothing left to do the thread then sleeps until PostCommand (or
    // Terminate) wakes it.
    SleepUnlessTerminated(10);
    if (!busy)
      WaitForWork();
  }
  m_finished.store(1);
}
