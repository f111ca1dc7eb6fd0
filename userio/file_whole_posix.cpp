// Writing a file whole or not at all, on POSIX: a new file beside the
// target (the file a symbolic link leads to), flushed, then renamed over it.
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

// The file a write to path replaces: path itself or, when path is a
// symbolic link (or a chain of them), the file it leads to, so that the link
// stays a link and its target gets the data.  False with ELOOP in *err
// after 40 links, as the system gives up.
bool FinalPath(const std::string &path, std::string *out, int *err) {
  constexpr int kMaxLinks = 40;
  std::string p = path;
  for (int links = 0; links <= kMaxLinks; links++) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *out = p;  // not there yet, or no link: written as it is
      return true;
    }
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
    const ssize_t n = readlink(p.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) {
      *err = n < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    target.resize(static_cast<size_t>(n));
    const size_t slash = p.rfind('/');
    p = target[0] == '/' || slash == std::string::npos ? target : p.substr(0, slash + 1) + target;
  }
  *err = ELOOP;
  return false;
}

}  // namespace

bool WriteFileWhole(const std::string &path, const std::string &data, std::string *error) {
  if (path.empty() || path.back() == '/') {
    *error = Reason(path, EISDIR);
    return false;
  }
  // Messages name the path as the user gave it; the work happens at the
  // file it leads to.
  std::string file;
  int link_err = 0;
  if (!FinalPath(path, &file, &link_err)) {
    *error = Reason(path, link_err);
    return false;
  }
  const size_t slash = file.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));

  struct stat old_st;
  const bool replacing = stat(file.c_str(), &old_st) == 0;
  if (replacing && S_ISDIR(old_st.st_mode)) {
    *error = Reason(path, EISDIR);
    return false;
  }

  // A hidden name next to the target, short whatever the target's name
  // (any name within the system's limit can be written); O_EXCL keeps it
  // ours alone.
  std::string temp;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; attempt++) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char name[64];
    std::snprintf(name, sizeof name, ".vela-result.%ld.%lx.%u.tmp", static_cast<long>(getpid()),
                  static_cast<unsigned long>(ts.tv_nsec), attempt);
    temp = (slash == std::string::npos ? "" : file.substr(0, slash + 1)) + name;
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
  if (err == 0 && rename(temp.c_str(), file.c_str()) != 0)
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
