// The program's own state file.
#include "state_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <iniparser/iniparser.h>

#include "result_format.h"
#include "settings.h"

namespace {

// LastTarget of section [General] of the INI file at path; empty when the
// file or the key is missing.
std::string LastTargetIn(const std::string &path) {
  if (access(path.c_str(), R_OK) != 0)
    return "";
  dictionary *dict = iniparser_load(path.c_str());
  if (dict == nullptr)
    return "";
  const std::string key = std::string("general:") + STATE_KEY_LAST_TARGET;
  const char *value = iniparser_getstring(dict, key.c_str(), nullptr);
  std::string text = value ? value : "";
  iniparser_freedict(dict);
  return text;
}

// Creates the folders of path that are missing (mode 0700, as the state
// folder should be private); 0 or the errno of the failure.
int MakeFolders(const std::string &path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
      return errno;
  }
  return 0;
}

}  // namespace

std::string StateHome() { return XdgFolder("XDG_STATE_HOME", "/.local/state"); }

std::string StateFilePath() { return StateHome() + "/Vela/state.conf"; }

std::string LoadLastTarget() {
  std::string text = LastTargetIn(StateFilePath());
  return text.empty() ? LastTargetIn(SearchSettingsPath()) : text;
}

bool SaveLastTarget(const std::string &text, std::string *error) {
  const std::string path = StateFilePath();
  if (int err = MakeFolders(path)) {
    *error = "cannot write " + path + ": " + std::strerror(err);
    return false;
  }
  return WriteFileWhole(path, "[General]\n" + std::string(STATE_KEY_LAST_TARGET) + "=" + text + "\n", error);
}
