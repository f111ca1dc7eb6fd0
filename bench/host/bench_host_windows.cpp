// Benchmark host services on Windows: GetProcessTimes, the process's
// memory counters and threads, and a lab run by the driver (bench/wine/run),
// asked through standard output and answered on standard input:
//   @devices FILE   play the devices of FILE (written in the current folder)
//   @mark WHAT      a point of the measurement
// each answered by one line, "ok" or the reason it failed.
#include "bench_host.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "netns.h"

namespace benchhost {

namespace {

double Seconds(const FILETIME &t) {
  return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

// Asks the driver; true when it answered "ok".
bool Ask(const std::string &request, std::string *error) {
  std::printf("@%s\n", request.c_str());
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    *error = "no answer from the driver (run it with bench/wine/run)";
    return false;
  }
  if (answer != "ok") {
    *error = answer;
    return false;
  }
  return true;
}

}  // namespace

double ProcessCpuSeconds() {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user))
    return 0;
  return Seconds(kernel) + Seconds(user);
}

TProcessFigures ProcessFigures() {
  TProcessFigures f;
  PROCESS_MEMORY_COUNTERS pmc{};
  if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc))
    f.rss_kib = static_cast<long>(pmc.WorkingSetSize / 1024);
  MEMORYSTATUSEX ms{};
  ms.dwLength = sizeof ms;
  if (GlobalMemoryStatusEx(&ms))
    f.vsize_kib = static_cast<long>((ms.ullTotalVirtual - ms.ullAvailVirtual) / 1024);
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap != INVALID_HANDLE_VALUE) {
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    long n = 0;
    for (BOOL more = Thread32First(snap, &te); more; more = Thread32Next(snap, &te))
      n += te.th32OwnerProcessID == GetCurrentProcessId();
    f.threads = n;
    CloseHandle(snap);
  }
  return f;
}

bool EnterLab(std::string *error) {
  if (!velatest::InOwnLabNamespace()) {
    *error = "not in a lab's host namespace (run it with bench/wine/run)";
    return false;
  }
  return true;
}

bool LoadDevices(const std::string &ini_text, std::string *error) {
  const char *file = "bench-devices.ini";
  std::ofstream(file, std::ios::binary) << ini_text;
  return Ask(std::string("devices ") + file, error);
}

void Mark(const std::string &what) {
  std::string error;
  Ask("mark " + what, &error);
}

}  // namespace benchhost
