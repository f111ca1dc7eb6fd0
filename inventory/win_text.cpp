// Text conversions for the Windows API.
#include "win_text.h"

#include <windows.h>

namespace {

std::string Narrow(UINT page, const std::wstring &wide) {
  if (wide.empty())
    return std::string();
  const int n = WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring WideOf(const std::string &utf8) {
  if (utf8.empty())
    return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8Of(const std::wstring &wide) { return Narrow(CP_UTF8, wide); }

std::string AnsiBytesOf(const std::wstring &wide) { return Narrow(CP_ACP, wide); }
