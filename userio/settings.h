// The two search settings, read from the same file the desktop program
// uses: $XDG_CONFIG_HOME/Vela/2.0.conf (else ~/.config/Vela/2.0.conf),
// section [General], keys SerCnt and SerTim, and Interfaces, the
// comma-separated names of the interfaces a search goes out of.  Read only.
#pragma once

#include <cstdint>
#include <string>

// The settings' own version, part of their file name (Vela/2.0.conf).  It
// names the layout of the settings, not the program's release, so a new
// release keeps reading the same file.
#define VELA_SETTINGS_VERSION "2.0"

constexpr int32_t SERCNT_DEFAULT = 5;
constexpr int32_t SERTIM_DEFAULT = 1000;

// The key of the interface choice in section [General].
constexpr const char *SETTINGS_KEY_INTERFACES = "Interfaces";

struct TSearchSettings {
  int32_t SerCnt = SERCNT_DEFAULT;  // pass count
  int32_t SerTim = SERTIM_DEFAULT;  // pass time, ms
  std::string Interfaces;           // e.g. "eth0,wlan0"; empty: every interface that is up
};

// A folder of the user's: $variable when it is an absolute path, else the
// home folder followed by in_home (such as "/.config").
std::string XdgFolder(const char *variable, const char *in_home);

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else ~/.config.
std::string ConfigHome();
// Path of the settings file (the file need not exist).
std::string SearchSettingsPath();
// Reads the settings from path; a missing file, or a value that is missing
// or not a 32-bit integer, gives that value's default.  Values are passed
// on unchanged otherwise (0 and negative included).  Interfaces is taken as
// written (SplitInterfaceList of interfaces.h reads it).
TSearchSettings LoadSearchSettings(const std::string &path);
// Same, from SearchSettingsPath().
TSearchSettings LoadSearchSettings();
