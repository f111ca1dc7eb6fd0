#include "netns_guard.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace nettest {

namespace {

bool ns_inode(const char *path, ino_t *ino) {
  struct stat st {};
  if (stat(path, &st) != 0) return false;
  *ino = st.st_ino;
  return true;
}

// The namespace the program was started in, taken before main runs: it
// counts as the machine's own unless proven otherwise.
ino_t start_inode() {
  static const ino_t ino = [] {
    ino_t i = 0;
    return ns_inode("/proc/self/ns/net", &i) ? i : 0;
  }();
  return ino;
}
const ino_t g_taken_at_start = start_inode();

}  // namespace

bool OutsideHostNamespace() {
  ino_t self = 0;
  if (!ns_inode("/proc/thread-self/ns/net", &self) || start_inode() == 0) return false;
  if (self == start_inode()) return false;
  ino_t init = 0;
  // PID 1's namespace may be hidden from us; where it is visible, it is not ours.
  return !ns_inode("/proc/1/ns/net", &init) || self != init;
}

bool EnterPrivateNamespace() {
  if (unshare(CLONE_NEWNET) != 0) return false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
  ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
  ok = ok && ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
  close(fd);
  return ok && OutsideHostNamespace();
}

bool Shell(const char *cmd) {
  const int rc = std::system(cmd);
  return rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
}

}  // namespace nettest
