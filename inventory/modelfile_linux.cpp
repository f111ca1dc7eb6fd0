// The model file on Linux: read with iniparser; looked for in the user's
// configuration folder and the installed data folder.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include <iniparser/iniparser.h>

#include "modelfile_host.h"
#include "modeltable.h"
#include "settings.h"

namespace {

// iniparser reports an unreadable file itself; the loader's own message
// is the one the program shows.
int Quiet(const char *, ...) { return 0; }

// A value of the file as text; a missing key reads as the empty text.
std::string Value(dictionary *dict, const std::string &section, const char *key) {
  std::string full = section + ":" + key;
  const char *v = iniparser_getstring(dict, full.c_str(), nullptr);
  return v ? v : "";
}

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

bool ReadModelIni(const char *path, int max, std::vector<TModelIniSection> *out) {
  iniparser_set_error_callback(Quiet);
  dictionary *dict = iniparser_load(path);
  iniparser_set_error_callback(nullptr);
  if (dict == nullptr)
    return false;
  int n = iniparser_getnsec(dict);
  if (n < 0)
    n = 0;
  if (n > max)
    n = max;
  out->assign(static_cast<size_t>(n), TModelIniSection{});
  for (int k = 0; k < n; k++) {
    const char *sec = iniparser_getsecname(dict, k);
    TModelIniSection &s = (*out)[static_cast<size_t>(k)];
    s.name = sec ? sec : "";
    for (int i = 0; i < MODEL_INI_KEYS; i++)
      s.values[i] = Value(dict, s.name, MODEL_INI_KEY_NAMES[i]);
  }
  iniparser_freedict(dict);
  return true;
}

TPathKind StatPath(const char *path, TFileStamp *stamp) {
  struct stat st;
  if (stat(path, &st) != 0)
    return TPathKind::Missing;
  if (S_ISDIR(st.st_mode))
    return TPathKind::Folder;
  if (!S_ISREG(st.st_mode))
    return TPathKind::Other;
  stamp->id[0] = static_cast<uint64_t>(st.st_dev);
  stamp->id[1] = static_cast<uint64_t>(st.st_ino);
  stamp->id[2] = static_cast<uint64_t>(st.st_size);
  stamp->id[3] = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(st.st_mtim.tv_nsec);
  return TPathKind::File;
}

std::vector<std::string> ModelFileOtherPlaces() {
  std::vector<std::string> places = {ConfigHome() + "/Vela/" + MODEL_FILE_NAME};
  for (std::string dir : {DataDirNextToExecutable(), std::string(VELA_INSTALL_DATA_DIR)}) {
    if (dir.empty())
      continue;
    char real[PATH_MAX];
    if (realpath(dir.c_str(), real) != nullptr)
      dir = real;
    places.push_back(dir + "/" + MODEL_FILE_NAME);
  }
  return places;
}
