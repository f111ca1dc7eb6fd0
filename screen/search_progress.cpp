#include "search_progress.h"

#include "dslist.h"

int32_t CountdownSeconds(int32_t pass_count, int32_t pass_time_ms)
{
  uint32_t product = static_cast<uint32_t>(pass_count) * static_cast<uint32_t>(pass_time_ms);
  return static_cast<int32_t>(product / 1000u);
}

int32_t RemainSeconds(int32_t timeout_s, uint32_t start_tick, uint32_t now_tick)
{
  uint32_t elapsed = (now_tick - start_tick) / 1000u;
  return static_cast<int32_t>(static_cast<uint32_t>(timeout_s) - elapsed);
}

std::vector<std::string> WidestProgressTexts(TTextSource texts)
{
  return {ProgressText(DS_MAX_FOUND, CountdownSeconds(-1, 1000), texts),
          ProgressText(DS_MAX_FOUND, -999999, texts)};
}

void TSearchProgress::Begin(uint32_t now)
{
  ShownCount = 0;
  TimeoutSeconds = CountdownSeconds(SerCnt, SerTim);
  StartTick = now;
}

TProgressStep TSearchProgress::Tick(uint32_t now, int found, TTextSource texts)
{
  TProgressStep step;
  step.label = ProgressText(found, RemainSeconds(TimeoutSeconds, StartTick, now), texts);
  step.first_new = step.end_new = ShownCount;
  if (found != ShownCount) {
    TimeoutSeconds = CountdownSeconds(SerCnt, SerTim);
    StartTick = now;
    if (found > ShownCount)
      step.end_new = found;
  }
  ShownCount = found;
  return step;
}
