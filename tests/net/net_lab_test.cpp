// The network layer against simulated devices in the lab: sockets and ports,
// search passes and their requests as the simulators logged them, unicast
// retries and cancellation, and the host's ARP and route tables as the
// kernel shows them (ip neigh / ip route) around requests to devices heard by
// broadcast.  Every test runs in its own process with its own lab, inside the
// lab's host namespace, entered before ds_init loads the local addresses.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dsapi.h"
#include "iphelp.h"
#include "lab.h"
#include "sock_util.h"
#include "tqsock.h"
#include "wait.h"

namespace {

auto *const g_env = ::testing::AddGlobalTestEnvironment(new velatest::LabEnvironment(""));

using nettest::Ip4;

std::string hex(const std::vector<uint8_t> &b) {
  std::string s;
  char two[3];
  for (uint8_t c : b) {
    std::snprintf(two, sizeof two, "%02x", c);
    s += two;
  }
  return s;
}

// One simulated device: apid 0x0A0B0C00 + k, hwid 0x0100 + k, MAC
// 02:00:00:00:00:k unless mac is given.
std::string Dev(int k, const std::string &ip, const std::string &extra = "", std::string mac = "") {
  char text[160];
  if (mac.empty()) {
    std::snprintf(text, sizeof text, "02:00:00:00:00:%02x", k);
    mac = text;
  }
  std::snprintf(text, sizeof text, "[dev%d]\nip = %s\napid = 0x%08X\nhwid = 0x%04X\nmac = %s\n", k,
                ip.c_str(), 0x0A0B0C00u + static_cast<unsigned>(k), 0x0100u + static_cast<unsigned>(k),
                mac.c_str());
  return text + extra + "\n";
}

// The 12-byte known-device entry of Dev(k) as it must stand in a request.
std::string EntryHex(int k) {
  char text[32];
  std::snprintf(text, sizeof text, "%02x0c0b0a%02x010200000000%02x", k, k, k);
  return text;
}

// The record a search gives for Dev(k, ip) when heard by broadcast through
// local_ip (DS_DIRECT clear: requests to it change the host tables).
_DSNETINFO Record(int k, const std::string &ip, const std::string &local_ip) {
  _DSNETINFO d{};
  d.apid = 0x0A0B0C00u + static_cast<uint32_t>(k);
  d.hwid = static_cast<uint16_t>(0x0100 + k);
  d.ip = velatest::Ip(ip);
  d.local_ip = velatest::Ip(local_ip);
  const uint8_t mac[6] = {2, 0, 0, 0, 0, static_cast<uint8_t>(k)};
  std::memcpy(d.mac, mac, 6);
  return d;
}

// A record without identity for ip, marked as heard by a directed search,
// so that requests to it leave the host tables alone.
_DSNETINFO DirectDevice(const std::string &ip) {
  _DSNETINFO d{};
  d.ip = velatest::Ip(ip);
  d.flags = DS_DIRECT;
  return d;
}

// A device that never answers a unicast request.
const char kSilentIp[] = "192.168.77.40";

// What the search callback saw: devices in order, nulls, and the sequence.
struct Heard {
  std::vector<_DSNETINFO> devices;
  std::vector<_DSNETINFO *> records;  // valid until the search ends
  std::vector<int> events;            // index of a new device, -1 for a pass end
  int nulls = 0;
  int refuse_device = -1;  // return 0 for the device with this index
  int refuse_pass = -1;    // return 0 at the end of this pass (1-based)
  // Snapshot of record 0's addresses at the end of each pass.
  std::vector<_DSNETINFO> first_at_pass_end;
};
Heard g_heard;

int OnDevice(_DSNETINFO *d) {
  if (d == nullptr) {
    g_heard.nulls++;
    g_heard.events.push_back(-1);
    if (!g_heard.records.empty()) g_heard.first_at_pass_end.push_back(*g_heard.records[0]);
    return g_heard.nulls == g_heard.refuse_pass ? 0 : 1;
  }
  const int index = static_cast<int>(g_heard.devices.size());
  g_heard.devices.push_back(*d);
  g_heard.records.push_back(d);
  g_heard.events.push_back(index);
  return index == g_heard.refuse_device ? 0 : 1;
}

std::vector<velatest::SimDatagram> OfKind(const std::vector<velatest::SimDatagram> &log, uint8_t kind) {
  std::vector<velatest::SimDatagram> out;
  for (const auto &d : log)
    if (!d.bytes.empty() && d.bytes[0] == kind) out.push_back(d);
  return out;
}

// Lines of ip neigh and ip route (main table) in the lab's host namespace
// that are about addr, as the kernel shows them.
std::vector<std::string> TableLines(velatest::Lab &lab, const std::string &addr) {
  std::string out;
  EXPECT_EQ(lab.RunInHost("ip -4 neigh show; ip -4 route show table main", &out), 0);
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(addr + " ", 0) == 0) lines.push_back(line);
  return lines;
}

bool HasLine(const std::vector<std::string> &lines, const std::vector<std::string> &parts) {
  for (const std::string &l : lines) {
    bool all = true;
    for (const std::string &p : parts) all = all && l.find(p) != std::string::npos;
    if (all) return true;
  }
  return false;
}

// A progress callback that takes the table lines about one address at the
// first poll of a request, that is while the request runs.
struct TableSnapshot {
  velatest::Lab *lab;
  std::string addr;
  std::vector<std::string> lines;
  bool taken = false;
};

