// Device sets of the stress and soak tests.
#include "stress_devices.h"

#include <cstdio>

namespace velastress {

namespace {

struct Model {
  uint32_t apid;
  uint16_t hwid;
  const char *name;
};

// Eight rows of the built-in model table.
const Model kModels[] = {
    {0x00560001, 0x2104, "VL-2104"}, {0x00560001, 0x2108, "VL-2108"}, {0x00560001, 0x2116, "VL-2116"},
    {0x00560001, 0x2124, "VL-2124"}, {0x00560002, 0x3104, "VL-3104"}, {0x00560002, 0x3108, "VL-3108"},
    {0x00560002, 0x3116, "VL-3116"}, {0x00560002, 0x3124, "VL-3124"},
};

}  // namespace

std::vector<Device> Devices(int per_link) {
  std::vector<Device> out;
  for (char link : {'a', 'b'}) {
    for (int i = 1; i <= per_link; ++i) {
      Device d;
      char buf[64];
      std::snprintf(buf, sizeof buf, "%c%02d", link, i);
      d.name = buf;
      d.link = link;
      std::snprintf(buf, sizeof buf, link == 'a' ? "192.168.77.%d" : "10.88.0.%d", 100 + i);
      d.ip = buf;
      const Model &m = kModels[(static_cast<size_t>(i) + (link == 'b' ? 3 : 0)) % 8];
      d.model = m.name;
      d.apid = m.apid;
      d.hwid = m.hwid;
      std::snprintf(buf, sizeof buf, "02:5A:0%c:00:00:%02X", link == 'a' ? 'A' : 'B', i);
      d.mac = buf;
      out.push_back(d);
    }
  }
  return out;
}

std::string DeviceFile(const std::vector<Device> &devices, const std::string &extra) {
  std::string text;
  char buf[256];
  for (const Device &d : devices) {
    std::snprintf(buf, sizeof buf, "[%s]\nip = %s\nlink = %c\napid = 0x%08x\nhwid = 0x%04x\nmac = %s\n", d.name.c_str(),
                  d.ip.c_str(), d.link, d.apid, d.hwid, d.mac.c_str());
    text += buf;
    text += extra;
  }
  return text;
}

}  // namespace velastress
