// Model file benchmark.
//
//   model_bench [SECTIONS]   writes a model file of SECTIONS sections
//                            (default 10000) and times the three loads of
//                            one search (main window, then the search
//                            dialog twice): the first load parses, the two
//                            others find the file unchanged.  Then it
//                            touches the file and times one more load.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "modeltable.h"

namespace {

using Clock = std::chrono::steady_clock;

double TimedLoad(const std::string &path) {
  Clock::time_point t0 = Clock::now();
  if (LoadModelFile(path.c_str()) != 0)
    std::exit(1);
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char **argv) {
  int sections = argc > 1 ? std::atoi(argv[1]) : 10000;
  char path[] = "/tmp/model-bench-XXXXXX.ini";
  int fd = mkstemps(path, 4);
  if (fd < 0)
    return 1;
  close(fd);
  {
    std::ofstream out(path);
    for (int i = 0; i < sections; i++)
      out << "[m" << i << "]\nmodel_name = Model " << i << "\napid = " << std::hex << i << std::dec
          << "\nhwid = 1\nmodel_flag = 0\nk_upgtout = 9c40\nf_upgtout = 4e20\nports = 4\n";
  }
  std::printf("model file of %d sections\n", sections);
  double total = 0;
  for (int k = 1; k <= 3; k++) {
    double s = TimedLoad(path);
    total += s;
    std::printf("load %d: %9.3f ms\n", k, s * 1e3);
  }
  std::printf("one search (3 loads): %9.3f ms\n", total * 1e3);
  struct timespec later[2];
  clock_gettime(CLOCK_REALTIME, &later[0]);
  later[0].tv_sec += 2;
  later[1] = later[0];
  utimensat(AT_FDCWD, path, later, 0);
  std::printf("load after touch: %9.3f ms\n", TimedLoad(path) * 1e3);
  unlink(path);
  return 0;
}