int SnapshotOnce(int32_t, int32_t, int32_t, void *ctx) {
  auto *snap = static_cast<TableSnapshot *>(ctx);
  if (!snap->taken) {
    snap->taken = true;
    snap->lines = TableLines(*snap->lab, snap->addr);
  }
  return 1;
}

double Ms(const std::chrono::steady_clock::time_point &t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

class NetLab : public ::testing::Test {
 protected:
  void SetUp() override {
    lab_ = &velatest::LabEnvironment::lab();
    VELA_LAB_OR_SKIP(*lab_);
    ASSERT_TRUE(velatest::InOwnLabNamespace()) << "refusing to send outside the lab";
    static const bool init = ds_init();
    ASSERT_TRUE(init);
    ASSERT_EQ(tqsock_local_count(), 2);
    g_heard = Heard{};
  }

  void Load(const std::string &ini) {
    ASSERT_TRUE(lab_->LoadSimText(ini)) << lab_->error();
  }

  std::string Host(const std::string &cmd) {
    std::string out;
    EXPECT_EQ(lab_->RunInHost(cmd, &out), 0) << cmd;
    return out;
  }

  std::vector<std::string> TableLines(const std::string &addr) { return ::TableLines(*lab_, addr); }

  // A set-value request to dev with time-out T and A attempts; the table
  // lines about addr are taken while it runs.
  struct Watched {
    int result;
    TableSnapshot snap;
  };
  Watched SetValueWatching(_DSNETINFO *dev, const std::string &addr, int32_t timeout, int32_t attempts) {
    Watched w{0, {lab_, addr, {}, false}};
    const _TQSETTINGS s{timeout, attempts, SnapshotOnce, &w.snap};
    const int32_t value = 5;
    w.result = tqsock_execute(DS_KIND_SET_VALUE, dev, &value, nullptr, &s);
    return w;
  }

  velatest::Lab *lab_ = nullptr;
};

// ---- sockets and ports ---------------------------------------------------

TEST_F(NetLab, EachLocalAddressBroadcastsOnItsOwnLink) {
  Load(Dev(1, "192.168.77.21") + Dev(2, "10.88.0.22"));
  ds_set_search_params(100, 1);
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  ASSERT_EQ(g_heard.devices.size(), 2u);
  for (const _DSNETINFO &d : g_heard.devices) {
    if (d.ip == Ip4("192.168.77.21")) EXPECT_EQ(d.local_ip, Ip4("192.168.77.10"));
    else EXPECT_EQ(d.local_ip, Ip4("10.88.0.10"));
    EXPECT_EQ(d.flags & DS_DIRECT, 0);
  }
  // The limited broadcast of the socket bound to 192.168.77.10 leaves through
  // vela-a only, that of 10.88.0.10 through vela-b only: each link's
  // simulator heard exactly one request, from its own side's address.
  const auto a = lab_->SimLog('a');
  const auto b = lab_->SimLog('b');
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(a[0].src, "192.168.77.10:13316");
  EXPECT_EQ(b[0].src, "10.88.0.10:13316");
  EXPECT_EQ(a[0].dst, "255.255.255.255:4800");
  EXPECT_EQ(b[0].dst, "255.255.255.255:4800");
  EXPECT_EQ(hex(a[0].bytes), "0100000800000000");
}

TEST_F(NetLab, LimitedBroadcastLeavesThroughTheBoundAddressInterface) {
  Load(Dev(1, "192.168.77.21") + Dev(2, "10.88.0.22"));
  // One socket at a time: what each link's simulator hears shows the link
  // the datagram left by.  No device option, no SO_BINDTODEVICE: the kernel
  // sends a limited broadcast with a bound source out of that source's
  // interface.
  for (int keep = 0; keep < 2; ++keep) {
    _TQSOCKSET set;
    ASSERT_EQ(tqsock_open_set(&set, true), TQ_OK);
    ASSERT_EQ(set.count, 2);
    _TQSOCKSET one{};
    one.count = 1;
    one.sock[0] = set.sock[keep];
    const size_t a0 = lab_->SimLog('a').size();
    const size_t b0 = lab_->SimLog('b').size();
    ASSERT_EQ(tqsock_send_search(&one, DS_BROADCAST, nullptr, 0), TQ_OK);
    const char link = keep == 0 ? 'a' : 'b';
    const auto log = lab_->WaitSimLog(link, (link == 'a' ? a0 : b0) + 1, 1000);
    ASSERT_EQ(log.size(), (link == 'a' ? a0 : b0) + 1);
    EXPECT_EQ(log.back().src, keep == 0 ? "192.168.77.10:13316" : "10.88.0.10:13316");
    EXPECT_EQ(log.back().dst, "255.255.255.255:4800");
    usleep(100 * 1000);  // time for a stray copy to reach the other link
    EXPECT_EQ(lab_->SimLog('a').size(), a0 + (keep == 0 ? 1 : 0));
    EXPECT_EQ(lab_->SimLog('b').size(), b0 + (keep == 1 ? 1 : 0));
    tqsock_close_set(&set);
  }
}

TEST_F(NetLab, TakenPortOnTheFirstAddressMovesBothSocketsTo17412) {
  Load(Dev(1, "192.168.77.21") + Dev(2, "10.88.0.22"));
  const int fd = nettest::BoundUdp(Ip4("192.168.77.10"), DS_LOCAL_PORT);
  ASSERT_GE(fd, 0);

  _TQSOCKSET set;
  ASSERT_EQ(tqsock_open_set(&set, true), TQ_OK);
  ASSERT_EQ(set.count, 2);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(nettest::BoundPort(set.sock[i].fd), 17412);
  EXPECT_EQ(set.sock[0].local_ip, Ip4("192.168.77.10"));
  EXPECT_EQ(set.sock[1].local_ip, Ip4("10.88.0.10"));
  tqsock_close_set(&set);

  ds_set_search_params(100, 1);
  ASSERT_EQ(ds_search(0, OnDevice), DS_OK);  // 0 means broadcast too
  EXPECT_EQ(g_heard.devices.size(), 2u);
  ASSERT_EQ(lab_->SimLog('a').size(), 1u);
  EXPECT_EQ(lab_->SimLog('a')[0].src, "192.168.77.10:17412");
  EXPECT_EQ(lab_->SimLog('a')[0].dst, "255.255.255.255:4800");
  EXPECT_EQ(lab_->SimLog('b')[0].src, "10.88.0.10:17412");
  close(fd);
}

// ---- passes ---------------------------------------------------------------

TEST_F(NetLab, DevicesHeardOnlyInTheFirstPassGiveFivePasses) {
  Load(Dev(1, "192.168.77.21", "silent_when_known = 1") + Dev(2, "192.168.77.22", "silent_when_known = 1") +
       Dev(3, "10.88.0.23", "silent_when_known = 1"));
  ds_set_search_params(100, 5);
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  EXPECT_EQ(g_heard.devices.size(), 3u);
  EXPECT_EQ(g_heard.nulls, 5);
  // Every device came in before the first pass ended.
  ASSERT_EQ(g_heard.events.size(), 8u);
  EXPECT_EQ(g_heard.events[3], -1);
  EXPECT_EQ(OfKind(lab_->SimLog('a'), 1).size(), 5u);
  EXPECT_EQ(OfKind(lab_->SimLog('b'), 1).size(), 5u);
}

TEST_F(NetLab, LaterRequestsListTheKnownDevicesByteForByte) {
  Load(Dev(1, "192.168.77.21") + Dev(2, "192.168.77.22", "delay_ms = 30") +
       Dev(3, "10.88.0.23", "delay_ms = 60"));
  ds_set_search_params(150, 2);
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  ASSERT_EQ(g_heard.devices.size(), 3u);
  const std::string second = "0100002c00000000" + EntryHex(1) + EntryHex(2) + EntryHex(3);
  for (char link : {'a', 'b'}) {
    const auto log = OfKind(lab_->SimLog(link), 1);
    ASSERT_EQ(log.size(), 2u) << link;
    EXPECT_EQ(hex(log[0].bytes), "0100000800000000");
    EXPECT_EQ(hex(log[1].bytes), second);
  }
}

TEST_F(NetLab, PassLimitZeroMakesOnePass) {
  Load(Dev(1, "192.168.77.21"));
  ds_set_search_params(100, 0);
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  EXPECT_EQ(g_heard.nulls, 1);
  EXPECT_EQ(g_heard.devices.size(), 1u);
  EXPECT_EQ(lab_->SimLog('a').size(), 1u);
}

// A subnet search asks the host addresses of its prefix only.  Behind the
// lab router, inside its /24, the network and broadcast addresses of the
// /30 searched (10.20.30.4 and .7) are ordinary addresses that deliver, so
// devices there would hear a request sent to them and answer it.
TEST_F(NetLab, SubnetSearchAsksNeitherTheNetworkNorTheBroadcastAddress) {
  ASSERT_TRUE(lab_->AddRoutedSubnet("10.20.30.0/24",
                                    velatest::Lab::WriteTempIni(Dev(4, "10.20.30.4") + Dev(5, "10.20.30.5") +
                                                                Dev(6, "10.20.30.6") + Dev(7, "10.20.30.7"))))
      << lab_->error();
  ds_set_search_params(1000, 1);  // a generous quiet time: every device has answered
  ASSERT_EQ(ds_search_subnet(velatest::Ip("10.20.30.4"), 30, OnDevice), DS_OK);
  std::set<std::string> heard;
  for (const _DSNETINFO &d : g_heard.devices) heard.insert(velatest::IpText(d.ip));
  EXPECT_EQ(heard, (std::set<std::string>{"10.20.30.5", "10.20.30.6"}));
  std::set<std::string> asked;
  for (const auto &d : OfKind(lab_->SimLog('c'), 1)) asked.insert(d.dst);
  EXPECT_EQ(asked, (std::set<std::string>{"10.20.30.5:4800", "10.20.30.6:4800"}));
}

TEST_F(NetLab, DirectedSearchEndsAfterItsFirstDevice) {
  Load(Dev(1, "192.168.77.21") + Dev(2, "192.168.77.22"));
  ds_set_search_params(200, 5);
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(ds_search(Ip4("192.168.77.21"), OnDevice), DS_OK);
  EXPECT_LT(Ms(t0), 150.0);  // ended at the first reply, not after a pass
  ASSERT_EQ(g_heard.devices.size(), 1u);
  EXPECT_EQ(g_heard.nulls, 0);
  EXPECT_EQ(g_heard.devices[0].ip, Ip4("192.168.77.21"));
  EXPECT_EQ(g_heard.devices[0].flags & DS_DIRECT, DS_DIRECT);
  const auto log = lab_->SimLog('a');
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].dst, "192.168.77.21:4800");

  // Nobody at the target: P passes, then a time-out.
  g_heard = Heard{};
  ds_set_search_params(80, 2);
  EXPECT_EQ(ds_search(Ip4("192.168.77.99"), OnDevice), DS_ERR_TIMEOUT);
  EXPECT_EQ(g_heard.nulls, 2);
  EXPECT_TRUE(g_heard.devices.empty());
}

