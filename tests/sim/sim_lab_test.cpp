// The simulator in the lab: a client in the host namespace sends requests the
// way the finder does and checks each simulated device's answer, source
// address and fault behaviour, and the simulator's log of what it received.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "arp_watch.h"
#include "lab.h"
#include "proto.h"
#include "udp_client.h"
#include "wire_text.h"

namespace {

using velatest::Hex;
using velatest::Identity;
using velatest::IpText;
using velatest::Unhex;

// Every device sits on link a unless its address or `link` says otherwise.
const char kDevices[] = R"(
[plain]
ip = 192.168.77.21
apid = 0x00010203
hwid = 0x0102
mac = 02:00:00:00:00:01
info = 00112233445566778899aabbccddeeff
[reported]
ip = 192.168.77.22
mac = 02:00:00:00:00:02
reported_ip = 192.168.77.99
[status]
ip = 192.168.77.23
mac = 02:00:00:00:00:03
status = 1
[reserved]
ip = 192.168.77.24
mac = 02:00:00:00:00:04
reserved = 1
[command]
ip = 192.168.77.25
mac = 02:00:00:00:00:05
command = 0x83
[oversize]
ip = 192.168.77.26
mac = 02:00:00:00:00:06
oversize = 1
[short]
ip = 192.168.77.27
mac = 02:00:00:00:00:07
short = 1
[twice]
ip = 192.168.77.28
mac = 02:00:00:00:00:08
twice = 1
[known]
ip = 192.168.77.29
apid = 7
hwid = 9
mac = 02:00:00:00:00:09
silent_when_known = 1
[later]
ip = 192.168.77.30
mac = 02:00:00:00:00:0a
answer_from = 3
[nouni]
ip = 192.168.77.31
mac = 02:00:00:00:00:0b
no_unicast = 1
[slow]
ip = 192.168.77.32
mac = 02:00:00:00:00:0c
delay_ms = 150
[shared1]
ip = 192.168.77.40
apid = 1
mac = 02:00:00:00:00:41
[shared2]
ip = 192.168.77.40
apid = 2
mac = 02:00:00:00:00:42
[far]
ip = 172.31.9.5
mac = 02:00:00:00:00:f1
[linkb]
ip = 10.88.0.21
mac = 02:00:00:00:00:b1
[farb]
ip = 172.31.9.6
link = b
mac = 02:00:00:00:00:b2
)";

constexpr int kWindowMs = 300;
constexpr uint16_t kLocalPort = DS_LOCAL_PORT;

[[maybe_unused]] velatest::LabEnvironment *const g_env =
    static_cast<velatest::LabEnvironment *>(::testing::AddGlobalTestEnvironment(
        new velatest::LabEnvironment(velatest::Lab::WriteTempIni(kDevices))));

// The first n bytes of buf: what a builder wrote (nothing when it refused).
std::vector<uint8_t> Built(std::vector<uint8_t> buf, int n) {
  buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return buf;
}

std::vector<uint8_t> SearchRequest(const std::vector<_DSNETINFO> &heard) {
  std::vector<const _DSNETINFO *> list;
  for (const _DSNETINFO &d : heard) list.push_back(&d);
  std::vector<uint8_t> buf(DS_SEARCH_REQ_MAX);
  const int n = dsproto_build_search(buf.data(), buf.size(), list.data(), list.size());
  return Built(std::move(buf), n);
}

std::vector<uint8_t> IdentifyRequest() {
  std::vector<uint8_t> buf(DS_IDENTIFY_REQ_SIZE);
  const int n = dsproto_build_identify(buf.data(), buf.size());
  return Built(std::move(buf), n);
}

std::vector<uint8_t> SetValueRequest(const _DSNETINFO &dev, int32_t value) {
  std::vector<uint8_t> buf(DS_SET_VALUE_REQ_SIZE);
  const int n = dsproto_build_set_value(buf.data(), buf.size(), &dev, value);
  return Built(std::move(buf), n);
}

