#include "enginelab.h"

#include <arpa/inet.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace enginelab {

namespace {
ino_t NetNsInode(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 ? st.st_ino : 0;
}

std::string Field(const std::string &line, const std::string &key) {
  std::string pat = "\"" + key + "\":\"";
  size_t p = line.find(pat);
  if (p == std::string::npos)
    return std::string();
  p += pat.size();
  size_t e = line.find('"', p);
  return e == std::string::npos ? std::string() : line.substr(p, e - p);
}
}  // namespace

bool InLab() {
  const char *name = std::getenv("VELA_LAB_NAME");
  if (name == nullptr || name[0] == '\0')
    return false;
  // This thread must be in the lab's own host namespace, and (where PID 1's
  // namespace can be seen at all) not in PID 1's.
  ino_t self = NetNsInode("/proc/thread-self/ns/net");
  ino_t lab = NetNsInode(("/run/netns/vela-" + std::string(name) + "-host").c_str());
  ino_t init = NetNsInode("/proc/1/ns/net");
  return self != 0 && self == lab && self != init;
}

bool LabRequired() {
  const char *v = std::getenv("VELA_REQUIRE_LAB");
  return v != nullptr && std::string(v) == "1";
}

std::string LabName() {
  const char *name = std::getenv("VELA_LAB_NAME");
  return name ? name : "";
}

bool LoadSim(const std::string &text) {
  char path[] = "/tmp/engine-lab-XXXXXX.ini";
  int fd = mkstemps(path, 4);
  if (fd < 0)
    return false;
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    close(fd);
    return false;
  }
  close(fd);
  const char *script = std::getenv("VELA_LAB_SCRIPT");
  std::string cmd = std::string(script ? script : "scripts/lab") + " sim " + LabName() + " " + path +
                    " >/dev/null";
  int rc = std::system(cmd.c_str());
  unlink(path);
  return rc == 0;
}

std::vector<Datagram> SimLog(char link) {
  std::vector<Datagram> out;
  std::ifstream in("/run/vela-lab/" + LabName() + "/sim-" + std::string(1, link) + ".jsonl");
  std::string line;
  while (std::getline(in, line)) {
    Datagram d;
    d.src = Field(line, "src");
    d.dst = Field(line, "dst");
    std::string hex = Field(line, "hex");
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      d.bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    out.push_back(d);
  }
  return out;
}

uint32_t Ip(const char *dotted) {
  struct in_addr a;
  inet_pton(AF_INET, dotted, &a);
  return a.s_addr;
}

}  // namespace enginelab
