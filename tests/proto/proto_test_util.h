// Helpers shared by the codec tests: hex text and guarded buffers.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "proto.h"
#include "wire_text.h"

using velatest::Hex;
using velatest::Ip;
using velatest::Unhex;

inline _DSNETINFO Device(uint32_t apid, uint16_t hwid, const char *mac_hex) {
  return velatest::Identity(apid, hwid, mac_hex);
}

// A buffer of `cap` usable bytes followed by canary bytes, to prove that a
// builder never writes past the capacity it is given.
class Guarded {
 public:
  explicit Guarded(size_t cap) : bytes_(cap + kSlack, kCanary), cap_(cap) {}
  uint8_t *data() { return bytes_.data(); }
  size_t cap() const { return cap_; }
  bool canary_intact(size_t from) const {
    for (size_t i = from; i < bytes_.size(); ++i)
      if (bytes_[i] != kCanary) return false;
    return true;
  }
  std::string hex(size_t n) const { return Hex(bytes_.data(), n); }

 private:
  static constexpr size_t kSlack = 64;
  static constexpr uint8_t kCanary = 0xA5;
  std::vector<uint8_t> bytes_;
  size_t cap_;
};
