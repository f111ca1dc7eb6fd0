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
// address), one at a time under the search lock.  Returns a public code.
int ds_search(uint32_t target, DS_SEARCH_CALLBACK on_device);

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
