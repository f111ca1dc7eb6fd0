// What the benchmarks need from the host and from the lab they run in, on
// Linux (bench_host_linux.cpp) and on Windows under wine
// (bench_host_windows.cpp, driven by bench/wine/run).
#pragma once

#include <string>

namespace benchhost {

// CPU time of the whole process so far (user and system), in seconds.
double ProcessCpuSeconds();

// The process's threads, resident memory and virtual size (KiB); -1 for
// what cannot be read.
struct TProcessFigures {
  long threads = -1;
  long rss_kib = -1;
  long vsize_kib = -1;
};
TProcessFigures ProcessFigures();

// Puts the calling thread into a lab and checks it is one: on Linux the lab
// run_in_lab.sh started the program in (VELA_LAB_NAME), else a lab of its
// own brought up here with no device; on Windows the lab whose host
// namespace wine was started in (bench/wine/run).  False with *error.
// Call it on the main thread before any other thread exists.
bool EnterLab(std::string *error);

// Has the lab's simulators play the devices of an INI text; false with
// *error.  On Windows the driver that runs the program under wine loads
// them, asked through the program's standard streams.
bool LoadDevices(const std::string &ini_text, std::string *error);

// Marks a point of a measurement for the driver (on Windows it samples the
// CPU time of wine's own processes there and answers); nothing on Linux.
void Mark(const std::string &what);

}  // namespace benchhost