TEST_F(NetLab, The128thDeviceEndsTheSearchAtOnce) {
  std::string ini;
  for (int i = 0; i < 130; ++i) {
    char ip[32];
    std::snprintf(ip, sizeof ip, "192.168.77.%d", 100 + i);
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", i >> 8, i & 0xFF);
    ini += Dev(i, ip, "", mac);
  }
  Load(ini);
  ds_set_search_params(300, 5);
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  EXPECT_LT(Ms(t0), 300.0);  // before the first pass could end
  EXPECT_EQ(g_heard.devices.size(), 128u);
  EXPECT_EQ(g_heard.nulls, 0);
  EXPECT_EQ(lab_->SimLog('a').size(), 1u);
}

TEST_F(NetLab, CallbackReturningZeroCancelsTheSearch) {
  Load(Dev(1, "192.168.77.21") + Dev(2, "192.168.77.22", "delay_ms = 20"));
  ds_set_search_params(100, 5);
  g_heard.refuse_device = 0;
  EXPECT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_ERR_CANCELLED);
  EXPECT_EQ(g_heard.devices.size(), 1u);
  EXPECT_EQ(g_heard.nulls, 0);

  g_heard = Heard{};
  g_heard.refuse_pass = 2;
  EXPECT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_ERR_CANCELLED);
  EXPECT_EQ(g_heard.nulls, 2);
  EXPECT_EQ(g_heard.devices.size(), 2u);
}

