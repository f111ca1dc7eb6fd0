// Helpers for the fuzzers of file readers: the input becomes the content of
// an in-memory file whose path the reader opens like any other, and the INI
// library's syntax messages are silenced so that they do not slow the run.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" {
#include <iniparser/iniparser.h>
}

namespace fuzzfile {

inline int Silent(const char *, ...) { return 0; }

// An anonymous in-memory file, reused for every input of the run.
class MemFile {
 public:
  MemFile() {
    iniparser_set_error_callback(Silent);
    fd_ = memfd_create("fuzz-input", 0);
    if (fd_ < 0) __builtin_trap();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  // Replaces the content with data and returns the path to open.
  const std::string &Write(const uint8_t *data, size_t size) {
    if (ftruncate(fd_, 0) != 0 || pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) __builtin_trap();
    return path_;
  }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace fuzzfile
