// The countdown of vela-find's progress line.
#include "countdown.h"

int32_t CountdownSeconds(int32_t passes, int32_t pass_time) {
  uint32_t product = static_cast<uint32_t>(passes) * static_cast<uint32_t>(pass_time);
  return static_cast<int32_t>(product / 1000u);
}

int32_t RemainSeconds(int32_t timeout_s, uint32_t elapsed_ms) {
  const int64_t remain = int64_t{timeout_s} - int64_t{elapsed_ms / 1000u};
  return remain > 0 ? static_cast<int32_t>(remain) : 0;
}
