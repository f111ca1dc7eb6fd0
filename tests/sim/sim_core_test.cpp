// The simulator's pure parts: device file, request parser, the decision who
// answers, reply bytes and log lines.  No sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim_config.h"
#include "sim_device.h"
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

}  // namespace
