// One command for a device's request thread and the command codes.
#pragma once

#include <atomic>
#include <cstdint>

struct _DSONEINFO;

// Handle commands lie above 2288; the two request commands carry the
// request kind of the wire protocol as their code.
constexpr int32_t CMD_OPEN = 2289;          // open the device handle (param: new address or 0)
constexpr int32_t CMD_CLOSE = 2290;         // close the device handle
constexpr int32_t CMD_SET_CALLBACK = 2291;  // register the progress callback
constexpr int32_t CMD_SET_VALUE = 2;        // set-value request carrying param
constexpr int32_t CMD_GET_INFO = 22;        // info request into the record's info block

// Created and freed by the configuration thread only.  result is written
// before done; done is the last write of the request thread to a command.
struct _CMDOBJ {
  int32_t seq = 0;
  int32_t code = 0;
  std::atomic<int32_t> result{0};
  std::atomic<uint8_t> done{0};
  uint8_t auto_free = 0;
  std::atomic<uint8_t> cancel{0};
  int32_t param = 0;
  int32_t param2 = 0;
  _DSONEINFO *device = nullptr;
};
