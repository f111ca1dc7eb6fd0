// Network API: start-up and shut-down of the network layer, the search entry
// point with its process-wide settings and lock, the device-handle table and
// the public result codes.  This is the only header of net/ that the rest of
// the system includes.
#pragma once

#include <cstdint>

#include "proto.h"

// Public result codes.
constexpr int DS_OK = 1;
constexpr int DS_ERR_FAIL = -1;        // failure without a more precise code
constexpr int DS_ERR_TIMEOUT = -2;     // the device(s) did not answer
constexpr int DS_ERR_SOCKET = -3;      // socket failure
constexpr int DS_ERR_CANCELLED = -4;   // a callback asked to stop
constexpr int DS_ERR_INVALID = -5;     // null pointer, bad or closed handle
constexpr int DS_ERR_NESTED = -6;      // ds_search called from a search's own callback
constexpr int DS_ERR_NO_HANDLE = -10;  // ds_open: all handles in use
constexpr int DS_ERR_NO_MEMORY = -11;  // ds_open: no memory for the device copy

constexpr int DS_MAX_HANDLES = 128;
constexpr uint32_t DS_BROADCAST = 0xFFFFFFFFu;

// Per-device search callback: called with every device newly heard in a
// search and with null at the end of every pass; zero stops the search.  The
// record belongs to the search; keep a copy, never the pointer.
typedef int (*DS_SEARCH_CALLBACK)(_DSNETINFO *info);

// Progress callback of a unicast request: (request kind, 0, 0, context) while
// the reply is awaited; zero cancels the request.
typedef int (*DS_PROGRESS_CALLBACK)(int32_t kind, int32_t arg1, int32_t arg2, void *context);

// Starts the network layer; false when the host has no usable IPv4 address.
bool ds_init();

// Shuts the network layer down, undoing only what ds_init did.
void ds_cleanup();

// Sets the search's reply time-out (ms) and pass limit; a negative value
// keeps the current setting (1000 ms and 5 passes at start).
void ds_set_search_params(int32_t timeout_ms, int32_t pass_limit);

// Runs one search to target (0 or DS_BROADCAST: broadcast on every local
// address), one at a time under the search lock.  Returns a public code;
// -4 also when a stop request (ds_stop_search) ended it.  Called on a thread
// that is running a search already (from that search's callback), it
// returns -6 at once and changes nothing: the running search holds the
// search lock until its callback has returned, so waiting would never end.
// A search called from any other thread waits for the running one.
int ds_search(uint32_t target, DS_SEARCH_CALLBACK on_device);

// Raises (stop non-zero) or withdraws (stop zero) the stop request of
// searches; may be called from any thread, before ds_init and after
// ds_cleanup too, and returns at once.  After ds_init it is also safe in a
// signal handler (lock-free atomic operations and a write()).  A search
// counts as begun when its ds_search (or ds_search_subnet) call starts,
// before it waits for the search lock.
//   - While the request is raised, a running search ends within
//     milliseconds (its wait for replies is woken), and a search that begins
//     ends at its start without sending anything.
//   - A raise also ends every search that had begun before it, even when the
//     request is withdrawn again before that search noticed: a withdrawal
//     never revives a search that a raise was meant for.
//   - A withdrawn request does not touch searches that begin afterwards, so
//     a raise that comes after a search ended cannot end a later search once
//     the caller has withdrawn it.
// A search ended this way ends exactly as if its callback had returned 0:
// result -4, the devices already passed to the callback stay passed, no
// further callback (not even the end-of-pass null).  The request stays
// raised until withdrawn; the device list withdraws it when it starts a new
// search, before it creates that search's thread.  A search thread created
// before a withdrawal but calling ds_search only after it is not ended by
// the earlier raise; its owner stops it through its callback.
void ds_stop_search(int32_t stop);

// Opens a device handle on a copy of *info.  1 with the handle in *handle, or
// -5, -10, -11 (with a negative *handle for the last two).
int ds_open(const _DSNETINFO *info, int32_t *handle);

// Closes a handle; 1, or -5 for a handle that is out of range or not open.
int ds_close(int32_t handle);

// Sets the progress callback (may be null) and its context of a handle; the
// slot keeps them across close and open.  1 or -5.
int ds_set_callback(int32_t handle, DS_PROGRESS_CALLBACK callback, void *context);

// Set-value request (low 16 bits of value) to the handle's device.
int ds_set_value(int32_t handle, int32_t value);

// Info request to the handle's device; fills the 16-byte block on success.
int ds_get_info(int32_t handle, uint8_t *block);

// ---- Routed subnets and the choice of interfaces ----

constexpr int DS_SUBNET_PREFIX_MIN = 22;  // longest subnet search: 1022 hosts
constexpr int DS_SUBNET_PREFIX_MAX = 30;  // shortest: 2 hosts

// Searches a routed subnet, network/prefix_len (network address in network
// order, no host bits; prefix_len 22..30), one search at a time under the
// search lock like ds_search and with its settings.  It runs in passes as a
// broadcast search does, with the same quiet-pass rule and known-device
// entries, but each pass sends the search request to every host address of
// the subnet in turn (routers do not pass directed broadcasts on), paced at
// about 254 requests per 100 ms, from one socket whose source address the
// routing table chooses.  Every device that answers is reported once, with
// DS_DIRECT set: it was reached by routing, so no request to it ever adds a
// neighbour entry or route.  Returns 1 (also when nothing answered), -3 when
// every request of a pass failed to leave, -4, -1, or -5 for a null
// callback, a bad prefix length or host bits in network.  Like ds_search it
// returns -6 when called from the callback of a running search (ds_search's
// or ds_search_subnet's), and ds_search returns -6 from its callback too.
// A stop request (ds_stop_search) ends it exactly as it ends ds_search: it
// counts as begun when this call starts; raised, it ends a running subnet
// search within milliseconds, also while a pass's requests are still being
// sent (before the next batch; the rest of the subnet is not asked) and
// while it waits for replies, and one that begins ends at its start without
// sending; the result is -4, devices already reported stay reported, and no
// callback follows (not even the end-of-pass null).
int ds_search_subnet(uint32_t network, int prefix_len, DS_SEARCH_CALLBACK on_device);

constexpr int DS_IFNAME_SIZE = 64;  // an interface name and its NUL (see platform.h)

// One IPv4 address of an interface, as ds_interface_addresses lists it.
struct _DSIFADDR {
  char name[DS_IFNAME_SIZE];
  uint32_t addr;  // network order; 0 for an interface without IPv4 address
  bool up;
  bool loopback;
};

// Every interface of the host and each of its IPv4 addresses (an interface
// without one gets a row with addr 0), in the kernel's order; at most max
// rows are filled.  Returns the number of rows there are, or -1 when the
// interfaces cannot be read.
int ds_interface_addresses(_DSIFADDR *rows, int max);

// Makes only the named interfaces' addresses search (count 0: every
// interface that is up, the default).  Takes effect at the next ds_init,
// which loads the local address list.  Names are not checked here.
void ds_choose_interfaces(const char *const *names, int count);

// The local addresses that ds_init found beyond the 16 a search can use, in
// the kernel's order; at most max rows are filled.  Returns their number.
int ds_left_out_addresses(_DSIFADDR *rows, int max);
