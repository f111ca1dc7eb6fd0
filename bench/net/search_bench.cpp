// Search timing in the lab: wall time of one search against the protocol's
// own floor (P passes of T ms each), the searching process's CPU time, and
// whether a burst of replies arriving together is heard in full in the first
// pass.  Prints one table row per device count and pass time.
//
//   net_search_bench [--runs N]      (root; brings up and takes down a lab,
//                                     or under wine runs in bench/wine/run's)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_host.h"
#include "dsapi.h"

namespace {

constexpr int kPasses = 5;

struct Count {
  int devices = 0;
  int nulls = 0;
  int in_first_pass = 0;
};
Count g_count;

int OnDevice(_DSNETINFO *d) {
  if (d == nullptr) {
    g_count.nulls++;
    return 1;
  }
  g_count.devices++;
  if (g_count.nulls == 0) g_count.in_first_pass++;
  return 1;
}

// n devices on link a (all answering at once, no delay).
std::string Devices(int n) {
  std::string ini;
  for (int i = 0; i < n; ++i) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "[d%d]\nip = 192.168.77.%d\napid = 0x%08X\nhwid = 0x0102\nmac = 02:00:00:00:%02x:%02x\n\n", i,
                  100 + i, 0x00010000 + i, i >> 8, i & 0xFF);
    ini += text;
  }
  return ini;
}

double cpu_ms() { return benchhost::ProcessCpuSeconds() * 1e3; }

}  // namespace

int main(int argc, char **argv) {
  int runs = 3;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));

  std::string error;
  if (!benchhost::EnterLab(&error)) {
    std::fprintf(stderr, "net_search_bench: lab not available: %s\n", error.c_str());
    return 1;
  }
  if (!ds_init()) {
    std::fprintf(stderr, "net_search_bench: no local address in the lab\n");
    return 1;
  }

  std::printf("%-8s %-6s %-3s %-5s %-12s %-10s %-12s %-12s %-14s %-12s\n", "devices", "T_ms", "P", "runs",
              "wall_ms_mean", "floor_ms", "ratio_mean", "ratio_max", "cpu_ms/search", "heard_pass1");
  for (int devices : {0, 1, 16, 127, 128}) {
    if (!benchhost::LoadDevices(Devices(devices), &error)) {
      std::fprintf(stderr, "net_search_bench: %s\n", error.c_str());
      return 1;
    }
    for (int t : {200, 1000}) {
      ds_set_search_params(t, kPasses);
      double wall_sum = 0, ratio_max = 0, cpu_sum = 0;
      int heard_min = devices;
      bool lost = false;
      for (int r = 0; r < runs; ++r) {
        g_count = Count{};
        const double c0 = cpu_ms();
        const auto w0 = std::chrono::steady_clock::now();
        const int rc = ds_search(DS_BROADCAST, OnDevice);
        const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count();
        cpu_sum += cpu_ms() - c0;
        wall_sum += wall;
        ratio_max = std::max(ratio_max, wall / (kPasses * t));
        heard_min = std::min(heard_min, g_count.in_first_pass);
        lost = lost || rc != DS_OK || g_count.devices != devices;
      }
      const double floor_ms = kPasses * t;
      std::printf("%-8d %-6d %-3d %-5d %-12.1f %-10.0f %-12.4f %-12.4f %-14.2f %d/%d%s\n", devices, t, kPasses,
                  runs, wall_sum / runs, floor_ms, wall_sum / runs / floor_ms, ratio_max, cpu_sum / runs, heard_min,
                  devices, lost ? " (LOST)" : "");
      std::fflush(stdout);
    }
  }
  ds_cleanup();
  return 0;
}
