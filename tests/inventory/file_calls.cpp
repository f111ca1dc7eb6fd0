// Recording stand-ins for fsync, fdatasync and rename (file_calls.h).
#include "file_calls.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <mutex>

namespace {

struct FileCalls {
  std::mutex lock;
  bool on = false;
  std::vector<std::string> calls;
};

FileCalls &Log() {
  static FileCalls log;
  return log;
}

void Record(const std::string &call) {
  FileCalls &log = Log();
  std::lock_guard<std::mutex> hold(log.lock);
  if (log.on)
    log.calls.push_back(call);
}

bool Recording() {
  FileCalls &log = Log();
  std::lock_guard<std::mutex> hold(log.lock);
  return log.on;
}

// The file an open descriptor refers to.
std::string FdPath(int fd) {
  char target[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  return n < 0 ? "?" : std::string(target, static_cast<size_t>(n));
}

// path with its folder resolved, as /proc shows an open file's path; the
// file itself need not exist.
std::string Resolved(const char *path) {
  const std::string p = path;
  const size_t slash = p.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : p.substr(0, slash));
  char real[PATH_MAX];
  if (realpath(dir.c_str(), real) == nullptr)
    return p;
  const std::string base = slash == std::string::npos ? p : p.substr(slash + 1);
  return std::string(real) + (std::string(real) == "/" ? "" : "/") + base;
}

template <typename F>
F Next(const char *name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

namespace velatest {

void StartFileCalls() {
  FileCalls &log = Log();
  std::lock_guard<std::mutex> hold(log.lock);
  log.calls.clear();
  log.on = true;
}

std::vector<std::string> StopFileCalls() {
  FileCalls &log = Log();
  std::lock_guard<std::mutex> hold(log.lock);
  log.on = false;
  return log.calls;
}

}  // namespace velatest

extern "C" int fsync(int fd) {
  static const auto real = Next<int (*)(int)>("fsync");
  if (Recording())
    Record("fsync " + FdPath(fd));
  return real(fd);
}

// A data-only flush keeps the contents as safe as fsync does.
extern "C" int fdatasync(int fd) {
  static const auto real = Next<int (*)(int)>("fdatasync");
  if (Recording())
    Record("fsync " + FdPath(fd));
  return real(fd);
}

extern "C" int rename(const char *from, const char *to) {
  static const auto real = Next<int (*)(const char *, const char *)>("rename");
  if (Recording())
    Record("rename " + Resolved(from) + " " + Resolved(to));
  return real(from, to);
}