// ---- stopping a search ------------------------------------------------------

// What a search running on another thread has passed to its callback.
struct SharedHeard {
  std::mutex lock;
  std::vector<_DSNETINFO> devices;
  std::atomic<int> count{0};
  std::atomic<int> nulls{0};
};
SharedHeard g_shared;

int OnDeviceShared(_DSNETINFO *d) {
  if (d == nullptr) {
    g_shared.nulls++;
    return 1;
  }
  std::lock_guard<std::mutex> hold(g_shared.lock);
  g_shared.devices.push_back(*d);
  g_shared.count++;
  return 1;
}

TEST_F(NetLab, StopEndsALongPassAtOnceKeepingTheDevicesHeard) {
  Load(Dev(1, "192.168.77.21") + Dev(2, "10.88.0.22"));
  ds_set_search_params(60000, 5);
  std::atomic<int> rc{0};
  std::chrono::steady_clock::time_point ended;
  std::thread search([&] {
    rc = ds_search(DS_BROADCAST, OnDeviceShared);
    ended = std::chrono::steady_clock::now();
  });
  const bool heard = velatest::WaitUntil([] { return g_shared.count.load() == 2; }, 5000);
  const auto t0 = std::chrono::steady_clock::now();
  ds_stop_search(1);
  search.join();
  ASSERT_TRUE(heard);
  EXPECT_EQ(rc.load(), DS_ERR_CANCELLED);
  EXPECT_LT(ended - t0, std::chrono::seconds(5));  // not at the end of the 60 s pass
  EXPECT_EQ(g_shared.nulls.load(), 0);              // the pass never ended
  EXPECT_EQ(g_shared.devices.size(), 2u);
  EXPECT_EQ(OfKind(lab_->SimLog('a'), 1).size(), 1u);

  // Still raised: a search that begins now ends at its start, sending nothing.
  ds_set_search_params(100, 1);
  const auto t1 = std::chrono::steady_clock::now();
  EXPECT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_ERR_CANCELLED);
  EXPECT_LT(Ms(t1), 5000.0);
  EXPECT_TRUE(g_heard.devices.empty());
  EXPECT_EQ(g_heard.nulls, 0);
  usleep(100 * 1000);  // time for a stray request to be logged
  EXPECT_EQ(lab_->SimLog('a').size(), 1u);
  EXPECT_EQ(lab_->SimLog('b').size(), 1u);

  // Withdrawn: the next search runs normally.
  ds_stop_search(0);
  EXPECT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  EXPECT_EQ(g_heard.devices.size(), 2u);
  EXPECT_EQ(g_heard.nulls, 1);
}

// ---- replies that are no replies ------------------------------------------

TEST_F(NetLab, FaultyRepliesAreIgnoredAndTheWaitGoesOn) {
  Load(Dev(1, "192.168.77.31", "status = 1") + Dev(2, "192.168.77.32", "reserved = 1") +
       Dev(3, "192.168.77.33", "oversize = 1") + Dev(4, "192.168.77.34", "short = 1") +
       Dev(5, "192.168.77.35", "command = 0x83") + Dev(6, "192.168.77.36", "delay_ms = 80"));
  ds_set_search_params(150, 1);
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  ASSERT_EQ(g_heard.devices.size(), 1u);
  EXPECT_EQ(g_heard.devices[0].ip, Ip4("192.168.77.36"));
  EXPECT_EQ(g_heard.events, (std::vector<int>{0, -1}));
}

