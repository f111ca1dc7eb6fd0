// What the program remembers on Windows: the target searched last, in the
// REG_SZ value LastTarget of the settings key (SoftWare\Vela\2.0 of
// HKEY_CURRENT_USER), the one value the program writes there.
#include "state_file.h"

#include "win_registry.h"
#include "win_text.h"

std::string StateHome() { return REGISTRY_ROOT_NAME + SettingsKey(); }

std::string StateFilePath() { return StateHome() + "\\" + STATE_KEY_LAST_TARGET; }

std::string LoadLastTarget() {
  std::string text;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, RegistrySubKey(SettingsKey()).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return text;
  RegistryReadText(key, WideOf(STATE_KEY_LAST_TARGET).c_str(), &text);
  RegCloseKey(key);
  return text;
}

bool SaveLastTarget(const std::string &text, std::string *error) {
  HKEY key = nullptr;
  LONG r = RegCreateKeyExW(HKEY_CURRENT_USER, RegistrySubKey(SettingsKey()).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                           nullptr, &key, nullptr);
  if (r == ERROR_SUCCESS) {
    const std::wstring w = WideOf(text);
    r = RegSetValueExW(key, WideOf(STATE_KEY_LAST_TARGET).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(w.c_str()),
                       static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  if (r != ERROR_SUCCESS) {
    *error = "cannot write " + StateFilePath() + ": error " + std::to_string(r);
    return false;
  }
  return true;
}
