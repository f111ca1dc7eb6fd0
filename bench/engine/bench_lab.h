// What the lab benchmarks of the engine share: the check that they run in
// the lab they were started in, and a device file of many devices.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "netns.h"

namespace enginebench {

// Only in the host namespace of the lab run_in_lab.sh started us in (and
// never PID 1's namespace).
inline bool InLab() {
  const char *name = std::getenv("VELA_LAB_NAME");
  return name != nullptr && velatest::InLabHost(name);
}

// n devices of a listed model on link a, all answering at once.
inline std::string ManyDevices(int n) {
  std::string ini;
  for (int i = 0; i < n; ++i) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "[d%d]\nip = 192.168.77.%d\napid = 0x00560003\nhwid = 0x1004\nmac = 02:56:77:00:%02x:%02x\n\n",
                  i, 100 + i, i >> 8, i & 0xFF);
    ini += text;
  }
  return ini;
}

}  // namespace enginebench
