// The device sets of the stress and soak tests: n devices on each lab link,
// each with its own address and MAC and a built-in model, written as a
// simulator device file with optional extra keys for every device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velastress {

struct Device {
  std::string name;   // section name: a01.., b01.. (lower case, as iniparser keeps it)
  char link = 'a';
  std::string ip;     // 192.168.77.101.. on link a, 10.88.0.101.. on link b
  std::string model;  // built-in model name, as vela-find prints it
  uint32_t apid = 0;
  uint16_t hwid = 0;
  std::string mac;    // "02:5A:0A:00:00:01", upper case as vela-find prints it
};

// per_link devices on link a, then per_link on link b (at most 99 each).
std::vector<Device> Devices(int per_link);

// The device file for devices; extra (e.g. "loss = 0.1\n") is added to
// every section.
std::string DeviceFile(const std::vector<Device> &devices, const std::string &extra = "");

}  // namespace velastress
