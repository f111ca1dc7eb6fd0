// The device list.
#include "dslist.h"

#include <malloc.h>

#include <cstring>
#include <mutex>

#include "devtext.h"
#include "dsapi.h"
#include "dscfgthread.h"
#include "dsmessage.h"
#include "dsthread.h"
#include "enumthread.h"
#include "modeltable.h"

// Defined before DsList in this file, so they exist when it is built.
std::vector<_DSONEINFO *> TDsList::s_devices;
std::vector<int32_t> TDsList::s_found;
std::atomic<int32_t> TDsList::s_stop{0};
std::atomic<int32_t> TDsList::s_generation{0};

TDsList DsList;

namespace {
// What a search's result says for the user; empty for a search that was
// carried out (a directed search without answer and a stopped one too).
std::string FailureText(int32_t result) {
  switch (result) {
    case DS_OK:
    case DS_ERR_TIMEOUT:
    case DS_ERR_CANCELLED:
      return "";
    case DS_ERR_SOCKET:
      return "no search request could be sent";
    case DS_ERR_INVALID:
      return "the network layer refused the target";
    default:
      return "the search failed (network layer code " + std::to_string(result) + ")";
  }
}

void SetFixed(_DSONEINFO *rec, bool fixed) {
  if (fixed)
    DsFlagSet(rec, DSF_FIXED);
  else
    DsFlagClear(rec, DSF_FIXED);
}
}  // namespace

TDsList::TDsList() {
#ifdef M_ARENA_MAX
  // The list starts a thread for every device heard.  The C library would
  // give each of the first threads that allocate a heap of its own, each
  // reserving 64 MiB of address space (1 GiB with 128 devices); the threads
  // allocate little and rarely, so two heaps serve them all.
  mallopt(M_ARENA_MAX, 2);
#endif
  // The queue the request threads post to is built before them, so it is
  // destroyed only after this list has stopped them.
  (void)DsMessage();
  m_cfg = new Tdscfgthread(true);
  m_cfg->Resume();
  m_cfg->SetFreeOnTerminate(false);
  m_lock = new TCriticalSection;
}

TDsList::~TDsList() {
  Shutdown();
  delete m_lock;
}

void TDsList::StartSearch(int32_t target, int32_t pass_count, int32_t pass_time) {
  StartTargetSearch(static_cast<uint32_t>(target), 32, pass_count, pass_time);
}

void TDsList::StartTargetSearch(uint32_t address, int32_t prefix_len, int32_t pass_count,
                                int32_t pass_time) {
  const int32_t target = static_cast<int32_t>(address);
  std::lock_guard<TCriticalSection> hold(*m_lock);
  if (m_shut_down)
    return;
  ReleaseEndedSearches();
  ClearFound();
  m_failure.clear();
  if (target == -1 && prefix_len >= 32)
    KeepFixedLocked();
  // A new generation: a search thread still running from an abandoned
  // search stops at its next reply and no longer touches the found list.
  int32_t generation = ++s_generation;
  s_stop.store(0);
  if (m_enum != nullptr) {
    // The abandoned search is ended at once, so the new one need not wait
    // for its pass; the raise ends only searches that have begun already.
    if (m_enum->m_done.load() == 0)
      ds_stop_search(1);
    m_retired.push_back(m_enum);
  }
  // Withdrawn before the new search thread exists, so it does not end it.
  ds_stop_search(0);
  m_enum = new TEnumThread(true);
  m_enum->m_target = address;
  m_enum->m_prefix_len = prefix_len;
  m_enum->m_pass_count = pass_count;
  m_enum->m_pass_time = pass_time;
  m_enum->m_callback = OnSearchReply;
  m_enum->m_generation = generation;
  m_enum->Resume();
  m_enum->SetFreeOnTerminate(false);
  if (int err = m_enum->StartError()) {
    // No search runs: it reads as a search that ended at once.
    m_notices.push_back(std::string("cannot start the search thread: ") + std::strerror(err));
    m_failure = m_notices.back();
    m_enum->m_done.store(1);
  }
}

int TDsList::OnSearchReply(_DSNETINFO *info) {
  if (s_stop.load() != 0)
    return 0;
  TEnumThread *self = TEnumThread::Current();
  int32_t generation = self ? self->m_generation : s_generation.load();
  if (generation != s_generation.load())
    return 0;
  if (info == nullptr)
    return 1;
  std::lock_guard<TCriticalSection> hold(*DsList.m_lock);
  if (generation != s_generation.load() || DsList.m_shut_down)
    return 0;
  if (s_found.size() >= DS_MAX_FOUND)
    return 0;
  if (FindModel(info->apid, info->hwid) < 0)
    return 1;
  // A copy: the record belongs to the search, which sends its MAC back in
  // later requests, and SameDevice may complete the MAC of its argument.
  _DSNETINFO copy = *info;
  DsList.AddFound(&copy, 1);
  // A device that could not be registered has raised the stop flag.
  return s_stop.load() != 0 ? 0 : 1;
}

