// Search settings from the desktop program's settings file (Qt's INI
// format: section [General], one key=value a line).
#include "settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <iniparser/iniparser.h>

#include "texttable.h"

namespace {

// The whole text must be one decimal integer (blanks around allowed) that a
// 32-bit value holds.  As with the registry's DWORD values, and as the
// desktop program reads the same file, values up to 4294967295 are taken and
// read back as signed: 4294967295 is -1.
bool ParseInt32(const char *text, int32_t *out) {
  if (text == nullptr)
    return false;
  errno = 0;
  char *end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (end == text || errno == ERANGE || v < INT32_MIN || v > static_cast<long long>(UINT32_MAX))
    return false;
  while (*end == ' ' || *end == '\t')
    end++;
  if (*end != '\0')
    return false;
  *out = static_cast<int32_t>(static_cast<uint32_t>(v));
  return true;
}

}  // namespace

std::string XdgFolder(const char *variable, const char *in_home) {
  const char *xdg = std::getenv(variable);
  if (xdg != nullptr && xdg[0] == '/')
    return xdg;
  const char *home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    struct passwd *pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : "";
  }
  return std::string(home) + in_home;
}

std::string ConfigHome() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string SearchSettingsPath() { return ConfigHome() + "/Vela/" VELA_SETTINGS_VERSION ".conf"; }

TSearchSettings LoadSearchSettings(const std::string &path) {
  TSearchSettings s;
  // A missing file is the normal case and stays silent.
  if (access(path.c_str(), R_OK) != 0)
    return s;
  dictionary *dict = iniparser_load(path.c_str());
  if (dict == nullptr)
    return s;
  std::string cnt_key = "general:" + LoadStr(TXT_REG_SERCNT);
  std::string tim_key = "general:" + LoadStr(TXT_REG_SERTIM);
  int32_t v;
  if (ParseInt32(iniparser_getstring(dict, cnt_key.c_str(), nullptr), &v))
    s.SerCnt = v;
  if (ParseInt32(iniparser_getstring(dict, tim_key.c_str(), nullptr), &v))
    s.SerTim = v;
  const std::string if_key = std::string("general:") + SETTINGS_KEY_INTERFACES;
  if (const char *names = iniparser_getstring(dict, if_key.c_str(), nullptr))
    s.Interfaces = names;
  iniparser_freedict(dict);
  return s;
}

TSearchSettings LoadSearchSettings() { return LoadSearchSettings(SearchSettingsPath()); }
