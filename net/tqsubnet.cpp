// Search of a routed subnet.  A router passes neither a limited broadcast
// nor, as a rule, a directed one, so every host address of the subnet gets
// the search request of its own; replies are handled by the broadcast
// search's own datagram step, so known-device entries, duplicates and the
// 128-device limit behave the same.
#include "tqsubnet.h"

#include "netorder.h"

#include "platform.h"

namespace {

// The caller's callback for the search running on this thread; the
// trampoline marks each new device as reached by routing before the caller
// sees it.
thread_local TQ_DEVICE_CALLBACK tls_on_device = nullptr;

int report_routed(_DSNETINFO *info) {
  if (info != nullptr) info->flags = static_cast<uint16_t>(info->flags | DS_DIRECT);
  return tls_on_device(info);
}

// Handles every datagram already waiting on the set: TQ_SEARCH_GO_ON, or the
// search's end (1, -12, -13, -19).  A stop request is looked at before each
// datagram, as the reply wait does before each poll, so that no device is
// reported once the search has seen the request.
int drain(_TQSOCKSET *set, _TQSEARCH *st, uint32_t mark) {
  for (;;) {
    if (tqsock_stop_requested(mark)) return TQ_ERR_CANCELLED;
    uint8_t reply[DS_SEARCH_REPLY_SIZE];
    size_t len = 0;
    uint32_t src = 0;
    uint32_t local = 0;
    if (tqsock_poll(set, reply, sizeof reply, &len, &src, nullptr, &local) != TQ_OK)
      return TQ_ERR_SOCKET;
    if (len == 0) return TQ_SEARCH_GO_ON;
    if (!dsproto_accept_reply(reply, len, DS_KIND_SEARCH, 0)) continue;
    const int step = tqsock_search_datagram(st, reply, len, src, local);
    if (step != TQ_SEARCH_GO_ON) return step;
  }
}

// Sends one pass's requests, TQ_SUBNET_BATCH every TQ_SUBNET_STEP_MS, taking
// the replies that arrive meanwhile.  TQ_SEARCH_GO_ON when at least one
// request left, -12 when none did, or the search's end (-13 also for a stop
// request, looked at before every batch and every datagram: the pause
// between two batches is at most TQ_SUBNET_STEP_MS).
int send_pass(_TQSOCKSET *set, _TQSEARCH *st, uint32_t first_host, uint32_t hosts, uint32_t mark) {
  const uint32_t start = plat_tick_ms();
  uint32_t left = 0;
  for (uint32_t k = 0; k < hosts;) {
    if (tqsock_stop_requested(mark)) return TQ_ERR_CANCELLED;
    const uint32_t end = k + TQ_SUBNET_BATCH < hosts ? k + TQ_SUBNET_BATCH : hosts;
    for (; k < end; ++k)
      if (tqsock_send_search(set, htonl(first_host + k), st->dev, st->count) == TQ_OK) left++;
    int r = drain(set, st, mark);
    if (r != TQ_SEARCH_GO_ON) return r;
    if (k >= hosts) break;
    const uint32_t due = k / TQ_SUBNET_BATCH * TQ_SUBNET_STEP_MS;
    for (uint32_t elapsed = plat_tick_ms() - start; elapsed < due; elapsed = plat_tick_ms() - start) {
      tqsock_idle(set, due - elapsed);
      r = drain(set, st, mark);
      if (r != TQ_SEARCH_GO_ON) return r;
    }
  }
  return left > 0 ? TQ_SEARCH_GO_ON : TQ_ERR_SOCKET;
}

// Waits for replies until T passes in silence: TQ_SEARCH_GO_ON, or the
// search's end.
int quiet_wait(_TQSOCKSET *set, _TQSEARCH *st, const _TQSETTINGS *settings, uint32_t mark) {
  for (;;) {
    uint8_t reply[DS_SEARCH_REPLY_SIZE];
    size_t len = 0;
    uint32_t src = 0;
    uint32_t local = 0;
    const int r = tqsock_wait_search_reply(set, sizeof reply, reply, &len, &src, &local, settings, mark);
    if (r == TQ_ERR_TIMEOUT) return TQ_SEARCH_GO_ON;
    const int step = r == TQ_OK ? tqsock_search_datagram(st, reply, len, src, local) : r;
    if (step != TQ_SEARCH_GO_ON) return step;
  }
}

}  // namespace

int tqsock_search_subnet(uint32_t network, int prefix_len, TQ_DEVICE_CALLBACK on_device,
                         const _TQSETTINGS *settings, uint32_t stop_mark) {
  if (tqsock_stop_requested(stop_mark)) return TQ_ERR_CANCELLED;  // nothing opened or sent
  const uint32_t size = 1u << (32 - prefix_len);
  const uint32_t first_host = ntohl(network) + 1;  // the network and broadcast addresses are left out
  const uint32_t hosts = size - 2;

  _TQSOCKSET set;
  if (tqsock_open_set(&set, false) != TQ_OK) return TQ_ERR_SOCKET;
  tls_on_device = on_device;
  _TQSEARCH st;
  tqsock_search_begin(&st, false, on_device ? report_routed : nullptr);

  int quiet = 0;
  int result = TQ_OK;
  for (;;) {
    st.new_device = false;
    int step = send_pass(&set, &st, first_host, hosts, stop_mark);
    if (step == TQ_SEARCH_GO_ON) step = quiet_wait(&set, &st, settings, stop_mark);
    if (step != TQ_SEARCH_GO_ON) {
      result = step;
      break;
    }
    if (on_device && on_device(nullptr) == 0) {
      result = TQ_ERR_CANCELLED;
      break;
    }
    quiet = st.new_device ? 1 : quiet + 1;
    if (quiet >= settings->count) break;
  }

  tqsock_close_set(&set);
  tqsock_search_end(&st);
  tls_on_device = nullptr;
  return result;
}
