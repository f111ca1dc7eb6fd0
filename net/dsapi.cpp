// The network API: start-up and shut-down, the search entry point under the
// search lock, the device-handle table and the public result codes.
#include "dsapi.h"

#include "netorder.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "dscode.h"
#include "iphelp.h"
#include "platform.h"
#include "sockio.h"
#include "tqsock.h"
#include "tqsubnet.h"

namespace {

constexpr int32_t kDefaultTimeoutMs = 1000;
constexpr int32_t kDefaultCount = 5;

// Search settings: written by the search thread just before ds_search,
// taken as one snapshot when the search starts.
std::atomic<int32_t> s_search_timeout{kDefaultTimeoutMs};
std::atomic<int32_t> s_search_passes{kDefaultCount};

// One search at a time.
std::mutex s_search_lock;

// This thread is running a search: its callback must not start another.
thread_local bool t_in_search = false;

// What every search shares: refused at once from a search's own callback;
// counted as begun on entry (a stop raised while it waits for the lock ends
// it); run under the search lock with a snapshot of the search settings.
// run(settings, stop mark) gives the engine's code.
template <typename Run>
int run_search(Run run) {
  if (t_in_search) return DS_ERR_NESTED;
  const uint32_t mark = tqsock_stop_mark();
  std::lock_guard<std::mutex> guard(s_search_lock);
  const _TQSETTINGS settings{s_search_timeout.load(), s_search_passes.load(), nullptr, nullptr};
  struct InSearch {
    InSearch() { t_in_search = true; }
    ~InSearch() { t_in_search = false; }
  } in_search;
  return ds_public_code(run(&settings, mark));
}

struct Slot {
  bool in_use = false;
  _DSNETINFO *dev = nullptr;
  _TQSETTINGS settings{kDefaultTimeoutMs, kDefaultCount, nullptr, nullptr};
};

// The handle table.  Request threads open and close handles at the same
// time, so every look at a slot happens under s_handle_lock; a request runs
// outside it on a copy of the slot.
std::mutex s_handle_lock;
Slot s_slots[DS_MAX_HANDLES];

// What ds_init has done, so that ds_cleanup undoes exactly that.
bool s_iphelp_started = false;
int s_sock_starts = 0;

bool handle_ok(int32_t handle) {
  return handle >= 0 && handle < DS_MAX_HANDLES && s_slots[handle].in_use;
}

// Copies the device and settings of an open handle; false for a bad handle.
bool take_slot(int32_t handle, _DSNETINFO *dev, _TQSETTINGS *settings) {
  std::lock_guard<std::mutex> guard(s_handle_lock);
  if (!handle_ok(handle)) return false;
  *dev = *s_slots[handle].dev;
  *settings = s_slots[handle].settings;
  return true;
}

}  // namespace

int ds_public_code(int internal_code) {
  switch (internal_code) {
    case TQ_OK: return DS_OK;
    case TQ_ERR_TIMEOUT: return DS_ERR_TIMEOUT;
    case TQ_ERR_SOCKET: return DS_ERR_SOCKET;
    case TQ_ERR_CANCELLED: return DS_ERR_CANCELLED;
    default: return DS_ERR_FAIL;
  }
}

bool ds_init() {
  // The socket library first: without it nothing else is done.
  if (!sockio_startup()) return false;
  s_sock_starts++;
  // Sets the stop request up now, so that ds_stop_search never has to (it
  // may then be called from a signal handler).
  (void)tqsock_stop_mark();
  if (!s_iphelp_started) {
    iphelp_init();
    s_iphelp_started = true;
  }
  {
    std::lock_guard<std::mutex> guard(s_handle_lock);
    for (Slot &s : s_slots) {
      s.settings.timeout = kDefaultTimeoutMs;
      s.settings.count = kDefaultCount;
    }
  }
  return tqsock_local_addresses();
}

void ds_cleanup() {
  if (s_iphelp_started) {
    iphelp_cleanup();
    s_iphelp_started = false;
  }
  for (; s_sock_starts > 0; s_sock_starts--) sockio_cleanup();
}

void ds_set_search_params(int32_t timeout_ms, int32_t pass_limit) {
  if (timeout_ms >= 0) s_search_timeout.store(timeout_ms);
  if (pass_limit >= 0) s_search_passes.store(pass_limit);
}

