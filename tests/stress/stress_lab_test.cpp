// vela-find against 64 simulated devices, 32 on each lab link, under each
// fault the simulator injects and under each kind of flood.  Every search
// must keep what the protocol can promise: exit status 0, no row twice, no
// row for a device that does not exist (except under payload corruption,
// which nothing in the protocol can detect), host neighbour and route
// tables left clean, and the pass rule: the simulator's log of the search
// requests gives the passes made and the last pass that heard a new device
// (the next request lists more devices), and the passes must be exactly
// max(P, k + P - 1), within a wall time that those passes explain.
//
// Fairness.*: a flood arriving on one link must not hide the other link's
// devices (the readable sockets are read in turn).
//
// Runs whole in one lab (run_in_lab.sh); each test loads its own device set
// into the simulators, so the tests run one after the other.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "lab.h"
#include "sim_device.h"
#include "stress_devices.h"
#include "wait.h"
#include "wire_text.h"





namespace {

using velatest::Ip;

velatest::Lab &TheLab() { return velatest::Lab::Enclosing(); }

const std::vector<velastress::Device> kDevices = velastress::Devices(32);
const char *const kHostA = "192.168.77.10";

struct Row {
  std::string model, mac, ip;
  std::string Key() const { return model + " " + mac + " " + ip; }
};

struct FindRun {
  int status = -1;
  std::string out;
  std::vector<Row> rows;
  double wall_ms = 0;
};

// One search by vela-find with P passes of T ms, CSV output; wrapper, when
// given, is the command vela-find runs under.
FindRun Find(int passes, int pass_ms, const std::vector<std::string> &wrapper = {}) {
  FindRun r;
  std::vector<std::string> argv = wrapper;
  for (const char *a : {VELA_FIND, "--passes"}) argv.push_back(a);
  for (const std::string &a : {std::to_string(passes), std::string("--pass-time"), std::to_string(pass_ms),
                               std::string("--format"), std::string("csv"), std::string("--models"),
                               std::string(VELA_SOURCE_DIR "/data/model_name.ini")})
    argv.push_back(a);
  const auto start = std::chrono::steady_clock::now();
  r.status = velatest::RunCommand(argv, &r.out);
  r.wall_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::istringstream in(r.out);
  std::string line;
  std::getline(in, line);  // the column captions
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream s(line);
    std::string field;
    while (std::getline(s, field, ',')) f.push_back(field);
    if (f.size() == 4) r.rows.push_back(Row{f[1], f[2], f[3]});
    else ADD_FAILURE() << "not a row: " << line;
  }
  return r;
}

// Passes a search made, from the requests the simulator of link a logged
// from the host: their number, and the last pass after which the next
// request listed more devices (0: none).
struct Passes {
  int made = 0;
  int last_new = 0;
};

Passes PassesFromLog() {
  Passes p;
  std::vector<size_t> listed;
  for (const velatest::SimDatagram &d : TheLab().SimLog('a'))
    if (d.src_ip == Ip(kHostA) && !d.bytes.empty() && d.bytes[0] == DS_KIND_SEARCH)
      listed.push_back((d.bytes.size() - DS_HEADER_SIZE) / DS_ENTRY_SIZE);
  p.made = static_cast<int>(listed.size());
  for (size_t i = 0; i + 1 < listed.size(); ++i)
    if (listed[i + 1] > listed[i]) p.last_new = static_cast<int>(i) + 1;
  return p;
}

// A flood from the namespace of link a by `senders` processes of this
// build's simulator, each sending at `rate`, while the search runs; their
// reports (what each sent) are kept.
class Flood {
 public:
  Flood(const std::string &kind, int rate, double seconds, const std::string &to, int senders = 1) {
    char path[] = "/tmp/vela-flood-XXXXXX";
    const int fd = mkstemp(path);
    report_path_ = path;
    const std::string ns = "vela-" + TheLab().name() + "-a";
    for (int k = 0; k < senders; ++k) {
      std::vector<std::string> argv = {"ip",  "netns", "exec", ns, VELA_SIM_FOR_TESTS, "--flood", kind,
                                       "--rate", std::to_string(rate), "--duration", std::to_string(seconds),
                                       "--seed", std::to_string(k + 1), "--to", to};
      const pid_t pid = fork();
      if (pid == 0) {
        dup2(fd, 2);
        std::vector<char *> args;
        for (std::string &a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
      }
      if (pid > 0) pids_.push_back(pid);
    }
    close(fd);
  }
  ~Flood() { Wait(); }
  // Waits for the flood's end; 0 when every sender exited with 0.
  int Wait() {
    for (pid_t pid : pids_) {
      int st = 0;
      waitpid(pid, &st, 0);
      if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) status_ = 1;
    }
    if (!pids_.empty()) {
      pids_.clear();
      report_ = velatest::ReadFile(report_path_);
      unlink(report_path_.c_str());
    }
    return status_;
  }
  const std::string &report() const { return report_; }

 private:
  std::vector<pid_t> pids_;
  int status_ = 0;
  std::string report_path_, report_;
};

