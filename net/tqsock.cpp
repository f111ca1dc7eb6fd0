// The UDP engine: socket sets, polling, reply waits, unicast exchanges and
// the multi-pass search.  No lock of its own: the search lock and the
// handle table live in the network API, the host-table locks in iphelp.
#include "tqsock.h"

#include <atomic>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <new>

#include "iphelp.h"
#include "netorder.h"
#include "platform.h"
#include "sockio.h"

namespace {

// Local address list, loaded by tqsock_local_addresses before any worker
// thread starts and only read afterwards.
struct LocalAddresses {
  bool is_init = false;
  int count = 0;
  uint32_t addr[PLAT_MAX_LOCAL] = {};
};
LocalAddresses s_local;

constexpr uint32_t kBroadcast = 0xFFFFFFFFu;

// Binds s to ip on DS_LOCAL_PORT + *offset, raising *offset by 4096 after
// every failed bind; gives up after a failure on a port above 61440.
bool bind_from(sockio_t s, uint32_t ip, uint32_t *offset) {
  for (;;) {
    const uint32_t port = DS_LOCAL_PORT + *offset;
    if (sockio_bind(s, ip, static_cast<uint16_t>(port))) return true;
    if (port > DS_LOCAL_PORT_LIMIT) return false;
    *offset += DS_LOCAL_PORT_STEP;
  }
}

// The sockets of the set, for sockio_wait.
int socks_of(const _TQSOCKSET *set, sockio_t *socks) {
  for (int i = 0; i < set->count; ++i) socks[i] = set->sock[i].fd;
  return set->count;
}

// The stop request of searches.  raised is the request itself; raises
// counts every raise, so that a search can tell a raise since it began from
// its mark even after a withdrawal.  Every raise also raises the sockets'
// stop wake-up, which wakes a search's idle wait; only the flags say
// whether a search must end, so whoever finds the wake-up raised may drain
// it.  Trivially destructible: a search thread still running at exit never
// meets it destroyed.
struct SearchStop {
  std::atomic<int32_t> raised{0};
  std::atomic<uint32_t> raises{0};
  SearchStop() { sockio_wake_prepare(); }
};

SearchStop &search_stop() {
  static SearchStop stop;
  return stop;
}

// Pauses up to ms milliseconds, less when a datagram arrives on the set or,
// with wake set, when a stop is raised (the wake-up is drained here; the
// caller looks at the stop request itself).
void idle_set(_TQSOCKSET *set, uint32_t ms, bool wake) {
  sockio_t socks[TQ_MAX_SOCKETS];
  const int n = socks_of(set, socks);
  if (n == 0 && !wake) {
    plat_sleep_ms(ms);
    return;
  }
  // Whatever the wait reports about the sockets, the caller's next poll of
  // the set finds out.
  bool woken = false;
  if (sockio_wait(socks, n, wake, static_cast<int>(ms), nullptr, &woken) > 0 && woken)
    sockio_wake_drain();
}

// tqsock_wait_reply; with stop_mark set it is a search's wait, which also
// ends with -13 as soon as tqsock_stop_requested(*stop_mark) holds.
int wait_reply(_TQSOCKSET *set, uint8_t kind, uint32_t reserved, size_t cap, uint8_t *buf,
               size_t *len, uint32_t *src_ip, uint32_t *local_ip, const _TQSETTINGS *settings,
               const uint32_t *stop_mark) {
  const uint32_t start = plat_tick_ms();
  const uint32_t limit = settings->timeout > 0 ? static_cast<uint32_t>(settings->timeout) : 0;
  for (;;) {
    if (stop_mark && tqsock_stop_requested(*stop_mark)) return TQ_ERR_CANCELLED;
    const uint32_t elapsed = plat_tick_ms() - start;
    if (elapsed > limit) return TQ_ERR_TIMEOUT;
    if (settings->progress && settings->progress(kind, 0, 0, settings->context) == 0)
      return TQ_ERR_CANCELLED;

    size_t got = 0;
    uint32_t src = 0;
    uint32_t local = 0;
    if (tqsock_poll(set, buf, cap, &got, &src, nullptr, &local) != TQ_OK) return TQ_ERR_SOCKET;
    if (got == 0) {
      // The 10 ms rhythm of the poll, but never pausing past the end of the
      // wait (a pass lasts T + 1 ms, not up to T + 10), and a datagram that
      // arrives during the pause ends it at once, as does a stop request.
      const uint32_t to_end = limit + 1 - elapsed;
      idle_set(set, to_end < TQ_POLL_SLEEP_MS ? to_end : TQ_POLL_SLEEP_MS, stop_mark != nullptr);
      continue;
    }
    if (!dsproto_accept_reply(buf, got, kind, reserved)) continue;
    if (len) *len = got;
    *src_ip = src;
    *local_ip = local;
    return TQ_OK;
  }
}

// One row of the table of request kinds.
struct KindHandler {
  uint8_t kind;
  int (*handler)(_TQSOCKSET *, uint32_t, _DSNETINFO *, const int32_t *, uint8_t *,
                 const _TQSETTINGS *);
};

const KindHandler kKinds[] = {
    {DS_KIND_IDENTIFY, tqsock_identify},
    {DS_KIND_SET_VALUE, tqsock_set_value},
    {DS_KIND_GET_INFO, tqsock_get_info},
};

}  // namespace