TEST_F(NetLab, DeviceAnsweringTwiceIsHeardOnceWithItsLaterAddresses) {
  // The same identity answers on link a, then 60 ms later on link b.
  const std::string mac = "02:00:00:00:00:01";
  std::string twin = Dev(1, "10.88.0.21", "delay_ms = 60", mac);
  twin.replace(twin.find("[dev1]"), 6, "[dev1b]");
  Load(Dev(1, "192.168.77.21", "", mac) + twin + Dev(2, "192.168.77.22", "twice = 1"));
  ds_set_search_params(150, 1);
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  ASSERT_EQ(g_heard.devices.size(), 2u);
  EXPECT_EQ(g_heard.devices[0].ip, Ip4("192.168.77.21"));
  ASSERT_EQ(g_heard.first_at_pass_end.size(), 1u);
  EXPECT_EQ(g_heard.first_at_pass_end[0].ip, Ip4("10.88.0.21"));
  EXPECT_EQ(g_heard.first_at_pass_end[0].local_ip, Ip4("10.88.0.10"));
}

// ---- unicast requests -------------------------------------------------------

int CancelOnThird(int32_t, int32_t, int32_t, void *ctx) {
  return ++*static_cast<int *>(ctx) < 3;
}

TEST_F(NetLab, SilentDeviceGetsARequestsAboutTApart) {
  Load(Dev(1, kSilentIp, "no_unicast = 1"));
  _DSNETINFO dev = DirectDevice(kSilentIp);
  const int32_t value = 0x1234;
  const _TQSETTINGS s{150, 3, nullptr, nullptr};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(tqsock_execute(DS_KIND_SET_VALUE, &dev, &value, nullptr, &s), TQ_ERR_TIMEOUT);
  const double took = Ms(t0);
  EXPECT_GE(took, 450.0);
  EXPECT_LT(took, 1500.0);
  const auto log = lab_->WaitSimLog('a', 3, 1000);
  ASSERT_EQ(log.size(), 3u);
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].dst, std::string(kSilentIp) + ":4800");
    EXPECT_EQ(log[i].bytes.size(), DS_SET_VALUE_REQ_SIZE);
    if (i == 0) continue;
    const double gap = (log[i].t - log[i - 1].t) * 1000.0;
    EXPECT_GE(gap, 140.0);
    EXPECT_LT(gap, 400.0);
  }

  // No attempts asked for: one is made all the same.
  const _TQSETTINGS once{100, 0, nullptr, nullptr};
  EXPECT_EQ(tqsock_execute(DS_KIND_SET_VALUE, &dev, &value, nullptr, &once), TQ_ERR_TIMEOUT);
  EXPECT_EQ(lab_->WaitSimLog('a', 4, 500).size(), 4u);
}

TEST_F(NetLab, HandleToASilentDeviceTimesOutAfterFiveAttemptsOfOneSecond) {
  Load(Dev(1, kSilentIp, "no_unicast = 1"));
  _DSNETINFO dev = DirectDevice(kSilentIp);
  int32_t h = -1;
  ASSERT_EQ(ds_open(&dev, &h), DS_OK);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(ds_set_value(h, 3), DS_ERR_TIMEOUT);
  EXPECT_GE(Ms(t0), 5000.0);
  EXPECT_LT(Ms(t0), 7000.0);
  EXPECT_EQ(ds_close(h), DS_OK);
  const auto log = lab_->WaitSimLog('a', 5, 1000);
  ASSERT_EQ(log.size(), 5u);
  for (size_t i = 1; i < log.size(); ++i) {
    const double gap = (log[i].t - log[i - 1].t) * 1000.0;
    EXPECT_GE(gap, 990.0);
    EXPECT_LT(gap, 1300.0);
  }
}

TEST_F(NetLab, ProgressCallbackReturningZeroCancelsTheRequest) {
  Load(Dev(1, kSilentIp, "no_unicast = 1"));
  _DSNETINFO dev = DirectDevice(kSilentIp);
  int calls = 0;
  const _TQSETTINGS s{300, 3, CancelOnThird, &calls};
  uint8_t block[DS_INFO_BLOCK_SIZE];
  EXPECT_EQ(tqsock_execute(DS_KIND_GET_INFO, &dev, nullptr, block, &s), TQ_ERR_CANCELLED);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(lab_->WaitSimLog('a', 1, 500).size(), 1u);

  int32_t h = -1;
  ASSERT_EQ(ds_open(&dev, &h), DS_OK);
  calls = 0;
  ASSERT_EQ(ds_set_callback(h, CancelOnThird, &calls), DS_OK);
  EXPECT_EQ(ds_set_value(h, 1), DS_ERR_CANCELLED);
  // The slot keeps its callback across close and open: leave none behind for
  // the tests that run after this one in the same process.
  EXPECT_EQ(ds_set_callback(h, nullptr, nullptr), DS_OK);
  EXPECT_EQ(ds_close(h), DS_OK);
}

