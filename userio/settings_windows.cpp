// Search settings on Windows: the registry key SoftWare\Vela\2.0 of
// HKEY_CURRENT_USER, DWORD values SerCnt and SerTim, REG_SZ value Interfaces
// (the comma-separated names of the interfaces to search from).  Read only;
// the remembered LastTarget (state_file_windows.cpp) is the one value
// written there.
#include <windows.h>

#include <cstring>

#include "settings.h"
#include "texttable.h"
#include "win_registry.h"
#include "win_text.h"

std::string SettingsKey() { return LoadStr(TXT_REG_KEY) + VELA_SETTINGS_VERSION; }

std::string ConfigHome() {
  wchar_t buf[MAX_PATH * 4];
  const DWORD n = GetEnvironmentVariableW(L"APPDATA", buf, sizeof buf / sizeof buf[0]);
  if (n == 0 || n >= sizeof buf / sizeof buf[0])
    return ".";
  return Utf8Of(std::wstring(buf, n));
}

std::string SearchSettingsPath() { return REGISTRY_ROOT_NAME + SettingsKey(); }

TSearchSettings LoadSearchSettings(const std::string &path) {
  TSearchSettings s;
  HKEY key = nullptr;
  // Opened, never created: an absent key is the normal case and stays silent.
  if (RegOpenKeyExW(HKEY_CURRENT_USER, RegistrySubKey(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return s;
  int32_t v;
  if (RegistryReadDword(key, LoadStr(TXT_REG_SERCNT), &v))
    s.SerCnt = v;
  if (RegistryReadDword(key, LoadStr(TXT_REG_SERTIM), &v))
    s.SerTim = v;
  RegistryReadText(key, WideOf(SETTINGS_KEY_INTERFACES).c_str(), &s.Interfaces);
  RegCloseKey(key);
  return s;
}

TSearchSettings LoadSearchSettings() { return LoadSearchSettings(SearchSettingsPath()); }
