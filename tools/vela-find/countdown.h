// The countdown of vela-find's progress line.
#pragma once

#include <cstdint>

// Whole seconds of the countdown, as the desktop dialog computes them:
// passes x pass time as a 32-bit product, divided by 1000 as unsigned.
int32_t CountdownSeconds(int32_t passes, int32_t pass_time);

// The seconds of a countdown of timeout_s left after elapsed_ms.  A search
// can run longer than its passes x pass time (a pass ends only after a pass
// time without a reply), and the line then shows 0, never less.
int32_t RemainSeconds(int32_t timeout_s, uint32_t elapsed_ms);
