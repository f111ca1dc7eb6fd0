// Loader of the model file: one ini section per model, hexadecimal values.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
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
#include "settings.h"
#include "utf8text.h"

namespace {

// A value of the file as text; a missing key reads as the empty text.
const char *Value(dictionary *dict, const std::string &section, const char *key) {
  std::string full = section + ":" + key;
  const char *v = iniparser_getstring(dict, full.c_str(), nullptr);
  return v ? v : "";
}

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

// iniparser reports an unreadable file itself; the loader's own message
// is the one the program shows.
int Quiet(const char *, ...) { return 0; }

// The rows of the last file parsed and what identified that file.  An
// unchanged file (same device, inode, size and modification time) gives the
// same rows, so they are written again without parsing: iniparser's load
// is quadratic in the number of keys, and the program loads the file three
// times per search.
struct TParsedFile {
  bool valid = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  struct timespec mtime = {};
  std::vector<_MODELINFO> rows;
};

bool SameFile(const TParsedFile &parsed, const struct stat &st) {
  return parsed.valid && parsed.dev == st.st_dev && parsed.ino == st.st_ino && parsed.size == st.st_size &&
         parsed.mtime.tv_sec == st.st_mtim.tv_sec && parsed.mtime.tv_nsec == st.st_mtim.tv_nsec;
}

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

// Parses the file into at most MODEL_ROWS rows; false when iniparser gives
// no dictionary.
bool ParseRows(const char *path, std::vector<_MODELINFO> *out) {
  iniparser_set_error_callback(Quiet);
  dictionary *dict = iniparser_load(path);
  iniparser_set_error_callback(nullptr);
  if (dict == nullptr)
    return false;
  int n = iniparser_getnsec(dict);
  if (n < 0)
    n = 0;
  if (n > MODEL_ROWS)
    n = MODEL_ROWS;  // the table has no room for more; the rest is ignored

  std::vector<_MODELINFO> &rows = *out;
  rows.assign(static_cast<size_t>(n), _MODELINFO{});
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
  return true;
}

}  // namespace

int ReadModelFile(const char *path, _MODELINFO *table, std::string *reason) {
  // A directory opens and reads as an empty file; it is no model file.
  struct stat st;
  if (stat(path, &st) != 0) {
    *reason = std::strerror(errno);
    return -1;
  }
  if (S_ISDIR(st.st_mode)) {
    *reason = std::strerror(EISDIR);
    return -1;
  }
  bool readable = true;
  std::vector<_MODELINFO> rows;
  {
    std::lock_guard<std::mutex> hold(ParsedLock());
    TParsedFile &parsed = Parsed();
    if (S_ISREG(st.st_mode) && SameFile(parsed, st)) {
      rows = parsed.rows;
    } else {
      // The library's load fails alike for a file it cannot open and for
      // text it cannot parse; opening it first tells the two apart.
      const int fd = open(path, O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        *reason = std::strerror(errno);
        return -1;
      }
      close(fd);
      readable = ParseRows(path, &rows);
      parsed.valid = readable && S_ISREG(st.st_mode);
      if (parsed.valid) {
        parsed.dev = st.st_dev;
        parsed.ino = st.st_ino;
        parsed.size = st.st_size;
        parsed.mtime = st.st_mtim;
        parsed.rows = rows;
      }
    }
  }
  if (!readable) {
    *reason = "not in ini format";
    return -1;
  }

  // The rows were parsed first; they are written at once under the table's
  // lock, so a search thread never sees a row half written.
  std::unique_lock<std::shared_mutex> hold(ModelTableLock());
  for (size_t k = 0; k < rows.size(); k++)
    table[k] = rows[k];
  return 0;
}

int LoadModelFile(const char *path, _MODELINFO *table) {
  std::string reason;
  if (ReadModelFile(path, table, &reason) == 0)
    return 0;
  std::fprintf(stderr, "cannot parse file [%s]\n", path);
  return -1;
}

namespace {

// The installed data folder as seen from the running executable: the
// package's tree may be unpacked anywhere, so this is tried before the
// folder the build was configured to install into.
std::string DataDirNextToExecutable() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0)
    return std::string();
  std::string path(exe, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return std::string();
  return path.substr(0, slash + 1) + VELA_BIN_TO_DATA_DIR;
}

}  // namespace

std::vector<std::string> ModelFilePlaces() {
  std::vector<std::string> places = {MODEL_FILE_NAME, ConfigHome() + "/Vela/" + MODEL_FILE_NAME};
  for (std::string dir : {DataDirNextToExecutable(), std::string(VELA_INSTALL_DATA_DIR)}) {
    if (dir.empty())
      continue;
    char real[PATH_MAX];
    if (realpath(dir.c_str(), real) != nullptr)
      dir = real;
    std::string file = dir + "/" + MODEL_FILE_NAME;
    bool known = false;
    for (const std::string &p : places)
      known = known || p == file;
    if (!known)
      places.push_back(file);
  }
  return places;
}

std::string FindModelFile() {
  struct stat st;
  for (const std::string &place : ModelFilePlaces())
    if (stat(place.c_str(), &st) == 0)
      return place;
  return MODEL_FILE_NAME;
}

std::string ModelFilePlacesText() {
  std::string text = "Looked for in:";
  for (const std::string &place : ModelFilePlaces())
    text += "\n  " + place;
  return text;
}
