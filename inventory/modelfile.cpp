// Loader of the model file: one ini section per model, hexadecimal values.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <iniparser/iniparser.h>

#include "modellock.h"
#include "modeltable.h"
#include "utf8text.h"

namespace {

// A value of the file as text; a missing key reads as the empty text.
const char *Value(dictionary *dict, const std::string &section, const char *key) {
  std::string full = section + ":" + key;
  const char *v = iniparser_getstring(dict, full.c_str(), nullptr);
  return v ? v : "";
}

// strtoul in base 16 with the 32-bit result of the file format: leading
// blanks skipped, optional 0x, stops at the first non-digit, no digits
// give 0, anything beyond 32 bits gives 0xFFFFFFFF.
uint32_t Hex32(const char *text) {
  unsigned long v = std::strtoul(text, nullptr, 16);
  return v > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

// iniparser reports an unreadable file itself; the loader's own message
// is the one the program shows.
int Quiet(const char *, ...) { return 0; }

}  // namespace

int LoadModelFile(const char *path, _MODELINFO *table) {
  iniparser_set_error_callback(Quiet);
  dictionary *dict = iniparser_load(path);
  iniparser_set_error_callback(nullptr);
  if (dict == nullptr) {
    std::fprintf(stderr, "cannot parse file [%s]\n", path);
    return -1;
  }
  int n = iniparser_getnsec(dict);
  if (n < 0)
    n = 0;
  if (n > MODEL_ROWS)
    n = MODEL_ROWS;  // the table has no room for more; the rest is ignored

  // Parse everything first, then write the rows at once under the table's
  // lock, so a search thread never sees a row half written.
  std::vector<_MODELINFO> rows(static_cast<size_t>(n));
  for (int k = 0; k < n; k++) {
    const char *sec = iniparser_getsecname(dict, k);
    std::string s = sec ? sec : "";
    _MODELINFO &row = rows[static_cast<size_t>(k)];
    row = _MODELINFO{};
    // Cut to 39 bytes, but never inside a character.
    const char *name = Value(dict, s, "model_name");
    std::memcpy(row.model_name, name, Utf8CutLength(name, MODEL_NAME_SIZE - 1));
    row.apid = Hex32(Value(dict, s, "apid"));
    row.hwid = static_cast<uint16_t>(Hex32(Value(dict, s, "hwid")) & 0xFFFFu);
    row.model_flag = Hex32(Value(dict, s, "model_flag"));
    row.k_upgtout = Hex32(Value(dict, s, "k_upgtout"));
    row.f_upgtout = Hex32(Value(dict, s, "f_upgtout"));
    row.ports = Hex32(Value(dict, s, "ports"));
  }
  iniparser_freedict(dict);

  std::unique_lock<std::shared_mutex> hold(ModelTableLock());
  for (int k = 0; k < n; k++)
    table[k] = rows[static_cast<size_t>(k)];
  return 0;
}