bool tqsock_local_addresses() {
  uint32_t found[PLAT_MAX_LOCAL];
  const int n = plat_local_ipv4(found, PLAT_MAX_LOCAL);
  if (n < 0) return false;
  s_local.count = 0;
  for (int i = 0; i < n; ++i) s_local.addr[s_local.count++] = found[i];
  if (s_local.count == 0) return false;
  s_local.is_init = true;
  return true;
}

int tqsock_local_count() { return s_local.count; }

uint32_t tqsock_local_address(int i) {
  assert(s_local.is_init && "is_init==TRUE");
  if (i < 0 || i >= s_local.count) return kBroadcast;
  return s_local.addr[i];
}

int tqsock_open_set(_TQSOCKSET *set, bool per_interface) {
  const int wanted = per_interface ? s_local.count : 1;
  uint32_t offset = 0;  // raised for the remaining sockets of this call too
  set->count = 0;
  set->next = 0;
  for (int i = 0; i < TQ_MAX_SOCKETS; ++i) set->sock[i].fd = SOCKIO_INVALID;

  for (int i = 0; i < wanted && set->count < TQ_MAX_SOCKETS; ++i) {
    const uint32_t ip = per_interface ? tqsock_local_address(i) : 0;
    const sockio_t fd = sockio_open_udp(true);
    if (fd == SOCKIO_INVALID) {
      tqsock_close_set(set);
      return TQ_ERR_SOCKET;
    }
    if (!bind_from(fd, ip, &offset)) {
      sockio_close(fd);  // no free port on this address: go on without it
      continue;
    }
    set->sock[set->count].fd = fd;
    set->sock[set->count].local_ip = ip;
    set->count++;
  }
  return TQ_OK;
}

void tqsock_close_set(_TQSOCKSET *set) {
  for (int i = 0; i < set->count; ++i) {
    if (set->sock[i].fd != SOCKIO_INVALID) sockio_close(set->sock[i].fd);
    set->sock[i].fd = SOCKIO_INVALID;
  }
  set->count = 0;
  set->next = 0;
}

int tqsock_send(_TQSOCKSET *set, uint32_t ip, uint16_t port, const uint8_t *data, size_t len) {
  int failed = 0;
  for (int i = 0; i < set->count; ++i)
    if (!sockio_send_to(set->sock[i].fd, ip, port, data, len)) failed++;
  return failed == set->count ? TQ_ERR_SOCKET : TQ_OK;
}

