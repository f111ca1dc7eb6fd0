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
// -4 also when a stop request (ds_stop_search) ended it.
int ds_search(uint32_t target, DS_SEARCH_CALLBACK on_device);

// Raises (stop non-zero) or withdraws (stop zero) the stop request of
// searches; may be called from any thread, before ds_init and after
// ds_cleanup too, and returns at once.  A search counts as begun when its
// ds_search call starts, before it waits for the search lock.
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
