// Benchmark host services on Linux: the process CPU clock,
// /proc/self/status and the lab helper of the tests.
#include "bench_host.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "lab.h"
#include "netns.h"

namespace benchhost {

namespace {

// A field of /proc/self/status ("Threads", "VmRSS", "VmSize"): its number.
long ProcStatus(const char *key) {
  FILE *f = std::fopen("/proc/self/status", "r");
  if (f == nullptr)
    return -1;
  char line[256];
  long value = -1;
  size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, key, n) == 0 && line[n] == ':') {
      value = std::strtol(line + n + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(f);
  return value;
}

// The lab the program works in: run_in_lab.sh's, or one of its own.
velatest::Lab *g_lab = nullptr;

}  // namespace

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

TProcessFigures ProcessFigures() {
  TProcessFigures f;
  f.threads = ProcStatus("Threads");
  f.rss_kib = ProcStatus("VmRSS");
  f.vsize_kib = ProcStatus("VmSize");
  return f;
}

bool EnterLab(std::string *error) {
  const char *name = std::getenv("VELA_LAB_NAME");
  if (name != nullptr) {
    g_lab = &velatest::Lab::Enclosing();
    if (!velatest::InLabHost(name)) {
      *error = "not in the host namespace of lab " + std::string(name);
      return false;
    }
    return true;
  }
  // Never taken down before exit: the lab lives as long as the program.
  static std::unique_ptr<velatest::Lab> own;
  own = std::make_unique<velatest::Lab>(velatest::Lab::WriteTempIni(""));
  g_lab = own.get();
  if (!own->ok() || !own->EnterHost() || !velatest::InOwnLabNamespace()) {
    *error = own->error();
    return false;
  }
  return true;
}

bool LoadDevices(const std::string &ini_text, std::string *error) {
  if (g_lab == nullptr || !g_lab->LoadSimText(ini_text)) {
    *error = g_lab ? g_lab->error() : "no lab";
    return false;
  }
  return true;
}

void Mark(const std::string &) {}

}  // namespace benchhost
