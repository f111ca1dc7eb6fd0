// Helper program of the lab tests: runs one info request through the network
// API to a device heard by broadcast and prints what the host tables looked
// like while the request ran, so that a test can run it with fewer rights
// (for instance without CAP_NET_ADMIN) than the test itself has.
//
//   net_lab_probe DEVICE_IP MAC LOCAL_IP APID HWID
//
// Output lines: "capeff <hex>", "during <ip neigh/route line>", "result <code>".
#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "dsapi.h"
#include "lab.h"

namespace {

bool g_captured = false;

int CaptureTables(int32_t, int32_t, int32_t, void *) {
  if (g_captured) return 1;
  g_captured = true;
  std::string out;
  velatest::RunCommand({"sh", "-c", "ip -4 neigh show; ip -4 route show table main"}, &out);
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) std::printf("during %s\n", line.c_str());
  return 1;
}

std::string EffectiveCaps() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("CapEff:", 0) == 0) return line.substr(7);
  return "?";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: net_lab_probe DEVICE_IP MAC LOCAL_IP APID HWID\n");
    return 2;
  }
  if (!velatest::InOwnLabNamespace()) {
    std::fprintf(stderr, "net_lab_probe: refusing to send outside a lab namespace\n");
    return 3;
  }
  _DSNETINFO dev{};
  unsigned m[6];
  if (inet_pton(AF_INET, argv[1], &dev.ip) != 1 || inet_pton(AF_INET, argv[3], &dev.local_ip) != 1 ||
      std::sscanf(argv[2], "%x:%x:%x:%x:%x:%x", &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]) != 6) {
    std::fprintf(stderr, "net_lab_probe: bad arguments\n");
    return 2;
  }
  for (int i = 0; i < 6; ++i) dev.mac[i] = static_cast<uint8_t>(m[i]);
  dev.apid = static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 0));
  dev.hwid = static_cast<uint16_t>(std::strtoul(argv[5], nullptr, 0));
  dev.reported_ip = dev.ip;
  dev.flags = 0;  // heard by broadcast: the executor tries its table changes

  std::printf("capeff %s\n", EffectiveCaps().c_str());
  if (!ds_init()) {
    std::printf("result init-failed\n");
    return 1;
  }
  int32_t h = -1;
  uint8_t block[DS_INFO_BLOCK_SIZE];
  int r = ds_open(&dev, &h);
  if (r == DS_OK) r = ds_set_callback(h, CaptureTables, nullptr);
  if (r == DS_OK) r = ds_get_info(h, block);
  std::printf("result %d\n", r);
  ds_close(h);
  ds_cleanup();
  return 0;
}