std::vector<uint8_t> InfoRequest(const _DSNETINFO &dev) {
  std::vector<uint8_t> buf(DS_INFO_REQ_SIZE);
  const int n = dsproto_build_info(buf.data(), buf.size(), &dev);
  return Built(std::move(buf), n);
}

// Sends one request from 192.168.77.10 and collects the replies.
std::vector<Received> AskA(const std::string &to, const std::vector<uint8_t> &request) {
  UdpClient client("192.168.77.10", kLocalPort);
  EXPECT_TRUE(client.ok()) << client.error();
  EXPECT_TRUE(client.Send(to, DS_DEVICE_PORT, request));
  return client.Collect(kWindowMs);
}

// Sends an identify request from 192.168.77.10 to ip; exactly one answer
// must come, from ip, and it must complete the blank record *rec.
void IdentifyAt(const std::string &ip, _DSNETINFO *rec) {
  const std::vector<uint8_t> identify = IdentifyRequest();
  ASSERT_EQ(identify.size(), 8u);
  const std::vector<Received> got = AskA(ip, identify);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(IpText(got[0].src_ip), ip);
  *rec = _DSNETINFO{};
  EXPECT_EQ(dsproto_check_identify(got[0].bytes.data(), got[0].bytes.size(), rec), 1);
}

class SimLab : public ::testing::Test {
 protected:
  void SetUp() override {
    VELA_LAB_OR_SKIP(lab());
    // Each test starts from fresh simulators, so request counts and logs do
    // not depend on the order the tests run in.
    ASSERT_TRUE(lab().LoadSimText(kDevices)) << lab().error();
  }
  static velatest::Lab &lab() { return velatest::LabEnvironment::lab(); }

  // Runs shell in the host namespace and returns its output; the command
  // must succeed.
  static std::string Host(const std::string &shell) {
    std::string out;
    EXPECT_EQ(lab().RunInHost(shell, &out), 0) << shell;
    return out;
  }

  // Shell that starts a second simulator in the host namespace with ini,
  // logging to log and printing to `output`, waits up to 5 s for the log to
  // appear and stops it with SIGTERM, ending with its exit status.
  static std::string SimStartedAndStopped(const std::string &ini, const std::string &log, const char *output) {
    return SimCommand(ini) + " --log " + log + " " + output + " & pid=$!; i=0; while [ ! -e " + log +
           " ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i+1)); done; kill -TERM $pid; wait $pid";
  }
  static std::string SimCommand(const std::string &ini) {
    return "\"" VELA_SIM_FOR_TESTS "\" --config " + ini;
  }

  static std::string DevNs(char link) { return "vela-" + lab().name() + "-" + link; }

  // MAC of vela-dev, the device namespace's end of a link.
  static std::string LinkMac(char link) {
    std::istringstream in(Host("ip -n " + DevNs(link) + " -br link show dev vela-dev"));
    std::string name, state, mac;
    in >> name >> state >> mac;
    return mac;
  }