int ds_search(uint32_t target, DS_SEARCH_CALLBACK on_device) {
  if (on_device == nullptr) return DS_ERR_INVALID;
  if (target == 0) target = DS_BROADCAST;
  return run_search([&](const _TQSETTINGS *settings, uint32_t mark) {
    return tqsock_search_marked(target, on_device, settings, mark);
  });
}

void ds_stop_search(int32_t stop) { tqsock_request_stop(stop != 0); }

int ds_open(const _DSNETINFO *info, int32_t *handle) {
  if (info == nullptr || handle == nullptr) return DS_ERR_INVALID;
  std::lock_guard<std::mutex> guard(s_handle_lock);
  for (int32_t h = 0; h < DS_MAX_HANDLES; ++h) {
    Slot &s = s_slots[h];
    if (s.in_use) continue;
    s.dev = new (std::nothrow) _DSNETINFO(*info);
    if (s.dev == nullptr) {
      *handle = -1;
      return DS_ERR_NO_MEMORY;
    }
    s.in_use = true;
    *handle = h;
    return DS_OK;
  }
  *handle = -1;
  return DS_ERR_NO_HANDLE;
}

int ds_close(int32_t handle) {
  std::lock_guard<std::mutex> guard(s_handle_lock);
  if (!handle_ok(handle)) return DS_ERR_INVALID;
  Slot &s = s_slots[handle];
  delete s.dev;
  s.dev = nullptr;
  s.in_use = false;
  return DS_OK;
}

int ds_set_callback(int32_t handle, DS_PROGRESS_CALLBACK callback, void *context) {
  std::lock_guard<std::mutex> guard(s_handle_lock);
  if (!handle_ok(handle)) return DS_ERR_INVALID;
  s_slots[handle].settings.progress = callback;
  s_slots[handle].settings.context = context;
  return DS_OK;
}

int ds_set_value(int32_t handle, int32_t value) {
  _DSNETINFO dev;
  _TQSETTINGS settings;
  if (!take_slot(handle, &dev, &settings)) return DS_ERR_INVALID;
  return ds_public_code(tqsock_execute(DS_KIND_SET_VALUE, &dev, &value, nullptr, &settings));
}

int ds_get_info(int32_t handle, uint8_t *block) {
  if (block == nullptr) return DS_ERR_INVALID;
  _DSNETINFO dev;
  _TQSETTINGS settings;
  if (!take_slot(handle, &dev, &settings)) return DS_ERR_INVALID;
  return ds_public_code(tqsock_execute(DS_KIND_GET_INFO, &dev, nullptr, block, &settings));
}

// ---- Routed subnets and the choice of interfaces ----

int ds_search_subnet(uint32_t network, int prefix_len, DS_SEARCH_CALLBACK on_device) {
  if (on_device == nullptr || prefix_len < DS_SUBNET_PREFIX_MIN || prefix_len > DS_SUBNET_PREFIX_MAX)
    return DS_ERR_INVALID;
  if ((ntohl(network) & (0xFFFFFFFFu >> prefix_len)) != 0) return DS_ERR_INVALID;
  return run_search([&](const _TQSETTINGS *settings, uint32_t mark) {
    return tqsock_search_subnet(network, prefix_len, on_device, settings, mark);
  });
}

namespace {

_DSIFADDR public_row(const _PLATIFADDR &p) {
  _DSIFADDR row{};
  static_assert(sizeof row.name == sizeof p.name, "one name size");
  std::memcpy(row.name, p.name, sizeof row.name);
  row.addr = p.addr;
  row.up = p.up;
  row.loopback = p.loopback;
  return row;
}

// Copies the platform's rows (filled by list into a buffer of cap rows)
// into rows, at most max; returns what list returned.
template <typename List>
int copy_rows(_DSIFADDR *rows, int max, List list) {
  std::vector<_PLATIFADDR> plat(static_cast<size_t>(max > 0 ? max : 0));
  const int n = list(plat.data(), max > 0 ? max : 0);
  for (int k = 0; k < n && k < max; ++k) rows[k] = public_row(plat[static_cast<size_t>(k)]);
  return n;
}

}  // namespace

int ds_interface_addresses(_DSIFADDR *rows, int max) {
  return copy_rows(rows, max, plat_interface_ipv4);
}

void ds_choose_interfaces(const char *const *names, int count) {
  plat_choose_interfaces(names, count);
}

int ds_left_out_addresses(_DSIFADDR *rows, int max) {
  return copy_rows(rows, max, plat_left_out_ipv4);
}
