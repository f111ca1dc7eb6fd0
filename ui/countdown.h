// Countdown arithmetic of the search dialog, in 32-bit words as the dialog
// keeps them: a pass count times a pass time gives the seconds a search waits
// in silence before it ends.
#pragma once

#include <cstdint>

// (pass_count x pass_time_ms) / 1000: the product taken as a 32-bit word and
// divided as unsigned.  5 and 1000 give 5; -1 and 1000 give 4294966.
inline int32_t CountdownSeconds(int32_t pass_count, int32_t pass_time_ms)
{
  uint32_t product = static_cast<uint32_t>(pass_count) * static_cast<uint32_t>(pass_time_ms);
  return static_cast<int32_t>(product / 1000u);
}

// Seconds left: timeout - (now - start) / 1000, the elapsed whole seconds
// taken in unsigned 32-bit arithmetic (a wrap of the tick count does not
// disturb it), the result signed and not clamped.
inline int32_t RemainSeconds(int32_t timeout_s, uint32_t start_tick, uint32_t now_tick)
{
  uint32_t elapsed = (now_tick - start_tick) / 1000u;
  return static_cast<int32_t>(static_cast<uint32_t>(timeout_s) - elapsed);
}

// The millisecond tick count: milliseconds of a monotonic clock, wrapping at
// 2^32.
uint32_t TickCount();