int tqsock_poll(_TQSOCKSET *set, uint8_t *buf, size_t cap, size_t *len, uint32_t *src_ip,
                uint16_t *src_port, uint32_t *local_ip) {
  *len = 0;
  *src_ip = 0;
  if (src_port) *src_port = 0;
  *local_ip = 0;

  sockio_t socks[TQ_MAX_SOCKETS];
  bool readable[TQ_MAX_SOCKETS] = {};
  const int ready = sockio_wait(socks, socks_of(set, socks), false, 0, readable, nullptr);
  if (ready < 0) return TQ_ERR_SOCKET;
  if (ready == 0) return TQ_OK;

  // Round-robin from the socket behind the one read last.
  const int first = set->next > 0 && set->next < set->count ? set->next : 0;
  int which = -1;
  for (int k = 0; k < set->count && which < 0; ++k) {
    const int i = (first + k) % set->count;
    if (readable[i]) which = i;
  }
  if (which < 0) return TQ_OK;
  set->next = which + 1;
  *local_ip = set->sock[which].local_ip;

  uint8_t dgram[DS_RECV_MAX];
  uint32_t from_ip = 0;
  uint16_t from_port = 0;
  const long n = sockio_recv_from(set->sock[which].fd, dgram, sizeof dgram, &from_ip, &from_port);
  // Longer than 2048 bytes: discarded, as if nothing had come.
  if (n == SOCKIO_NOTHING || n == SOCKIO_TOO_LONG) return TQ_OK;
  if (n < 0) return TQ_ERR_SOCKET;
  const size_t got = static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap;
  if (got > 0) std::memcpy(buf, dgram, got);
  *len = got;
  *src_ip = from_ip;
  if (src_port) *src_port = from_port;
  return TQ_OK;
}

void tqsock_idle(_TQSOCKSET *set, uint32_t ms) { idle_set(set, ms, false); }

int tqsock_wait_reply(_TQSOCKSET *set, uint8_t kind, uint32_t reserved, size_t cap, uint8_t *buf,
                      size_t *len, uint32_t *src_ip, uint32_t *local_ip, const _TQSETTINGS *settings) {
  return wait_reply(set, kind, reserved, cap, buf, len, src_ip, local_ip, settings, nullptr);
}

int tqsock_transact(uint8_t kind, _TQSOCKSET *set, uint32_t ip, const uint8_t *req, size_t req_len,
                    uint8_t *reply, size_t reply_cap, const _TQSETTINGS *settings) {
  const int attempts = settings->count;
  int failed = 0;
  for (;;) {
    if (tqsock_send(set, ip, DS_DEVICE_PORT, req, req_len) != TQ_OK) return TQ_ERR_SOCKET;
    uint32_t src = 0;
    uint32_t local = 0;
    const int r = tqsock_wait_reply(set, kind, 0, reply_cap, reply, nullptr, &src, &local, settings);
    if (r != TQ_ERR_TIMEOUT) return r;
    if (++failed >= attempts) return TQ_ERR_TIMEOUT;
  }
}

int tqsock_identify(_TQSOCKSET *set, uint32_t ip, _DSNETINFO *dev, const int32_t *, uint8_t *,
                    const _TQSETTINGS *settings) {
  uint8_t req[DS_IDENTIFY_REQ_SIZE] = {};
  uint8_t reply[DS_SEARCH_REPLY_SIZE] = {};
  const int n = dsproto_build_identify(req, sizeof req);
  const int r = tqsock_transact(DS_KIND_IDENTIFY, set, ip, req, static_cast<size_t>(n), reply,
                                sizeof reply, settings);
  if (r != TQ_OK) return r;
  return dsproto_check_identify(reply, sizeof reply, dev) == 1 ? TQ_OK : TQ_ERR_MISMATCH;
}

int tqsock_set_value(_TQSOCKSET *set, uint32_t ip, _DSNETINFO *dev, const int32_t *value, uint8_t *,
                     const _TQSETTINGS *settings) {
  uint8_t req[DS_SET_VALUE_REQ_SIZE] = {};
  uint8_t reply[DS_SET_VALUE_REPLY_SIZE] = {};
  const int n = dsproto_build_set_value(req, sizeof req, dev, value ? *value : 0);
  return tqsock_transact(DS_KIND_SET_VALUE, set, ip, req, static_cast<size_t>(n), reply,
                         sizeof reply, settings);
}

