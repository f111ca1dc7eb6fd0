// The namespace checks compare namespace files (device and inode) of
// /proc/thread-self/ns/net: the namespace is a property of each thread.
#include "netns.h"

#include "lab_netns.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace velatest {
namespace {

const char kThreadNs[] = "/proc/thread-self/ns/net";

bool NsFile(const char *path, struct stat *st) { return stat(path, st) == 0; }

bool SameNs(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// True when PID 1's namespace is visible and is the calling thread's.
bool InPid1Namespace(const struct stat &self) {
  struct stat init {};
  return NsFile("/proc/1/ns/net", &init) && SameNs(self, init);
}

// The namespace the program was started in, taken during static
// initialisation, before main can move any thread: it counts as the
// machine's own unless proven otherwise.
struct StartNs {
  struct stat st {};
  bool known = false;
};

const StartNs &StartNamespace() {
  static const StartNs start = [] {
    StartNs s;
    s.known = NsFile("/proc/self/ns/net", &s.st);
    return s;
  }();
  return start;
}
const StartNs &g_start_taken_before_main = StartNamespace();

bool BringLoopbackUp() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
  ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
  ok = ok && ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
  close(fd);
  return ok;
}

}  // namespace

bool InOwnLabNamespace() { return lab_netns_is_current(); }

bool InLabHost(const std::string &name) {
  struct stat self {}, host {};
  if (name.empty() || !NsFile(kThreadNs, &self)) return false;
  const std::string path = "/run/netns/vela-" + name + "-host";
  return NsFile(path.c_str(), &host) && SameNs(self, host) && InOwnLabNamespace();
}

bool EnterPrivateNamespace() {
  if (unshare(CLONE_NEWNET) != 0) return false;
  return BringLoopbackUp() && InPrivateNamespace();
}

bool InPrivateNamespace() {
  const StartNs &start = StartNamespace();
  struct stat self {};
  if (!start.known || !NsFile(kThreadNs, &self)) return false;
  return !SameNs(self, start.st) && !InPid1Namespace(self);
}

bool InLoopbackOnlyNamespace() {
  struct stat self {};
  if (!NsFile(kThreadNs, &self) || InPid1Namespace(self)) return false;
  struct if_nameindex *list = if_nameindex();
  if (list == nullptr) return false;
  bool only_lo = true;
  for (struct if_nameindex *i = list; i->if_index != 0; ++i) only_lo = only_lo && std::strcmp(i->if_name, "lo") == 0;
  if_freenameindex(list);
  return only_lo;
}

}  // namespace velatest
