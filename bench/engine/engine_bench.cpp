// Engine benchmarks.
//
//   engine_bench idle     CPU per second of the whole process while the
//                         worker threads idle with 0, 16 and 128 devices
//                         known, the process's threads, RSS and virtual size
//                         with 128 known, and the time the list takes to stop
//                         every thread with 128 devices known (the exit path).
//                         Sends nothing: devices are registered by handing
//                         replies to the list's callback directly.
//   engine_bench search   time from StartSearch to the first device in the
//                         found list; needs the lab (run it under
//                         tests/support/run_in_lab.sh data/devices.ini, or
//                         under wine with bench/wine/run).
//   engine_bench stop [RUNS]  with 128 devices known (127 answering, so the
//                         search goes on) and a pass time of 60000 ms: the
//                         time from StopSearch to the end of the search
//                         thread, and from Shutdown (the exit path, search
//                         running) to its return; lab as above (it loads its
//                         own devices into the simulators).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dsapi.h"
#include "dscfgthread.h"
#include "dslist.h"
#include "dsthread.h"
#include "bench_host.h"
#include "bench_lab.h"
#include "netorder.h"

namespace {

using benchhost::Mark;
using benchhost::ProcessCpuSeconds;
using enginebench::ManyDevices;

using Clock = std::chrono::steady_clock;

void AddDevices(int count) {
  static int next = 1;
  for (int k = 0; k < count; k++, next++) {
    _DSNETINFO r{};
    r.apid = 0x00560003;
    r.hwid = 0x1004;
    r.ip = r.reported_ip = htonl(0x0A630000u + static_cast<uint32_t>(next));  // never sent to
    uint8_t mac[6] = {2, 0x56, 0x99, 0, static_cast<uint8_t>(next >> 8), static_cast<uint8_t>(next)};
    std::memcpy(r.mac, mac, 6);
    TDsList::OnSearchReply(&r);
  }
}

// Waits until every command has been handed over and carried out.
void Settle() {
  for (int i = 0; i < 2000; i++) {
    bool busy = DsList.Cfg()->PendingCount() != 0;
    for (int d = 0; d < DsList.DeviceCount() && !busy; d++)
      busy = DsList.Device(d)->thread->PendingCount() != 0;
    if (!busy)
      return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

double IdleCpuPercent(double seconds, const std::string &what) {
  Mark(what + " begin");
  double cpu0 = ProcessCpuSeconds();
  auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  double percent = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
  Mark(what + " end");
  return percent;
}

int Idle() {
  const double kSeconds = 10.0;
  std::printf("idle CPU of the whole process (%.0f s each; %% of one core)\n", kSeconds);
  std::printf("  devices known   0: %7.3f %%\n", IdleCpuPercent(kSeconds, "idle-0"));
  AddDevices(16);
  Settle();
  std::printf("  devices known  16: %7.3f %%\n", IdleCpuPercent(kSeconds, "idle-16"));
  AddDevices(112);
  Settle();
  std::printf("  devices known 128: %7.3f %%\n", IdleCpuPercent(kSeconds, "idle-128"));
  const benchhost::TProcessFigures f = benchhost::ProcessFigures();
  std::printf("with 128 devices known: %ld threads, RSS %ld KiB, virtual size %ld KiB\n", f.threads, f.rss_kib,
              f.vsize_kib);
  auto t0 = Clock::now();
  DsList.Shutdown();
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  std::printf("stopping every thread with 128 devices known: %.1f ms\n", ms);
  return 0;
}

int Search() {
  std::string error;
  if (!benchhost::EnterLab(&error)) {
    std::fprintf(stderr, "engine_bench search: %s\n", error.c_str());
    return 2;
  }
  if (!ds_init())
    return 1;
  const int kRuns = 20;
  std::vector<double> first;
  for (int run = 0; run < kRuns; run++) {
    auto t0 = Clock::now();
    DsList.StartSearch(-1, 1, 200);
    while (DsList.FoundCount() == 0 && Clock::now() - t0 < std::chrono::seconds(5))
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    first.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    while (!DsList.IsSearchDone())
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    DsList.FinishSearch(false);
  }
  std::printf("StartSearch to the first device in the found list (%d searches):\n", kRuns);
  std::printf("  first search (devices new): %.2f ms\n", first[0]);
  std::vector<double> rest(first.begin() + 1, first.end());
  std::sort(rest.begin(), rest.end());
  std::printf("  later searches: min %.2f ms, median %.2f ms, max %.2f ms\n", rest.front(),
              rest[rest.size() / 2], rest.back());
  DsList.Shutdown();
  ds_cleanup();
  return 0;
}

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Starts a search with pass time pass_ms and waits until devices are in
// the found list, then a little more: the search is then in a pass that
// would last pass_ms.
bool SearchInLongPass(int devices, int pass_ms) {
  DsList.StartSearch(-1, 5, pass_ms);
  auto t0 = Clock::now();
  while (DsList.FoundCount() < devices && Clock::now() - t0 < std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return DsList.FoundCount() == devices && !DsList.IsSearchDone();
}

void PrintSpread(const char *what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%s (%zu runs): min %.2f ms, median %.2f ms, max %.2f ms\n", what, ms.size(), ms.front(),
              ms[ms.size() / 2], ms.back());
}

int Stop(int runs) {
  std::string error;
  if (!benchhost::EnterLab(&error)) {
    std::fprintf(stderr, "engine_bench stop: %s\n", error.c_str());
    return 2;
  }
  // A search that hears 128 devices ends by itself: 128 become known in a
  // first search, then 127 of them answer the measured ones.
  if (!benchhost::LoadDevices(ManyDevices(DS_MAX_FOUND), &error) || !ds_init()) {
    std::fprintf(stderr, "engine_bench stop: %s\n", error.c_str());
    return 1;
  }
  DsList.StartSearch(-1, 1, 1000);
  while (!DsList.IsSearchDone())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  DsList.FinishSearch(false);
  if (DsList.DeviceCount() != DS_MAX_FOUND || !benchhost::LoadDevices(ManyDevices(DS_MAX_FOUND - 1), &error)) {
    std::fprintf(stderr, "engine_bench stop: %d devices known, not 128\n", DsList.DeviceCount());
    return 1;
  }
  std::vector<double> stop;
  for (int run = 0; run < runs; run++) {
    if (!SearchInLongPass(DS_MAX_FOUND - 1, 60000)) {
      std::fprintf(stderr, "engine_bench stop: the search did not reach 127 devices in a long pass\n");
      return 1;
    }
    auto t0 = Clock::now();
    DsList.StopSearch();
    while (!DsList.IsSearchDone())
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    stop.push_back(MsSince(t0));
    DsList.FinishSearch(false);
  }
  PrintSpread("StopSearch to the end of the search thread (60000 ms pass, 128 known, 127 answering)", stop);
  if (!SearchInLongPass(DS_MAX_FOUND - 1, 60000))
    return 1;
  auto t0 = Clock::now();
  DsList.Shutdown();
  std::printf("Shutdown with 128 devices known and a search in a 60000 ms pass: %.2f ms\n", MsSince(t0));
  ds_cleanup();
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "idle")
    return Idle();
  if (mode == "search")
    return Search();
  if (mode == "stop")
    return Stop(argc > 2 ? std::max(1, std::atoi(argv[2])) : 10);
  std::fprintf(stderr, "usage: engine_bench idle|search|stop [runs]\n");
  return 2;
}