int tqsock_get_info(_TQSOCKSET *set, uint32_t ip, _DSNETINFO *dev, const int32_t *, uint8_t *out,
                    const _TQSETTINGS *settings) {
  uint8_t req[DS_INFO_REQ_SIZE] = {};
  uint8_t reply[DS_INFO_REPLY_SIZE] = {};
  const int n = dsproto_build_info(req, sizeof req, dev);
  const int r = tqsock_transact(DS_KIND_GET_INFO, set, ip, req, static_cast<size_t>(n), reply,
                                sizeof reply, settings);
  if (r == TQ_OK && out) dsproto_read_info(reply, sizeof reply, out);
  return r;
}

int tqsock_execute(uint8_t kind, _DSNETINFO *dev, const int32_t *value, uint8_t *out,
                   const _TQSETTINGS *settings) {
  const KindHandler *row = nullptr;
  for (const KindHandler &k : kKinds)
    if (k.kind == kind) {
      row = &k;
      break;
    }
  if (row == nullptr || dev == nullptr) return TQ_ERR_MISMATCH;

  _TQSOCKSET set;
  if (tqsock_open_set(&set, false) != TQ_OK) return TQ_ERR_SOCKET;

  // A device heard by broadcast may sit on a subnet no interface serves:
  // make it reachable through the interface that heard it, for this request.
  const bool via_broadcast = (dev->flags & DS_DIRECT) == 0;
  if (via_broadcast) {
    iphelp_add_arp(dev->ip, dev->mac, dev->local_ip);
    iphelp_add_host_route(dev->ip, kBroadcast, dev->local_ip, dev->local_ip);
  }
  const int r = row->handler(&set, dev->ip, dev, value, out, settings);
  if (via_broadcast) {
    iphelp_delete_routes(dev->ip);
    iphelp_delete_arp(dev->ip, dev->local_ip, dev->mac);
  }
  tqsock_close_set(&set);
  return r;
}

int tqsock_send_search(_TQSOCKSET *set, uint32_t target, _DSNETINFO *const *heard, int count) {
  uint8_t req[DS_SEARCH_REQ_MAX];
  const int n = dsproto_build_search(req, sizeof req, heard, count > 0 ? static_cast<size_t>(count) : 0);
  if (n < 0) return TQ_ERR_SOCKET;
  return tqsock_send(set, target, DS_DEVICE_PORT, req, static_cast<size_t>(n));
}

void tqsock_search_begin(_TQSEARCH *st, bool direct, TQ_DEVICE_CALLBACK on_device) {
  st->direct = direct;
  st->on_device = on_device;
  st->count = 0;
  st->new_device = false;
  for (_DSNETINFO *&d : st->dev) d = nullptr;
}

int tqsock_search_datagram(_TQSEARCH *st, const uint8_t *buf, size_t len, uint32_t src_ip,
                           uint32_t local_ip) {
  _DSNETINFO heard;
  if (!dsproto_read_search_reply(buf, len, src_ip, local_ip, st->direct, &heard))
    return TQ_SEARCH_GO_ON;

  for (int i = 0; i < st->count; ++i) {
    _DSNETINFO *d = st->dev[i];
    if (d->hwid != heard.hwid || d->apid != heard.apid ||
        std::memcmp(d->mac, heard.mac, DS_MAC_SIZE) != 0)
      continue;
    // Heard before in this search: only its addresses are refreshed.
    d->reported_ip = heard.reported_ip;
    d->ip = heard.ip;
    d->local_ip = heard.local_ip;
    d->flags = static_cast<uint16_t>(st->direct ? (d->flags | DS_DIRECT) : (d->flags & ~DS_DIRECT));
    return TQ_SEARCH_GO_ON;
  }

  if (st->count >= TQ_MAX_DEVICES) return TQ_OK;  // complete already; nothing more is kept
  _DSNETINFO *rec = new (std::nothrow) _DSNETINFO(heard);
  if (rec == nullptr) return TQ_ERR_NO_MEMORY;
  if (st->on_device && st->on_device(rec) == 0) {
    delete rec;
    return TQ_ERR_CANCELLED;
  }
  st->dev[st->count++] = rec;
  st->new_device = true;
  if (st->count == TQ_MAX_DEVICES || st->direct) return TQ_OK;
  return TQ_SEARCH_GO_ON;
}

