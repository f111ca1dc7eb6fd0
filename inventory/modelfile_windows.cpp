// The model file on Windows: read with the platform's own INI functions
// (GetPrivateProfileSectionNamesW, GetPrivateProfileStringW) on the file's
// full path (a bare name would be looked up in the Windows folder); looked
// for in %APPDATA%\Vela, then beside the program.
//
// Without a byte-order mark Windows decodes the file in the ANSI code page;
// the bytes are taken back from that, so a file written in UTF-8 (as on
// Linux) gives the same model names.  A file with a byte-order mark is read
// as the text it declares.
#include <windows.h>

#include <cstdio>
#include <functional>

#include "modelfile_host.h"
#include "modeltable.h"
#include "settings.h"
#include "win_text.h"

namespace {

// Calls fill(buffer, size) with ever larger buffers until the text fits
// (fill returns the characters written, size - 1 or size - 2 when cut).
template <typename Fill>
std::wstring ReadGrowing(Fill fill) {
  for (DWORD size = 1024;; size *= 4) {
    std::wstring buf(size, L'\0');
    const DWORD n = fill(buf.data(), size);
    if (n + 2 < size || size >= (1u << 24)) {
      buf.resize(n);
      return buf;
    }
  }
}

// True when the file declares its text with a byte-order mark.
bool HasByteOrderMark(const std::wstring &path) {
  FILE *f = _wfopen(path.c_str(), L"rb");
  if (f == nullptr)
    return false;
  unsigned char b[3] = {};
  const size_t n = std::fread(b, 1, 3, f);
  std::fclose(f);
  return (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) ||
         (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)));
}

std::wstring FullPath(const std::wstring &path) {
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0)
    return path;
  std::wstring full(n, L'\0');
  const DWORD m = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(m);
  return full;
}

std::string ProgramFolder() {
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0)
      return std::string();
    if (n < exe.size()) {
      exe.resize(n);
      break;
    }
    exe.resize(exe.size() * 2);
  }
  const size_t slash = exe.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string() : Utf8Of(exe.substr(0, slash));
}

}  // namespace

bool ReadModelIni(const char *path, int max, std::vector<TModelIniSection> *out) {
  const std::wstring file = FullPath(WideOf(path));
  // The INI functions read a missing or unreadable file as an empty one.
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  CloseHandle(h);
  const bool unicode = HasByteOrderMark(file);
  auto text = [&](const std::wstring &w) { return unicode ? Utf8Of(w) : AnsiBytesOf(w); };

  const std::wstring names = ReadGrowing([&](wchar_t *buf, DWORD size) {
    return GetPrivateProfileSectionNamesW(buf, size, file.c_str());
  });
  out->clear();
  for (size_t at = 0; at < names.size() && static_cast<int>(out->size()) < max;) {
    const size_t end = names.find(L'\0', at);
    const std::wstring section = names.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
    at = end == std::wstring::npos ? names.size() : end + 1;
    if (section.empty())
      continue;
    TModelIniSection s;
    s.name = text(section);
    for (int i = 0; i < MODEL_INI_KEYS; i++) {
      const std::wstring key = WideOf(MODEL_INI_KEY_NAMES[i]);
      s.values[i] = text(ReadGrowing([&](wchar_t *buf, DWORD size) {
        return GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buf, size, file.c_str());
      }));
    }
    out->push_back(s);
  }
  return true;
}

TPathKind StatPath(const char *path, TFileStamp *stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WideOf(path).c_str(), GetFileExInfoStandard, &data))
    return TPathKind::Missing;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    return TPathKind::Folder;
  // The full path stands in for the file's identity.
  const std::wstring full = FullPath(WideOf(path));
  stamp->id[0] = std::hash<std::wstring>()(full);
  stamp->id[1] = (static_cast<uint64_t>(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
  stamp->id[2] = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp->id[3] = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return TPathKind::File;
}

std::vector<std::string> ModelFileOtherPlaces() {
  std::vector<std::string> places = {ConfigHome() + "\\Vela\\" + MODEL_FILE_NAME};
  const std::string program = ProgramFolder();
  if (!program.empty())
    places.push_back(program + "\\" + MODEL_FILE_NAME);
  return places;
}
