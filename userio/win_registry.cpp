// Reading the current user's registry values.
#include "win_registry.h"

#include <cstring>

#include "win_text.h"

// The key path below HKEY_CURRENT_USER of a settings path.
std::wstring RegistrySubKey(const std::string &path) {
  const size_t root = std::strlen(REGISTRY_ROOT_NAME);
  if (path.compare(0, root, REGISTRY_ROOT_NAME) == 0)
    return WideOf(path.substr(root));
  return WideOf(path);
}

// A DWORD value, read back as signed like the settings file's values;
// false when missing or of another type.
bool RegistryReadDword(HKEY key, const std::string &name, int32_t *out) {
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
bool RegistryReadText(HKEY key, const wchar_t *name, std::string *out) {
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
