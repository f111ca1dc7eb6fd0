// vela-sim: plays the devices of an INI file on UDP port 4800 of the network
// namespace it runs in.  It refuses to run anywhere but in a lab namespace
// (see scripts/lab): its replies must never reach a real network.
#include <arpa/inet.h>
#include <net/if.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "lab_netns.h"
#include "sim_config.h"
#include "sim_flood.h"
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
               "  --version      print the version and exit\n"
               "Faults (for every device whose section sets no value of its own):\n"
               "  --seed N         seed of the devices' fault generators (default 1)\n"
               "  --loss F         fraction of requests ignored and of replies not sent\n"
               "  --jitter-ms N    random extra delay of each reply, 0 to N ms\n"
               "  --duplicate F    fraction of replies sent twice\n"
               "  --corrupt F      fraction of replies with payload bytes changed\n"
               "       vela-sim --flood random|unknown-model|oversize --rate N --duration S\n"
               "                --to ADDR:PORT... [--seed N]\n"
               "  sends N datagrams a second for S seconds (at most 60 s, 10^7 datagrams)\n"
               "  in turn to each ADDR:PORT, then exits\n");
}

// Parses a whole unsigned number no larger than max.
bool parse_count(const char *s, unsigned long long max, unsigned long long *out) {
  if (*s < '0' || *s > '9') return false;
  char *end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(s, &end, 10);
  if (errno != 0 || *end != '\0' || v > max) return false;
  *out = v;
  return true;
}

bool parse_seconds(const char *s, double *out) {
  char *end = nullptr;
  errno = 0;
  const double v = std::strtod(s, &end);
  if (errno != 0 || end == s || *end != '\0' || !(v > 0 && v <= SIM_FLOOD_MAX_SECONDS)) return false;
  *out = v;
  return true;
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
  SimFaults faults;
  unsigned long long seed = 1, n = 0;
  const char *flood = nullptr;
  unsigned long long rate = 0;
  double duration = 0;
  std::vector<sockaddr_in> targets;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    // Fault and flood options.
    bool fault_arg = true, fault_ok = has_value;
    if (arg == "--seed") fault_ok = fault_ok && parse_count(argv[i + 1], ~0ull, &seed);
    else if (arg == "--loss") fault_ok = fault_ok && sim_parse_fraction(argv[i + 1], &faults.loss);
    else if (arg == "--duplicate") fault_ok = fault_ok && sim_parse_fraction(argv[i + 1], &faults.duplicate);
    else if (arg == "--corrupt") fault_ok = fault_ok && sim_parse_fraction(argv[i + 1], &faults.corrupt);
    else if (arg == "--jitter-ms") {
      fault_ok = fault_ok && parse_count(argv[i + 1], 600000, &n);
      faults.jitter_ms = static_cast<uint32_t>(n);
    } else if (arg == "--flood") {
      SimFloodKind kind;
      fault_ok = fault_ok && sim_flood_kind(argv[i + 1], &kind);
      flood = argv[i + 1];
    } else if (arg == "--rate") fault_ok = fault_ok && parse_count(argv[i + 1], SIM_FLOOD_MAX_RATE, &rate) && rate > 0;
    else if (arg == "--duration") fault_ok = fault_ok && parse_seconds(argv[i + 1], &duration);
    else if (arg == "--to") {
      // One or more ADDR:PORT follow.
      fault_ok = false;
      int j = i + 1;
      for (; j < argc && argv[j][0] != '-'; ++j) {
        sockaddr_in to{};
        fault_ok = sim_flood_target(argv[j], &to) && targets.size() < SIM_FLOOD_MAX_TARGETS;
        if (!fault_ok) break;
        targets.push_back(to);
      }
      if (fault_ok) i = j - 2;  // the step below moves past the last one
    } else fault_arg = false;
    if (fault_arg) {
      if (!fault_ok) {
        std::fprintf(stderr, "vela-sim: bad value for %s\n", arg.c_str());
        usage();
        return kExitUsage;
      }
      ++i;
      continue;
    }
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
  if (flood != nullptr) {
    SimFloodKind kind = SimFloodKind::Random;
    sim_flood_kind(flood, &kind);
    if (rate == 0 || duration <= 0 || targets.empty() || config != nullptr || log != nullptr) {
      usage();
      return kExitUsage;
    }
    if (!lab_netns_is_current()) {
      std::fprintf(stderr, "vela-sim: refusing to flood outside a lab network namespace "
                           "(/run/netns/vela-*)\n");
      return kExitUnsafe;
    }
    return sim_flood(kind, rate, duration, targets, seed);
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

  sim_apply_faults(&devices, faults, seed);
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
