// Feeds a stream of arbitrary datagrams to the search engine's handling of
// received datagrams, as one search would see them arrive.  Input layout:
// byte 0: bit 0 directed search, bits 1..7 the running number of the device
// the callback refuses (0: none); then records of 2 bytes length (big-endian,
// capped to what is left), 4 bytes source address, 1 byte local-socket index
// and the datagram itself.  Each datagram sits in a buffer of exactly its
// size, so that a read beyond it is caught by AddressSanitizer.  After every
// step the record list must hold distinct devices, at most 128 of them, each
// with the addresses of the reply that last named it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tqsock.h"

namespace {

int g_refuse_at = 0;  // 1-based running number of the device to refuse
int g_offered = 0;

int OnDevice(_DSNETINFO *d) {
  if (d == nullptr) return 1;
  return ++g_offered == g_refuse_at ? 0 : 1;
}

bool same_identity(const _DSNETINFO *a, const _DSNETINFO *b) {
  return a->apid == b->apid && a->hwid == b->hwid && std::memcmp(a->mac, b->mac, DS_MAC_SIZE) == 0;
}

void check(const _TQSEARCH &st) {
  if (st.count < 0 || st.count > TQ_MAX_DEVICES) __builtin_trap();
  for (int i = 0; i < st.count; ++i)
    for (int j = i + 1; j < st.count; ++j)
      if (same_identity(st.dev[i], st.dev[j])) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const bool direct = data[0] & 1;
  g_refuse_at = data[0] >> 1;
  g_offered = 0;
  const uint32_t locals[4] = {0x0a4da8c0, 0x0a00580a, 0, 0xffffffff};

  _TQSEARCH st;
  tqsock_search_begin(&st, direct, OnDevice);
  size_t pos = 1;
  while (pos + 7 <= size) {
    size_t len = static_cast<size_t>(data[pos]) << 8 | data[pos + 1];
    uint32_t src;
    std::memcpy(&src, data + pos + 2, 4);
    const uint32_t local = locals[data[pos + 6] & 3];
    pos += 7;
    if (len > size - pos) len = size - pos;
    const std::vector<uint8_t> datagram(data + pos, data + pos + len);
    pos += len;

    const int before = st.count;
    const int r = tqsock_search_datagram(&st, datagram.empty() ? nullptr : datagram.data(), datagram.size(),
                                         src, local);
    check(st);
    if (r != TQ_SEARCH_GO_ON && r != TQ_OK && r != TQ_ERR_CANCELLED) __builtin_trap();
    if (r == TQ_ERR_CANCELLED && st.count != before) __builtin_trap();  // refused: not kept
    if (st.count > before) {
      // A new device carries this datagram's addresses.
      const _DSNETINFO *d = st.dev[st.count - 1];
      if (d->local_ip != local || (src != 0 && d->ip != src) || (src == 0 && d->ip != d->reported_ip))
        __builtin_trap();
      if (((d->flags & DS_DIRECT) != 0) != direct) __builtin_trap();
    }
    if (r != TQ_SEARCH_GO_ON) break;  // the search would end here
  }
  tqsock_search_end(&st);
  if (st.count != 0) __builtin_trap();
  return 0;
}
