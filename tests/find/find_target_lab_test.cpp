// vela-find --target and --interface in the lab: devices on a routed subnet
// behind a lab router (found by one address and, all of them, by the
// subnet's prefix, never by a broadcast), the flags the network layer gives
// them, bad targets, the choice of interfaces (options and settings), and
// the report of local addresses beyond the 16 a search uses.  Runs whole in
// a lab playing data/devices.ini (tests/support/run_in_lab.sh).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dsapi.h"
#include "find_run.h"
#include "lab.h"
#include "wait.h"
#include "wire_text.h"

namespace {

using velatest::Fields;
using velatest::Find;
using velatest::kData;
using velatest::Lines;
using velatest::Result;

velatest::Lab &TheLab() { return velatest::Lab::Enclosing(); }

constexpr const char *kSubnet = "10.20.30.0/24";
const std::set<std::string> kRoutedIps = {"10.20.30.5", "10.20.30.77", "10.20.30.200"};

// Three devices of built-in models on the routed subnet.
const char *const kRoutedIni =
    "[r-gateway]\nip = 10.20.30.5\napid = 0x00560001\nhwid = 0x2108\nmac = 02:56:00:00:30:05\n"
    "[r-router]\nip = 10.20.30.77\napid = 0x00560002\nhwid = 0x3116\nmac = 02:56:00:00:30:77\n"
    "[r-serial]\nip = 10.20.30.200\napid = 0x00560003\nhwid = 0x1004\nmac = 02:56:00:00:30:c8\n";

// The IP addresses of the rows of a CSV result; a repeated one twice.
std::multiset<std::string> CsvIps(const std::string &out) {
  std::multiset<std::string> ips;
  const auto lines = Lines(out);
  for (size_t i = 1; i < lines.size(); i++)
    ips.insert(Fields(lines[i], ',')[3]);
  return ips;
}

std::set<std::string> Unique(const std::multiset<std::string> &ips) { return {ips.begin(), ips.end()}; }

// Runs shell in the lab's host namespace; its output.
std::string Host(const std::string &shell) {
  std::string out;
  EXPECT_EQ(TheLab().RunInHost(shell, &out), 0) << shell;
  return out;
}

class Target : public ::testing::Test {
 protected:
  void SetUp() override {
    VELA_LAB_OR_SKIP(TheLab());
    static bool routed = TheLab().AddRoutedSubnet(kSubnet, velatest::Lab::WriteTempIni(kRoutedIni));
    ASSERT_TRUE(routed) << TheLab().error();
  }
};

// Search requests the routed subnet's simulator received, per destination.
std::vector<velatest::SimDatagram> RoutedRequests() {
  std::vector<velatest::SimDatagram> out;
  for (const auto &d : TheLab().SimLog('c'))
    if (!d.bytes.empty() && d.bytes[0] == 1)
      out.push_back(d);
  return out;
}

TEST_F(Target, RoutedSubnetIsFoundByItsPrefixAndNotByBroadcast) {
  Result b = Find({"--passes", "2", "--pass-time", "200", "--format", "csv"});
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(CsvIps(b.out).size(), 9u) << "the demo set: " << b.out;
  for (const std::string &ip : CsvIps(b.out))
    EXPECT_EQ(kRoutedIps.count(ip), 0u) << "a broadcast never crosses the router: " << ip;
  EXPECT_TRUE(RoutedRequests().empty()) << "no broadcast reached the routed subnet";

  const long tx_before = std::stol(Host("cat /sys/class/net/vela-r/statistics/tx_packets"));
  Result r = Find({"--target", kSubnet, "--passes", "2", "--pass-time", "200", "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto ips = CsvIps(r.out);
  EXPECT_EQ(ips, (std::multiset<std::string>(kRoutedIps.begin(), kRoutedIps.end())))
      << "every device, each once: " << r.out;
  const long tx_after = std::stol(Host("cat /sys/class/net/vela-r/statistics/tx_packets"));
  EXPECT_GE(tx_after - tx_before, 2 * 254) << "each of the 2 passes asks all 254 host addresses";

  // The hosts are asked in address order and each request lists the
  // devices heard so far (12 bytes each after the 8-byte header): in the
  // first pass those at lower addresses, in the second all three, so
  // devices heard stay quiet as in a broadcast search.
  std::map<std::string, std::set<size_t>> sizes;
  for (const auto &d : RoutedRequests())
    sizes[d.dst].insert(d.bytes.size());
  EXPECT_EQ(sizes["10.20.30.5:4800"], (std::set<size_t>{8, 44}));
  EXPECT_EQ(sizes["10.20.30.77:4800"], (std::set<size_t>{20, 44}));
  EXPECT_EQ(sizes["10.20.30.200:4800"], (std::set<size_t>{32, 44}));

  Result j = Find({"--target", kSubnet, "--passes", "1", "--pass-time", "200", "--format", "json"});
  ASSERT_EQ(j.status, 0) << j.err;
  EXPECT_EQ(Lines(j.out)[0], "{\"found\": 3, \"devices\": [");

  // Reached by routing: no neighbour entry or host route of ours.
  EXPECT_EQ(Host("ip -4 route show | grep -c '^10\\.20\\.30\\.[0-9]* ' || true"), "0\n");
  EXPECT_EQ(Host("ip -4 neigh show | grep -c '^10\\.20\\.30\\.' || true"), "0\n");
}

TEST_F(Target, OneAddressIsADirectedSearchAndTargetsAddUp) {
  const size_t before = RoutedRequests().size();
  Result r = Find({"--target", "10.20.30.77", "--passes", "2", "--pass-time", "200", "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CsvIps(r.out), (std::multiset<std::string>{"10.20.30.77"}));
  const auto after = RoutedRequests();
  for (size_t i = before; i < after.size(); i++)
    EXPECT_EQ(after[i].dst, "10.20.30.77:4800") << "only the target is asked";

  r = Find({"--target", "10.20.30.77", "--target", "192.168.77.22", "--passes", "1", "--pass-time", "200",
            "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CsvIps(r.out), (std::multiset<std::string>{"10.20.30.77", "192.168.77.22"}));

  r = Find({"--target", kSubnet, "--target", "10.20.30.77", "--passes", "1", "--pass-time", "200",
            "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CsvIps(r.out), (std::multiset<std::string>(kRoutedIps.begin(), kRoutedIps.end())))
      << "a device two targets reach is listed once";

  r = Find({"--target", "10.20.30.99", "--passes", "1", "--pass-time", "150"});
  EXPECT_EQ(r.status, 0) << "a target that does not answer is a completed search";
  EXPECT_EQ(r.out, "No  Model  MAC Address  IP Address\n\nSearch Result - 0 Vela(s)\n");
}

std::vector<_DSNETINFO> g_reported;
int Record(_DSNETINFO *info) {
  if (info != nullptr)
    g_reported.push_back(*info);
  return 1;
}

TEST_F(Target, SubnetSearchMarksItsDevicesAsReachedByRouting) {
  ASSERT_TRUE(ds_init());
  ds_set_search_params(200, 1);
  g_reported.clear();
  EXPECT_EQ(ds_search_subnet(velatest::Ip("10.20.30.0"), 24, Record), DS_OK);
  std::set<std::string> ips;
  for (const _DSNETINFO &d : g_reported) {
    ips.insert(velatest::IpText(d.ip));
    EXPECT_NE(d.flags & DS_DIRECT, 0) << velatest::IpText(d.ip);
  }
  EXPECT_EQ(ips, kRoutedIps);
  EXPECT_EQ(g_reported.size(), 3u) << "each device reported once";

  // A subnet the host has no route to: nothing can leave.
  g_reported.clear();
  EXPECT_EQ(ds_search_subnet(velatest::Ip("10.66.0.0"), 30, Record), DS_ERR_SOCKET);
  EXPECT_TRUE(g_reported.empty());
  ds_cleanup();
}

// ---- stopping a subnet search ----------------------------------------------

// What the callback of a subnet search running on another thread saw.
struct Seen {
  std::mutex lock;
  std::vector<std::string> ips;  // devices, in the order reported
  int passes = 0;                // end-of-pass calls (null)
  bool stop_at_first = false;    // the callback raises the stop request itself
  size_t Devices() {
    std::lock_guard<std::mutex> hold(lock);
    return ips.size();
  }
};
Seen *g_seen = nullptr;

int RecordSeen(_DSNETINFO *info) {
  std::lock_guard<std::mutex> hold(g_seen->lock);
  if (info == nullptr) {
    g_seen->passes++;
    return 1;
  }
  g_seen->ips.push_back(velatest::IpText(info->ip));
  if (g_seen->stop_at_first) ds_stop_search(1);
  return 1;
}

// Requests of kind 1 the routed subnet's simulator got for ip:4800.
size_t RequestsTo(const std::string &ip) {
  size_t n = 0;
  for (const auto &d : RoutedRequests())
    n += d.dst == ip + ":4800" ? 1 : 0;
  return n;
}

class StopSubnet : public Target {
 protected:
  void SetUp() override {
    Target::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(ds_init());
    ds_stop_search(0);
    g_seen = &seen_;
  }
  void TearDown() override {
    if (thread_.joinable()) thread_.join();
    ds_stop_search(0);
    ds_cleanup();
    g_seen = nullptr;
  }
  // Runs a search of the routed /24 on a thread of its own.
  void Start() {
    done_ = false;
    thread_ = std::thread([this] {
      rc_ = ds_search_subnet(velatest::Ip("10.20.30.0"), 24, RecordSeen);
      done_ = true;
    });
  }
  // Waits for the search's end (generous bound: a search that did not stop
  // would wait for its pass of a minute); its result.
  int Ended() {
    EXPECT_TRUE(velatest::WaitUntil([this] { return done_.load(); }, 10000))
        << "the subnet search still ran 10 s after the stop";
    thread_.join();
    return rc_;
  }
  Seen seen_;
  std::thread thread_;
  std::atomic<bool> done_{false};
  int rc_ = 0;
};

// A stop while the search waits out a pass of a minute ends it at once:
// -4, the devices heard so far stay reported, no end-of-pass call; while
// the request stays raised the next search ends at its start, sending
// nothing.
TEST_F(StopSubnet, StopDuringALongPassEndsItWithTheDevicesSoFar) {
  ds_set_search_params(60000, 1);
  Start();
  ASSERT_TRUE(velatest::WaitUntil([this] { return seen_.Devices() == 3; }, 5000)) << "the three devices answer";
  ds_stop_search(1);
  EXPECT_EQ(Ended(), DS_ERR_CANCELLED);
  EXPECT_EQ(std::set<std::string>(seen_.ips.begin(), seen_.ips.end()), kRoutedIps);
  EXPECT_EQ(seen_.ips.size(), 3u);
  EXPECT_EQ(seen_.passes, 0) << "no callback after the stop, not even the end of the pass";

  const size_t asked = RoutedRequests().size();
  seen_.ips.clear();
  EXPECT_EQ(ds_search_subnet(velatest::Ip("10.20.30.0"), 24, RecordSeen), DS_ERR_CANCELLED);
  usleep(300 * 1000);  // a request that had left would be logged by now
  EXPECT_EQ(RoutedRequests().size(), asked) << "a search beginning while the stop is raised sends nothing";
  EXPECT_TRUE(seen_.ips.empty());

  // Withdrawn: the next search runs whole.
  ds_stop_search(0);
  ds_set_search_params(200, 1);
  EXPECT_EQ(ds_search_subnet(velatest::Ip("10.20.30.0"), 24, RecordSeen), DS_OK);
  EXPECT_EQ(seen_.ips.size(), 3u);
  EXPECT_EQ(seen_.passes, 1);
}

// A stop raised while a pass's requests are still going out (here by the
// callback, at the first device, 10.20.30.5) ends the search before the
// rest of the subnet is asked: 10.20.30.200 comes 195 requests, about
// 75 ms of pacing, later.  A machine too busy to take the first reply in
// that time may let the request out; a search that goes on sending would
// always do so, so three tries tell the two apart.
TEST_F(StopSubnet, StopWhileAPassIsSentEndsItBeforeTheRestOfTheSubnet) {
  ds_set_search_params(60000, 1);
  seen_.stop_at_first = true;
  bool cut_short = false;
  for (int attempt = 0; attempt < 3 && !cut_short; attempt++) {
    ds_stop_search(0);
    seen_.ips.clear();
    const size_t before = RequestsTo("10.20.30.200");
    Start();
    ASSERT_EQ(Ended(), DS_ERR_CANCELLED);
    EXPECT_EQ(seen_.ips, std::vector<std::string>{"10.20.30.5"}) << "no device reported after the stop";
    EXPECT_EQ(seen_.passes, 0);
    usleep(300 * 1000);
    cut_short = RequestsTo("10.20.30.200") == before;
  }
  EXPECT_TRUE(cut_short) << "10.20.30.200 was asked after the stop in every try";
}

// The callback of a subnet search cannot start another search: ds_search
// and ds_search_subnet return -6 at once (waiting for the search lock its
// own search holds would never end), and the outer search goes on.  Run in
// a child, so that a hang is reported, not waited for.
TEST_F(StopSubnet, SearchFromASubnetSearchsCallbackIsRefused) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    static int nested = 0, nested_subnet = 0, devices = 0;
    ds_set_search_params(200, 1);
    const int outer = ds_search_subnet(velatest::Ip("10.20.30.0"), 24, [](_DSNETINFO *info) {
      if (info != nullptr && devices++ == 0) {
        nested = ds_search(DS_BROADCAST, [](_DSNETINFO *) { return 1; });
        nested_subnet = ds_search_subnet(velatest::Ip("10.20.30.0"), 30, [](_DSNETINFO *) { return 1; });
      }
      return 1;
    });
    _exit((outer == DS_OK ? 0 : 1) | (nested == DS_ERR_NESTED ? 0 : 2) | (nested_subnet == DS_ERR_NESTED ? 0 : 4) |
          (devices == 3 ? 0 : 8));
  }
  int status = 0;
  const bool ended = velatest::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(ended) << "a search from a subnet search's callback hung";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "bits: 1 outer, 2 ds_search not refused, 4 ds_search_subnet not refused, "
                                       "8 devices";
}

// vela-find --target with a pass of a minute and a signal once the three
// routed devices have answered; its result and the time from the signal
// to its end (as a test property).  Generous bound: a finder that waited
// for the pass would take a minute.
Result SignalledSubnetSearch(int sig) {
  const size_t before = RequestsTo("10.20.30.200");
  velatest::Running p = velatest::StartProgram(
      {VELA_FIND, "--target", kSubnet, "--passes", "3", "--pass-time", "60000", "--format", "csv"});
  EXPECT_TRUE(velatest::WaitUntil([&] { return RequestsTo("10.20.30.200") > before; }, 5000));
  usleep(500 * 1000);  // the devices have answered
  const auto t0 = std::chrono::steady_clock::now();
  kill(p.pid, sig);
  int status = 0;
  if (!velatest::WaitUntil([&] { return waitpid(p.pid, &status, WNOHANG) == p.pid; }, 10000)) {
    kill(p.pid, SIGKILL);
    waitpid(p.pid, &status, 0);
    ADD_FAILURE() << "vela-find still ran 10 s after signal " << sig;
  }
  ::testing::Test::RecordProperty(
      std::string(sig == SIGTERM ? "sigterm" : "sigint") + "_ended_ms",
      std::to_string(
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count()));
  return velatest::Collect(p, status);
}

// SIGTERM ends it at once with 143 and the devices found so far; the first
// SIGINT is Stop: the subnet search ends at once (not at the end of its
// pass) and the list is printed with 0.
TEST_F(Target, SignalsDuringASubnetPassEndItAtOnceWithTheList) {
  const std::multiset<std::string> all(kRoutedIps.begin(), kRoutedIps.end());
  Result r = SignalledSubnetSearch(SIGTERM);
  EXPECT_EQ(r.status, 143) << r.err;
  EXPECT_EQ(CsvIps(r.out), all) << r.out;
  r = SignalledSubnetSearch(SIGINT);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CsvIps(r.out), all) << r.out;
}

// Requests of kind 1 the simulator of link 'a' or 'b' got so far.
size_t SearchRequestsOn(char link) {
  size_t n = 0;
  for (const auto &d : TheLab().SimLog(link))
    n += !d.bytes.empty() && d.bytes[0] == 1 ? 1 : 0;
  return n;
}

// Neighbour entries of the host on vela-a.
long NeighboursOnA() { return std::stol(Host("ip -4 neigh show dev vela-a | wc -l")); }

// A search by address never broadcasts and keeps to what it was asked: the
// addresses of the host's own subnet (192.168.77.0/24 on vela-a) inside a
// prefix are left out with a notice (no request and no neighbour entry
// for them, and the devices of that link, among them one configured for a
// foreign subnet, are not listed); a prefix wholly on it, and that
// subnet's broadcast or network address as "one device", are refused.
TEST_F(Target, SearchByAddressNeverBroadcastsAndKeepsToItsPrefix) {
  Host("ip route add 192.168.76.0/22 via 10.99.0.1");
  const size_t on_a = SearchRequestsOn('a');
  const long neighbours = NeighboursOnA();
  Result r = Find({"--target", "192.168.76.0/22", "--passes", "1", "--pass-time", "200", "--format", "csv"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "vela-find: 192.168.76.0/22: the addresses on the connected subnet 192.168.77.0/24 are left "
                   "out: a search without a target (broadcast) reaches them\n");
  EXPECT_EQ(CsvIps(r.out), std::multiset<std::string>{}) << r.out;
  EXPECT_EQ(SearchRequestsOn('a'), on_a) << "nothing reached the link of the connected subnet";
  EXPECT_EQ(NeighboursOnA(), neighbours) << Host("ip -4 neigh show dev vela-a");
  Host("ip route del 192.168.76.0/22 via 10.99.0.1");

  const std::vector<std::pair<std::string, std::string>> refused = {
      {"192.168.77.0/24", "every address of '192.168.77.0/24' is on the connected subnet 192.168.77.0/24: "
                          "a search without a target (broadcast) reaches them"},
      {"192.168.77.255", "'192.168.77.255' is the broadcast address of the connected subnet 192.168.77.0/24 "
                         "(a search without a target broadcasts)"},
      {"10.88.0.0", "'10.88.0.0' is the network address of the connected subnet 10.88.0.0/24 "
                    "(a search without a target broadcasts)"},
  };
  for (const auto &[target, why] : refused) {
    r = Find({"--target", target, "--passes", "1", "--pass-time", "100"});
    EXPECT_EQ(r.status, 2) << target;
    EXPECT_EQ(r.out, "") << target;
    EXPECT_EQ(r.err, "vela-find: option --target: " + why + "\n");
  }
  EXPECT_EQ(SearchRequestsOn('a'), on_a);

  // The network layer itself: a directed search's sockets cannot
  // broadcast, so the link's broadcast address gets nothing and lists
  // nothing; one device's own address still works.
  ASSERT_TRUE(ds_init());
  ds_set_search_params(200, 1);
  g_reported.clear();
  EXPECT_EQ(ds_search(velatest::Ip("192.168.77.255"), Record), DS_ERR_SOCKET);
  EXPECT_TRUE(g_reported.empty());
  EXPECT_EQ(SearchRequestsOn('a'), on_a);
  EXPECT_EQ(ds_search(velatest::Ip("192.168.77.22"), Record), DS_OK);
  ASSERT_EQ(g_reported.size(), 1u);
  EXPECT_EQ(velatest::IpText(g_reported[0].ip), "192.168.77.22");
  ds_cleanup();
}

// A search by address goes where the routing table sends it: the choice of
// an interface is refused with it, not ignored.
TEST_F(Target, InterfaceChoiceIsRefusedWithATarget) {
  Result r = Find({"--interface", "vela-b", "--target", kSubnet, "--passes", "1", "--pass-time", "100"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "vela-find: option --interface cannot be used with --target: a search by address goes out "
                   "where the routing table sends it\nTry 'vela-find --help' for more information.\n");
}

// A search that could not be carried out is no search that found nothing:
// status 4 and the reason, after the list of what the other targets found.
TEST_F(Target, SearchThatSentNothingExitsWithFour) {
  Result r = Find({"--target", "10.55.0.0/24", "--passes", "1", "--pass-time", "100"});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_EQ(r.err, "vela-find: cannot search 10.55.0.0/24: no search request could be sent\n");
  EXPECT_EQ(r.out, "No  Model  MAC Address  IP Address\n\nSearch Result - 0 Vela(s)\n");
  r = Find({"--target", "10.55.0.7", "--target", "10.20.30.77", "--passes", "1", "--pass-time", "100",
            "--format", "csv"});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_EQ(r.err, "vela-find: cannot search 10.55.0.7: no search request could be sent\n");
  EXPECT_EQ(CsvIps(r.out), std::multiset<std::string>{"10.20.30.77"});

  // The search thread refused (the user's thread limit, for real: the
  // main and the configuration thread fill it).
  r = velatest::RunProgram({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "prlimit", "--nproc=2",
                            VELA_FIND, "--passes", "1", "--pass-time", "100"});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_NE(r.err.find("vela-find: cannot search by broadcast: cannot start the search thread: "), std::string::npos)
      << r.err;
}

TEST_F(Target, BadTargetsExitWithTwo) {
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"10.20.30.0/31", "use /22 to /30"},
      {"10.20.0.0/16", "use /22 to /30"},
      {"10.20.30.5/24", "did you mean 10.20.30.0/24?"},
      {"224.0.0.1", "is a multicast address"},
      {"127.0.0.1", "is a loopback address"},
      {"vela-device", "is not an IPv4 address"},
      {"10.20.30", "is not an IPv4 address"},
  };
  for (const auto &[target, why] : bad) {
    Result r = Find({"--target", target});
    EXPECT_EQ(r.status, 2) << target;
    EXPECT_EQ(r.out, "") << target;
    EXPECT_NE(r.err.find("vela-find: option --target: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
  }
  Result r = Find({"--target"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("option --target needs a value"), std::string::npos) << r.err;
}

class Interfaces : public Target {
 protected:
  void TearDown() override {
    // Every interface a test here adds goes again, also after a failure.
    std::string out;
    TheLab().RunInHost("for i in vela-noip vela-off vela-many; do ip link del $i 2>/dev/null; done; true", &out);
  }
  // A settings folder whose 2.0.conf holds text; the environment entry
  // that points vela-find at it.
  std::string Settings(const std::string &text) {
    char dir[] = "/tmp/find-if-XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    mkdir((std::string(dir) + "/Vela").c_str(), 0700);
    std::ofstream(std::string(dir) + "/Vela/2.0.conf") << text;
    dirs_.push_back(dir);
    return std::string("XDG_CONFIG_HOME=") + dir;
  }
  ~Interfaces() override {
    for (const auto &d : dirs_) {
      unlink((d + "/Vela/2.0.conf").c_str());
      rmdir((d + "/Vela").c_str());
      rmdir(d.c_str());
    }
  }
  std::vector<std::string> dirs_;
};

const std::set<std::string> kLinkA = {"192.168.77.21", "192.168.77.22", "192.168.77.23",
                                      "192.168.77.24", "192.168.77.25", "172.31.9.5"};
const std::set<std::string> kLinkB = {"10.88.0.31", "10.88.0.32", "10.88.0.33"};

size_t BroadcastsTo(char link) {
  size_t n = 0;
  for (const auto &d : TheLab().SimLog(link))
    if (!d.bytes.empty() && d.bytes[0] == 1 && d.dst == "255.255.255.255:4800")
      n++;
  return n;
}

TEST_F(Interfaces, OnlyTheChosenInterfacesSearch) {
  const std::vector<std::string> quick = {"--passes", "1", "--pass-time", "200", "--format", "csv"};
  auto find = [&](std::vector<std::string> extra, std::vector<std::string> env = {}) {
    extra.insert(extra.end(), quick.begin(), quick.end());
    return Find(extra, kData, env);
  };
  const size_t a_before = BroadcastsTo('a');
  Result r = find({"--interface", "vela-b"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Unique(CsvIps(r.out)), kLinkB);
  EXPECT_EQ(BroadcastsTo('a'), a_before) << "nothing went out of vela-a";

  r = find({"--interface", "vela-a"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Unique(CsvIps(r.out)), kLinkA);

  r = find({"--interface", "vela-a", "--interface", "vela-b"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CsvIps(r.out).size(), 9u);

  // The settings key, and the option over it.
  const std::string env = Settings("[General]\nInterfaces=vela-b\n");
  r = find({}, {env});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Unique(CsvIps(r.out)), kLinkB);
  r = find({"--interface", "vela-a"}, {env});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Unique(CsvIps(r.out)), kLinkA);
  r = find({}, {Settings("[General]\nInterfaces = vela-a, vela-b\n")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CsvIps(r.out).size(), 9u);
}

TEST_F(Interfaces, UnusableInterfacesExitWithTwo) {
  Host("ip link add vela-noip type veth peer name vela-noip-p && ip link set vela-noip up && "
       "ip link add vela-off type veth peer name vela-off-p && ip addr add 10.77.1.1/24 dev vela-off");
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"nosuch0", "vela-find: interface nosuch0: no such interface\n"},
      {"vela-noip", "vela-find: interface vela-noip: the interface has no IPv4 address\n"},
      {"vela-off", "vela-find: interface vela-off: the interface is down\n"},
      {"lo", "vela-find: interface lo: a loopback interface cannot search\n"},
  };
  for (const auto &[name, message] : bad) {
    Result r = Find({"--interface", "vela-a", "--interface", name, "--passes", "1", "--pass-time", "100"});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_EQ(r.out, "") << name;
    EXPECT_EQ(r.err, message);
  }
  const std::string env = Settings("[General]\nInterfaces=vela-a,nosuch0\n");
  Result r = Find({"--passes", "1", "--pass-time", "100"}, kData, {env});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("vela-find: interface nosuch0: no such interface (Interfaces in "), std::string::npos)
      << r.err;
  for (const char *value : {"", "vela-a,vela-b"}) {
    r = Find({"--interface", value});
    EXPECT_EQ(r.status, 2) << value;
    EXPECT_NE(r.err.find("option --interface needs one interface name"), std::string::npos) << r.err;
  }
}

TEST_F(Interfaces, AddressesBeyondSixteenAreNamed) {
  // 17 more addresses on an interface of their own: with the lab's own
  // ones more than a search can use.
  std::string add = "ip link add vela-many type veth peer name vela-many-p && ip link set vela-many up";
  for (int i = 1; i <= 17; i++)
    add += " && ip addr add 172.30.0." + std::to_string(i) + "/24 dev vela-many";
  Host(add);
  // The kernel's order of the addresses that are up, loopback left out:
  // what a search takes first.
  std::vector<std::string> all;
  for (const std::string &line : Lines(Host("ip -4 -o addr show up | awk '$2 != \"lo\" {print $2, $4}'"))) {
    all.push_back(line.substr(0, line.find('/')));
  }
  ASSERT_GT(all.size(), 16u);
  std::string want = "vela-find: local addresses left out (a search uses the first 16):";
  for (size_t i = 16; i < all.size(); i++)
    want += (i > 16 ? ", " : " ") + all[i];
  Result r = Find({"--passes", "1", "--pass-time", "200", "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, want + "\n");
  EXPECT_NE(r.err.find("vela-many 172.30.0.17"), std::string::npos) << r.err;
  EXPECT_EQ(Unique(CsvIps(r.out)).count("192.168.77.21"), 1u) << "the search still runs: " << r.out;

  r = Find({"--interface", "vela-a", "--passes", "1", "--pass-time", "200", "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "") << "with a choice of one interface nothing is left out";
  EXPECT_EQ(Unique(CsvIps(r.out)), kLinkA);
}

}  // namespace
