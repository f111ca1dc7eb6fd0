// Device file parsing with iniparser.  Every value is checked in full: a
// number with trailing junk, an address that does not parse or a fault
// option that is not 0 or 1 is an error with the file, section and key.
#include "sim_config.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

extern "C" {
#include <iniparser/iniparser.h>
}

namespace {

const char *const kKeys[] = {
    "ip", "link", "apid", "hwid", "mac", "reported_ip", "delay_ms", "status", "reserved", "command",
    "oversize", "short", "twice", "silent_when_known", "answer_from", "no_unicast", "info",
    "loss", "jitter_ms", "duplicate", "corrupt", "seed",
};

bool parse_ipv4(const char *s, uint32_t *out) {
  in_addr a{};
  if (inet_pton(AF_INET, s, &a) != 1) return false;
  *out = a.s_addr;
  return true;
}

bool parse_number(const char *s, unsigned long max, unsigned long *out) {
  if (*s == '\0' || *s == '-' || *s == '+') return false;
  errno = 0;
  char *end = nullptr;
  const unsigned long v = std::strtoul(s, &end, 0);
  if (errno != 0 || *end != '\0' || v > max) return false;
  *out = v;
  return true;
}

bool parse_fraction_text(const char *s, double *out) {
  if (*s == '\0' || *s == '-' || *s == '+' || *s == ' ' || *s == '\t') return false;
  errno = 0;
  char *end = nullptr;
  const double v = std::strtod(s, &end);
  if (errno != 0 || *end != '\0' || !(v >= 0.0 && v <= 1.0)) return false;
  *out = v;
  return true;
}

bool parse_flag(const char *s, bool *out) {
  if (std::strcmp(s, "0") == 0) *out = false;
  else if (std::strcmp(s, "1") == 0) *out = true;
  else return false;
  return true;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parse_hex_bytes(const char *s, uint8_t *out, size_t n, char sep) {
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && sep != '\0' && *s++ != sep) return false;
    const int hi = hex_digit(s[0]);
    const int lo = hi < 0 ? -1 : hex_digit(s[1]);
    if (lo < 0) return false;
    out[i] = static_cast<uint8_t>(hi << 4 | lo);
    s += 2;
  }
  return *s == '\0';
}

bool in_subnet24(uint32_t ip, const char *subnet) {
  uint32_t net = 0;
  parse_ipv4(subnet, &net);
  return (ntohl(ip) & 0xFFFFFF00u) == ntohl(net);
}

bool known_key(const char *key) {
  for (const char *k : kKeys)
    if (std::strcmp(k, key) == 0) return true;
  return false;
}

// Reads the value of one key into dev; false when it does not parse.
bool apply_key(SimDevice *dev, const std::string &key, const char *v, bool *has_link, bool *has_reported,
               std::string *expect) {
  unsigned long n = 0;
  bool ok = true;
  if (key == "ip") {
    ok = parse_ipv4(v, &dev->ip);
    *expect = "an IPv4 address";
  } else if (key == "link") {
    ok = (std::strcmp(v, "a") == 0 || std::strcmp(v, "b") == 0);
    if (ok) dev->link = v[0];
    *has_link = ok;
    *expect = "a or b";
  } else if (key == "apid") {
    ok = parse_number(v, 0xFFFFFFFFul, &n);
    dev->apid = static_cast<uint32_t>(n);
    *expect = "a 32-bit number (decimal or 0x hex)";
  } else if (key == "hwid") {
    ok = parse_number(v, 0xFFFFul, &n);
    dev->hwid = static_cast<uint16_t>(n);
    *expect = "a 16-bit number (decimal or 0x hex)";
  } else if (key == "mac") {
    ok = parse_hex_bytes(v, dev->mac, DS_MAC_SIZE, ':');
    *expect = "six hex pairs separated by colons";
  } else if (key == "reported_ip") {
    ok = parse_ipv4(v, &dev->reported_ip);
    *has_reported = ok;
    *expect = "an IPv4 address";
  } else if (key == "delay_ms") {
    ok = parse_number(v, 600000ul, &n);
    dev->delay_ms = static_cast<uint32_t>(n);
    *expect = "milliseconds, 0 to 600000";
  } else if (key == "command") {
    ok = parse_number(v, 0xFFul, &n);
    dev->command = static_cast<int>(n);
    *expect = "a byte value, 0 to 255";
  } else if (key == "answer_from") {
    ok = parse_number(v, 1000000ul, &n);
    dev->answer_from = static_cast<uint32_t>(n);
    *expect = "a request count, 0 to 1000000";
  } else if (key == "loss" || key == "duplicate" || key == "corrupt") {
    double *field = key == "loss" ? &dev->faults.loss : key == "duplicate" ? &dev->faults.duplicate : &dev->faults.corrupt;
    ok = parse_fraction_text(v, field);
    dev->faults_set |= key == "loss" ? SIM_FAULT_LOSS : key == "duplicate" ? SIM_FAULT_DUPLICATE : SIM_FAULT_CORRUPT;
    *expect = "a fraction from 0 to 1";
  } else if (key == "jitter_ms") {
    ok = parse_number(v, 600000ul, &n);
    dev->faults.jitter_ms = static_cast<uint32_t>(n);
    dev->faults_set |= SIM_FAULT_JITTER;
    *expect = "milliseconds, 0 to 600000";
  } else if (key == "seed") {
    ok = parse_number(v, ~0ul, &n);
    dev->seed = n;
    dev->faults_set |= SIM_FAULT_SEED;
    *expect = "a whole number, 0 to 2^64-1";
  } else if (key == "info") {
    ok = parse_hex_bytes(v, dev->info, DS_INFO_BLOCK_SIZE, '\0');
    *expect = "exactly 32 hex digits";
  } else {
    bool *flag = key == "status" ? &dev->bad_status
                 : key == "reserved" ? &dev->bad_reserved
                 : key == "oversize" ? &dev->oversize
                 : key == "short" ? &dev->short_reply
                 : key == "twice" ? &dev->twice
                 : key == "silent_when_known" ? &dev->silent_when_known
                 : &dev->no_unicast;
    ok = parse_flag(v, flag);
    *expect = "0 or 1";
  }
  return ok;
}

