// Feeds arbitrary text to the simulator's device-file reader.  It either
// loads devices or refuses with a message naming the file; a refusal loads
// nothing, and every device it loads has the properties the server relies
// on: an address, a link of a or b, fractions within 0..1 and not both the
// oversize and the short reply.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_file.h"
#include "sim_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static fuzzfile::MemFile file;
  const std::string &path = file.Write(data, size);

  std::vector<SimDevice> devices;
  std::string err;
  const int rc = sim_load_config(path.c_str(), &devices, &err);
  if (rc == -1) {
    if (!devices.empty() || err.rfind(path, 0) != 0) __builtin_trap();
    return 0;
  }
  if (rc != 0) __builtin_trap();
  for (const SimDevice &d : devices) {
    if (d.link != 'a' && d.link != 'b') __builtin_trap();
    if (d.oversize && d.short_reply) __builtin_trap();
    for (double f : {d.faults.loss, d.faults.duplicate, d.faults.corrupt})
      if (!(f >= 0.0 && f <= 1.0)) __builtin_trap();
  }
  return 0;
}