  // "name mac flags" of every macvlan of a device namespace, sorted.
  static std::vector<std::string> Macvlans(char link) {
    std::istringstream in(Host("ip -n " + DevNs(link) + " -br link show type macvlan"));
    std::vector<std::string> out;
    for (std::string name, state, mac, flags; in >> name >> state >> mac >> flags;)
      out.push_back(name.substr(0, name.find('@')) + " " + mac + " " + state + " " + flags);
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(SimLab, BroadcastFromEachLocalAddressIsAnsweredByThatLinksDevicesFromTheirOwnAddresses) {
  UdpClient a("192.168.77.10", kLocalPort), b("10.88.0.10", kLocalPort);
  ASSERT_TRUE(a.ok()) << a.error();
  ASSERT_TRUE(b.ok()) << b.error();
  const std::vector<uint8_t> req = SearchRequest({});
  ASSERT_TRUE(a.Send("255.255.255.255", DS_DEVICE_PORT, req));
  ASSERT_TRUE(b.Send("255.255.255.255", DS_DEVICE_PORT, req));
  const std::vector<Received> on_a = a.Collect(kWindowMs);
  const std::vector<Received> on_b = b.Collect(50);

  // Link a: every device once (twice: 2, shared address: 2), except the one
  // that answers only from its third search.
  for (const char *ip : {"192.168.77.21", "192.168.77.22", "192.168.77.23", "192.168.77.24", "192.168.77.25",
                         "192.168.77.26", "192.168.77.27", "192.168.77.29", "192.168.77.31", "192.168.77.32",
                         "172.31.9.5"})
    EXPECT_EQ(From(on_a, ip).size(), 1u) << ip;
  EXPECT_EQ(From(on_a, "192.168.77.28").size(), 2u);
  EXPECT_EQ(From(on_a, "192.168.77.40").size(), 2u);
  EXPECT_EQ(From(on_a, "192.168.77.30").size(), 0u);
  EXPECT_EQ(on_a.size(), 15u);
  for (const Received &r : on_a) EXPECT_EQ(r.src_port, DS_DEVICE_PORT);

  // Link b: its own device and its foreign-subnet device, nothing from link a.
  ASSERT_EQ(on_b.size(), 2u);
  EXPECT_EQ(From(on_b, "10.88.0.21").size(), 1u);
  EXPECT_EQ(From(on_b, "172.31.9.6").size(), 1u);
}

// ---- frames to a device's own MAC: one macvlan per device MAC ------------

TEST_F(SimLab, EachDistinctDeviceMacOfALinkHasAMacvlanWithoutArp) {
  const std::vector<std::string> a = Macvlans('a');
  std::vector<std::string> want;
  for (const char *mac : {"01", "02", "03", "04", "05", "06", "07", "08", "09", "0a", "0b", "0c", "41", "42", "f1"})
    want.push_back(std::string("vm0200000000") + mac + " 02:00:00:00:00:" + mac + " UP <BROADCAST,MULTICAST,NOARP,UP,LOWER_UP>");
  std::sort(want.begin(), want.end());
  EXPECT_EQ(a, want);
  EXPECT_EQ(Macvlans('b'), (std::vector<std::string>{
                               "vm0200000000b1 02:00:00:00:00:b1 UP <BROADCAST,MULTICAST,NOARP,UP,LOWER_UP>",
                               "vm0200000000b2 02:00:00:00:00:b2 UP <BROADCAST,MULTICAST,NOARP,UP,LOWER_UP>"}));
  const std::string rp = Host("ip netns exec " + DevNs('a') + " sysctl -n net.ipv4.conf.vm0200000000f1.rp_filter "
                              "net.ipv4.conf.all.rp_filter net.ipv4.conf.default.rp_filter");
  EXPECT_EQ(rp, "0\n0\n0\n");
}

TEST_F(SimLab, ReloadAddsMacvlansForNewMacsAndRemovesThoseOfDevicesGone) {
  // A shared MAC gets one macvlan; a device without MAC, one with a group
  // MAC and one with vela-dev's own MAC need none.
  const std::string own = LinkMac('a');
  ASSERT_TRUE(lab().LoadSimText(
      "[x]\nip = 192.168.77.50\nmac = 02:00:00:00:00:f1\n[y]\nip = 192.168.77.51\nmac = 02:00:00:00:00:f1\n"
      "[z]\nip = 192.168.77.52\nmac = 02:00:00:00:0a:01\n[nomac]\nip = 192.168.77.53\n"
      "[group]\nip = 192.168.77.54\nmac = 03:00:00:00:00:01\n[own]\nip = 192.168.77.55\nmac = " + own + "\n"))
      << lab().error();
  EXPECT_EQ(Macvlans('a'), (std::vector<std::string>{
                               "vm0200000000f1 02:00:00:00:00:f1 UP <BROADCAST,MULTICAST,NOARP,UP,LOWER_UP>",
                               "vm020000000a01 02:00:00:00:0a:01 UP <BROADCAST,MULTICAST,NOARP,UP,LOWER_UP>"}));
  EXPECT_TRUE(Macvlans('b').empty());
  // Every device still answers a broadcast once.
  const std::vector<Received> got = AskA("255.255.255.255", SearchRequest({}));
  EXPECT_EQ(got.size(), 6u);
  for (int i = 50; i <= 55; ++i) EXPECT_EQ(From(got, "192.168.77." + std::to_string(i)).size(), 1u) << i;
}

TEST_F(SimLab, UnicastToAForeignDevicesOwnMacReachesTheSimulator) {
  // What a finder does for a device heard by broadcast on a subnet no
  // interface serves: a permanent neighbour entry with the device's MAC and
  // a host route through the link that heard it.
  Host("ip neigh replace 172.31.9.5 lladdr 02:00:00:00:00:f1 dev vela-a nud permanent && "
       "ip route add 172.31.9.5/32 dev vela-a src 192.168.77.10 scope link");
  _DSNETINFO rec{};
  ASSERT_NO_FATAL_FAILURE(IdentifyAt("172.31.9.5", &rec));
  EXPECT_EQ(Hex(rec.mac, DS_MAC_SIZE), "0200000000f1");

  const std::vector<uint8_t> set = SetValueRequest(Identity(0, 0, "0200000000f1"), 0x0102);
  ASSERT_EQ(set.size(), 22u);
  const std::vector<Received> set_reply = AskA("172.31.9.5", set);
  ASSERT_EQ(set_reply.size(), 1u);
  EXPECT_TRUE(dsproto_accept_reply(set_reply[0].bytes.data(), set_reply[0].bytes.size(), DS_KIND_SET_VALUE, 0));

  // The same entry with a MAC no device has: the frame is not taken in, so
  // the answer above came by the device's own MAC.
  Host("ip neigh replace 172.31.9.5 lladdr 02:00:00:00:00:ee dev vela-a nud permanent");
  EXPECT_TRUE(AskA("172.31.9.5", IdentifyRequest()).empty());

  const std::vector<velatest::SimDatagram> log = lab().WaitSimLog('a', 2, 1000);
  ASSERT_EQ(log.size(), 2u);
  for (const auto &d : log) {
    EXPECT_EQ(d.src, "192.168.77.10:13316");
    EXPECT_EQ(d.dst, "172.31.9.5:4800");
  }
  EXPECT_EQ(Hex(log[0].bytes), "0100000800000000");
  EXPECT_EQ(log[1].bytes.size(), 22u);
  Host("ip route del 172.31.9.5/32 dev vela-a && ip neigh del 172.31.9.5 dev vela-a");
}

TEST_F(SimLab, BroadcastsAreLoggedAndAnsweredOnceThoughEveryMacvlanGetsACopy) {
  // The limited and the link's directed broadcast, and a broadcast large
  // enough to travel in fragments.
  const std::vector<uint8_t> req = SearchRequest({});
  std::vector<uint8_t> big = SearchRequest({});
  big.resize(4000, 0);
  UdpClient client("192.168.77.10", kLocalPort);
  ASSERT_TRUE(client.ok()) << client.error();
  std::vector<std::vector<Received>> got;
  for (const char *to : {"255.255.255.255", "192.168.77.255"}) {
    ASSERT_TRUE(client.Send(to, DS_DEVICE_PORT, req));
    got.push_back(client.Collect(kWindowMs));
  }
  ASSERT_TRUE(client.Send("255.255.255.255", DS_DEVICE_PORT, big));
  client.Collect(kWindowMs);

  for (const std::vector<Received> &g : got) {
    EXPECT_EQ(From(g, "192.168.77.21").size(), 1u);
    EXPECT_EQ(From(g, "172.31.9.5").size(), 1u);
    EXPECT_EQ(From(g, "192.168.77.28").size(), 2u);  // twice
    EXPECT_EQ(g.size(), 15u);
  }
  lab().WaitSimLog('a', 3, 1000);
  usleep(100 * 1000);  // time for a late copy to be logged too
  const std::vector<velatest::SimDatagram> log = lab().SimLog('a');
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].dst, "255.255.255.255:4800");
  EXPECT_EQ(log[1].dst, "192.168.77.255:4800");
  EXPECT_EQ(log[2].dst, "255.255.255.255:4800");
  EXPECT_EQ(log[2].bytes, big);
  EXPECT_TRUE(lab().SimLog('b').empty());
}

