// vela-find --target and --interface in the lab: devices on a routed subnet
// behind a lab router (found by one address and, all of them, by the
// subnet's prefix, never by a broadcast), the flags the network layer gives
// them, bad targets, the choice of interfaces (options and settings), and
// the report of local addresses beyond the 16 a search uses.  Runs whole in
// a lab playing data/devices.ini (tests/support/run_in_lab.sh).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dsapi.h"
#include "find_run.h"
#include "lab.h"
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