int load_section(const dictionary *d, const char *path, const char *sec, SimDevice *dev, std::string *err) {
  dev->name = sec;
  const int nkeys = iniparser_getsecnkeys(d, sec);
  std::vector<const char *> keys(nkeys > 0 ? nkeys : 0);
  if (nkeys > 0) iniparser_getseckeys(d, sec, keys.data());

  bool has_ip = false, has_link = false, has_reported = false;
  const size_t prefix = std::strlen(sec) + 1;  // "section:"
  for (const char *full : keys) {
    const std::string key = std::strlen(full) > prefix ? full + prefix : "";
    const char *value = iniparser_getstring(d, full, "");
    // The library keeps a section [dev:key] under the same name as key
    // `key` of [dev], with no value: that is no key of this device.
    if (value == nullptr) {
      *err = std::string(path) + ": section [" + full + "] clashes with key '" + key + "' of [" + sec + "]";
      return -1;
    }
    if (!known_key(key.c_str())) {
      *err = std::string(path) + ": [" + sec + "] unknown key '" + key + "'";
      return -1;
    }
    std::string expect;
    if (!apply_key(dev, key, value, &has_link, &has_reported, &expect)) {
      *err = std::string(path) + ": [" + sec + "] " + key + " = '" + value + "': expected " + expect;
      return -1;
    }
    if (key == "ip") has_ip = true;
  }
  if (!has_ip) {
    *err = std::string(path) + ": [" + sec + "] has no ip";
    return -1;
  }
  if (dev->oversize && dev->short_reply) {
    *err = std::string(path) + ": [" + sec + "] oversize and short exclude each other";
    return -1;
  }
  if (!has_reported) dev->reported_ip = dev->ip;
  if (!has_link) dev->link = in_subnet24(dev->ip, SIM_LINK_B_SUBNET) ? 'b' : 'a';
  return 0;
}

}  // namespace

int sim_load_config(const char *path, std::vector<SimDevice> *out, std::string *err) {
  out->clear();
  // iniparser_load reports a syntax error on stderr but a missing file only
  // by its result, so look first to tell the two apart.
  if (access(path, R_OK) != 0) {
    *err = std::string(path) + ": " + std::strerror(errno);
    return -1;
  }
  dictionary *d = iniparser_load(path);
  if (d == nullptr) {
    *err = std::string(path) + ": cannot parse (not a valid INI file)";
    return -1;
  }
  int rc = 0;
  // A key before the first section belongs to no device; iniparser keeps it
  // under an empty section name.
  for (int i = 0; i < d->size && rc == 0; ++i) {
    if (d->key[i] != nullptr && d->key[i][0] == ':') {
      *err = std::string(path) + ": key '" + (d->key[i] + 1) + "' outside any [device] section";
      rc = -1;
    }
  }
  const int nsec = iniparser_getnsec(d);
  for (int i = 0; i < nsec && rc == 0; ++i) {
    SimDevice dev;
    rc = load_section(d, path, iniparser_getsecname(d, i), &dev, err);
    if (rc == 0) out->push_back(dev);
  }
  iniparser_freedict(d);
  if (rc != 0) out->clear();
  return rc;
}

bool sim_parse_fraction(const char *text, double *out) { return parse_fraction_text(text, out); }

void sim_apply_faults(std::vector<SimDevice> *devices, const SimFaults &global, uint64_t seed) {
  for (SimDevice &d : *devices) {
    if (!(d.faults_set & SIM_FAULT_LOSS)) d.faults.loss = global.loss;
    if (!(d.faults_set & SIM_FAULT_JITTER)) d.faults.jitter_ms = global.jitter_ms;
    if (!(d.faults_set & SIM_FAULT_DUPLICATE)) d.faults.duplicate = global.duplicate;
    if (!(d.faults_set & SIM_FAULT_CORRUPT)) d.faults.corrupt = global.corrupt;
    if (!(d.faults_set & SIM_FAULT_SEED)) d.seed = seed;
    sim_fault_start(&d);
  }
}
