// Test support for everything that needs the network lab (scripts/lab): a
// uniquely named lab per test program, entering its host namespace, and
// reading the simulators' logs.  The namespace checks that keep every test
// packet inside namespaces of our own are in netns.h.
//
// Two ways to put a test program into a lab, both needed:
//   - Lab / LabEnvironment: the program brings its own lab up and moves its
//     main thread into the host namespace.  Each test may have a lab of its
//     own (gtest_discover_tests runs one process per test), so lab tests run
//     in parallel.  Threads started before that move stay outside, so this
//     suits programs that start no thread before main.
//   - run_in_lab.sh + Lab::Enclosing(): the script brings the lab up and
//     starts the program inside its host namespace, so every thread lives
//     there from the first instruction on - needed where static
//     initialisation already starts threads that send (the device list's
//     configuration thread).  One lab for the whole program.
//
// With LabEnvironment, bring the lab up and enter its host namespace on the
// main thread before any other thread exists (threads inherit the namespace
// of the thread that creates them):
//
//   static auto *const lab_env = ::testing::AddGlobalTestEnvironment(
//       new velatest::LabEnvironment(velatest::Lab::WriteTempIni("[d1]\nip = 192.168.77.21\n")));
//   TEST(Search, FindsDevice) {
//     velatest::Lab &lab = velatest::LabEnvironment::lab();
//     VELA_LAB_OR_SKIP(lab);
//     ... sockets opened here live in lab.host_ns() ...
//   }
//
// Link the test with vela_testsupport and GTest::gtest_main.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "netns.h"

namespace velatest {

// True when env VELA_REQUIRE_LAB=1: a lab that cannot come up is a failure.
bool LabRequired();

// One datagram a simulator received, from its JSON log.
struct SimDatagram {
  double t = 0;                // unix time of receipt
  std::string src;             // "a.b.c.d:port"
  std::string dst;             // "a.b.c.d:port"
  uint32_t src_ip = 0;         // network order
  uint16_t src_port = 0;       // host order
  uint32_t dst_ip = 0;         // network order
  uint16_t dst_port = 0;       // host order
  std::vector<uint8_t> bytes;  // exactly as received
};

// Parses one log line; false when it is not one.
bool ParseSimLogLine(const std::string &line, SimDatagram *out);

class Lab {
 public:
  // Brings up a lab with a unique name (t<pid>n<counter>) playing the
  // devices of devices_ini (empty: the default set of scripts/lab).  The
  // simulator is the one of this build unless env VELA_SIM names another.
  explicit Lab(const std::string &devices_ini);
  ~Lab();

  // The lab run_in_lab.sh started this whole program in (env VELA_LAB_NAME);
  // it is neither brought up nor taken down here.  ok() only when the thread
  // that first asks is in that lab's host namespace.
  static Lab &Enclosing();

  Lab(const Lab &) = delete;
  Lab &operator=(const Lab &) = delete;

  bool ok() const { return ok_; }
  // Why the lab is not up (the output of scripts/lab, or the missing right).
  const std::string &error() const { return error_; }
  const std::string &name() const { return name_; }
  std::string host_ns() const { return "vela-" + name_ + "-host"; }
  // Folder of the simulators' logs and pid files.
  std::string run_dir() const { return "/run/vela-lab/" + name_; }

  // Moves the calling thread into the host namespace and checks
  // InOwnLabNamespace().  Call it on the main thread before starting others.
  // On failure the lab counts as not up (ok() is false).
  bool EnterHost();

  // Runs `sh -c shell` in the host namespace; its standard output goes to
  // *out when out is not null.  Returns the exit status (-1 when it could
  // not run).
  int RunInHost(const std::string &shell, std::string *out);

  // Restarts both simulators with another device set; truncates their logs.
  // On failure the lab counts as not up; returns ok().
  bool LoadSim(const std::string &devices_ini);
  // The same with the device set given as the text of an INI file.
  bool LoadSimText(const std::string &devices_ini_text) { return LoadSim(WriteTempIni(devices_ini_text)); }

  // Adds a router namespace and the routed subnet (e.g. "10.20.30.0/24")
  // behind it, with a simulator 'c' playing every device of devices_ini
  // there (scripts/lab routed).  On failure the lab counts as not up.
  bool AddRoutedSubnet(const std::string &subnet, const std::string &devices_ini);

  // Every datagram the simulator of link 'a' or 'b' (or 'c', the routed
  // subnet's) has logged so far.
  std::vector<SimDatagram> SimLog(char link) const;

  // Waits until the simulator of link has logged at least count datagrams
  // or timeout_ms has passed; returns what it logged.
  std::vector<SimDatagram> WaitSimLog(char link, size_t count, int timeout_ms) const;

  // Writes text to a new temporary file and returns its path; the files are
  // removed when the program exits.
  static std::string WriteTempIni(const std::string &text);

 private:
  struct Attach {};
  explicit Lab(Attach);

  std::string name_;
  std::string error_;
  bool ok_ = false;
  bool owner_ = true;  // brought up here, so taken down here
};

// A GoogleTest environment that owns one lab for the whole test program:
// SetUp brings it up and enters its host namespace on the main thread,
// TearDown takes it down.
class LabEnvironment : public ::testing::Environment {
 public:
  explicit LabEnvironment(std::string devices_ini) : devices_ini_(std::move(devices_ini)) {}
  void SetUp() override;
  void TearDown() override;
  // The shared lab; only valid while tests run.
  static Lab &lab();

 private:
  std::string devices_ini_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string &path);

// Runs argv[0] with its arguments (looked up in PATH) and returns its exit
// status, -1 when it could not run; its standard output goes to *out.
int RunCommand(const std::vector<std::string> &argv, std::string *out);

}  // namespace velatest

// Skips the test when the lab is not up, or fails it when VELA_REQUIRE_LAB=1.
#define VELA_LAB_OR_SKIP(lab)                                                   \
  do {                                                                          \
    if (!(lab).ok()) {                                                          \
      if (::velatest::LabRequired()) FAIL() << "lab required: " << (lab).error(); \
      GTEST_SKIP() << "lab not available: " << (lab).error();                   \
    }                                                                           \
  } while (0)
