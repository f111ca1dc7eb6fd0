// Feeds arbitrary text to the settings reader as the content of the
// settings file.  Whatever the text, the reader returns the two values; a
// value is either its default or what the file's [General] section says, and
// reading the same text twice gives the same result.  A file that names
// neither key must give both defaults.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_file.h"
#include "settings.h"

namespace {

bool Contains(const uint8_t *data, size_t size, const char *word) {
  const size_t n = std::strlen(word);
  for (size_t i = 0; i + n <= size; ++i) {
    size_t k = 0;
    while (k < n && (data[i + k] | 0x20) == word[k]) ++k;
    if (k == n) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static fuzzfile::MemFile file;
  const std::string &path = file.Write(data, size);

  const TSearchSettings a = LoadSearchSettings(path);
  const TSearchSettings b = LoadSearchSettings(path);
  if (a.SerCnt != b.SerCnt || a.SerTim != b.SerTim) __builtin_trap();
  // Keys are case-insensitive: look for them the same way.
  if (!Contains(data, size, "sercnt") && a.SerCnt != SERCNT_DEFAULT) __builtin_trap();
  if (!Contains(data, size, "sertim") && a.SerTim != SERTIM_DEFAULT) __builtin_trap();
  return 0;
}