TEST_F(NetLab, HandlesCarrySetValueInfoAndIdentifyToTheDevice) {
  Load(Dev(1, "192.168.77.21", "info = 00112233445566778899aabbccddeeff"));
  ds_set_search_params(100, 1);
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  ASSERT_EQ(g_heard.devices.size(), 1u);
  _DSNETINFO dev = g_heard.devices[0];

  int32_t h = -1;
  ASSERT_EQ(ds_open(&dev, &h), DS_OK);
  ASSERT_EQ(ds_set_value(h, 0x7FFF1234), DS_OK);
  uint8_t block[DS_INFO_BLOCK_SIZE] = {};
  ASSERT_EQ(ds_get_info(h, block), DS_OK);
  EXPECT_EQ(hex(std::vector<uint8_t>(block, block + sizeof block)), "00112233445566778899aabbccddeeff");
  EXPECT_EQ(ds_close(h), DS_OK);

  const auto set = OfKind(lab_->SimLog('a'), DS_KIND_SET_VALUE);
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].dst, "192.168.77.21:4800");
  EXPECT_EQ(hex(set[0].bytes).substr(0, 16), "0200001600000000");
  EXPECT_EQ(hex(set[0].bytes).substr(40), "3412");  // low 16 bits, little-endian

  // Identify fills the record's empty identity fields from the reply ...
  _DSNETINFO blank{};
  blank.ip = dev.ip;
  blank.flags = DS_DIRECT;
  const _TQSETTINGS s{200, 2, nullptr, nullptr};
  ASSERT_EQ(tqsock_execute(DS_KIND_IDENTIFY, &blank, nullptr, nullptr, &s), TQ_OK);
  EXPECT_EQ(blank.apid, dev.apid);
  EXPECT_EQ(blank.hwid, dev.hwid);
  EXPECT_EQ(std::memcmp(blank.mac, dev.mac, 6), 0);
  EXPECT_EQ(blank.reported_ip, Ip4("192.168.77.21"));
  // ... and a record that contradicts it fails the request.
  blank.hwid ^= 1;
  EXPECT_EQ(tqsock_execute(DS_KIND_IDENTIFY, &blank, nullptr, nullptr, &s), TQ_ERR_MISMATCH);
}

TEST_F(NetLab, UnicastRequestsDoNotWaitForARunningSearch) {
  Load(Dev(1, "192.168.77.21", "info = 00112233445566778899aabbccddeeff"));
  ds_set_search_params(300, 2);
  std::atomic<int> search_rc{0};
  std::thread search([&] { search_rc = ds_search(DS_BROADCAST, OnDevice); });
  // Wait until the search has sent its first request, then ask the device.
  ASSERT_EQ(lab_->WaitSimLog('a', 1, 1000).size(), 1u);
  _DSNETINFO dev = Record(1, "192.168.77.21", "192.168.77.10");
  dev.flags = DS_DIRECT;
  int32_t h = -1;
  ASSERT_EQ(ds_open(&dev, &h), DS_OK);
  uint8_t block[DS_INFO_BLOCK_SIZE];
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(ds_get_info(h, block), DS_OK);
  EXPECT_LT(Ms(t0), 250.0);  // answered while the search still runs
  EXPECT_EQ(ds_close(h), DS_OK);
  search.join();
  EXPECT_EQ(search_rc.load(), DS_OK);
  // The search holds 13316 on each address, so the wildcard socket of the
  // request found the next free port.
  const auto info = OfKind(lab_->SimLog('a'), DS_KIND_GET_INFO);
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].src, "192.168.77.10:17412");
}

// ---- the host's ARP and route tables ------------------------------------------

using HostTables = NetLab;

TEST_F(HostTables, ForeignSubnetDeviceIsReachedThroughTheLinkThatHeardIt) {
  const std::string mac = "02:00:00:00:00:01";
  Load(Dev(1, "172.31.9.5", "link = a\ninfo = 0f0e0d0c0b0a09080706050403020100"));
  ds_set_search_params(100, 1);
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  ASSERT_EQ(g_heard.devices.size(), 1u);
  const _DSNETINFO dev = g_heard.devices[0];
  ASSERT_EQ(dev.ip, Ip4("172.31.9.5"));
  ASSERT_EQ(dev.local_ip, Ip4("192.168.77.10"));
  ASSERT_TRUE(TableLines("172.31.9.5").empty());

  // A second route to the device, added by hand, goes too.
  Host("ip route add 172.31.9.5/32 dev vela-b metric 100");
  int32_t h = -1;
  ASSERT_EQ(ds_open(&dev, &h), DS_OK);
  TableSnapshot snap{lab_, "172.31.9.5", {}, false};
  ASSERT_EQ(ds_set_callback(h, SnapshotOnce, &snap), DS_OK);
  uint8_t block[DS_INFO_BLOCK_SIZE] = {};
  EXPECT_EQ(ds_get_info(h, block), DS_OK);
  EXPECT_EQ(block[0], 0x0f);
  EXPECT_EQ(ds_set_callback(h, nullptr, nullptr), DS_OK);  // snap goes out of scope
  EXPECT_EQ(ds_close(h), DS_OK);

  ASSERT_TRUE(snap.taken);
  EXPECT_TRUE(HasLine(snap.lines, {"dev vela-a", "lladdr " + mac, "PERMANENT"})) << ::testing::PrintToString(snap.lines);
  EXPECT_TRUE(HasLine(snap.lines, {"dev vela-a", "proto static", "scope link", "src 192.168.77.10", "metric 20"}))
      << ::testing::PrintToString(snap.lines);
  EXPECT_TRUE(HasLine(snap.lines, {"dev vela-b", "metric 100"}));
  EXPECT_EQ(TableLines("172.31.9.5"), std::vector<std::string>{});
  const auto info = OfKind(lab_->SimLog('a'), DS_KIND_GET_INFO);
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].src, "192.168.77.10:13316");
}

TEST_F(HostTables, LocalAddressOfNoInterfaceAddsNothingButTheRequestGoesOut) {
  Load(Dev(1, "192.168.77.21"));
  _DSNETINFO dev = Record(1, "192.168.77.21", "10.99.99.99");
  const Watched w = SetValueWatching(&dev, "192.168.77.21", 300, 2);
  EXPECT_EQ(w.result, TQ_OK);
  ASSERT_TRUE(w.snap.taken);
  EXPECT_FALSE(HasLine(w.snap.lines, {"PERMANENT"})) << ::testing::PrintToString(w.snap.lines);
  EXPECT_FALSE(HasLine(w.snap.lines, {"metric 20"}));
  EXPECT_EQ(OfKind(lab_->SimLog('a'), DS_KIND_SET_VALUE).size(), 1u);
}

