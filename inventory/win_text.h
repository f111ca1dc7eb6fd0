// UTF-8 and the UTF-16 of the Windows API (Windows build only).
#pragma once

#include <string>

std::wstring WideOf(const std::string &utf8);
std::string Utf8Of(const std::wstring &wide);
// The bytes a text read in the ANSI code page came from.
std::string AnsiBytesOf(const std::wstring &wide);
