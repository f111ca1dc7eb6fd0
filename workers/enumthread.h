// Search thread: runs one search of the network layer so that the caller
// stays responsive; keeps its result and raises m_done when the search has
// returned.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsapi.h"
#include "thread.h"

class TEnumThread final : public TThread {
 public:
  explicit TEnumThread(bool create_suspended);
  ~TEnumThread() override;  // waits for the search to end

  DS_SEARCH_CALLBACK m_callback = nullptr;
  uint32_t m_target = DS_BROADCAST;
  // Below 32: m_target is a routed subnet of this prefix length, searched
  // with ds_search_subnet.
  int32_t m_prefix_len = 32;
  std::atomic<int32_t> m_done{0};
  // The network layer's result of the search (public code), written before
  // m_done.
  std::atomic<int32_t> m_result{DS_OK};
  int32_t m_pass_count = 0;
  int32_t m_pass_time = 0;
  // Search generation this thread belongs to (set by the device list);
  // readable from the callback through Current().
  int32_t m_generation = 0;

  // The search thread object whose Execute runs on the calling thread,
  // or null on any other thread.
  static TEnumThread *Current();

 protected:
  void Execute() override;
};
