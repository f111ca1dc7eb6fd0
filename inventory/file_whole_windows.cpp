// Writing a file whole or not at all, on Windows: a new file beside the
// target, flushed, then moved over it (MoveFileExW replaces the target in
// one step and waits until the move is on the disk).
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "result_format.h"
#include "win_text.h"

namespace {

std::string Reason(const std::string &path, DWORD err) {
  wchar_t *text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, err, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::string reason = text ? Utf8Of(text) : "error " + std::to_string(err);
  if (text)
    LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' ||
                             reason.back() == '.'))
    reason.pop_back();
  return "cannot write " + path + ": " + reason;
}

}  // namespace

bool WriteFileWhole(const std::string &path, const std::string &data, std::string *error) {
  const std::wstring target = WideOf(path);
  if (path.empty() || path.back() == '/' || path.back() == '\\') {
    *error = Reason(path, ERROR_DIRECTORY);
    return false;
  }
  const DWORD attrs = GetFileAttributesW(target.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = Reason(path, ERROR_DIRECTORY);
    return false;
  }
  const size_t slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
  const std::wstring base = slash == std::wstring::npos ? target : target.substr(slash + 1);

  // A hidden name next to the target; CREATE_NEW keeps it ours alone.
  std::wstring temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; attempt++) {
    wchar_t suffix[48];
    std::swprintf(suffix, 48, L".%lu.%lx.%u.tmp", GetCurrentProcessId(), GetTickCount(), attempt);
    temp = folder + L"." + base + suffix;
    h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
      *error = Reason(path, GetLastError());
      return false;
    }
  }
  if (h == INVALID_HANDLE_VALUE) {
    *error = Reason(path, ERROR_FILE_EXISTS);
    return false;
  }
  DWORD err = 0;
  size_t done = 0;
  while (err == 0 && done < data.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
    if (!WriteFile(h, data.data() + done, chunk, &wrote, nullptr))
      err = GetLastError();
    done += wrote;
  }
  if (err == 0 && !FlushFileBuffers(h))
    err = GetLastError();
  if (!CloseHandle(h) && err == 0)
    err = GetLastError();
  if (err == 0) {
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      err = GetLastError();
  }
  if (err != 0) {
    DeleteFileW(temp.c_str());
    *error = Reason(path, err);
    return false;
  }
  return true;
}
