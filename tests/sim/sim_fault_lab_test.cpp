// The simulator's fault injection and flood mode on the wire, in a lab of
// its own: a client in the host namespace sends requests as the finder does
// and checks that each device's replies are lost, doubled, corrupted or
// delayed exactly as its seeded generator decides (the test replays the
// same generator), and that a flood is bounded in count, time and place.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lab.h"
#include "proto.h"
#include "sim_device.h"
#include "sim_flood.h"
#include "udp_client.h"
#include "wire_text.h"

namespace {

using velatest::Hex;

const char kDevices[] = R"(
[lossy]
ip = 192.168.77.21
mac = 02:00:00:00:00:21
loss = 0.5
seed = 7
[dup]
ip = 192.168.77.22
mac = 02:00:00:00:00:22
duplicate = 1
[corrupt]
ip = 192.168.77.23
apid = 0x00010203
hwid = 0x0102
mac = 02:00:00:00:00:23
corrupt = 1
[jitter]
ip = 192.168.77.24
mac = 02:00:00:00:00:24
jitter_ms = 200
seed = 11
[clean]
ip = 192.168.77.25
mac = 02:00:00:00:00:25
)";

[[maybe_unused]] velatest::LabEnvironment *const g_env =
    static_cast<velatest::LabEnvironment *>(::testing::AddGlobalTestEnvironment(
        new velatest::LabEnvironment(velatest::Lab::WriteTempIni(kDevices))));

velatest::Lab &lab() { return velatest::LabEnvironment::lab(); }

const std::vector<uint8_t> kSearch = {0x01, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00};

// A device of the file above as the simulator starts it.
SimDevice Replayed(const std::string &name, uint64_t seed, const SimFaults &faults) {
  SimDevice d;
  d.name = name;
  d.seed = seed;
  d.faults = faults;
  sim_fault_start(&d);
  return d;
}

class SimFaultLab : public ::testing::Test {
 protected:
  void SetUp() override { VELA_LAB_OR_SKIP(lab()); }
};

TEST_F(SimFaultLab, LossDropsExactlyTheRequestsAndRepliesTheSeedChooses) {
  constexpr int kRequests = 100;
  SimFaults f;
  f.loss = 0.5;
  SimDevice replay = Replayed("lossy", 7, f);
  int expected = 0;
  for (int i = 0; i < kRequests; ++i)
    if (!sim_fault_request_lost(&replay) && sim_fault_reply(&replay).copies > 0) ++expected;
  ASSERT_GT(expected, 10);  // about a quarter answered
  ASSERT_LT(expected, 45);

  UdpClient client("192.168.77.10", DS_LOCAL_PORT);
  ASSERT_TRUE(client.ok()) << client.error();
  for (int i = 0; i < kRequests; ++i) {
    ASSERT_TRUE(client.Send("255.255.255.255", DS_DEVICE_PORT, kSearch));
    usleep(2000);
  }
  const std::vector<Received> got = client.Collect(500);
  EXPECT_EQ(From(got, "192.168.77.21").size(), static_cast<size_t>(expected));
  // The clean device answered every request; the lost requests were logged.
  EXPECT_EQ(From(got, "192.168.77.25").size(), static_cast<size_t>(kRequests));
  EXPECT_GE(lab().WaitSimLog('a', kRequests, 2000).size(), static_cast<size_t>(kRequests));
}

TEST_F(SimFaultLab, DuplicateSendsTheSameReplyTwice) {
  UdpClient client("192.168.77.10", DS_LOCAL_PORT);
  ASSERT_TRUE(client.ok()) << client.error();
  ASSERT_TRUE(client.Send("255.255.255.255", DS_DEVICE_PORT, kSearch));
  const std::vector<Received> got = From(client.Collect(300), "192.168.77.22");
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(Hex(got[0].bytes), Hex(got[1].bytes));
}

TEST_F(SimFaultLab, CorruptChangesPayloadBytesNeverTheHeader) {
  SimDevice dev;
  dev.apid = 0x00010203;
  dev.hwid = 0x0102;
  const uint8_t mac[DS_MAC_SIZE] = {2, 0, 0, 0, 0, 0x23};
  std::copy(mac, mac + DS_MAC_SIZE, dev.mac);
  dev.reported_ip = velatest::Ip("192.168.77.23");
  std::vector<uint8_t> clean(SIM_REPLY_MAX);
  clean.resize(static_cast<size_t>(sim_build_reply(dev, DS_KIND_SEARCH, clean.data(), clean.size())));

  UdpClient client("192.168.77.10", DS_LOCAL_PORT);
  ASSERT_TRUE(client.ok()) << client.error();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(client.Send("255.255.255.255", DS_DEVICE_PORT, kSearch));
    const std::vector<Received> got = From(client.Collect(200), "192.168.77.23");
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].bytes.size(), clean.size());
    EXPECT_TRUE(std::equal(clean.begin(), clean.begin() + 8, got[0].bytes.begin())) << Hex(got[0].bytes);
    int changed = 0;
    for (size_t k = 8; k < clean.size(); ++k) changed += clean[k] != got[0].bytes[k] ? 1 : 0;
    EXPECT_GE(changed, 1) << Hex(got[0].bytes);
    EXPECT_LE(changed, 4) << Hex(got[0].bytes);
  }
}

