// tqsock: the UDP engine behind the network API.  It keeps the local IPv4
// address list, opens socket sets (one socket per local address, or one
// wildcard socket), sends, polls, waits for replies, repeats unicast
// requests, runs the multi-pass search and executes unicast requests.
// Every operation opens its own sockets and closes them before it returns.
// Results are the internal TQ_ codes below; ds_* maps them to public codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "proto.h"
#include "sockio.h"

// Internal result codes.
constexpr int TQ_OK = 1;
constexpr int TQ_ERR_MISMATCH = -1;    // identify reply contradicts the record
constexpr int TQ_ERR_TIMEOUT = -11;    // no matching reply
constexpr int TQ_ERR_SOCKET = -12;     // socket, option, every send, poll or receive failed
constexpr int TQ_ERR_CANCELLED = -13;  // a callback returned zero
constexpr int TQ_ERR_NO_MEMORY = -19;  // no memory for a device record

constexpr int TQ_MAX_SOCKETS = 16;
constexpr int TQ_MAX_DEVICES = 128;   // a search ends with its 128th device
constexpr uint32_t TQ_POLL_SLEEP_MS = 10;  // longest pause after an empty poll

// Progress callback: (kind, 0, 0, context); zero cancels.
typedef int (*TQ_PROGRESS_CALLBACK)(int32_t kind, int32_t arg1, int32_t arg2, void *context);
// Per-device search callback: a new device, or null at the end of a pass;
// zero stops the search.
typedef int (*TQ_DEVICE_CALLBACK)(_DSNETINFO *info);

// Request settings.
struct _TQSETTINGS {
  int32_t timeout;  // reply wait T in ms
  int32_t count;    // unicast: attempts A; search: pass limit P
  TQ_PROGRESS_CALLBACK progress;
  void *context;
};

// The sockets of one operation.
struct _TQSOCKSET {
  int count;
  struct {
    sockio_t fd;        // SOCKIO_INVALID when closed
    uint32_t local_ip;  // bound address, 0 for the wildcard address
  } sock[TQ_MAX_SOCKETS];
  int next;  // where tqsock_poll's look for a readable socket begins
};

// Loads the local address list (interfaces that are up, loopback left out,
// at most 16).  True when at least one address was found.  A failed listing
// leaves the list as it was.
bool tqsock_local_addresses();

// Number of local addresses loaded.
int tqsock_local_count();

// The i-th local address, or 0xFFFFFFFF outside 0..count-1.  The list must
// have been loaded.
uint32_t tqsock_local_address(int i);

// Opens one socket per local address (per_interface) or one wildcard socket,
// bound to 13316 or the next free port in steps of 4096.  1 (also when no
// socket could be bound) or -12.
int tqsock_open_set(_TQSOCKSET *set, bool per_interface);

// Closes every open socket of the set.
void tqsock_close_set(_TQSOCKSET *set);

// Sends data to ip:port from every socket; 1, or -12 when every send failed.
int tqsock_send(_TQSOCKSET *set, uint32_t ip, uint16_t port, const uint8_t *data, size_t len);

// Receives at most one waiting datagram without blocking: 1 with *len bytes
// (0 when nothing was waiting or the datagram exceeded 2048 bytes), or -12.
// The readable sockets are read in turn: each call takes the first readable
// socket at or after the one behind the socket read last (set order,
// wrapping round), so a socket that is never empty cannot starve the others.
// A freshly opened set begins with its first socket.
int tqsock_poll(_TQSOCKSET *set, uint8_t *buf, size_t cap, size_t *len, uint32_t *src_ip,
                uint16_t *src_port, uint32_t *local_ip);

// Pauses up to ms milliseconds, less when a datagram arrives on the set
// first.  Nothing is read.
void tqsock_idle(_TQSOCKSET *set, uint32_t ms);

// Waits up to settings->timeout ms for a reply of this kind: 1 with the reply
// in buf (*len bytes, at most cap) and its addresses, -11, -12 or -13.
int tqsock_wait_reply(_TQSOCKSET *set, uint8_t kind, uint32_t reserved, size_t cap, uint8_t *buf,
                      size_t *len, uint32_t *src_ip, uint32_t *local_ip, const _TQSETTINGS *settings);

// Sends a unicast request to ip:4800 and waits for its reply, up to
// settings->count attempts (at least one): 1, -11, -12 or -13.
int tqsock_transact(uint8_t kind, _TQSOCKSET *set, uint32_t ip, const uint8_t *req, size_t req_len,
                    uint8_t *reply, size_t reply_cap, const _TQSETTINGS *settings);

