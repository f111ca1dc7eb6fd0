// Feeds arbitrary text to the model-file loader as the content of
// model_name.ini.  The table it writes is a local one filled with a marker
// pattern, so the checks see exactly which rows the loader touched: a file
// that does not parse leaves every row as it was, a file that parses
// rewrites rows 0 .. n-1 only (n at most 100), and every name it writes is
// NUL-terminated within its 40-byte field.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_file.h"
#include "modeltable.h"

namespace {

void Fill(_MODELINFO *table) {
  std::memset(table, 0xA5, sizeof(_MODELINFO) * MODEL_ROWS);
}

bool Untouched(const _MODELINFO &row) {
  const auto *bytes = reinterpret_cast<const uint8_t *>(&row);
  for (size_t i = 0; i < sizeof row; ++i)
    if (bytes[i] != 0xA5) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static fuzzfile::MemFile file;
  const std::string &path = file.Write(data, size);

  static _MODELINFO table[MODEL_ROWS];
  Fill(table);
  const int rc = LoadModelFile(path.c_str(), table);
  if (rc != 0 && rc != -1) __builtin_trap();

  int written = 0;
  while (written < MODEL_ROWS && !Untouched(table[written])) ++written;
  for (int i = written; i < MODEL_ROWS; ++i)
    if (!Untouched(table[i])) __builtin_trap();  // rows are written from the top, without gaps
  if (rc == -1 && written != 0) __builtin_trap();
  for (int i = 0; i < written; ++i)
    if (std::memchr(table[i].model_name, '\0', MODEL_NAME_SIZE) == nullptr) __builtin_trap();
  return 0;
}
