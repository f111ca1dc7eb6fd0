// Search settings on Windows: the registry key SoftWare\Vela\2.0 of
// HKEY_CURRENT_USER, DWORD values SerCnt and SerTim, REG_SZ value Interfaces (the
// comma-separated names of the interfaces to search from).  Read only; the
// remembered LastTarget is the one value written there, in a value of its
// own.
#include <windows.h>

#include <cstring>

#include "last_target.h"
#include "settings.h"
#include "texttable.h"
#include "win_text.h"

namespace {

constexpr const char *kRootName = "HKEY_CURRENT_USER\\";
constexpr const wchar_t *kLastTarget = L"LastTarget";

// The key path below HKEY_CURRENT_USER of a settings path.
std::wstring SubKeyOf(const std::string &path) {
  const size_t root = std::strlen(kRootName);
  if (path.compare(0, root, kRootName) == 0)
    return WideOf(path.substr(root));
  return WideOf(path);
}

// A DWORD value, read back as signed like the settings file's values;
// false when missing or of another type.
bool ReadDword(HKEY key, const std::string &name, int32_t *out) {
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExW(key, WideOf(name).c_str(), nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return false;
  *out = static_cast<int32_t>(value);
  return true;
}

// A REG_SZ value as UTF-8; false when missing or of another type.
bool ReadText(HKEY key, const wchar_t *name, std::string *out) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
    return false;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(text.data()), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
  *out = Utf8Of(text);
  return true;
}

std::string SettingsKey() { return LoadStr(TXT_REG_KEY) + VELA_SETTINGS_VERSION; }

}  // namespace

std::string ConfigHome() {
  wchar_t buf[MAX_PATH * 4];
  const DWORD n = GetEnvironmentVariableW(L"APPDATA", buf, sizeof buf / sizeof buf[0]);
  if (n == 0 || n >= sizeof buf / sizeof buf[0])
    return ".";
  return Utf8Of(std::wstring(buf, n));
}

std::string SearchSettingsPath() { return kRootName + SettingsKey(); }

TSearchSettings LoadSearchSettings(const std::string &path) {
  TSearchSettings s;
  HKEY key = nullptr;
  // Opened, never created: an absent key is the normal case and stays silent.
  if (RegOpenKeyExW(HKEY_CURRENT_USER, SubKeyOf(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return s;
  int32_t v;
  if (ReadDword(key, LoadStr(TXT_REG_SERCNT), &v))
    s.SerCnt = v;
  if (ReadDword(key, LoadStr(TXT_REG_SERTIM), &v))
    s.SerTim = v;
  ReadText(key, WideOf(SETTINGS_KEY_INTERFACES).c_str(), &s.Interfaces);
  RegCloseKey(key);
  return s;
}

TSearchSettings LoadSearchSettings() { return LoadSearchSettings(SearchSettingsPath()); }

std::string LoadLastTarget() {
  std::string text;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, SubKeyOf(SettingsKey()).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return text;
  ReadText(key, kLastTarget, &text);
  RegCloseKey(key);
  return text;
}

bool SaveLastTarget(const std::string &text) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, SubKeyOf(SettingsKey()).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring w = WideOf(text);
  const LONG r = RegSetValueExW(key, kLastTarget, 0, REG_SZ, reinterpret_cast<const BYTE *>(w.c_str()),
                                static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}
