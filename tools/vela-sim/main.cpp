// vela-sim: plays the devices of an INI file on UDP port 4800 of the network
// namespace it runs in.  It refuses to run anywhere but in a lab namespace
// (see scripts/lab): its replies must never reach a real network.
#include <arpa/inet.h>
#include <net/if.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "lab_netns.h"
#include "sim_config.h"
#include "sim_server.h"
#include "vela_version.h"

namespace {

constexpr int kExitUsage = 2;   // bad command line or device file
constexpr int kExitUnsafe = 3;  // not inside a namespace of our own

void usage() {
  std::fprintf(stderr,
               "usage: vela-sim --config FILE --log FILE [--link a|b] [--iface NAME]\n"
               "       vela-sim --config FILE --addresses|--macs [--link a|b]\n"
               "  --config FILE  device file, one INI section per device\n"
               "  --log FILE     one JSON line per received datagram\n"
               "  --link a|b     play only the devices behind this lab link\n"
               "  --iface NAME   take broadcasts only as they arrive on this interface\n"
               "                 (other interfaces, such as macvlans, carry copies)\n"
               "  --addresses    print the source addresses of those devices and exit\n"
               "  --macs         print their distinct non-zero MAC addresses and exit\n"
               "  --version      print the version and exit\n");
}

std::string ip_text(uint32_t ip) {
  char text[INET_ADDRSTRLEN] = "";
  in_addr a{};
  a.s_addr = ip;
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

bool zero_mac(const uint8_t *mac) {
  for (size_t i = 0; i < DS_MAC_SIZE; ++i)
    if (mac[i] != 0) return false;
  return true;
}

std::string mac_text(const uint8_t *mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

}  // namespace

int main(int argc, char **argv) {
  const char *config = nullptr;
  const char *log = nullptr;
  const char *iface = nullptr;
  char link = 0;
  bool list_addresses = false;
  bool list_macs = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--config" && has_value) config = argv[++i];
    else if (arg == "--log" && has_value) log = argv[++i];
    else if (arg == "--link" && has_value && (std::strcmp(argv[i + 1], "a") == 0 || std::strcmp(argv[i + 1], "b") == 0))
      link = argv[++i][0];
    else if (arg == "--iface" && has_value) iface = argv[++i];
    else if (arg == "--addresses") list_addresses = true;
    else if (arg == "--macs") list_macs = true;
    else if (arg == "--version") {
      std::printf("vela-sim %s\n", VELA_VERSION_TEXT);
      return 0;
    }
    else {
      std::fprintf(stderr, "vela-sim: bad argument '%s'\n", argv[i]);
      usage();
      return kExitUsage;
    }
  }
  const bool listing = list_addresses || list_macs;
  if (config == nullptr || (log == nullptr && !listing) || (list_addresses && list_macs)) {
    usage();
    return kExitUsage;
  }

  std::vector<SimDevice> all, devices;
  std::string err;
  if (sim_load_config(config, &all, &err) != 0) {
    std::fprintf(stderr, "vela-sim: %s\n", err.c_str());
    return kExitUsage;
  }
  for (const SimDevice &d : all)
    if (link == 0 || d.link == link) devices.push_back(d);

  if (list_addresses) {
    std::set<uint32_t> printed;
    for (const SimDevice &d : devices)
      if (printed.insert(d.ip).second) std::printf("%s\n", ip_text(d.ip).c_str());
    return 0;
  }
  if (list_macs) {
    std::set<std::string> printed;
    for (const SimDevice &d : devices)
      if (!zero_mac(d.mac) && printed.insert(mac_text(d.mac)).second) std::printf("%s\n", mac_text(d.mac).c_str());
    return 0;
  }

  if (!lab_netns_is_current()) {
    std::fprintf(stderr, "vela-sim: refusing to run outside a lab network namespace "
                         "(/run/netns/vela-*); start it with scripts/lab\n");
    return kExitUnsafe;
  }

  unsigned iface_index = 0;
  if (iface != nullptr) {
    iface_index = if_nametoindex(iface);
    if (iface_index == 0) {
      std::fprintf(stderr, "vela-sim: no interface '%s' here\n", iface);
      return kExitUsage;
    }
  }

  std::vector<SimDevice> playing;
  for (const SimDevice &d : devices) {
    if (sim_address_is_local(d.ip)) playing.push_back(d);
    else
      std::fprintf(stderr, "vela-sim: [%s] address %s is not local here; device skipped\n", d.name.c_str(),
                   ip_text(d.ip).c_str());
  }
  std::fprintf(stderr, "vela-sim: playing %zu device(s)\n", playing.size());
  return sim_serve(&playing, log, DS_DEVICE_PORT, iface_index);
}