TEST_F(SimFaultLab, JitterDelaysEachReplyByItsDrawnTime) {
  constexpr int kRequests = 8;
  SimFaults f;
  f.jitter_ms = 200;
  SimDevice replay = Replayed("jitter", 11, f);
  std::vector<uint32_t> delays;
  for (int i = 0; i < kRequests; ++i) delays.push_back(sim_fault_reply(&replay).extra_delay_ms[0]);
  ASSERT_GT(*std::max_element(delays.begin(), delays.end()) - *std::min_element(delays.begin(), delays.end()), 50u);

  UdpClient client("192.168.77.10", DS_LOCAL_PORT);
  ASSERT_TRUE(client.ok()) << client.error();
  for (int i = 0; i < kRequests; ++i) {
    ASSERT_TRUE(client.Send("255.255.255.255", DS_DEVICE_PORT, kSearch));
    const std::vector<Received> got = From(client.Collect(400), "192.168.77.24");
    ASSERT_EQ(got.size(), 1u) << "request " << i;
    // Never before its drawn delay (1 ms for the clocks' granularity).
    EXPECT_GE(got[0].at_ms, delays[static_cast<size_t>(i)] - 1.0) << "request " << i;
  }
}

std::string Sim() { return VELA_SIM_FOR_TESTS; }

TEST_F(SimFaultLab, FloodIsBoundedInCountAndTime) {
  constexpr uint16_t kPort = 40000;
  UdpClient client("192.168.77.10", kPort);
  ASSERT_TRUE(client.ok()) << client.error();
  std::string out;
  const std::string ns = "vela-" + lab().name() + "-a";
  const std::string cmd = "ip netns exec " + ns + " " + Sim() +
                          " --flood unknown-model --rate 2000 --duration 1 --to 192.168.77.10:" +
                          std::to_string(kPort) + " 2>&1 &";
  ASSERT_EQ(velatest::RunCommand({"sh", "-c", cmd}, &out), 0);
  const std::vector<Received> got = client.Collect(2500);
  EXPECT_LE(got.size(), 2000u);
  EXPECT_GE(got.size(), 1000u);
  uint8_t expected[SIM_REPLY_MAX];
  uint64_t rng = 1;
  const size_t len = sim_flood_datagram(SimFloodKind::UnknownModel, &rng, expected, sizeof expected);
  for (const Received &r : got) ASSERT_EQ(Hex(r.bytes), Hex(expected, len));
  // One second of sending; the arrivals spread over about as long.
  if (!got.empty()) {
    EXPECT_LT(got.back().at_ms - got.front().at_ms, 1500.0);
  }
}

TEST_F(SimFaultLab, FloodAndFaultOptionsAreChecked) {
  const std::string ini = velatest::Lab::WriteTempIni(kDevices);
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"--flood", "random", "--rate", "0", "--duration", "1", "--to", "127.0.0.1:9"}, 2},
      {{"--flood", "random", "--rate", "1000001", "--duration", "1", "--to", "127.0.0.1:9"}, 2},
      {{"--flood", "random", "--rate", "10", "--duration", "61", "--to", "127.0.0.1:9"}, 2},
      {{"--flood", "random", "--rate", "10", "--duration", "1"}, 2},
      {{"--flood", "noise", "--rate", "10", "--duration", "1", "--to", "127.0.0.1:9"}, 2},
      {{"--flood", "random", "--rate", "10", "--duration", "1", "--to", "127.0.0.1"}, 2},
      {{"--config", ini, "--addresses", "--loss", "1.5"}, 2},
      {{"--config", ini, "--addresses", "--jitter-ms", "x"}, 2},
      {{"--config", ini, "--addresses", "--loss", "0.5", "--duplicate", "1", "--corrupt", "0", "--seed", "9"}, 0},
  };
  for (const Case &c : cases) {
    std::vector<std::string> argv = {Sim()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string out;
    EXPECT_EQ(velatest::RunCommand(argv, &out), c.status) << argv[1] << " " << argv[2];
  }
  // A flood outside a lab namespace (a fresh, empty one here) is refused.
  std::string out;
  EXPECT_EQ(velatest::RunCommand({"unshare", "-n", Sim(), "--flood", "random", "--rate", "10", "--duration", "1",
                                  "--to", "127.0.0.1:9"},
                                 &out),
            3);
}

}  // namespace
