// The millisecond tick count: the system's own, which wraps at 2^32 as the
// dialog's arithmetic expects.
#include <windows.h>

#include "search_progress.h"

uint32_t TickCount()
{
  return static_cast<uint32_t>(GetTickCount());
}