TEST_F(SimLab, OrdinaryArpForADeviceAddressHasOneReplyFromTheLink) {
  ArpWatch watch("vela-a");
  ASSERT_TRUE(watch.ok()) << watch.error();
  Host("ip neigh flush dev vela-a");
  watch.Replies(0);  // whatever came before
  ASSERT_EQ(AskA("192.168.77.21", IdentifyRequest()).size(), 1u);
  const std::vector<ArpReply> replies = watch.Replies(100);
  // The macvlans (with the devices' MACs) keep quiet; vela-dev answers.
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(IpText(replies[0].sender_ip), "192.168.77.21");
  EXPECT_EQ(replies[0].sender_mac, LinkMac('a'));
  EXPECT_NE(Host("ip neigh show 192.168.77.21 dev vela-a").find("lladdr " + LinkMac('a')), std::string::npos);
}

TEST_F(SimLab, SearchReplyCarriesTheIdentityInWireByteOrder) {
  const std::vector<Received> got = From(AskA("255.255.255.255", SearchRequest({})), "192.168.77.21");
  ASSERT_EQ(got.size(), 1u);
  // 0x81, status 0, length 24, reserved 0, apid LE, hwid LE, MAC, 192.168.77.21.
  EXPECT_EQ(Hex(got[0].bytes), "81000018" "00000000" "03020100" "0201" "020000000001" "c0a84d15");
  _DSNETINFO info{};
  ASSERT_TRUE(dsproto_read_search_reply(got[0].bytes.data(), got[0].bytes.size(), got[0].src_ip, 0, false, &info));
  EXPECT_EQ(info.apid, 0x00010203u);
  EXPECT_EQ(info.hwid, 0x0102u);
  EXPECT_EQ(IpText(info.reported_ip), "192.168.77.21");
}

