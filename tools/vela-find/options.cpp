// Command line of vela-find.
#include "options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseInt32(const std::string &text, int32_t *out) {
  if (text.empty())
    return false;
  errno = 0;
  char *end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
    return false;
  *out = static_cast<int32_t>(v);
  return true;
}

}  // namespace

const char *FindUsage() {
  return "Usage: vela-find [OPTION]...\n"
         "Find the Vela devices on every local IPv4 network by UDP broadcast and\n"
         "list them with their model, MAC address and IP address.\n"
         "\n"
         "  --passes N        quiet passes before the search ends (default: SerCnt\n"
         "                    of the Vela Finder settings, else 5)\n"
         "  --pass-time MS    reply time-out of one pass in milliseconds (default:\n"
         "                    SerTim of the settings, else 1000)\n"
         "                    A negative value keeps the network layer's own\n"
         "                    setting (5 passes, 1000 ms).\n"
         "  --models FILE     model definitions to load (default: model_name.ini in\n"
         "                    the current directory, else in $XDG_CONFIG_HOME/Vela\n"
         "                    (~/.config/Vela), else the installed one; without any\n"
         "                    the built-in models are used and a warning is shown)\n"
         "  --sort KEY        order of the rows: no (order first heard, default),\n"
         "                    model, mac (text, by the locale's collation) or ip\n"
         "                    (numeric)\n"
         "  --reverse         sort in descending order\n"
         "  --format FORMAT   table (default), csv or json\n"
         "  --target ADDR     search only ADDR: one device's IPv4 address (the search\n"
         "                    ends with its answer) or a routed subnet as a prefix\n"
         "                    such as 10.20.30.0/24 (/22 to /30), whose every host\n"
         "                    address is asked in each pass; may be repeated, the\n"
         "                    targets are searched one after another.  Nothing is\n"
         "                    broadcast, and only devices answering from ADDR are\n"
         "                    listed.  The addresses of this host's own subnets are\n"
         "                    left out of a prefix (a search without --target\n"
         "                    reaches them); a prefix, network or broadcast address\n"
         "                    wholly on them is refused.  The requests leave where\n"
         "                    the routing table sends them: --target is refused\n"
         "                    with --interface, and the Interfaces setting does not\n"
         "                    apply to it\n"
         "  --interface NAME  search only from the addresses of interface NAME; may\n"
         "                    be repeated (default: Interfaces of the settings, else\n"
         "                    every interface that is up); not with --target\n"
         "  --help            show this text and exit\n"
         "  --version         show the version and exit\n"
         "\n"
         "Settings file: $XDG_CONFIG_HOME/Vela/2.0.conf (else ~/.config/Vela/2.0.conf),\n"
         "section [General], keys SerCnt, SerTim and Interfaces (such as eth0,wlan0),\n"
         "shared with Vela Finder.  A search uses at most 16 local addresses; the\n"
         "ones left out are named on standard error.\n"
         "While searching, the progress is shown on standard error when it is a\n"
         "terminal; Ctrl+C stops the search and lists what was found so far.\n"
         "A second Ctrl+C, or SIGTERM, ends the program at once: it lists what was\n"
         "found if it can do so at once and exits with 130 (SIGINT) or 143 (SIGTERM).\n"
         "\n"
         "Exit status: 0 when the search completed (also with no device found),\n"
         "1 when the network layer cannot start, 2 for bad arguments (also a bad\n"
         "--target, or an interface that does not exist, is down or has no IPv4\n"
         "address, or --interface with --target), 3 when the result cannot be\n"
         "written, 4 when a search could not be carried out (no request could be\n"
         "sent, or a thread could not start): the list printed may be incomplete.\n";
}

bool ParseFindOptions(int argc, char **argv, TFindOptions *out, std::string *error) {
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    std::string value;
    bool has_value = false;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      has_value = true;
    }
    auto need_value = [&]() -> bool {
      if (has_value)
        return true;
      if (i + 1 >= argc) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };

    if (arg == "--help" || arg == "-h") {
      out->help = true;
    } else if (arg == "--version") {
      out->version = true;
    } else if (arg == "--reverse") {
      out->reverse = true;
    } else if (arg == "--passes" || arg == "--pass-time") {
      if (!need_value())
        return false;
      int32_t v;
      if (!ParseInt32(value, &v)) {
        *error = "option " + arg + " needs a whole number, not '" + value + "'";
        return false;
      }
      (arg == "--passes" ? out->passes : out->pass_time) = v;
    } else if (arg == "--models") {
      if (!need_value())
        return false;
      if (value.empty()) {
        *error = "option --models needs a file name";
        return false;
      }
      out->models = value;
    } else if (arg == "--sort") {
      if (!need_value())
        return false;
      if (value == "no")
        out->sort = SORT_NO;
      else if (value == "model")
        out->sort = SORT_MODEL;
      else if (value == "mac")
        out->sort = SORT_MAC;
      else if (value == "ip")
        out->sort = SORT_IP;
      else {
        *error = "option --sort takes no, model, mac or ip, not '" + value + "'";
        return false;
      }
    } else if (arg == "--target") {
      if (!need_value())
        return false;
      TSearchTarget target;
      std::string why;
      if (!ParseSearchTarget(value, &target, &why)) {
        *error = "option --target: " + why;
        return false;
      }
      out->targets.push_back(target);
    } else if (arg == "--interface") {
      if (!need_value())
        return false;
      if (value.empty() || value.find_first_of(", \t") != std::string::npos) {
        *error = "option --interface needs one interface name, not '" + value + "'";
        return false;
      }
      out->interfaces.push_back(value);
    } else if (arg == "--format") {
      if (!need_value())
        return false;
      if (!ParseResultFormat(value, &out->format)) {
        *error = "option --format takes table, csv or json, not '" + value + "'";
        return false;
      }
    } else {
      *error = (arg.rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + arg;
      return false;
    }
    if (has_value && (arg == "--help" || arg == "--reverse" || arg == "--version")) {
      *error = "option " + arg + " takes no value";
      return false;
    }
  }
  // A search by address leaves where the routing table sends it, from one
  // socket; it cannot keep to an interface, so the choice is refused rather
  // than ignored.
  if (!out->targets.empty() && !out->interfaces.empty()) {
    *error = "option --interface cannot be used with --target: a search by address goes out where "
             "the routing table sends it";
    return false;
  }
  return true;
}

bool CheckFindTargets(const std::vector<TSearchTarget> &targets, std::vector<std::string> *notices,
                      std::string *error) {
  if (targets.empty())
    return true;
  const std::vector<_DSSUBNET> connected = HostConnectedSubnets();
  for (const TSearchTarget &t : targets) {
    std::string notice;
    if (!CheckSearchTarget(t, connected, &notice, error))
      return false;
    if (!notice.empty())
      notices->push_back(notice);
  }
  return true;
}
