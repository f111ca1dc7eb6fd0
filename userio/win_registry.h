// Reading the current user's registry values (Windows build only).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The name a settings path starts with.
constexpr const char *REGISTRY_ROOT_NAME = "HKEY_CURRENT_USER\\";

// The program's key below HKEY_CURRENT_USER: SoftWare\Vela\2.0.
std::string SettingsKey();

// The key path below HKEY_CURRENT_USER of a path that may start with
// REGISTRY_ROOT_NAME.
std::wstring RegistrySubKey(const std::string &path);

// A DWORD value, read back as signed; false when missing or of another type.
bool RegistryReadDword(HKEY key, const std::string &name, int32_t *out);

// A REG_SZ value as UTF-8; false when missing or of another type.
bool RegistryReadText(HKEY key, const wchar_t *name, std::string *out);