// Request handlers (kinds 1, 2 and 22) over an open set.
int tqsock_identify(_TQSOCKSET *set, uint32_t ip, _DSNETINFO *dev, const int32_t *value,
                    uint8_t *out, const _TQSETTINGS *settings);
int tqsock_set_value(_TQSOCKSET *set, uint32_t ip, _DSNETINFO *dev, const int32_t *value,
                     uint8_t *out, const _TQSETTINGS *settings);
int tqsock_get_info(_TQSOCKSET *set, uint32_t ip, _DSNETINFO *dev, const int32_t *value,
                    uint8_t *out, const _TQSETTINGS *settings);

// Runs one unicast request of kind 1, 2 or 22 on a wildcard socket; for a
// device heard by broadcast it adds a static ARP entry and host route around
// the request.  The handler's result, -12 when no socket could be opened, or
// -1 for an unknown kind.
int tqsock_execute(uint8_t kind, _DSNETINFO *dev, const int32_t *value, uint8_t *out,
                   const _TQSETTINGS *settings);

// Sends the search request listing the devices heard so far to target:4800
// from every socket; 1 or -12.
int tqsock_send_search(_TQSOCKSET *set, uint32_t target, _DSNETINFO *const *heard, int count);

// State of one search, kept apart from its sockets so that the handling of
// received datagrams can run on its own (tests, fuzzing).
struct _TQSEARCH {
  bool direct;                  // directed search: target is one address
  TQ_DEVICE_CALLBACK on_device;
  int count;                    // records in dev, in the order first heard
  _DSNETINFO *dev[TQ_MAX_DEVICES];
  bool new_device;              // the current pass heard a new device
};

// What tqsock_search_datagram made of one datagram.
constexpr int TQ_SEARCH_GO_ON = 0;  // ignored, or a known device refreshed, or a new one added

// Prepares an empty search state.
void tqsock_search_begin(_TQSEARCH *st, bool direct, TQ_DEVICE_CALLBACK on_device);

// Handles one received datagram of a search: a datagram that is not an
// acceptable search reply is ignored; a device heard before gets its
// addresses refreshed; a new device is reported to on_device and kept.
// Returns TQ_SEARCH_GO_ON to keep waiting, 1 when the search is complete
// (128 devices, or the first device of a directed search), -13 or -19.
int tqsock_search_datagram(_TQSEARCH *st, const uint8_t *buf, size_t len, uint32_t src_ip,
                           uint32_t local_ip);

// Frees every record of the search state.
void tqsock_search_end(_TQSEARCH *st);

// Runs a search to target (0xFFFFFFFF: broadcast from every local address)
// in passes, with settings->count as pass limit P and settings->timeout as
// the quiet time T.  1, -11 (directed search, no answer), -12, -13 or -19.
// A stop request (below) ends it with -13, as a callback returning zero
// would; the search counts as begun when this call starts.
int tqsock_search(uint32_t target, TQ_DEVICE_CALLBACK on_device, const _TQSETTINGS *settings);

// Stop requests for searches.  raise = true raises the request, false
// withdraws it.  While it is raised, every search ends at its next poll
// round, its next pass or its start with -13.  A search also ends when the
// request was raised at any moment after the search began, even if it was
// withdrawn before the search noticed.  A raise wakes a search waiting for
// replies at once (the stop wake-up of sockio.h in its wait; should none
// be available, the search notices within one 10 ms poll pause).
void tqsock_request_stop(bool raise);

// The stop mark of a search that begins now: pass it to tqsock_search_marked
// so that the search counts as begun at this moment.
uint32_t tqsock_stop_mark();

// True when a search that took mark must end: the request is raised, or it
// was raised since the mark was taken.
bool tqsock_stop_requested(uint32_t mark);

// tqsock_wait_reply for a search reply (kind 1, reserved 0) of a search that
// took mark: it also ends with -13 once tqsock_stop_requested(mark) holds,
// woken at once by a raise.
int tqsock_wait_search_reply(_TQSOCKSET *set, size_t cap, uint8_t *buf, size_t *len,
                             uint32_t *src_ip, uint32_t *local_ip, const _TQSETTINGS *settings,
                             uint32_t mark);

// tqsock_search counted as begun when mark was taken (tqsock_stop_mark), so
// that a caller that first waits (for instance for a lock) keeps every stop
// raised meanwhile.
int tqsock_search_marked(uint32_t target, TQ_DEVICE_CALLBACK on_device, const _TQSETTINGS *settings,
                         uint32_t mark);