TEST_F(SimLab, ReportedAddressIsWrittenAtOffset20) {
  const std::vector<Received> got = From(AskA("255.255.255.255", SearchRequest({})), "192.168.77.22");
  ASSERT_EQ(got.size(), 1u);
  ASSERT_EQ(got[0].bytes.size(), DS_SEARCH_REPLY_SIZE);
  EXPECT_EQ(Hex({got[0].bytes.begin() + 20, got[0].bytes.end()}), "c0a84d63");  // 192.168.77.99
}

TEST_F(SimLab, HeaderFaultsBreakExactlyTheirByte) {
  const std::vector<Received> all = AskA("255.255.255.255", SearchRequest({}));
  const std::vector<Received> status = From(all, "192.168.77.23");
  const std::vector<Received> reserved = From(all, "192.168.77.24");
  const std::vector<Received> command = From(all, "192.168.77.25");
  ASSERT_EQ(status.size(), 1u);
  ASSERT_EQ(reserved.size(), 1u);
  ASSERT_EQ(command.size(), 1u);
  EXPECT_EQ(Hex(status[0].bytes).substr(0, 16), "8101001800000000");
  EXPECT_NE(Hex(reserved[0].bytes).substr(8, 8), "00000000");
  EXPECT_EQ(Hex(reserved[0].bytes).substr(0, 8), "81000018");
  EXPECT_EQ(Hex(command[0].bytes).substr(0, 16), "8300001800000000");
  for (const auto *r : {&status[0], &reserved[0], &command[0]})
    EXPECT_FALSE(dsproto_is_reply(r->bytes.data(), r->bytes.size(), DS_KIND_SEARCH, 0));
}

