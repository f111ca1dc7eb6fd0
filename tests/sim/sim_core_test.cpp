// The simulator's pure parts: device file, request parser, the decision who
// answers, reply bytes and log lines.  No sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "sim_config.h"
#include "sim_device.h"
#include "sim_flood.h"
#include "sim_log.h"
#include "wire_text.h"

namespace {

// Writes text to a temporary INI file that is removed with the object.
class IniFile {
 public:
  explicit IniFile(const std::string &text) {
    char tmpl[] = "/tmp/vela-simcore-XXXXXX";
    const int fd = mkstemp(tmpl);
    path_ = tmpl;
    if (fd >= 0) {
      EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
      close(fd);
    }
  }
  ~IniFile() { unlink(path_.c_str()); }
  const char *path() const { return path_.c_str(); }

 private:
  std::string path_;
};

using velatest::Hex;
using velatest::Ip;
using velatest::Unhex;

std::string LoadError(const std::string &text) {
  IniFile f(text);
  std::vector<SimDevice> devs;
  std::string err;
  EXPECT_EQ(sim_load_config(f.path(), &devs, &err), -1) << text;
  EXPECT_TRUE(devs.empty());
  return err;
}

SimDevice Plain() {
  SimDevice d;
  d.name = "plain";
  d.ip = Ip("192.168.77.21");
  d.reported_ip = d.ip;
  d.apid = 0x00010203;
  d.hwid = 0x0102;
  const uint8_t mac[6] = {2, 0, 0, 0, 0, 1};
  std::copy(mac, mac + 6, d.mac);
  return d;
}

// ---- device file ----

TEST(SimConfig, ReadsEveryKey) {
  IniFile f(R"([Dev One]
ip = 192.168.77.21
link = b
apid = 0x00010203
hwid = 258
mac = 02:0a:0B:00:00:01
reported_ip = 0.0.0.0   ; a device that reports no address
delay_ms = 25
status = 1
reserved = 1
command = 0x83
short = 1
twice = 1
silent_when_known = 1
answer_from = 3
no_unicast = 1
info = 00112233445566778899AABBCCDDEEFF
)");
  std::vector<SimDevice> devs;
  std::string err;
  ASSERT_EQ(sim_load_config(f.path(), &devs, &err), 0) << err;
  ASSERT_EQ(devs.size(), 1u);
  const SimDevice &d = devs[0];
  EXPECT_EQ(d.name, "dev one");  // iniparser folds names to lower case
  EXPECT_EQ(d.ip, Ip("192.168.77.21"));
  EXPECT_EQ(d.link, 'b');
  EXPECT_EQ(d.apid, 0x00010203u);
  EXPECT_EQ(d.hwid, 258u);
  EXPECT_EQ(Hex(d.mac, 6), "020a0b000001");
  EXPECT_EQ(d.reported_ip, 0u);
  EXPECT_EQ(d.delay_ms, 25u);
  EXPECT_TRUE(d.bad_status && d.bad_reserved && d.short_reply && d.twice && d.silent_when_known && d.no_unicast);
  EXPECT_FALSE(d.oversize);
  EXPECT_EQ(d.command, 0x83);
  EXPECT_EQ(d.answer_from, 3u);
  EXPECT_EQ(Hex(d.info, 16), "00112233445566778899aabbccddeeff");
}

TEST(SimConfig, DefaultsFollowTheAddress) {
  IniFile f("[a]\nip = 192.168.77.5\n[b]\nip = 10.88.0.5\n[far]\nip = 172.31.9.5\n[farb]\nip = 172.31.9.6\nlink = b\n");
  std::vector<SimDevice> devs;
  std::string err;
  ASSERT_EQ(sim_load_config(f.path(), &devs, &err), 0) << err;
  ASSERT_EQ(devs.size(), 4u);
  EXPECT_EQ(devs[0].link, 'a');
  EXPECT_EQ(devs[1].link, 'b');
  EXPECT_EQ(devs[2].link, 'a');  // foreign subnet: link a unless told
  EXPECT_EQ(devs[3].link, 'b');
  EXPECT_EQ(devs[1].reported_ip, devs[1].ip);
  EXPECT_EQ(devs[0].command, -1);
  EXPECT_EQ(devs[0].delay_ms, 0u);
  EXPECT_EQ(Hex(devs[0].mac, 6), "000000000000");
}

TEST(SimConfig, EmptyFileHasNoDevices) {
  IniFile f("; nothing here\n");
  std::vector<SimDevice> devs;
  std::string err;
  EXPECT_EQ(sim_load_config(f.path(), &devs, &err), 0) << err;
  EXPECT_TRUE(devs.empty());
}

TEST(SimConfig, BadValuesNameFileSectionAndKey) {
  EXPECT_NE(LoadError("[d]\napid = 0x1\n").find("[d] has no ip"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 192.168.77\n").find("[d] ip = '192.168.77'"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\napid = 0x1g\n").find("apid"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\napid = 0x100000000\n").find("apid"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\napid = -1\n").find("apid"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\nhwid = 0x10000\n").find("hwid"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\nmac = 02:00:00:00:00\n").find("mac"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\nmac = 02:00:00:00:00:01:02\n").find("mac"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\nmac = 02-00-00-00-00-01\n").find("mac"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\ninfo = 0011\n").find("32 hex digits"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\ntwice = 2\n").find("twice = '2': expected 0 or 1"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\ncommand = 256\n").find("command"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\nlink = c\n").find("link"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\ndelay = 5\n").find("unknown key 'delay'"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\noversize = 1\nshort = 1\n").find("exclude"), std::string::npos);
  EXPECT_NE(LoadError("ip = 1.2.3.4\n[d]\nip = 1.2.3.4\n").find("outside any"), std::string::npos);
  EXPECT_NE(LoadError("[d\nip = 1.2.3.4\n").find("cannot parse"), std::string::npos);
  // A section named like a key of another section: the key has no value.
  EXPECT_NE(LoadError("[d]\n[d:ip]\n").find("section [d:ip] clashes with key 'ip' of [d]"), std::string::npos);
  EXPECT_NE(LoadError("[d]\nip = 1.2.3.4\n[d:link]\n").find("clashes"), std::string::npos);
}

TEST(SimConfig, MissingFileIsAnError) {
  std::vector<SimDevice> devs;
  std::string err;
  EXPECT_EQ(sim_load_config("/nonexistent/devices.ini", &devs, &err), -1);
  EXPECT_NE(err.find("/nonexistent/devices.ini"), std::string::npos);
}

// ---- requests ----

TEST(SimRequest, RejectsWhatIsNoRequest) {
  SimRequest r;
  for (const char *hex : {"", "01", "01000008000000", "0101000800000000", "0100000800000100", "8100001800000000",
                          "0000000800000000", "0300000800000000",
                          "020000160000000000000000000000000000000000",  // set-value, 21 bytes
                          "16000014000000000000000000000000000000"}) {    // info, 19 bytes
    const std::vector<uint8_t> b = Unhex(hex);
    EXPECT_EQ(sim_parse_request(b.data(), b.size(), &r), -1) << hex;
  }
  EXPECT_EQ(sim_parse_request(nullptr, 8, &r), -1);
}

TEST(SimRequest, CountsOnlyWholeKnownDeviceEntries) {
  SimRequest r;
  std::vector<uint8_t> b = Unhex("0100002c00000000");
  b.resize(8 + 12 * 3 + 5, 0xAA);  // three entries and a partial one
  ASSERT_EQ(sim_parse_request(b.data(), b.size(), &r), 1);
  EXPECT_EQ(r.kind, DS_KIND_SEARCH);
  EXPECT_EQ(r.entry_count, 3u);
  EXPECT_EQ(r.entries, b.data() + 8);
}

TEST(SimRequest, SetValueAndInfoCarryTheIdentity) {
  SimRequest r;
  const std::vector<uint8_t> set = Unhex("02000016000000000302010002010200000000013412");
  ASSERT_EQ(sim_parse_request(set.data(), set.size(), &r), 1);
  EXPECT_EQ(r.kind, DS_KIND_SET_VALUE);
  EXPECT_EQ(r.identity, set.data() + 8);
  const std::vector<uint8_t> info = Unhex("1600001400000000030201000201020000000001");
  ASSERT_EQ(sim_parse_request(info.data(), info.size(), &r), 1);
  EXPECT_EQ(r.kind, DS_KIND_GET_INFO);
}

// ---- who answers ----

TEST(SimAnswers, BroadcastSearchYesBroadcastUnicastKindsNo) {
  SimDevice d = Plain();
  SimRequest search{DS_KIND_SEARCH, nullptr, 0, nullptr};
  EXPECT_TRUE(sim_device_answers(&d, search, INADDR_BROADCAST, true));
  EXPECT_TRUE(sim_device_answers(&d, search, d.ip, false));
  EXPECT_FALSE(sim_device_answers(&d, search, Ip("192.168.77.22"), false));
  const std::vector<uint8_t> id = Unhex("030201000201020000000001");
  SimRequest info{DS_KIND_GET_INFO, nullptr, 0, id.data()};
  EXPECT_FALSE(sim_device_answers(&d, info, INADDR_BROADCAST, true));
  EXPECT_TRUE(sim_device_answers(&d, info, d.ip, false));
  const std::vector<uint8_t> other = Unhex("030201000201020000000002");
  SimRequest wrong{DS_KIND_GET_INFO, nullptr, 0, other.data()};
  EXPECT_FALSE(sim_device_answers(&d, wrong, d.ip, false));
}

TEST(SimAnswers, AnswerFromCountsEverySearchIncludingSilentOnes) {
  SimDevice d = Plain();
  d.answer_from = 3;
  d.silent_when_known = true;
  const std::vector<uint8_t> entry = Unhex("030201000201020000000001");
  SimRequest listed{DS_KIND_SEARCH, entry.data(), 1, nullptr};
  SimRequest empty{DS_KIND_SEARCH, nullptr, 0, nullptr};
  EXPECT_FALSE(sim_device_answers(&d, empty, INADDR_BROADCAST, true));
  EXPECT_FALSE(sim_device_answers(&d, listed, INADDR_BROADCAST, true));
  EXPECT_TRUE(sim_device_answers(&d, empty, INADDR_BROADCAST, true));   // third
  EXPECT_FALSE(sim_device_answers(&d, listed, INADDR_BROADCAST, true)); // known
  EXPECT_EQ(d.searches_seen, 4u);
}

TEST(SimAnswers, NoUnicastSilencesEverythingAddressedToTheDevice) {
  SimDevice d = Plain();
  d.no_unicast = true;
  const std::vector<uint8_t> id = Unhex("030201000201020000000001");
  SimRequest search{DS_KIND_SEARCH, nullptr, 0, nullptr};
  SimRequest set{DS_KIND_SET_VALUE, nullptr, 0, id.data()};
  EXPECT_FALSE(sim_device_answers(&d, search, d.ip, false));
  EXPECT_FALSE(sim_device_answers(&d, set, d.ip, false));
  EXPECT_TRUE(sim_device_answers(&d, search, INADDR_BROADCAST, true));
}

// ---- replies ----

std::string Reply(const SimDevice &d, uint8_t kind) {
  std::vector<uint8_t> buf(SIM_REPLY_MAX);
  const int n = sim_build_reply(d, kind, buf.data(), buf.size());
  return n < 0 ? "error" : Hex(buf.data(), static_cast<size_t>(n));
}

TEST(SimReply, EveryKindHasItsLayout) {
  SimDevice d = Plain();
  const std::vector<uint8_t> info = Unhex("00112233445566778899aabbccddeeff");
  std::copy(info.begin(), info.end(), d.info);
  EXPECT_EQ(Reply(d, 1), "810000180000000003020100020102000000000" "1c0a84d15");
  EXPECT_EQ(Reply(d, 2), "8200001400000000030201000201020000000001");
  EXPECT_EQ(Reply(d, 22), "9600002400000000030201000201020000000001" "00112233445566778899aabbccddeeff");
  EXPECT_EQ(Reply(d, 3), "error");
  uint8_t small[100];
  EXPECT_EQ(sim_build_reply(d, 1, small, sizeof small), -1);
}

TEST(SimReply, FaultsChangeOnlyTheirBytes) {
  SimDevice d = Plain();
  d.bad_status = true;
  EXPECT_EQ(Reply(d, 1).substr(0, 16), "8101001800000000");
  d = Plain();
  d.bad_reserved = true;
  EXPECT_EQ(Reply(d, 2).substr(0, 16), "8200001400000001");
  d = Plain();
  d.command = 0x83;
  EXPECT_EQ(Reply(d, 1).substr(0, 16), "8300001800000000");
  d = Plain();
  d.short_reply = true;
  EXPECT_EQ(Reply(d, 22), "96000010000000000302010002010200");
  d = Plain();
  d.oversize = true;
  const std::string big = Reply(d, 1);
  EXPECT_EQ(big.size(), 6000u);
  EXPECT_EQ(big.substr(0, 48), "81000bb8000000000302010002010200000000" "01c0a84d15");
  EXPECT_EQ(big.find_first_not_of('0', 48), std::string::npos);
}

// ---- log ----

TEST(SimLog, LineHasTheFixedFormat) {
  const uint8_t bytes[] = {0x01, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0xab};
  EXPECT_EQ(sim_log_line(1700000000.25, Ip("192.168.77.10"), htons(13316), Ip("255.255.255.255"), htons(4800), bytes,
                         sizeof bytes),
            "{\"t\":1700000000.250000,\"src\":\"192.168.77.10:13316\",\"dst\":\"255.255.255.255:4800\",\"len\":8,"
            "\"hex\":\"01000008000000ab\"}\n");
  EXPECT_EQ(sim_log_line(0, 0, 0, 0, 0, bytes, 0),
            "{\"t\":0.000000,\"src\":\"0.0.0.0:0\",\"dst\":\"0.0.0.0:0\",\"len\":0,\"hex\":\"\"}\n");
}

// ---- fault injection ----

TEST(SimFaultConfig, ReadsFaultKeysAndMarksThemSet) {
  IniFile f("[f]\nip = 192.168.77.21\nloss = 0.25\njitter_ms = 40\nduplicate = 1\ncorrupt = 0.05\nseed = 18446744073709551615\n"
            "[g]\nip = 192.168.77.22\nloss = 0\n");
  std::vector<SimDevice> devs;
  std::string err;
  ASSERT_EQ(sim_load_config(f.path(), &devs, &err), 0) << err;
  ASSERT_EQ(devs.size(), 2u);
  EXPECT_DOUBLE_EQ(devs[0].faults.loss, 0.25);
  EXPECT_EQ(devs[0].faults.jitter_ms, 40u);
  EXPECT_DOUBLE_EQ(devs[0].faults.duplicate, 1.0);
  EXPECT_DOUBLE_EQ(devs[0].faults.corrupt, 0.05);
  EXPECT_EQ(devs[0].seed, 18446744073709551615ull);
  EXPECT_EQ(devs[0].faults_set, SIM_FAULT_LOSS | SIM_FAULT_JITTER | SIM_FAULT_DUPLICATE | SIM_FAULT_CORRUPT |
                                    SIM_FAULT_SEED);
  EXPECT_EQ(devs[1].faults_set, SIM_FAULT_LOSS);

  // The command line's values fill in only what a section left unset.
  SimFaults global;
  global.loss = 0.5;
  global.jitter_ms = 7;
  global.corrupt = 0.125;
  sim_apply_faults(&devs, global, 99);
  EXPECT_DOUBLE_EQ(devs[0].faults.loss, 0.25);
  EXPECT_EQ(devs[0].seed, 18446744073709551615ull);
  EXPECT_DOUBLE_EQ(devs[1].faults.loss, 0.0);
  EXPECT_EQ(devs[1].faults.jitter_ms, 7u);
  EXPECT_DOUBLE_EQ(devs[1].faults.corrupt, 0.125);
  EXPECT_DOUBLE_EQ(devs[1].faults.duplicate, 0.0);
  EXPECT_EQ(devs[1].seed, 99u);
}

TEST(SimFaultConfig, BadFaultValuesAreErrors) {
  for (const char *bad : {"loss = 1.5", "loss = -0.1", "loss = 0.1x", "loss =  ", "duplicate = nan", "corrupt = 2",
                          "jitter_ms = 600001", "jitter_ms = -1", "seed = 18446744073709551616", "seed = x"}) {
    const std::string text = std::string("[d]\nip = 1.2.3.4\n") + bad + "\n";
    const std::string key = std::string(bad).substr(0, std::string(bad).find(' '));
    EXPECT_NE(LoadError(text).find("[d] " + key + " = "), std::string::npos) << bad;
  }
  double v = 0;
  EXPECT_TRUE(sim_parse_fraction("0.3", &v));
  EXPECT_DOUBLE_EQ(v, 0.3);
  EXPECT_FALSE(sim_parse_fraction("1.01", &v));
  EXPECT_FALSE(sim_parse_fraction("", &v));
}

SimDevice Faulty(const std::string &name, uint64_t seed) {
  SimDevice d = Plain();
  d.name = name;
  d.seed = seed;
  return d;
}

// The draws of n requests: for each, 'L' request lost, 'l' reply lost,
// else the number of copies.
std::string Fates(SimDevice d, int n) {
  sim_fault_start(&d);
  std::string out;
  for (int i = 0; i < n; ++i) {
    if (sim_fault_request_lost(&d)) {
      out += 'L';
      continue;
    }
    const SimReplyFate f = sim_fault_reply(&d);
    out += f.copies == 0 ? 'l' : static_cast<char>('0' + f.copies);
  }
  return out;
}

TEST(SimFaults, SameSeedAndNameRepeatTheFaultsOthersDiffer) {
  SimDevice d = Faulty("x", 42);
  d.faults.loss = 0.3;
  d.faults.duplicate = 0.2;
  const std::string a = Fates(d, 200);
  EXPECT_EQ(Fates(d, 200), a);
  SimDevice other_name = d;
  other_name.name = "y";
  EXPECT_NE(Fates(other_name, 200), a);
  SimDevice other_seed = d;
  other_seed.seed = 43;
  EXPECT_NE(Fates(other_seed, 200), a);
}

TEST(SimFaults, WithoutFaultsNothingIsDrawnAndEveryReplyGoesOutOnce) {
  SimDevice d = Faulty("clean", 1);
  sim_fault_start(&d);
  const uint64_t before = d.rng;
  for (int i = 0; i < 100; ++i) {
    EXPECT_FALSE(sim_fault_request_lost(&d));
    const SimReplyFate f = sim_fault_reply(&d);
    EXPECT_EQ(f.copies, 1);
    EXPECT_EQ(f.extra_delay_ms[0], 0u);
    EXPECT_FALSE(f.corrupt[0]);
  }
  EXPECT_EQ(d.rng, before);
}

TEST(SimFaults, FractionsHoldOverManyDraws) {
  // 100000 draws: the standard deviation of a fraction p is at most 0.0016,
  // so 0.01 is more than six of them.
  constexpr int kDraws = 100000;
  SimDevice d = Faulty("stats", 5);
  d.faults = SimFaults{0.3, 50, 0.2, 0.1};
  sim_fault_start(&d);
  int req_lost = 0, reply_lost = 0, replies = 0, dup = 0, corrupt = 0, copies = 0;
  uint32_t max_delay = 0;
  double delay_sum = 0;
  for (int i = 0; i < kDraws; ++i) {
    if (sim_fault_request_lost(&d)) {
      ++req_lost;
      continue;
    }
    const SimReplyFate f = sim_fault_reply(&d);
    ++replies;
    if (f.copies == 0) ++reply_lost;
    if (f.copies == 2) ++dup;
    for (int k = 0; k < f.copies; ++k) {
      ++copies;
      corrupt += f.corrupt[k] ? 1 : 0;
      max_delay = std::max(max_delay, f.extra_delay_ms[k]);
      delay_sum += f.extra_delay_ms[k];
    }
  }
  EXPECT_NEAR(static_cast<double>(req_lost) / kDraws, 0.3, 0.01);
  EXPECT_NEAR(static_cast<double>(reply_lost) / replies, 0.3, 0.01);
  EXPECT_NEAR(static_cast<double>(dup) / (replies - reply_lost), 0.2, 0.01);
  EXPECT_NEAR(static_cast<double>(corrupt) / copies, 0.1, 0.01);
  EXPECT_EQ(max_delay, 50u);
  EXPECT_NEAR(delay_sum / copies, 25.0, 0.5);
}

TEST(SimFaults, CorruptionChangesOneToFourPayloadBytesNeverTheHeader) {
  SimDevice d = Faulty("corrupt", 9);
  sim_fault_start(&d);
  uint8_t clean[SIM_REPLY_MAX], buf[SIM_REPLY_MAX];
  const int len = sim_build_reply(d, DS_KIND_SEARCH, clean, sizeof clean);
  ASSERT_EQ(len, 24);
  int seen[5] = {};
  for (int i = 0; i < 2000; ++i) {
    std::copy(clean, clean + len, buf);
    sim_fault_corrupt(&d, buf, static_cast<size_t>(len));
    EXPECT_TRUE(std::equal(clean, clean + 8, buf)) << "header changed";
    int changed = 0;
    for (int k = 8; k < len; ++k) changed += buf[k] != clean[k] ? 1 : 0;
    ASSERT_GE(changed, 1);
    ASSERT_LE(changed, 4);
    ++seen[changed];
  }
  for (int n = 1; n <= 4; ++n) EXPECT_GT(seen[n], 300) << n << " bytes";
  // A reply of nothing but its header is left alone.
  std::copy(clean, clean + 8, buf);
  sim_fault_corrupt(&d, buf, 8);
  EXPECT_TRUE(std::equal(clean, clean + 8, buf));
}

// ---- flood ----

TEST(SimFlood, KindsAndTargetsParse) {
  SimFloodKind k;
  EXPECT_TRUE(sim_flood_kind("random", &k));
  EXPECT_EQ(k, SimFloodKind::Random);
  EXPECT_TRUE(sim_flood_kind("unknown-model", &k));
  EXPECT_EQ(k, SimFloodKind::UnknownModel);
  EXPECT_TRUE(sim_flood_kind("oversize", &k));
  EXPECT_EQ(k, SimFloodKind::Oversize);
  EXPECT_FALSE(sim_flood_kind("Random", &k));
  sockaddr_in to{};
  ASSERT_TRUE(sim_flood_target("192.168.77.10:13316", &to));
  EXPECT_EQ(to.sin_addr.s_addr, Ip("192.168.77.10"));
  EXPECT_EQ(ntohs(to.sin_port), 13316);
  for (const char *bad : {"192.168.77.10", "192.168.77.10:", "192.168.77.10:0", "192.168.77.10:65536",
                          "192.168.77:13316", "x:1", "1.2.3.4:1a", "1.2.3.4:-1"})
    EXPECT_FALSE(sim_flood_target(bad, &to)) << bad;
}

TEST(SimFlood, DatagramsHaveTheirKindsShape) {
  uint8_t buf[SIM_REPLY_MAX];
  uint64_t rng = 1;
  size_t shortest = 100000, longest = 0;
  for (int i = 0; i < 2000; ++i) {
    const size_t n = sim_flood_datagram(SimFloodKind::Random, &rng, buf, sizeof buf);
    shortest = std::min(shortest, n);
    longest = std::max(longest, n);
  }
  EXPECT_GE(shortest, 1u);
  EXPECT_LT(shortest, 20u);
  EXPECT_LE(longest, 1472u);
  EXPECT_GT(longest, 1400u);

  // A well-formed search reply that the finder takes as a reply, of a model
  // the built-in table does not list.
  ASSERT_EQ(sim_flood_datagram(SimFloodKind::UnknownModel, &rng, buf, sizeof buf), 24u);
  EXPECT_TRUE(dsproto_accept_reply(buf, 24, DS_KIND_SEARCH, 0));
  _DSNETINFO info{};
  ASSERT_TRUE(dsproto_read_search_reply(buf, 24, 0x0100000a, 0x0a4da8c0, false, &info));
  EXPECT_EQ(info.apid, SIM_FLOOD_APID);
  EXPECT_EQ(info.hwid, SIM_FLOOD_HWID);

  ASSERT_EQ(sim_flood_datagram(SimFloodKind::Oversize, &rng, buf, sizeof buf), 3000u);
  EXPECT_EQ(Hex(buf, 4), "81000bb8");
  uint8_t small[100];
  EXPECT_EQ(sim_flood_datagram(SimFloodKind::Random, &rng, small, sizeof small), 0u);
}

}  // namespace