void tqsock_search_end(_TQSEARCH *st) {
  for (int i = 0; i < st->count; ++i) {
    delete st->dev[i];
    st->dev[i] = nullptr;
  }
  st->count = 0;
}

void tqsock_request_stop(bool raise) {
  SearchStop &stop = search_stop();
  if (!raise) {
    stop.raised.store(0);
    return;
  }
  // raised before raises: a search taking its mark in between still finds
  // the request raised.
  stop.raised.store(1);
  stop.raises.fetch_add(1);
  sockio_wake_raise();
}

uint32_t tqsock_stop_mark() { return search_stop().raises.load(); }

int tqsock_wait_search_reply(_TQSOCKSET *set, size_t cap, uint8_t *buf, size_t *len,
                             uint32_t *src_ip, uint32_t *local_ip, const _TQSETTINGS *settings,
                             uint32_t mark) {
  return wait_reply(set, DS_KIND_SEARCH, 0, cap, buf, len, src_ip, local_ip, settings, &mark);
}

bool tqsock_stop_requested(uint32_t mark) {
  const SearchStop &stop = search_stop();
  return stop.raised.load() != 0 || stop.raises.load() != mark;
}

int tqsock_search(uint32_t target, TQ_DEVICE_CALLBACK on_device, const _TQSETTINGS *settings) {
  return tqsock_search_marked(target, on_device, settings, tqsock_stop_mark());
}

int tqsock_search_marked(uint32_t target, TQ_DEVICE_CALLBACK on_device, const _TQSETTINGS *settings,
                         uint32_t mark) {
  // Stopped before it began: nothing is opened or sent.
  if (tqsock_stop_requested(mark)) return TQ_ERR_CANCELLED;
  const int passes = settings->count;
  _TQSOCKSET set;
  if (tqsock_open_set(&set, true) != TQ_OK) return TQ_ERR_SOCKET;

  _TQSEARCH st;
  tqsock_search_begin(&st, target != kBroadcast, on_device);
  int quiet = 0;
  int result = TQ_OK;
  bool ended = false;  // a step below decided the result

  while (!ended) {
    if (tqsock_stop_requested(mark)) {
      result = TQ_ERR_CANCELLED;
      break;
    }
    if (tqsock_send_search(&set, target, st.dev, st.count) != TQ_OK) {
      result = TQ_ERR_SOCKET;
      break;
    }
    st.new_device = false;
    for (;;) {
      uint8_t reply[DS_SEARCH_REPLY_SIZE];
      size_t len = 0;
      uint32_t src = 0;
      uint32_t local = 0;
      const int r = tqsock_wait_search_reply(&set, sizeof reply, reply, &len, &src, &local, settings,
                                             mark);
      if (r == TQ_ERR_TIMEOUT) break;  // the pass is over
      const int step = r == TQ_OK ? tqsock_search_datagram(&st, reply, len, src, local) : r;
      if (step != TQ_SEARCH_GO_ON) {
        result = step;
        ended = true;
        break;
      }
    }
    if (ended) break;
    if (on_device && on_device(nullptr) == 0) {
      result = TQ_ERR_CANCELLED;
      break;
    }
    quiet = st.new_device ? 1 : quiet + 1;
    if (quiet >= passes) {
      result = st.direct && st.count == 0 ? TQ_ERR_TIMEOUT : TQ_OK;
      break;
    }
  }

  tqsock_close_set(&set);
  tqsock_search_end(&st);
  return result;
}
