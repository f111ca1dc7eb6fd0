// Support for the engine's lab tests.  The programs run under
// run_in_lab.sh, which starts them inside the host namespace of a lab of
// their own (env VELA_LAB_NAME); these helpers reload the simulators and
// read their logs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace enginelab {

// True when the calling thread runs in the host namespace of the lab named
// by VELA_LAB_NAME (and not in PID 1's).  Nothing may send unless this holds.
bool InLab();
bool LabRequired();
std::string LabName();

// Restarts the simulators with the device set in text (ini format).
bool LoadSim(const std::string &devices_ini_text);

struct Datagram {
  std::string src, dst;
  std::vector<uint8_t> bytes;
};
// Datagrams the simulator of link 'a' or 'b' has logged since its start.
std::vector<Datagram> SimLog(char link);

// Polls cond every 5 ms until it holds or timeout_ms passes.
template <typename F>
bool WaitUntil(F cond, int timeout_ms);

// Dotted address to network order.
uint32_t Ip(const char *dotted);

}  // namespace enginelab

#define ENGINE_LAB_OR_SKIP()                                                       \
  do {                                                                             \
    if (!::enginelab::InLab()) {                                                   \
      if (::enginelab::LabRequired()) FAIL() << "lab required (run via run_in_lab.sh)"; \
      GTEST_SKIP() << "not inside a lab namespace (run via run_in_lab.sh)";        \
    }                                                                              \
  } while (0)

#include <chrono>
#include <thread>

template <typename F>
bool enginelab::WaitUntil(F cond, int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}