bool TDsList::IsSearchDone() {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  ReleaseEndedSearches();
  if (m_enum == nullptr)
    return true;
  if (m_enum->m_done.load() == 0)
    return false;
  if (m_failure.empty())
    m_failure = FailureText(m_enum->m_result.load());
  delete m_enum;  // m_done is the thread's last step: the join is immediate
  m_enum = nullptr;
  return true;
}

void TDsList::StopSearch() {
  s_stop.store(1);
  // Wakes the network layer's wait: the search ends now, as if the callback
  // had returned 0, not at its next reply or pass end.
  ds_stop_search(1);
}

int TDsList::FinishSearch(bool fixed) {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  ReleaseEndedSearches();
  for (size_t i = 0; i < s_found.size(); i++) {
    _DSNETINFO info = DsNetCopy(s_devices[static_cast<size_t>(s_found[i])]);
    bool matched = false;
    for (int32_t index : m_list) {
      _DSONEINFO *rec = s_devices[static_cast<size_t>(index)];
      {
        std::lock_guard<std::mutex> net_hold(rec->net_lock);
        matched = SameDevice(&info, &rec->net);
        if (matched)
          rec->net = info;
      }
      if (matched) {
        SetFixed(rec, fixed);
        break;
      }
    }
    if (!matched) {
      bool created = false;
      int index = FindOrAddDevice(&info, &created);
      if (index < 0)
        continue;
      m_list.push_back(index);
      SetFixed(s_devices[static_cast<size_t>(index)], fixed);
    }
  }
  return static_cast<int>(m_list.size());
}

int TDsList::FoundCount() {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return static_cast<int>(s_found.size());
}

int TDsList::ListCount() {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return static_cast<int>(m_list.size());
}

int TDsList::DeviceCount() {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return static_cast<int>(s_devices.size());
}

_DSNETINFO *TDsList::FoundInfo(int i) {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return &s_devices[static_cast<size_t>(s_found[static_cast<size_t>(i)])]->net;
}

_DSNETINFO TDsList::FoundInfoCopy(int i) {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return DsNetCopy(s_devices[static_cast<size_t>(s_found[static_cast<size_t>(i)])]);
}

std::vector<_DSNETINFO> TDsList::FoundSnapshot() {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  std::vector<_DSNETINFO> out;
  out.reserve(s_found.size());
  for (int32_t index : s_found)
    out.push_back(DsNetCopy(s_devices[static_cast<size_t>(index)]));
  return out;
}

_DSONEINFO *TDsList::ListDevice(int i) {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return s_devices[static_cast<size_t>(m_list[static_cast<size_t>(i)])];
}

_DSNETINFO TDsList::ListInfoCopy(int i) {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return DsNetCopy(s_devices[static_cast<size_t>(m_list[static_cast<size_t>(i)])]);
}

_DSONEINFO *TDsList::Device(int i) {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return s_devices[static_cast<size_t>(i)];
}

_CMDOBJ *TDsList::PostToDevice(int index, int32_t code, int32_t param, int32_t param2, bool auto_free) {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  if (m_shut_down)
    return nullptr;
  return PostLocked(index, code, param, param2, auto_free);
}

_CMDOBJ *TDsList::PostLocked(int index, int32_t code, int32_t param, int32_t param2, bool auto_free) {
  return m_cfg->PostCommand(s_devices[static_cast<size_t>(index)], code, param, param2, auto_free ? 1 : 0);
}

void TDsList::ClearFound() { s_found.clear(); }

int TDsList::KeepFixed() {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return KeepFixedLocked();
}

int TDsList::KeepFixedLocked() {
  std::vector<_DSONEINFO *> fixed;
  for (int32_t index : m_list) {
    _DSONEINFO *rec = s_devices[static_cast<size_t>(index)];
    if (DsFlagTest(rec, DSF_FIXED))
      fixed.push_back(rec);
  }
  m_list.clear();
  m_list.reserve(fixed.size());
  for (_DSONEINFO *rec : fixed) {
    _DSNETINFO net = DsNetCopy(rec);
    bool created = false;
    int index = FindOrAddDevice(&net, &created);
    if (index >= 0)
      m_list.push_back(index);
  }
  return static_cast<int>(m_list.size());
}

int TDsList::AddFound(_DSNETINFO *infos, int count) {
  for (int k = 0; k < count; k++) {
    _DSNETINFO *info = &infos[k];
    bool matched = false;
    for (int32_t index : s_found) {
      _DSONEINFO *rec = s_devices[static_cast<size_t>(index)];
      std::lock_guard<std::mutex> net_hold(rec->net_lock);
      if (SameDevice(info, &rec->net)) {
        rec->net = *info;
        rec->net.flags = 0;
        matched = true;
        break;
      }
    }
    if (!matched) {
      bool created = false;
      int index = FindOrAddDevice(info, &created);
      if (index >= 0)
        s_found.push_back(index);
    }
  }
  return static_cast<int>(s_found.size());
}