// What a scenario allows and promises.
struct Expect {
  bool all_found = false;  // every device must be listed
  bool ghosts = false;     // rows of devices that do not exist may appear
  double reply_spread_ms = 0;  // latest reply after a request (delay + jitter)
  double flood_s = 0;          // a flood that may prolong passes
  bool identity_limit = false; // 128 identities (real or not) may end the search early
};

void CheckSearch(const std::string &what, const FindRun &r, int passes, int pass_ms, const Expect &e) {
  SCOPED_TRACE(what);
  EXPECT_EQ(r.status, 0) << r.out;

  std::map<std::string, const velastress::Device *> real;
  for (const velastress::Device &d : kDevices) real[d.model + " " + d.mac + " " + d.ip] = &d;
  std::set<std::string> seen;
  int found = 0, ghosts = 0;
  for (const Row &row : r.rows) {
    EXPECT_TRUE(seen.insert(row.Key()).second) << "row twice: " << row.Key();
    if (real.count(row.Key())) {
      ++found;
    } else {
      ++ghosts;
      EXPECT_TRUE(e.ghosts) << "row of no device: " << row.Key();
    }
  }
  if (e.all_found) {
    std::string missing;
    for (const auto &[key, dev] : real) {
      bool listed = false;
      for (const Row &row : r.rows) listed = listed || row.Key() == key;
      if (!listed) missing += " " + dev->name;
    }
    EXPECT_EQ(found, static_cast<int>(kDevices.size())) << "missing:" << missing;
  }

  // Nothing left in the host's tables: no permanent neighbour entry and no
  // host route of the finder (metric 20).
  std::string tables;
  TheLab().RunInHost("ip -4 neigh show nud permanent; ip -4 route show table all | grep 'metric 20' || true", &tables);
  EXPECT_EQ(tables, "");

  const Passes p = PassesFromLog();
  const int expected_passes = std::max(passes, p.last_new + passes - 1);
  if (e.identity_limit) {
    // The search may end at its 128th identity, before the pass rule ends it.
    EXPECT_LE(p.made, expected_passes) << "last pass with a new device: " << p.last_new;
  } else {
    EXPECT_EQ(p.made, expected_passes) << "last pass with a new device: " << p.last_new;
  }
  // At least P passes of at least T each; at most the passes made, each T
  // after its last reply, with a generous allowance for a busy machine.
  EXPECT_GE(r.wall_ms, passes * pass_ms);
  const double bound = p.made * (pass_ms + e.reply_spread_ms) * 1.5 + e.flood_s * 1000 + 5000;
  EXPECT_LE(r.wall_ms, bound);

  std::printf("[ stress   ] %-24s found %d/%zu, %d other row(s), %d passes (last new %d), %.0f ms (bound %.0f)\n",
              what.c_str(), found, kDevices.size(), ghosts, p.made, p.last_new, r.wall_ms, bound);
  std::fflush(stdout);
}

class Stress : public ::testing::Test {
 protected:
  void SetUp() override { VELA_LAB_OR_SKIP(TheLab()); }
  // Loads the 64 devices with extra keys for each, searches with P passes
  // of T ms and checks the search.
  void Run(const std::string &what, const std::string &extra, int passes, int pass_ms, const Expect &e) {
    ASSERT_TRUE(TheLab().LoadSimText(velastress::DeviceFile(kDevices, extra))) << TheLab().error();
    const FindRun r = Find(passes, pass_ms);
    CheckSearch(what, r, passes, pass_ms, e);
  }
};

// Loss 10 % each way: a device is missed only when every request of the
// search, or its reply, is lost.  With independent draws a pass misses a
// device with chance 1 - 0.9^2 = 0.19, so all of at least 8 passes miss it
// with chance 0.19^8 = 1.7e-6, and one of 64 devices is missed with chance
// below 1.1e-4.  With seed 10 the simulator's draws are fixed: the test
// replays each device's generator and checks that each device answers at
// least one of its first 8 requests, so for this seed the chance of a miss
// is 0 (each device gets one request per pass: the broadcast from
// 192.168.77.10 reaches link a only, the one from 10.88.0.10 link b only).
TEST_F(Stress, Loss10PercentEveryDeviceFound) {
  constexpr int kPasses = 8, kPassMs = 250;
  constexpr uint64_t kSeed = 10;
  for (const velastress::Device &d : kDevices) {
    SimDevice sim;
    sim.name = d.name;
    sim.seed = kSeed;
    sim.faults.loss = 0.1;
    sim_fault_start(&sim);
    bool answered = false;
    for (int i = 0; i < kPasses && !answered; ++i)
      answered = !sim_fault_request_lost(&sim) && sim_fault_reply(&sim).copies > 0;
    ASSERT_TRUE(answered) << d.name << " is lost in all of its first " << kPasses << " requests with seed " << kSeed;
  }
  Run("loss 10 %", "loss = 0.1\nseed = " + std::to_string(kSeed) + "\n", kPasses, kPassMs, Expect{true, false, 0, 0});
}

