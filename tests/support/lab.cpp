// The lab helper runs scripts/lab and reads the simulators' logs.  Test
// processes run as root in the lab's host namespace, so every child process
// is started with an explicit argument vector, never through a shell string
// built from test data.
#include "lab.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

namespace velatest {
namespace {

Lab *g_env_lab = nullptr;

// Temporary files to remove at exit.  Built on first use, because tests
// write their files from static initialisers of other translation units.
struct TempFiles {
  std::mutex mutex;
  std::vector<std::string> paths;
};

TempFiles &Temps() {
  static TempFiles temps;
  return temps;
}

void RemoveTempFiles() {
  TempFiles &t = Temps();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (const std::string &f : t.paths) unlink(f.c_str());
  t.paths.clear();
}

std::string LabScript() { return std::string(VELA_SOURCE_DIR) + "/scripts/lab"; }

std::string SimBinary() {
  const char *env = std::getenv("VELA_SIM");
  return env != nullptr && *env != '\0' ? env : VELA_SIM_PATH;
}

// Runs scripts/lab with the given arguments; its messages (stdout and
// stderr) go to *out.
int RunLab(const std::vector<std::string> &args, std::string *out) {
  std::vector<std::string> argv{"env", "VELA_SIM=" + SimBinary(), "sh", "-c", "exec \"$0\" \"$@\" 2>&1",
                                LabScript()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, out);
}

// The text of "key":"value" or "key":number in one JSON log line.
bool JsonField(const std::string &line, const char *key, std::string *out) {
  const std::string tag = std::string("\"") + key + "\":";
  size_t p = line.find(tag);
  if (p == std::string::npos) return false;
  p += tag.size();
  if (p < line.size() && line[p] == '"') {
    const size_t end = line.find('"', p + 1);
    if (end == std::string::npos) return false;
    *out = line.substr(p + 1, end - p - 1);
    return true;
  }
  const size_t end = line.find_first_of(",}", p);
  if (end == std::string::npos) return false;
  *out = line.substr(p, end - p);
  return true;
}

bool ParseEndpoint(const std::string &text, uint32_t *ip, uint16_t *port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  in_addr a{};
  if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &a) != 1) return false;
  char *end = nullptr;
  const unsigned long p = std::strtoul(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || p > 65535) return false;
  *ip = a.s_addr;
  *port = static_cast<uint16_t>(p);
  return true;
}

