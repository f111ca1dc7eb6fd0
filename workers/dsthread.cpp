// Request thread of one device.
#include "dsthread.h"

#include <cstring>
#include <mutex>

#include "dsapi.h"
#include "dsmessage.h"
#include "dsrecord.h"

std::atomic<bool> Tdsthread::s_cancel_all{false};

Tdsthread::Tdsthread(bool create_suspended, _DSONEINFO *device)
    : TThread(create_suspended, kRequestThreadStack), m_device(device) {
  AfterConstruction();
}

// Commands still listed belong to the configuration thread and stay.
Tdsthread::~Tdsthread() { StopAndWait(); }

void Tdsthread::AddCommand(_CMDOBJ *cmd) {
  {
    std::lock_guard<TCriticalSection> hold(m_lock);
    m_commands.push_back(cmd);
  }
  Wake();
}

size_t Tdsthread::PendingCount() {
  std::lock_guard<TCriticalSection> hold(m_lock);
  return m_commands.size();
}

std::vector<_CMDOBJ *> Tdsthread::CommandsSnapshot() {
  std::lock_guard<TCriticalSection> hold(m_lock);
  return std::vector<_CMDOBJ *>(m_commands.begin(), m_commands.end());
}

void Tdsthread::Execute() {
  while (!Terminated()) {
    m_lock.Enter();
    if (m_commands.empty()) {
      // Idle: sleep until AddCommand or Terminate.
      m_lock.Leave();
      WaitForWork();
      continue;
    }
    _CMDOBJ *cmd = m_commands.front();
    if (cmd->cancel.load()) {
      m_commands.pop_front();
      cmd->result.store(DS_ERR_CANCELLED);
      cmd->done.store(1);  // last touch: the configuration thread may free it now
      m_lock.Leave();
      continue;
    }
    m_lock.Leave();

    // Carried out without the lock, so AddCommand never waits for the network.
    int32_t r = RunCommand(cmd);

    m_lock.Enter();
    cmd->result.store(r);
    m_device->last_result.store(r);
    if (r == DS_OK) {
      m_device->reachable.store(1);
    } else {
      DsMessage().Post(DSMSG_COMMAND_FAIL, m_device, cmd->code, r);
      if (r == DS_ERR_TIMEOUT || r == DS_ERR_SOCKET)
        m_device->reachable.store(0);
    }
    m_commands.pop_front();
    cmd->done.store(1);
    m_lock.Leave();
  }
  m_finished.store(1);
}

// ds_open on a copy of the record's identity (the list may rewrite net at
// any time); the handle, or the negative value ds_open leaves, is kept.
int32_t Tdsthread::OpenHandle() {
  _DSNETINFO net = DsNetCopy(m_device);
  int32_t handle = -1;
  int32_t rc = ds_open(&net, &handle);
  m_device->handle.store(handle);
  return rc;
}

int32_t Tdsthread::RunCommand(_CMDOBJ *cmd) {
  _DSONEINFO *dev = m_device;
  dev->abort_request.store(0);
  for (auto &p : dev->progress)
    p.store(0);

  int32_t result = DS_ERR_FAIL;
  // A failed handle is opened again before a command of any kind; a closed
  // one before any command but an open.
  if (DsFlagTest(dev, DSF_OPEN_FAILED) || (!DsFlagTest(dev, DSF_OPEN) && cmd->code != CMD_OPEN)) {
    if (OpenHandle() != DS_OK) {
      DsFlagSet(dev, DSF_OPEN_FAILED);
      DsFlagClear(dev, DSF_OPEN);
      return DS_ERR_FAIL;
    }
    DsFlagClear(dev, DSF_OPEN_FAILED);
    DsFlagSet(dev, DSF_OPEN);
    result = DS_OK;
  }

  switch (cmd->code) {
    case CMD_OPEN: {
      if (DsFlagTest(dev, DSF_OPEN))
        return DS_OK;
      if (cmd->param != 0) {
        std::lock_guard<std::mutex> hold(dev->net_lock);
        dev->net.reported_ip = static_cast<uint32_t>(cmd->param);
        dev->net.ip = static_cast<uint32_t>(cmd->param);
      }
      int32_t rc = OpenHandle();
      if (rc == DS_OK) {
        DsFlagClear(dev, DSF_OPEN_FAILED);
        DsFlagSet(dev, DSF_OPEN);
      } else {
        DsFlagSet(dev, DSF_OPEN_FAILED);
        DsFlagClear(dev, DSF_OPEN);
      }
      return rc;
    }
    case CMD_CLOSE:
      // The slot keeps its callback for whoever opens it next: take this
      // record out of it first, so another device's requests never report
      // to (or are cancelled through) this record.
      (void)ds_set_callback(dev->handle.load(), nullptr, nullptr);
      (void)ds_close(dev->handle.load());
      DsFlagClear(dev, DSF_OPEN | DSF_OPEN_FAILED);
      return DS_OK;
    case CMD_SET_CALLBACK:
      return ds_set_callback(dev->handle.load(), OnRequestProgress, dev);
    case CMD_SET_VALUE:
      return ds_set_value(dev->handle.load(), cmd->param);
    case CMD_GET_INFO: {
      int32_t rc = ds_get_info(dev->handle.load(), dev->info);
      if (rc == DS_OK && (dev->info[12] & 0x01) == 0) {
        DsFlagClear(dev, DSF_INFO_PENDING);
        std::memset(dev->aux, 0, sizeof dev->aux);
      }
      return rc;
    }
    default:
      return result;
  }
}

int Tdsthread::OnRequestProgress(int32_t kind, int32_t arg1, int32_t arg2, void *context) {
  auto *dev = static_cast<_DSONEINFO *>(context);
  dev->progress[0].store(kind);
  dev->progress[1].store(arg1);
  dev->progress[2].store(arg2);
  if (s_cancel_all.load())
    return 0;
  if (dev->abort_request.exchange(0) != 0)
    return 0;
  return 1;
}
