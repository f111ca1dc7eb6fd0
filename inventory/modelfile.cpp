// Loader of the model file: one ini section per model, hexadecimal values.
// The file itself is read through modelfile_host.h.
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "modelfile_host.h"
#include "modellock.h"
#include "modeltable.h"
#include "settings.h"
#include "utf8text.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// strtoul in base 16 with an unsigned long of 32 bits, as the file format
// was defined: leading blanks skipped, an optional sign, an optional 0x,
// conversion stops at the first non-digit, no digits give 0.  A magnitude
// beyond 32 bits gives 0xFFFFFFFF; a minus sign negates the magnitude
// modulo 2^32 ("-5" gives 0xFFFFFFFB).
uint32_t Hex32(const char *text) {
  const char *p = text;
  while (std::isspace(static_cast<unsigned char>(*p)))
    p++;
  bool negative = false;
  if (*p == '+' || *p == '-')
    negative = *p++ == '-';
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0)
    p += 2;
  uint64_t magnitude = 0;
  for (int d; (d = HexDigit(*p)) >= 0; p++) {
    magnitude = magnitude * 16 + static_cast<uint64_t>(d);
    if (magnitude > 0xFFFFFFFFull)
      return 0xFFFFFFFFu;  // the remaining digits cannot bring it back
  }
  uint32_t v = static_cast<uint32_t>(magnitude);
  return negative ? 0u - v : v;
}

// The rows of the last file parsed and what identified that file.  An
// unchanged file (same stamp) gives the same rows, so they are written
// again without parsing: the program loads the file three times per search.
struct TParsedFile {
  bool valid = false;
  TFileStamp stamp;
  std::vector<_MODELINFO> rows;
};

// Guards the parsed-file memory; loads come from the UI thread, tests and
// vela-find alike.  Never destroyed, like the table's own lock.
std::mutex &ParsedLock() {
  static std::mutex *const lock = new std::mutex;
  return *lock;
}
TParsedFile &Parsed() {
  static TParsedFile *const parsed = new TParsedFile;
  return *parsed;
}

// Parses the file into at most MODEL_ROWS rows (the table has no room for
// more; the rest is ignored); false when the file cannot be read.
bool ParseRows(const char *path, std::vector<_MODELINFO> *out) {
  std::vector<TModelIniSection> sections;
  if (!ReadModelIni(path, MODEL_ROWS, &sections))
    return false;
  std::vector<_MODELINFO> &rows = *out;
  rows.assign(sections.size(), _MODELINFO{});
  for (size_t k = 0; k < sections.size(); k++) {
    const std::string *v = sections[k].values;  // in the order of MODEL_INI_KEY_NAMES
    _MODELINFO &row = rows[k];
    // Cut to 39 bytes, but never inside a character.
    const char *name = v[0].c_str();
    std::memcpy(row.model_name, name, Utf8CutLength(name, MODEL_NAME_SIZE - 1));
    row.apid = Hex32(v[1].c_str());
    row.hwid = static_cast<uint16_t>(Hex32(v[2].c_str()) & 0xFFFFu);
    row.model_flag = Hex32(v[3].c_str());
    row.k_upgtout = Hex32(v[4].c_str());
    row.f_upgtout = Hex32(v[5].c_str());
    row.ports = Hex32(v[6].c_str());
  }
  return true;
}

}  // namespace

const char *const MODEL_INI_KEY_NAMES[MODEL_INI_KEYS] = {
    "model_name", "apid", "hwid", "model_flag", "k_upgtout", "f_upgtout", "ports"};

int LoadModelFile(const char *path, _MODELINFO *table) {
  // A folder opens and reads as an empty file; it is no model file.
  TFileStamp stamp;
  const TPathKind kind = StatPath(path, &stamp);
  bool readable = kind == TPathKind::File || kind == TPathKind::Other;
  std::vector<_MODELINFO> rows;
  if (readable) {
    std::lock_guard<std::mutex> hold(ParsedLock());
    TParsedFile &parsed = Parsed();
    if (kind == TPathKind::File && parsed.valid && parsed.stamp == stamp) {
      rows = parsed.rows;
    } else {
      readable = ParseRows(path, &rows);
      parsed.valid = readable && kind == TPathKind::File;
      if (parsed.valid) {
        parsed.stamp = stamp;
        parsed.rows = rows;
      }
    }
  }
  if (!readable) {
    std::fprintf(stderr, "cannot parse file [%s]\n", path);
    return -1;
  }

  // The rows were parsed first; they are written at once under the table's
  // lock, so a search thread never sees a row half written.
  std::unique_lock<std::shared_mutex> hold(ModelTableLock());
  for (size_t k = 0; k < rows.size(); k++)
    table[k] = rows[k];
  return 0;
}

std::vector<std::string> ModelFilePlaces() {
  std::vector<std::string> places = {MODEL_FILE_NAME};
  for (const std::string &file : ModelFileOtherPlaces()) {
    bool known = false;
    for (const std::string &p : places)
      known = known || p == file;
    if (!known)
      places.push_back(file);
  }
  return places;
}

std::string FindModelFile() {
  TFileStamp stamp;
  for (const std::string &place : ModelFilePlaces())
    if (StatPath(place.c_str(), &stamp) != TPathKind::Missing)
      return place;
  return MODEL_FILE_NAME;
}

std::string ModelFilePlacesText() {
  std::string text = "Looked for in:";
  for (const std::string &place : ModelFilePlaces())
    text += "\n  " + place;
  return text;
}
