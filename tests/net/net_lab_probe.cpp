// Helper program of the lab tests: runs one info request through the network
// API to a device heard by broadcast and prints what the host tables looked
// like while the request ran, so that a test can run it with fewer rights
// (for instance without CAP_NET_ADMIN) than the test itself has.
//
//   net_lab_probe DEVICE_IP MAC LOCAL_IP APID HWID [cleanup SECOND_IP | exit]
//
// Output lines: "capeff <hex>", "during <ip neigh/route line>", "result <code>".
//
// With a last argument the request (3 attempts of 300 ms to a device that
// should stay silent) runs on a thread of its own and the process ends while
// it still waits, as a program does that is closed during a request:
//   cleanup: ds_cleanup, then a second request (100 ms) to the same device
//            at SECOND_IP (an address the host reaches without a route of
//            ours), whose table lines are printed as "after <line>", then
//            _Exit without any clean-up;
//   exit:    exit() without ds_cleanup.
// A test then reads the host tables after the process has gone.
#include <arpa/inet.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "dsapi.h"
#include "lab.h"
#include "tqsock.h"
#include "wait.h"

namespace {

// Prints the host tables, each line after tag.
void PrintTables(const char *tag) {
  std::string out;
  velatest::RunCommand({"sh", "-c", "ip -4 neigh show; ip -4 route show table main"}, &out);
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) std::printf("%s %s\n", tag, line.c_str());
  std::fflush(stdout);
}

// A progress callback that prints the tables at the first poll of a
// request, tagged with the text its context points to.
struct Capture {
  const char *tag;
  std::atomic<bool> taken{false};
};

int CaptureTables(int32_t, int32_t, int32_t, void *ctx) {
  auto *c = static_cast<Capture *>(ctx);
  if (!c->taken.exchange(true)) PrintTables(c->tag);
  return 1;
}

// Only notes that the request has made its table changes and now waits.
int NoteWaiting(int32_t, int32_t, int32_t, void *ctx) {
  static_cast<std::atomic<bool> *>(ctx)->store(true);
  return 1;
}

// The request of the cleanup and exit modes; see the top of the file.
int EndDuringARequest(_DSNETINFO dev, const std::string &mode, uint32_t second_ip) {
  if (!ds_init()) {
    std::printf("result init-failed\n");
    return 1;
  }
  static std::atomic<bool> waiting{false};
  static _DSNETINFO record;
  record = dev;
  std::thread([] {
    const _TQSETTINGS s{300, 3, NoteWaiting, &waiting};
    uint8_t block[DS_INFO_BLOCK_SIZE];
    tqsock_execute(DS_KIND_GET_INFO, &record, nullptr, block, &s);
  }).detach();
  if (!velatest::WaitUntil([] { return waiting.load(); }, 3000)) {
    std::printf("result no-request\n");
    return 1;
  }
  PrintTables("during");
  if (mode == "exit") {
    std::printf("result exit\n");
    std::fflush(stdout);
    std::exit(0);
  }
  ds_cleanup();
  _DSNETINFO again = dev;
  again.ip = second_ip;
  again.reported_ip = second_ip;
  Capture after{"after"};
  const _TQSETTINGS s{100, 1, CaptureTables, &after};
  uint8_t block[DS_INFO_BLOCK_SIZE];
  const int r = tqsock_execute(DS_KIND_GET_INFO, &again, nullptr, block, &s);
  std::printf("result %d\n", r);
  std::fflush(stdout);
  std::_Exit(0);
}

std::string EffectiveCaps() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("CapEff:", 0) == 0) return line.substr(7);
  return "?";
}

}  // namespace

int main(int argc, char **argv) {
  const bool cleanup = argc == 8 && std::strcmp(argv[6], "cleanup") == 0;
  const bool exit_mode = argc == 7 && std::strcmp(argv[6], "exit") == 0;
  uint32_t second_ip = 0;
  if ((argc != 6 && !cleanup && !exit_mode) || (cleanup && inet_pton(AF_INET, argv[7], &second_ip) != 1)) {
    std::fprintf(stderr, "usage: net_lab_probe DEVICE_IP MAC LOCAL_IP APID HWID [cleanup SECOND_IP | exit]\n");
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
  if (cleanup || exit_mode) return EndDuringARequest(dev, argv[6], second_ip);
  if (!ds_init()) {
    std::printf("result init-failed\n");
    return 1;
  }
  int32_t h = -1;
  uint8_t block[DS_INFO_BLOCK_SIZE];
  Capture during{"during"};
  int r = ds_open(&dev, &h);
  if (r == DS_OK) r = ds_set_callback(h, CaptureTables, &during);
  if (r == DS_OK) r = ds_get_info(h, block);
  std::printf("result %d\n", r);
  ds_close(h);
  ds_cleanup();
  return 0;
}