TEST_F(HostTables, WithoutNetAdminTheTablesStayAndTheRequestSucceeds) {
  const std::string mac = "02:00:00:00:00:01";
  Load(Dev(1, "192.168.77.21", "info = 0102030405060708090a0b0c0d0e0f10"));
  const std::string probe =
      std::string(NET_LAB_PROBE) + " 192.168.77.21 " + mac + " 192.168.77.10 0x0A0B0C01 0x0101";
  std::string out;
  ASSERT_EQ(lab_->RunInHost("setpriv --inh-caps=-net_admin --bounding-set=-net_admin " + probe, &out), 0) << out;
  // CAP_NET_ADMIN is bit 12 of the effective set.
  const size_t cap = out.find("capeff ");
  ASSERT_NE(cap, std::string::npos) << out;
  unsigned long long eff = ~0ull;
  std::istringstream(out.substr(cap + 7)) >> std::hex >> eff;
  EXPECT_EQ(eff & (1ull << 12), 0u) << out;
  EXPECT_NE(out.find("during "), std::string::npos) << out;
  EXPECT_EQ(out.find("PERMANENT"), std::string::npos) << out;
  EXPECT_EQ(out.find("metric 20"), std::string::npos) << out;
  EXPECT_NE(out.find("result 1\n"), std::string::npos) << out;
  EXPECT_EQ(OfKind(lab_->SimLog('a'), DS_KIND_GET_INFO).size(), 1u);

  // The same probe with every right does change the tables while it runs,
  // so the check above could have seen a change.
  ASSERT_EQ(lab_->RunInHost(probe, &out), 0) << out;
  EXPECT_NE(out.find("PERMANENT"), std::string::npos) << out;
  EXPECT_NE(out.find("result 1\n"), std::string::npos) << out;
  EXPECT_TRUE(TableLines("192.168.77.21").empty() || !HasLine(TableLines("192.168.77.21"), {"PERMANENT"}));
}

TEST_F(HostTables, RouteHelperChecksItsArgumentsAndDeletesEveryRouteToTheAddress) {
  // Next hop outside the subnet of the local address: nothing is added.
  iphelp_add_host_route(Ip4("172.31.9.5"), 0xFFFFFFFFu, Ip4("10.88.0.10"), Ip4("192.168.77.10"));
  // Destination with bits outside the mask: nothing is added.
  iphelp_add_host_route(Ip4("172.31.9.5"), Ip4("255.255.255.0"), Ip4("192.168.77.10"), Ip4("192.168.77.10"));
  EXPECT_TRUE(TableLines("172.31.9.5").empty());
  EXPECT_TRUE(TableLines("172.31.9.0/24").empty());

  iphelp_add_host_route(Ip4("172.31.9.5"), 0xFFFFFFFFu, Ip4("192.168.77.10"), Ip4("192.168.77.10"));
  Host("ip route add 172.31.9.5/32 dev vela-b metric 7 && ip route add 172.31.9.0/24 dev vela-b");
  EXPECT_EQ(TableLines("172.31.9.5").size(), 2u);
  iphelp_delete_routes(Ip4("172.31.9.5"));
  EXPECT_TRUE(TableLines("172.31.9.5").empty());
  EXPECT_EQ(TableLines("172.31.9.0/24").size(), 1u);  // another destination stays
  Host("ip route del 172.31.9.0/24");  // for the tests after this one in the same process
}

// A program that shuts the network layer down, or simply ends, while a
// request to a device heard by broadcast still waits for its reply leaves
// no neighbour entry or route of ours behind, and after ds_cleanup no new
// request adds one.  The tables are read after the program has exited.
TEST_F(HostTables, EndingDuringARequestLeavesNoEntryBehind) {
  Load(Dev(1, "172.31.9.5", "link = a\nno_unicast = 1"));
  const std::string probe =
      std::string(NET_LAB_PROBE) + " 172.31.9.5 02:00:00:00:00:01 192.168.77.10 0x0A0B0C01 0x0101 ";
  for (const std::string &mode : {std::string("cleanup ") + kSilentIp, std::string("exit")}) {
    SCOPED_TRACE(mode);
    std::string out;
    ASSERT_EQ(lab_->RunInHost(probe + mode, &out), 0) << out;
    // The request had made its changes when the program ended ...
    EXPECT_NE(out.find("during 172.31.9.5 dev vela-a lladdr 02:00:00:00:00:01 PERMANENT"), std::string::npos) << out;
    EXPECT_NE(out.find("during 172.31.9.5 dev vela-a proto static scope link src 192.168.77.10 metric 20"),
              std::string::npos)
        << out;
    if (mode != "exit") {
      // ... a request made after ds_cleanup (to an address on the subnet,
      // which needs no route of ours to go out) added nothing ...
      // (ordinary address resolution for it may show, as INCOMPLETE)
      EXPECT_NE(out.find("after "), std::string::npos) << out;
      std::istringstream lines(out);
      for (std::string line; std::getline(lines, line);) {
        if (line.rfind("after ", 0) != 0) continue;
        EXPECT_EQ(line.find("PERMANENT"), std::string::npos) << line;
        EXPECT_EQ(line.find("metric 20"), std::string::npos) << line;
      }
      EXPECT_NE(out.find("result -11\n"), std::string::npos) << out;
    }
    // ... and nothing of it is left.  (The request, still running while the
    // program ends, may leave the kernel resolving the address: INCOMPLETE
    // or FAILED, which is the kernel's, not an entry of ours.)
    for (const std::string &line : TableLines("172.31.9.5")) {
      EXPECT_EQ(line.find("PERMANENT"), std::string::npos) << line;
      EXPECT_EQ(line.find("metric 20"), std::string::npos) << line;
      EXPECT_EQ(line.find("proto static"), std::string::npos) << line;
    }
  }
}