TEST_F(Stress, Loss30Percent) {
  Run("loss 30 %", "loss = 0.3\nseed = 30\n", 8, 250, Expect{false, false, 0, 0});
}

// No fault that loses a reply: every device is heard in the first pass.
TEST_F(Stress, DelayWithJitter) {
  Run("delay 100 + jitter 100 ms", "delay_ms = 100\njitter_ms = 100\nseed = 3\n", 5, 400, Expect{true, false, 200, 0});
}

TEST_F(Stress, Duplicate20Percent) {
  Run("duplicate 20 %", "duplicate = 0.2\nseed = 4\n", 5, 250, Expect{true, false, 0, 0});
}

// Every reply delayed by a random 0..50 ms: each burst arrives reordered.
TEST_F(Stress, Reorder) {
  Run("reorder (jitter 50 ms)", "jitter_ms = 50\nseed = 5\n", 5, 250, Expect{true, false, 50, 0});
}

// Corrupted payloads can name devices that do not exist; nothing can tell.
// Each corrupted identity also counts as a new device, which prolongs the
// search, until 128 identities end it.
TEST_F(Stress, Corrupt5Percent) {
  Run("corrupt 5 %", "corrupt = 0.05\nseed = 6\n", 5, 250, Expect{false, true, 0, 0, true});
}

// Floods at the highest rate the simulator offers, for longer than the
// search, at the host's search socket on link a while the 64 devices answer.
void FloodSearch(const std::string &kind) {
  constexpr double kFloodS = 3;
  ASSERT_TRUE(TheLab().LoadSimText(velastress::DeviceFile(kDevices))) << TheLab().error();
  Flood flood(kind, 1000000, kFloodS, std::string(kHostA) + ":" + std::to_string(DS_LOCAL_PORT));
  usleep(200 * 1000);
  const FindRun r = Find(3, 250);
  EXPECT_EQ(flood.Wait(), 0) << flood.report();
  std::printf("[ stress   ] flood %s: %s", kind.c_str(), flood.report().c_str());
  CheckSearch("flood " + kind, r, 3, 250, Expect{false, false, 0, kFloodS});
}

TEST_F(Stress, FloodRandom) { FloodSearch("random"); }
TEST_F(Stress, FloodUnknownModel) { FloodSearch("unknown-model"); }
TEST_F(Stress, FloodOversize) { FloodSearch("oversize"); }

class Fairness : public Stress {};

// While one socket is flooded, the other socket's replies must still be
// read.  The devices of link a answer at once, those of link b 400 ms after
// each request.  As soon as the simulator of link a logs the first search
// request, floods of random datagrams start towards the host's socket on
// link a, from three senders at the highest rate the simulator offers, for
// longer than the search: link a's devices are heard before the flood
// fills that socket, and link b's replies arrive on a socket that no flood
// reaches.  Reading the first readable socket each time, a reader slower
// than the flood never turns to link b (32 of 64 listed in each of 3 runs
// before the change); reading the readable sockets in turn, it hears all 64.
TEST_F(Fairness, FloodOnOneLinkHidesNoDevice) {
  constexpr int kPasses = 3, kPassMs = 700;
  std::vector<velastress::Device> a, b;
  for (const velastress::Device &d : kDevices) (d.link == 'a' ? a : b).push_back(d);
  ASSERT_TRUE(TheLab().LoadSimText(velastress::DeviceFile(a) + velastress::DeviceFile(b, "delay_ms = 400\n")))
      << TheLab().error();

  FindRun r;
  // vela-find runs under strace, which stops it at each of its poll and
  // recvfrom calls: a reader slower than any flood, so the outcome does not
  // hang on which of the two this machine happens to run faster.  The leak
  // check of an AddressSanitizer build cannot run under a tracer, so it is
  // off for this one run.
  const char *asan = std::getenv("ASAN_OPTIONS");
  const std::string asan_options = std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0";
  std::thread finder([&r, &asan_options] {
    r = Find(kPasses, kPassMs,
             {"env", asan_options, "strace", "-f", "-qq", "--seccomp-bpf", "-e", "trace=recvfrom,poll", "-o",
              "/dev/null"});
  });
  const bool asked = velatest::WaitUntil(
      [] {
        for (const velatest::SimDatagram &d : TheLab().SimLog('a'))
          if (d.src_ip == Ip(kHostA) && !d.bytes.empty() && d.bytes[0] == DS_KIND_SEARCH) return true;
        return false;
      },
      10000);
  Flood flood("random", 1000000, 4, std::string(kHostA) + ":" + std::to_string(DS_LOCAL_PORT), 3);
  finder.join();
  ASSERT_TRUE(asked) << "no search request reached link a";
  EXPECT_EQ(flood.Wait(), 0) << flood.report();
  std::printf("[ fairness ] %s", flood.report().c_str());
  CheckSearch("fairness: random flood on a", r, kPasses, kPassMs, Expect{true, false, 400, 4});
}

}  // namespace
