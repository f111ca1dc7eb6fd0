// Replies as the finder reads them: the reply test, our rule for short
// replies, the search reply record, the identify check and the info block.
#include <gtest/gtest.h>

#include "proto_test_util.h"

namespace {

// A search reply of apid 0x00010203, hwid 0x0102, MAC 02:..:01, reporting
// 192.168.77.21.
const char kSearchReply[] = "8100001800000000" "03020100" "0201" "020000000001" "c0a84d15";

std::vector<uint8_t> Reply(const std::string &hex) { return Unhex(hex); }

TEST(ReplyTest, AcceptsOnlyCommandWithBit7StatusZeroReservedZero) {
  const std::vector<uint8_t> ok = Reply(kSearchReply);
  EXPECT_TRUE(dsproto_is_reply(ok.data(), ok.size(), DS_KIND_SEARCH, 0));

  std::vector<uint8_t> r = ok;
  r[1] = 1;  // status 1
  EXPECT_FALSE(dsproto_is_reply(r.data(), r.size(), DS_KIND_SEARCH, 0));
  for (size_t i = 4; i < 8; ++i) {
    r = ok;
    r[i] = 0x10;  // any reserved byte set
    EXPECT_FALSE(dsproto_is_reply(r.data(), r.size(), DS_KIND_SEARCH, 0)) << i;
  }
  for (uint8_t cmd : {0x83, 0x01, 0x82, 0x96, 0x00, 0xff}) {
    r = ok;
    r[0] = cmd;
    EXPECT_FALSE(dsproto_is_reply(r.data(), r.size(), DS_KIND_SEARCH, 0)) << int(cmd);
  }
  // The length field is not tested.
  r = ok;
  r[2] = 0xff;
  r[3] = 0x01;
  EXPECT_TRUE(dsproto_is_reply(r.data(), r.size(), DS_KIND_SEARCH, 0));
  // The reserved value the caller expects is compared big-endian.
  r = ok;
  r[7] = 5;
  EXPECT_TRUE(dsproto_is_reply(r.data(), r.size(), DS_KIND_SEARCH, 5));
}

TEST(ReplyTest, HeaderShorterThanEightBytesIsNoReply) {
  const std::vector<uint8_t> ok = Reply(kSearchReply);
  for (size_t len = 0; len < 8; ++len) EXPECT_FALSE(dsproto_is_reply(ok.data(), len, DS_KIND_SEARCH, 0)) << len;
  EXPECT_TRUE(dsproto_is_reply(ok.data(), 8, DS_KIND_SEARCH, 0));
  EXPECT_FALSE(dsproto_is_reply(nullptr, 24, DS_KIND_SEARCH, 0));
}

TEST(ReplyTest, RepliesShorterThanTheirKindAreDiscarded) {
  const std::vector<uint8_t> search = Reply(kSearchReply);
  EXPECT_FALSE(dsproto_accept_reply(search.data(), 23, DS_KIND_SEARCH, 0));
  EXPECT_TRUE(dsproto_accept_reply(search.data(), 24, DS_KIND_SEARCH, 0));

  // A set-value reply is judged by its header alone: 8 bytes are enough.
  std::vector<uint8_t> set = Reply("8200001400000000030201000201020000000001");
  EXPECT_FALSE(dsproto_accept_reply(set.data(), 7, DS_KIND_SET_VALUE, 0));
  for (size_t len : {8u, 19u, 20u}) EXPECT_TRUE(dsproto_accept_reply(set.data(), len, DS_KIND_SET_VALUE, 0)) << len;
  set[1] = 1;
  EXPECT_FALSE(dsproto_accept_reply(set.data(), 8, DS_KIND_SET_VALUE, 0));
  EXPECT_EQ(dsproto_reply_min(DS_KIND_SET_VALUE), 8u);
  EXPECT_EQ(dsproto_reply_min(DS_KIND_SEARCH), 24u);
  EXPECT_EQ(dsproto_reply_min(DS_KIND_GET_INFO), 36u);
  EXPECT_EQ(dsproto_reply_min(3), 0u);

  std::vector<uint8_t> info(36, 0);
  info[0] = 0x96;
  EXPECT_FALSE(dsproto_accept_reply(info.data(), 35, DS_KIND_GET_INFO, 0));
  EXPECT_TRUE(dsproto_accept_reply(info.data(), 36, DS_KIND_GET_INFO, 0));
  EXPECT_FALSE(dsproto_accept_reply(info.data(), 36, 3, 0));  // unknown kind
}

TEST(ReadSearchReply, FieldsInTheirByteOrder) {
  std::vector<uint8_t> r = Reply(kSearchReply);
  r.resize(3000, 0xEE);  // a longer reply is read up to byte 24 only
  _DSNETINFO info{};
  ASSERT_TRUE(dsproto_read_search_reply(r.data(), r.size(), Ip("192.168.77.50"), Ip("192.168.77.10"), false, &info));
  EXPECT_EQ(info.apid, 0x00010203u);
  EXPECT_EQ(info.hwid, 0x0102u);
  EXPECT_EQ(Hex(info.mac, 6), "020000000001");
  EXPECT_EQ(info.reported_ip, Ip("192.168.77.21"));
  EXPECT_EQ(info.ip, Ip("192.168.77.50"));  // the datagram's source wins
  EXPECT_EQ(info.local_ip, Ip("192.168.77.10"));
  EXPECT_EQ(info.flags, 0);
  ASSERT_TRUE(dsproto_read_search_reply(r.data(), r.size(), Ip("192.168.77.50"), 0, true, &info));
  EXPECT_EQ(info.flags, DS_DIRECT);
}

TEST(ReadSearchReply, SourceZeroGivesTheReportedAddress) {
  const std::vector<uint8_t> r = Reply(kSearchReply);
  _DSNETINFO info{};
  ASSERT_TRUE(dsproto_read_search_reply(r.data(), r.size(), 0, Ip("192.168.77.10"), false, &info));
  EXPECT_EQ(info.ip, info.reported_ip);
  EXPECT_EQ(info.ip, Ip("192.168.77.21"));
}

TEST(ReadSearchReply, RejectedReplyLeavesTheRecordUntouched) {
  _DSNETINFO info = Device(9, 9, "090909090909");
  info.ip = 99;
  const _DSNETINFO before = info;
  std::vector<uint8_t> r = Reply(kSearchReply);
  EXPECT_FALSE(dsproto_read_search_reply(r.data(), 23, 1, 2, false, &info));
  r[1] = 1;
  EXPECT_FALSE(dsproto_read_search_reply(r.data(), r.size(), 1, 2, false, &info));
  EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
  EXPECT_FALSE(dsproto_read_search_reply(r.data(), r.size(), 1, 2, false, nullptr));
}

TEST(CheckIdentify, ZeroFieldsAreCompletedFromTheReply) {
  const std::vector<uint8_t> r = Reply(kSearchReply);
  _DSNETINFO rec{};
  ASSERT_EQ(dsproto_check_identify(r.data(), r.size(), &rec), 1);
  EXPECT_EQ(rec.apid, 0x00010203u);
  EXPECT_EQ(rec.hwid, 0x0102u);
  EXPECT_EQ(Hex(rec.mac, 6), "020000000001");
  EXPECT_EQ(rec.reported_ip, Ip("192.168.77.21"));
}

TEST(CheckIdentify, MatchingRecordKeepsItsReportedAddress) {
  const std::vector<uint8_t> r = Reply(kSearchReply);
  _DSNETINFO rec = Device(0x00010203, 0x0102, "020000000001");
  rec.reported_ip = Ip("10.0.0.1");
  ASSERT_EQ(dsproto_check_identify(r.data(), r.size(), &rec), 1);
  EXPECT_EQ(rec.reported_ip, Ip("10.0.0.1"));
}

TEST(CheckIdentify, AnyContradictionIsAMismatch) {
  const std::vector<uint8_t> r = Reply(kSearchReply);
  _DSNETINFO apid = Device(0x00010204, 0x0102, "020000000001");
  _DSNETINFO hwid = Device(0x00010203, 0x0103, "020000000001");
  _DSNETINFO mac = Device(0x00010203, 0x0102, "020000000002");
  EXPECT_EQ(dsproto_check_identify(r.data(), r.size(), &apid), -1);
  EXPECT_EQ(dsproto_check_identify(r.data(), r.size(), &hwid), -1);
  EXPECT_EQ(dsproto_check_identify(r.data(), r.size(), &mac), -1);
}

TEST(CheckIdentify, NoAcceptableReplyLeavesTheRecordUntouched) {
  const std::vector<uint8_t> r = Reply(kSearchReply);
  _DSNETINFO rec{};
  EXPECT_EQ(dsproto_check_identify(r.data(), 23, &rec), -1);
  std::vector<uint8_t> bad = r;
  bad[0] = 0x82;
  EXPECT_EQ(dsproto_check_identify(bad.data(), bad.size(), &rec), -1);
  const _DSNETINFO zero{};
  EXPECT_EQ(std::memcmp(&rec, &zero, sizeof rec), 0);
  EXPECT_EQ(dsproto_check_identify(r.data(), r.size(), nullptr), -1);
}

TEST(ReadInfo, CopiesBytes20To35) {
  std::vector<uint8_t> r = Reply("9600002400000000030201000201020000000001" "00112233445566778899aabbccddeeff");
  uint8_t block[DS_INFO_BLOCK_SIZE] = {};
  ASSERT_TRUE(dsproto_read_info(r.data(), r.size(), block));
  EXPECT_EQ(Hex(block, sizeof block), "00112233445566778899aabbccddeeff");
  uint8_t untouched[DS_INFO_BLOCK_SIZE] = {};
  EXPECT_FALSE(dsproto_read_info(r.data(), 35, untouched));
  EXPECT_EQ(Hex(untouched, sizeof untouched), std::string(32, '0'));
  r[1] = 1;
  EXPECT_FALSE(dsproto_read_info(r.data(), r.size(), block));
}

TEST(DeviceSide, SearchReplyBuilderRoundTrips) {
  const uint8_t mac[6] = {2, 0, 0, 0, 0, 1};
  Guarded buf(DS_SEARCH_REPLY_SIZE);
  ASSERT_EQ(dsproto_build_search_reply(buf.data(), buf.cap(), 0x00010203, 0x0102, mac, Ip("192.168.77.21")), 24);
  EXPECT_EQ(buf.hex(24), kSearchReply);
  EXPECT_TRUE(buf.canary_intact(24));
  Guarded small(23);
  EXPECT_EQ(dsproto_build_search_reply(small.data(), small.cap(), 1, 2, mac, 3), -1);
  EXPECT_TRUE(small.canary_intact(0));
}

TEST(Mac, ZeroTest) {
  const uint8_t zero[6] = {};
  const uint8_t last[6] = {0, 0, 0, 0, 0, 1};
  EXPECT_TRUE(dsproto_mac_is_zero(zero));
  EXPECT_FALSE(dsproto_mac_is_zero(last));
}

}  // namespace