// Only host routes (/32) to the device's address are ours to delete: a
// device answering from a subnet's network address must not take that
// subnet's route, nor a route the kernel made; every /32 to it goes,
// whatever its gateway, interface or metric.
TEST_F(HostTables, DeleteTakesHostRoutesOnlyNeverTheSubnetRoute) {
  // Heard by broadcast through vela-a, answering from 192.168.77.0.
  _DSNETINFO dev = Record(1, "192.168.77.0", "192.168.77.10");
  Host("ip route add 192.168.77.0/32 via 10.88.0.1 dev vela-b metric 9");
  const Watched w = SetValueWatching(&dev, "192.168.77.0", 100, 1);
  EXPECT_EQ(w.result, TQ_ERR_TIMEOUT);
  ASSERT_TRUE(w.snap.taken);
  EXPECT_TRUE(HasLine(w.snap.lines, {"dev vela-a", "proto static", "metric 20"})) << ::testing::PrintToString(w.snap.lines);
  EXPECT_TRUE(HasLine(w.snap.lines, {"via 10.88.0.1", "metric 9"}));
  EXPECT_EQ(TableLines("192.168.77.0"), std::vector<std::string>{});
  EXPECT_TRUE(HasLine(TableLines("192.168.77.0/24"), {"dev vela-a", "proto kernel"}));
  // The subnet is still reachable: a device on it answers.
  Load(Dev(2, "192.168.77.22"));
  _DSNETINFO on_subnet = DirectDevice("192.168.77.22");
  const _TQSETTINGS s{300, 2, nullptr, nullptr};
  EXPECT_EQ(tqsock_execute(DS_KIND_IDENTIFY, &on_subnet, nullptr, nullptr, &s), TQ_OK);

  // The helper on its own: routes of other prefixes and kernel routes stay.
  Host("ip route add 172.31.44.0/24 dev vela-b && ip route add 172.31.44.0/32 dev vela-b proto kernel metric 5 && "
       "ip route add 172.31.44.0/32 dev vela-a metric 7 && ip route add 172.31.44.0/32 via 10.88.0.1 metric 8");
  iphelp_delete_routes(Ip4("172.31.44.0"));
  const std::vector<std::string> left = TableLines("172.31.44.0");
  EXPECT_EQ(left.size(), 1u) << ::testing::PrintToString(left);
  EXPECT_TRUE(HasLine(left, {"proto kernel", "metric 5"})) << ::testing::PrintToString(left);
  EXPECT_EQ(TableLines("172.31.44.0/24").size(), 1u);
  Host("ip route flush root 172.31.44.0/24");
}

// A record without an address (a reply from 0.0.0.0 reporting 0.0.0.0)
// shares its destination with the default route, which must stay.
TEST_F(HostTables, DeviceWithoutAddressLeavesTheDefaultRoute) {
  Host("ip route add default via 192.168.77.1 dev vela-a");
  // Heard by broadcast through vela-a, with no address at all.
  _DSNETINFO dev = Record(1, "0.0.0.0", "192.168.77.10");
  const Watched w = SetValueWatching(&dev, "0.0.0.0", 100, 1);
  EXPECT_EQ(w.result, TQ_ERR_TIMEOUT);
  ASSERT_TRUE(w.snap.taken);
  EXPECT_TRUE(w.snap.lines.empty()) << ::testing::PrintToString(w.snap.lines);  // no 0.0.0.0/32 route
  iphelp_delete_routes(0);
  EXPECT_NE(Host("ip -4 route show default").find("default via 192.168.77.1 dev vela-a"), std::string::npos);
  Host("ip route del default");
}

TEST_F(HostTables, ConcurrentRequestsToForeignDevicesLeaveCleanTables) {
  Load(Dev(1, "172.31.9.5", "link = a") + Dev(2, "172.31.9.6", "link = a") + Dev(3, "172.31.9.7", "link = a"));
  ds_set_search_params(100, 1);
  ASSERT_EQ(ds_search(DS_BROADCAST, OnDevice), DS_OK);
  ASSERT_EQ(g_heard.devices.size(), 3u);
  std::atomic<int> ok{0};
  std::vector<std::thread> threads;
  for (const _DSNETINFO &d : g_heard.devices) {
    threads.emplace_back([d, &ok] {
      int32_t h = -1;
      if (ds_open(&d, &h) != DS_OK) return;
      for (int i = 0; i < 4; ++i)
        if (ds_set_value(h, i) == DS_OK) ok++;
      ds_close(h);
    });
  }
  for (auto &t : threads) t.join();
  EXPECT_EQ(ok.load(), 12);
  for (const char *a : {"172.31.9.5", "172.31.9.6", "172.31.9.7"}) EXPECT_TRUE(TableLines(a).empty()) << a;
}

}  // namespace