TEST_F(SimLab, OversizedAndShortRepliesHaveTheirSizes) {
  const std::vector<Received> all = AskA("255.255.255.255", SearchRequest({}));
  const std::vector<Received> big = From(all, "192.168.77.26");
  const std::vector<Received> small = From(all, "192.168.77.27");
  ASSERT_EQ(big.size(), 1u);
  ASSERT_EQ(small.size(), 1u);
  EXPECT_EQ(big[0].bytes.size(), 3000u);
  EXPECT_EQ(dsproto_length_field(big[0].bytes.data(), big[0].bytes.size()), 3000u);
  EXPECT_TRUE(dsproto_is_reply(big[0].bytes.data(), big[0].bytes.size(), DS_KIND_SEARCH, 0));
  EXPECT_EQ(small[0].bytes.size(), 16u);
  EXPECT_TRUE(dsproto_is_reply(small[0].bytes.data(), small[0].bytes.size(), DS_KIND_SEARCH, 0));
  EXPECT_FALSE(dsproto_accept_reply(small[0].bytes.data(), small[0].bytes.size(), DS_KIND_SEARCH, 0));
}

TEST_F(SimLab, TwiceAnswersEveryRequestTwice) {
  for (int round = 0; round < 2; ++round) {
    const std::vector<Received> got = From(AskA("255.255.255.255", SearchRequest({})), "192.168.77.28");
    ASSERT_EQ(got.size(), 2u) << "round " << round;
    EXPECT_EQ(got[0].bytes, got[1].bytes);
  }
}

TEST_F(SimLab, SilentWhenKnownOnlyWhileListed) {
  const _DSNETINFO known = Identity(7, 9, "020000000009");
  const _DSNETINFO other = Identity(7, 9, "02000000000a");  // differs in the MAC only
  const std::vector<Received> listed = AskA("255.255.255.255", SearchRequest({other, known}));
  EXPECT_EQ(From(listed, "192.168.77.29").size(), 0u);
  EXPECT_EQ(From(listed, "192.168.77.21").size(), 1u);
  const std::vector<Received> unlisted = AskA("255.255.255.255", SearchRequest({other}));
  EXPECT_EQ(From(unlisted, "192.168.77.29").size(), 1u);
}

TEST_F(SimLab, AnswerFromCountsSearchRequests) {
  for (int k = 1; k <= 4; ++k) {
    const size_t want = k >= 3 ? 1 : 0;
    EXPECT_EQ(From(AskA("255.255.255.255", SearchRequest({})), "192.168.77.30").size(), want) << "search " << k;
  }
}

TEST_F(SimLab, DelayedDeviceAnswersAfterItsDelay) {
  const std::vector<Received> all = AskA("255.255.255.255", SearchRequest({}));
  const std::vector<Received> slow = From(all, "192.168.77.32");
  const std::vector<Received> quick = From(all, "192.168.77.21");
  ASSERT_EQ(slow.size(), 1u);
  ASSERT_EQ(quick.size(), 1u);
  EXPECT_GE(slow[0].at_ms, 140.0);
  EXPECT_LT(quick[0].at_ms, slow[0].at_ms);
}

TEST_F(SimLab, DirectedSearchAndIdentifyReachOnlyTheAddressedDevice) {
  _DSNETINFO rec{};
  ASSERT_NO_FATAL_FAILURE(IdentifyAt("192.168.77.21", &rec));
  EXPECT_EQ(rec.apid, 0x00010203u);

  const std::vector<Received> directed = AskA("192.168.77.22", SearchRequest({Identity(7, 9, "020000000009")}));
  ASSERT_EQ(directed.size(), 1u);
  EXPECT_EQ(IpText(directed[0].src_ip), "192.168.77.22");
}

