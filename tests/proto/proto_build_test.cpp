// Requests as they go on the wire: sizes, length fields, byte order, and
// that no builder writes beyond the capacity it is given.
#include <gtest/gtest.h>

#include "proto_test_util.h"

namespace {

TEST(BuildSearch, FirstRequestIsTheEightByteHeader) {
  Guarded buf(DS_SEARCH_REQ_MAX);
  ASSERT_EQ(dsproto_build_search(buf.data(), buf.cap(), nullptr, 0), 8);
  EXPECT_EQ(buf.hex(8), "0100000800000000");
  EXPECT_TRUE(buf.canary_intact(8));
}

TEST(BuildSearch, ThreeHeardDevicesGive44BytesInFirstHeardOrder) {
  const _DSNETINFO a = Device(0x00010203, 0x0102, "020000000001");
  const _DSNETINFO b = Device(0xAABBCCDD, 0xEEFF, "0a0b0c0d0e0f");
  const _DSNETINFO c = Device(1, 2, "000000000000");
  const _DSNETINFO *heard[] = {&a, &b, &c};
  Guarded buf(DS_SEARCH_REQ_MAX);
  ASSERT_EQ(dsproto_build_search(buf.data(), buf.cap(), heard, 3), 44);
  EXPECT_EQ(buf.hex(44),
            "0100002c00000000"
            "03020100" "0201" "020000000001"   // apid and hwid little-endian, MAC as sent
            "ddccbbaa" "ffee" "0a0b0c0d0e0f"
            "01000000" "0200" "000000000000");
}

TEST(BuildSearch, SizesAtTheEntryLimits) {
  std::vector<_DSNETINFO> devs(DS_MAX_ENTRIES + 10);
  for (size_t i = 0; i < devs.size(); ++i) devs[i] = Device(static_cast<uint32_t>(i), 0, "020000000000");
  std::vector<const _DSNETINFO *> heard;
  for (const _DSNETINFO &d : devs) heard.push_back(&d);

  Guarded buf(DS_SEARCH_REQ_MAX);
  // 127 entries, the most a search ever lists: 1532 bytes, length 0x05fc.
  ASSERT_EQ(dsproto_build_search(buf.data(), buf.cap(), heard.data(), 127), 1532);
  EXPECT_EQ(buf.hex(4), "010005fc");
  // More than the buffer's 256 entries are cut to 256.
  ASSERT_EQ(dsproto_build_search(buf.data(), buf.cap(), heard.data(), heard.size()),
            static_cast<int>(DS_SEARCH_REQ_MAX));
  EXPECT_EQ(buf.hex(4), "01000c08");
  EXPECT_TRUE(buf.canary_intact(DS_SEARCH_REQ_MAX));
}

TEST(BuildSearch, TooSmallBufferIsRefusedUntouched) {
  const _DSNETINFO a = Device(1, 2, "020000000001");
  const _DSNETINFO *heard[] = {&a};
  Guarded buf(19);
  EXPECT_EQ(dsproto_build_search(buf.data(), buf.cap(), heard, 1), -1);
  EXPECT_TRUE(buf.canary_intact(0));
  Guarded small(7);
  EXPECT_EQ(dsproto_build_search(small.data(), small.cap(), nullptr, 0), -1);
  EXPECT_TRUE(small.canary_intact(0));
  EXPECT_EQ(dsproto_build_search(nullptr, 100, nullptr, 0), -1);
  EXPECT_EQ(dsproto_build_search(buf.data(), 100, nullptr, 1), -1);  // entries promised, none given
}

TEST(BuildUnicast, IdentifyIsEightBytes) {
  Guarded buf(8);
  ASSERT_EQ(dsproto_build_identify(buf.data(), buf.cap()), 8);
  EXPECT_EQ(buf.hex(8), "0100000800000000");
  EXPECT_TRUE(buf.canary_intact(8));
  Guarded small(7);
  EXPECT_EQ(dsproto_build_identify(small.data(), small.cap()), -1);
  EXPECT_TRUE(small.canary_intact(0));
}

TEST(BuildUnicast, SetValueEndsWithTheLowSixteenBitsLittleEndian) {
  const _DSNETINFO dev = Device(0x00010203, 0x0102, "020000000001");
  Guarded buf(DS_SET_VALUE_REQ_SIZE);
  ASSERT_EQ(dsproto_build_set_value(buf.data(), buf.cap(), &dev, 0x1234), 22);
  EXPECT_EQ(buf.hex(22), "0200001600000000" "03020100" "0201" "020000000001" "3412");
  EXPECT_TRUE(buf.canary_intact(22));
  ASSERT_EQ(dsproto_build_set_value(buf.data(), buf.cap(), &dev, 0x12345678), 22);
  EXPECT_EQ(buf.hex(22).substr(40), "7856");
  ASSERT_EQ(dsproto_build_set_value(buf.data(), buf.cap(), &dev, -1), 22);
  EXPECT_EQ(buf.hex(22).substr(40), "ffff");
  ASSERT_EQ(dsproto_build_set_value(buf.data(), buf.cap(), &dev, -65536), 22);
  EXPECT_EQ(buf.hex(22).substr(40), "0000");

  Guarded small(21);
  EXPECT_EQ(dsproto_build_set_value(small.data(), small.cap(), &dev, 1), -1);
  EXPECT_TRUE(small.canary_intact(0));
  EXPECT_EQ(dsproto_build_set_value(buf.data(), buf.cap(), nullptr, 1), -1);
}

TEST(BuildUnicast, InfoCarriesTheIdentity) {
  const _DSNETINFO dev = Device(0xDEADBEEF, 0xCAFE, "001122334455");
  Guarded buf(DS_INFO_REQ_SIZE);
  ASSERT_EQ(dsproto_build_info(buf.data(), buf.cap(), &dev), 20);
  EXPECT_EQ(buf.hex(20), "1600001400000000" "efbeadde" "feca" "001122334455");
  EXPECT_TRUE(buf.canary_intact(20));
  Guarded small(19);
  EXPECT_EQ(dsproto_build_info(small.data(), small.cap(), &dev), -1);
  EXPECT_TRUE(small.canary_intact(0));
}

TEST(BuildHeader, LengthIsBigEndianAndTheRestZero) {
  Guarded buf(8);
  ASSERT_EQ(dsproto_put_header(buf.data(), buf.cap(), 0x96, 0xABCD), 8);
  EXPECT_EQ(buf.hex(8), "9600abcd00000000");
  EXPECT_EQ(dsproto_length_field(buf.data(), 8), 0xABCD);
  EXPECT_EQ(dsproto_length_field(buf.data(), 3), 0);
}

TEST(Constants, PortsAndReplySizes) {
  EXPECT_EQ(DS_DEVICE_PORT, 4800);
  EXPECT_EQ(DS_LOCAL_PORT, 13316);
  EXPECT_EQ(DS_LOCAL_PORT_STEP, 4096);
  EXPECT_EQ(dsproto_reply_size(DS_KIND_SEARCH), 24u);
  EXPECT_EQ(dsproto_reply_size(DS_KIND_IDENTIFY), 24u);
  EXPECT_EQ(dsproto_reply_size(DS_KIND_SET_VALUE), 20u);
  EXPECT_EQ(dsproto_reply_size(DS_KIND_GET_INFO), 36u);
  EXPECT_EQ(dsproto_reply_size(3), 0u);
  EXPECT_EQ(dsproto_reply_size(0x81), 0u);
}

}  // namespace
