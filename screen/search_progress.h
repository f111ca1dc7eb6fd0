// The search dialog's state and its timer steps: the countdown of a search
// (pass count times pass time, in 32-bit words as the dialog keeps them),
// the progress text and which found devices a tick adds as rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "texttable.h"

// (pass_count x pass_time_ms) / 1000: the product taken as a 32-bit word and
// divided as unsigned.  5 and 1000 give 5; -1 and 1000 give 4294966.
int32_t CountdownSeconds(int32_t pass_count, int32_t pass_time_ms);

// Seconds left: timeout - (now - start) / 1000, the elapsed whole seconds
// taken in unsigned 32-bit arithmetic (a wrap of the tick count does not
// disturb it), the result signed and not clamped.
int32_t RemainSeconds(int32_t timeout_s, uint32_t start_tick, uint32_t now_tick);

// The millisecond tick count: milliseconds since an arbitrary start,
// wrapping at 2^32 (the system's tick count on Windows, a monotonic clock
// elsewhere).
uint32_t TickCount();

// The widest progress texts the dialog must have room for: a full search
// with the longest countdown the settings can give (-1 x 1000 ms read as
// unsigned), and a countdown run far into the negative.
std::vector<std::string> WidestProgressTexts(TTextSource texts = LoadStr);

// What one timer tick shows.
struct TProgressStep {
  std::string label;  // the progress text, with the remaining time before the restart
  int first_new = 0;  // the found devices [first_new, end_new) get a row
  int end_new = 0;
};

// The dialog's own state.  Begin when the search starts, Tick every 100 ms.
class TSearchProgress {
 public:
  // Inputs, set before the dialog is shown.
  int32_t SerCnt = 0;          // pass count
  int32_t SerTim = 0;          // pass time, ms
  // Own state.
  int32_t ShownCount = 0;      // found devices already listed
  uint32_t StartTick = 0;      // tick count when the countdown last started
  int32_t TimeoutSeconds = 0;  // length of the countdown

  // The search has started at tick now: no device listed, the countdown
  // starts.
  void Begin(uint32_t now);
  // One tick at now with found devices found so far: the label is made
  // first (so a tick that sees new devices shows the new count with the old
  // remaining time); when found differs from ShownCount the countdown
  // starts again and the devices from ShownCount on are new.  ShownCount
  // becomes found.
  TProgressStep Tick(uint32_t now, int found, TTextSource texts = LoadStr);
};