TEST_F(SimLab, SetValueAndInfoAnswerOnlyTheMatchingIdentity) {
  const _DSNETINFO plain = Identity(0x00010203, 0x0102, "020000000001");
  const std::vector<uint8_t> set = SetValueRequest(plain, 0x1234);
  ASSERT_EQ(set.size(), 22u);
  std::vector<Received> got = AskA("192.168.77.21", set);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].bytes.size(), DS_SET_VALUE_REPLY_SIZE);
  EXPECT_TRUE(dsproto_accept_reply(got[0].bytes.data(), got[0].bytes.size(), DS_KIND_SET_VALUE, 0));

  const std::vector<uint8_t> info = InfoRequest(plain);
  ASSERT_EQ(info.size(), 20u);
  got = AskA("192.168.77.21", info);
  ASSERT_EQ(got.size(), 1u);
  uint8_t block[DS_INFO_BLOCK_SIZE];
  ASSERT_TRUE(dsproto_read_info(got[0].bytes.data(), got[0].bytes.size(), block));
  EXPECT_EQ(Hex({block, block + sizeof block}), "00112233445566778899aabbccddeeff");

  // Another device's identity at this address: nobody answers.
  const std::vector<uint8_t> stranger = InfoRequest(Identity(0x00010203, 0x0102, "020000000099"));
  ASSERT_EQ(stranger.size(), 20u);
  EXPECT_TRUE(AskA("192.168.77.21", stranger).empty());

  // Two devices share 192.168.77.40; the identity picks one.
  const std::vector<uint8_t> to_shared2 = SetValueRequest(Identity(2, 0, "020000000042"), 5);
  ASSERT_EQ(to_shared2.size(), 22u);
  got = AskA("192.168.77.40", to_shared2);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(Hex(got[0].bytes).substr(16, 24), "020000000000020000000042");
}

TEST_F(SimLab, NoUnicastDeviceAnswersBroadcastOnly) {
  const _DSNETINFO nouni = Identity(0, 0, "02000000000b");
  for (const std::vector<uint8_t> &req : {IdentifyRequest(), SetValueRequest(nouni, 1), InfoRequest(nouni)}) {
    ASSERT_FALSE(req.empty());
    EXPECT_TRUE(AskA("192.168.77.31", req).empty()) << Hex(req);
  }
  EXPECT_EQ(From(AskA("255.255.255.255", SearchRequest({})), "192.168.77.31").size(), 1u);
}

TEST_F(SimLab, LogHoldsTheExactBytesWithSourceAndDestination) {
  const std::vector<uint8_t> req =
      SearchRequest({Identity(1, 2, "020000000001"), Identity(3, 4, "020000000002"), Identity(5, 6, "020000000003")});
  ASSERT_EQ(req.size(), 44u);
  AskA("255.255.255.255", req);
  AskA("192.168.77.21", IdentifyRequest());

  const std::vector<velatest::SimDatagram> log = lab().WaitSimLog('a', 2, 1000);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].src, "192.168.77.10:13316");
  EXPECT_EQ(log[0].dst, "255.255.255.255:4800");
  EXPECT_EQ(log[0].bytes, req);
  EXPECT_EQ(log[1].dst, "192.168.77.21:4800");
  EXPECT_EQ(Hex(log[1].bytes), "0100000800000000");
  EXPECT_LE(log[0].t, log[1].t);
  // Link b heard nothing of link a's traffic.
  EXPECT_TRUE(lab().SimLog('b').empty());
}

TEST_F(SimLab, GarbageDatagramsAreLoggedAndIgnored) {
  UdpClient client("192.168.77.10", kLocalPort + 1);
  ASSERT_TRUE(client.ok()) << client.error();
  const std::vector<std::vector<uint8_t>> garbage = {
      {},                                                 // empty datagram
      {0x01},                                             // one byte
      Unhex("01000008000000"),                            // seven bytes of a header
      Unhex("0101000800000000"),                          // status set
      Unhex("0100000800000001"),                          // reserved set
      Unhex("8100001800000000"),                          // a reply, not a request
      Unhex("0200001600000000"),                          // set-value cut short
      Unhex("1600001400000000030201000201"),              // info cut short
      Unhex("ff00ffff00000000"),                          // unknown command, huge length field
      std::vector<uint8_t>(9000, 0x01),                   // long junk, status byte set
  };
  for (const auto &g : garbage) ASSERT_TRUE(client.Send("192.168.77.21", DS_DEVICE_PORT, g));
  for (const auto &g : garbage) ASSERT_TRUE(client.Send("255.255.255.255", DS_DEVICE_PORT, g));
  EXPECT_TRUE(client.Collect(kWindowMs).empty());

  const std::vector<velatest::SimDatagram> log = lab().WaitSimLog('a', 2 * garbage.size(), 1000);
  ASSERT_EQ(log.size(), 2 * garbage.size());
  for (size_t i = 0; i < garbage.size(); ++i) EXPECT_EQ(log[i].bytes, garbage[i]) << i;

  // Still alive and answering.
  EXPECT_EQ(From(AskA("255.255.255.255", SearchRequest({})), "192.168.77.21").size(), 1u);
}