int TDsList::FindOrAddDevice(_DSNETINFO *info, bool *created) {
  for (size_t i = 0; i < s_devices.size(); i++) {
    _DSONEINFO *rec = s_devices[i];
    bool same = false, moved = false;
    {
      std::lock_guard<std::mutex> net_hold(rec->net_lock);
      same = SameDevice(info, &rec->net);
      if (same) {
        moved = rec->net.ip != info->ip;
        if (!moved)
          rec->net = *info;
      }
    }
    if (!same)
      continue;
    if (moved) {
      // Reopen the handle at the new address.
      int index = static_cast<int>(i);
      PostLocked(index, CMD_CLOSE, 0, 0, true);
      DsNetStore(rec, *info);
      PostLocked(index, CMD_OPEN, static_cast<int32_t>(info->ip), 0, true);
      PostLocked(index, CMD_SET_CALLBACK, 0, 0, true);
    }
    *created = false;
    return static_cast<int>(i);
  }

  auto *rec = new _DSONEINFO;
  rec->net = *info;
  rec->ports = static_cast<int32_t>(ModelPorts(info->apid, info->hwid));
  rec->thread = new Tdsthread(false, rec);
  rec->thread->SetFreeOnTerminate(false);
  if (int err = rec->thread->StartError()) {
    // The system has no thread left for it (memory, thread limit): the
    // device is not added, and the search ends as if stopped, keeping what
    // it has found.
    delete rec->thread;
    delete rec;
    s_stop.store(1);
    m_notices.push_back("cannot start a thread for device " + MacText(info->mac) + " at " +
                        IpText(info->ip, false) + ": " + std::strerror(err));
    if (m_failure.empty())
      m_failure = m_notices.back();
    *created = false;
    return -1;
  }
  s_devices.push_back(rec);
  int index = static_cast<int>(s_devices.size() - 1);
  PostLocked(index, CMD_OPEN, 0, 0, true);
  PostLocked(index, CMD_SET_CALLBACK, 0, 0, true);
  if (dsproto_mac_is_zero(info->mac))
    DsFlagSet(rec, DSF_NO_MAC);
  *created = true;
  return index;
}

std::vector<std::string> TDsList::TakeNotices() {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  std::vector<std::string> out;
  out.swap(m_notices);
  return out;
}

std::string TDsList::SearchFailure() {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return m_failure;
}

int TDsList::AbandonedSearchCount() {
  std::lock_guard<TCriticalSection> hold(*m_lock);
  return static_cast<int>(m_retired.size());
}

void TDsList::ReleaseEndedSearches() {
  for (auto it = m_retired.begin(); it != m_retired.end();) {
    if ((*it)->m_done.load() != 0) {
      delete *it;
      it = m_retired.erase(it);
    } else {
      ++it;
    }
  }
}

void TDsList::Shutdown() {
  std::vector<TEnumThread *> searches;
  std::vector<_DSONEINFO *> devices;
  {
    std::lock_guard<TCriticalSection> hold(*m_lock);
    if (m_shut_down)
      return;
    m_shut_down = true;
    s_stop.store(1);
    ds_stop_search(1);  // never withdrawn: every search ends at once
    ++s_generation;
    searches = m_retired;
    if (m_enum != nullptr)
      searches.push_back(m_enum);
    m_retired.clear();
    m_enum = nullptr;
  }
  // A stopped search ends within milliseconds.
  for (TEnumThread *t : searches)
    delete t;

  std::lock_guard<TCriticalSection> hold(*m_lock);
  devices = s_devices;
  // Running requests are cancelled at their next progress report; every
  // idle request thread sees the flag within 10 ms.  All are told first,
  // then waited for, so they end together.
  Tdsthread::CancelAllRequests();
  for (_DSONEINFO *rec : devices)
    rec->thread->Terminate();
  for (_DSONEINFO *rec : devices)
    rec->thread->WaitFor();
  delete m_cfg;  // stops the configuration thread and frees its commands
  m_cfg = nullptr;
  // The records go: their open handles go with them, and no handle slot
  // keeps a progress callback whose context is a freed record.
  for (_DSONEINFO *rec : devices) {
    if (DsFlagTest(rec, DSF_OPEN)) {
      (void)ds_set_callback(rec->handle.load(), nullptr, nullptr);
      (void)ds_close(rec->handle.load());
    }
  }
  for (_DSONEINFO *rec : devices) {
    delete rec->thread;
    delete rec;
  }
  s_devices.clear();
  s_found.clear();
  m_list.clear();
}
