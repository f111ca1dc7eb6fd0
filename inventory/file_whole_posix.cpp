// Writing a file whole or not at all, on POSIX: a new file beside the
// target, flushed, then renamed over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "result_format.h"

namespace {

std::string Reason(const std::string &path, int err) {
  return "cannot write " + path + ": " + std::strerror(err);
}

bool WriteAll(int fd, const std::string &data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteFileWhole(const std::string &path, const std::string &data, std::string *error) {
  if (path.empty() || path.back() == '/') {
    *error = Reason(path, EISDIR);
    return false;
  }
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);

  struct stat old_st;
  const bool replacing = stat(path.c_str(), &old_st) == 0;
  if (replacing && S_ISDIR(old_st.st_mode)) {
    *error = Reason(path, EISDIR);
    return false;
  }

  // A hidden name next to the target; O_EXCL keeps it ours alone.
  std::string temp;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; attempt++) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%ld.%lx.%u.tmp", static_cast<long>(getpid()),
                  static_cast<unsigned long>(ts.tv_nsec), attempt);
    temp = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + "." + base + suffix;
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      *error = Reason(path, errno);
      return false;
    }
  }
  if (fd < 0) {
    *error = Reason(path, EEXIST);
    return false;
  }
  int err = 0;
  if (!WriteAll(fd, data))
    err = errno;
  else if (replacing && fchmod(fd, old_st.st_mode & 07777) != 0)
    err = errno;
  else if (fsync(fd) != 0)
    err = errno;
  if (close(fd) != 0 && err == 0)
    err = errno;
  if (err == 0 && rename(temp.c_str(), path.c_str()) != 0)
    err = errno;
  if (err != 0) {
    unlink(temp.c_str());
    *error = Reason(path, err);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return true;
}