TEST_F(SimLab, HundredTwentyEightDevicesAllAnswerOneBroadcast) {
  std::string ini;
  for (int i = 0; i < 128; ++i) {
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:00:00:00:01:%02x", i);
    ini += "[dev" + std::to_string(i) + "]\nip = 192.168.77." + std::to_string(100 + i) + "\nmac = " + mac + "\n";
  }
  ASSERT_TRUE(lab().LoadSimText(ini)) << lab().error();
  const std::vector<Received> got = AskA("255.255.255.255", SearchRequest({}));
  ASSERT_EQ(got.size(), 128u);
  for (int i = 0; i < 128; ++i) {
    const std::vector<Received> one = From(got, "192.168.77." + std::to_string(100 + i));
    ASSERT_EQ(one.size(), 1u) << i;
    EXPECT_EQ(one[0].bytes[19], i);  // last MAC byte
  }
}

TEST_F(SimLab, ExitsCleanlyOnSigterm) {
  // A second simulator in the host namespace (port 4800 is free there),
  // stopped by SIGTERM: exit status 0 and its log closed complete.
  const std::string ini = velatest::Lab::WriteTempIni("[d]\nip = 192.168.77.10\n");
  const std::string log = lab().run_dir() + "/sigterm.jsonl";
  std::string out;
  const int rc = lab().RunInHost(SimStartedAndStopped(ini, log, "2>/dev/null") + "; echo $?", &out);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "0\n");
}

TEST_F(SimLab, DeviceWhoseAddressIsNotLocalIsReportedAndSkipped) {
  const std::string ini = velatest::Lab::WriteTempIni("[here]\nip = 192.168.77.10\n[away]\nip = 192.168.77.21\n");
  const std::string log = lab().run_dir() + "/skip.jsonl";
  std::string out;
  lab().RunInHost(SimStartedAndStopped(ini, log, "2>&1"), &out);
  EXPECT_NE(out.find("[away] address 192.168.77.21 is not local here; device skipped"), std::string::npos) << out;
  EXPECT_NE(out.find("playing 1 device(s)"), std::string::npos) << out;
}

TEST_F(SimLab, UnknownReceiveInterfaceIsAnErrorWithExitCode2) {
  const std::string ini = velatest::Lab::WriteTempIni("[d]\nip = 192.168.77.10\n");
  std::string out;
  EXPECT_EQ(lab().RunInHost(SimCommand(ini) + " --iface vela-nosuch --log /dev/null 2>&1; echo rc=$?", &out), 0);
  EXPECT_NE(out.find("no interface 'vela-nosuch' here"), std::string::npos) << out;
  EXPECT_NE(out.find("rc=2"), std::string::npos) << out;
}

TEST_F(SimLab, MalformedDeviceFileIsAClearErrorWithExitCode2) {
  struct Case {
    const char *ini;
    const char *message;
  } cases[] = {
      {"[d]\nip = 192.168.77.21\nthis line has no equals sign\n", "cannot parse"},
      {"[d]\nip = 192.168.77.300\n", "[d] ip = '192.168.77.300': expected an IPv4 address"},
      {"[d]\nmac = 02:00:00:00:00:01\n", "[d] has no ip"},
      {"[d]\nip = 192.168.77.21\ntwise = 1\n", "[d] unknown key 'twise'"},
  };
  for (const Case &c : cases) {
    const std::string ini = velatest::Lab::WriteTempIni(c.ini);
    std::string out;
    const int rc = lab().RunInHost(SimCommand(ini) + " --log /dev/null 2>&1; echo rc=$?", &out);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_NE(out.find("rc=2"), std::string::npos) << out;
  }
}

}  // namespace
