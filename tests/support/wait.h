// Polling for a condition another thread or process makes true.
#pragma once

#include <chrono>
#include <thread>

namespace velatest {

// Checks cond every 5 ms until it holds (true) or timeout_ms has passed
// (false).
template <typename F>
bool WaitUntil(F cond, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace velatest