bool ParseHex(const std::string &hex, std::vector<uint8_t> *out) {
  if (hex.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    char pair[3] = {hex[i], hex[i + 1], 0};
    char *end = nullptr;
    const unsigned long v = std::strtoul(pair, &end, 16);
    if (*end != '\0') return false;
    out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

}  // namespace

bool LabRequired() {
  const char *v = std::getenv("VELA_REQUIRE_LAB");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

int RunCommand(const std::vector<std::string> &argv, std::string *out) {
  if (argv.empty()) return -1;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  std::string text;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n > 0) text.append(buf, static_cast<size_t>(n));
    else if (n == 0 || errno != EINTR) break;
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (out != nullptr) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ParseSimLogLine(const std::string &line, SimDatagram *out) {
  std::string t, src, dst, len, hex;
  if (!JsonField(line, "t", &t) || !JsonField(line, "src", &src) || !JsonField(line, "dst", &dst) ||
      !JsonField(line, "len", &len) || !JsonField(line, "hex", &hex))
    return false;
  SimDatagram d;
  char *end = nullptr;
  d.t = std::strtod(t.c_str(), &end);
  if (*end != '\0') return false;
  d.src = src;
  d.dst = dst;
  if (!ParseEndpoint(src, &d.src_ip, &d.src_port) || !ParseEndpoint(dst, &d.dst_ip, &d.dst_port)) return false;
  if (!ParseHex(hex, &d.bytes) || std::to_string(d.bytes.size()) != len) return false;
  *out = d;
  return true;
}

Lab::Lab(const std::string &devices_ini) {
  static std::atomic<unsigned> counter{0};
  // Process ids come round again, and a lab whose test was killed (a ctest
  // time-out) stays up; a random tag keeps a new lab from taking its name.
  static const unsigned tag = std::random_device{}() & 0xFFFFFu;
  char tag_text[8];
  std::snprintf(tag_text, sizeof tag_text, "%05x", tag);
  name_ = "t" + std::to_string(getpid()) + "n" + std::to_string(++counter) + "r" + tag_text;
  if (geteuid() != 0) {
    error_ = "the lab needs root (network namespaces)";
    return;
  }
  std::vector<std::string> args{"up", name_};
  if (!devices_ini.empty()) args.push_back(devices_ini);
  std::string out;
  const int rc = RunLab(args, &out);
  ok_ = rc == 0;
  if (!ok_) error_ = "scripts/lab up " + name_ + " failed (" + std::to_string(rc) + "): " + out;
}

Lab::Lab(Attach) : owner_(false) {
  const char *name = std::getenv("VELA_LAB_NAME");
  name_ = name != nullptr ? name : "";
  if (name_.empty())
    error_ = "not started by tests/support/run_in_lab.sh (VELA_LAB_NAME is not set)";
  else if (!InLabHost(name_))
    error_ = "not inside the host namespace of lab " + name_;
  else
    ok_ = true;
}

Lab &Lab::Enclosing() {
  static Lab lab{Attach{}};
  return lab;
}

Lab::~Lab() {
  if (owner_ && geteuid() == 0) RunLab({"down", name_}, nullptr);
}

bool Lab::EnterHost() {
  if (!ok_) return false;
  const std::string path = "/run/netns/" + host_ns();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) {
    error_ = "cannot enter " + path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    ok_ = false;
    return false;
  }
  close(fd);
  if (!InOwnLabNamespace()) {
    error_ = "entered " + path + " but it is not a lab namespace";
    ok_ = false;
  }
  return ok_;
}

int Lab::RunInHost(const std::string &shell, std::string *out) {
  if (!ok_) return -1;
  return RunCommand({"ip", "netns", "exec", host_ns(), "sh", "-c", shell}, out);
}

bool Lab::LoadSim(const std::string &devices_ini) {
  if (!ok_) return false;
  std::string out;
  const int rc = RunLab({"sim", name_, devices_ini}, &out);
  if (rc != 0) {
    ok_ = false;
    error_ = "scripts/lab sim " + name_ + " failed (" + std::to_string(rc) + "): " + out;
  }
  return ok_;
}

bool Lab::AddRoutedSubnet(const std::string &subnet, const std::string &devices_ini) {
  if (!ok_) return false;
  std::string out;
  const int rc = RunLab({"routed", name_, subnet, devices_ini}, &out);
  if (rc != 0) {
    ok_ = false;
    error_ = "scripts/lab routed " + name_ + " failed (" + std::to_string(rc) + "): " + out;
  }
  return ok_;
}

std::vector<SimDatagram> Lab::SimLog(char link) const {
  std::vector<SimDatagram> out;
  std::ifstream in(run_dir() + "/sim-" + link + ".jsonl");
  std::string line;
  SimDatagram d;
  // A line the simulator is still writing has no newline yet and fails to
  // parse; it is picked up by the next read.
  while (std::getline(in, line))
    if (!in.eof() && ParseSimLogLine(line, &d)) out.push_back(d);
  return out;
}

std::vector<SimDatagram> Lab::WaitSimLog(char link, size_t count, int timeout_ms) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    std::vector<SimDatagram> log = SimLog(link);
    if (log.size() >= count || std::chrono::steady_clock::now() >= end) return log;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string Lab::WriteTempIni(const std::string &text) {
  char path[] = "/tmp/vela-test-XXXXXX.ini";
  const int fd = mkstemps(path, 4);
  if (fd < 0) return "";
  const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!ok) {
    unlink(path);
    return "";
  }
  TempFiles &t = Temps();
  // Registered after Temps() is built, so it runs before Temps() is destroyed.
  static const bool registered = std::atexit(RemoveTempFiles) == 0;
  (void)registered;
  std::lock_guard<std::mutex> lock(t.mutex);
  t.paths.push_back(path);
  return path;
}

void LabEnvironment::SetUp() {
  g_env_lab = new Lab(devices_ini_);
  g_env_lab->EnterHost();
}

void LabEnvironment::TearDown() {
  delete g_env_lab;
  g_env_lab = nullptr;
}

Lab &LabEnvironment::lab() {
  if (g_env_lab == nullptr) {
    std::fprintf(stderr, "velatest::LabEnvironment::lab() used outside the test run\n");
    std::abort();
  }
  return *g_env_lab;
}

}  // namespace velatest
