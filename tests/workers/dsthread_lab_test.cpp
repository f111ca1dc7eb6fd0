// Request thread against the real network API, in the lab: every row of
// the command table and its edge cases.  Runs in a lab's host namespace of
// its own with request_devices.ini.  The devices are records as a search
// by broadcast leaves them, so every request goes out by the neighbour entry
// with the device's own MAC (and the host route) the network layer sets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dsapi.h"
#include "dsmessage.h"
#include "dsrecord.h"
#include "dsthread.h"
#include "lab.h"
#include "netns.h"
#include "wait.h"
#include "wire_text.h"

namespace {

using velatest::Ip;
using velatest::WaitUntil;

// The lab run_in_lab.sh started this program in.
velatest::Lab &EnclosingLab() { return velatest::Lab::Enclosing(); }

const char *kHostA = "192.168.77.10";

struct Device {
  _DSONEINFO rec;
  std::unique_ptr<Tdsthread> thread;
  // As heard by a broadcast on link a (DS_DIRECT clear).
  Device(const char *ip, uint32_t apid, uint16_t hwid, uint8_t mac_last) {
    rec.net.apid = apid;
    rec.net.hwid = hwid;
    rec.net.ip = rec.net.reported_ip = Ip(ip);
    rec.net.local_ip = Ip(kHostA);
    rec.net.flags = 0;
    uint8_t mac[6] = {2, 0x56, 0, 0, 0, mac_last};
    std::memcpy(rec.net.mac, mac, 6);
    Start();
  }
  // Exactly as a search reported it.
  explicit Device(const _DSNETINFO &heard) {
    rec.net = heard;
    Start();
  }
  void Start() {
    thread = std::make_unique<Tdsthread>(false, &rec);
    rec.thread = thread.get();
  }
  ~Device() {
    thread.reset();
    // The slot keeps its callback for the next handle opened on it; this
    // record goes away (the program's records never do).
    if (DsFlagTest(&rec, DSF_OPEN)) {
      ds_set_callback(rec.handle.load(), nullptr, nullptr);
      ds_close(rec.handle.load());
    }
  }
  // Hands one command to the thread and waits until it is done.
  int32_t Run(int32_t code, int32_t param = 0, _CMDOBJ **keep = nullptr) {
    auto *cmd = new _CMDOBJ;
    cmd->code = code;
    cmd->param = param;
    cmd->device = &rec;
    thread->AddCommand(cmd);
    EXPECT_TRUE(WaitUntil([&] { return cmd->done.load() == 1; }, 20000));
    int32_t r = cmd->result.load();
    if (keep)
      *keep = cmd;
    else
      delete cmd;
    return r;
  }
};

Device *Plain() { return new Device("192.168.77.21", 0x00560001, 0x2104, 0x21); }
Device *Busy() { return new Device("192.168.77.22", 0x00560001, 0x2108, 0x22); }
Device *Silent() { return new Device("192.168.77.23", 0x00560001, 0x2116, 0x23); }

class RequestThread : public ::testing::Test {
 protected:
  void SetUp() override {
    VELA_LAB_OR_SKIP(EnclosingLab());
    // Requests leave only from the lab's host namespace.
    ASSERT_TRUE(velatest::InLabHost(EnclosingLab().name()));
    static bool started = ds_init();
    ASSERT_TRUE(started);
    DsMessage().SetEnabled(true);
    (void)Messages();  // notices of an earlier test
  }
  void TearDown() override { DsMessage().SetEnabled(false); }
  // Takes every notice out of the queue; the caller owns them.
  static std::vector<std::unique_ptr<_DSMSG>> Messages() {
    std::vector<std::unique_ptr<_DSMSG>> out;
    while (_DSMSG *m = DsMessage().Take())
      out.emplace_back(m);
    return out;
  }
};

// A copy of the record a broadcast search gives for the device at ip.
_DSNETINFO g_heard;
uint32_t g_wanted_ip = 0;

int KeepWanted(_DSNETINFO *d) {
  if (d != nullptr && d->ip == g_wanted_ip) g_heard = *d;
  return 1;
}

bool HeardByBroadcast(const char *ip, _DSNETINFO *out) {
  g_heard = _DSNETINFO{};
  g_wanted_ip = Ip(ip);
  ds_set_search_params(300, 1);
  const int rc = ds_search(DS_BROADCAST, KeepWanted);
  ds_set_search_params(1000, 5);  // the settings at start
  *out = g_heard;
  return rc == DS_OK && g_heard.ip == g_wanted_ip;
}

// Lines of `ip neigh` and `ip route` (main table) of this namespace, the
// lab's host namespace, that are about addr.
std::vector<std::string> HostTableLines(const std::string &addr) {
  std::vector<std::string> lines;
  FILE *p = popen("ip -4 neigh show; ip -4 route show table main", "r");
  if (p == nullptr) return {"(ip did not run)"};
  char buf[512];
  while (std::fgets(buf, sizeof buf, p) != nullptr) {
    const std::string line(buf);
    if (line.rfind(addr + " ", 0) == 0) lines.push_back(line);
  }
  if (pclose(p) != 0) lines.push_back("(ip failed)");
  return lines;
}

size_t SetValueRequestsTo(const char *ip, int value) {
  size_t n = 0;
  for (const auto &d : EnclosingLab().SimLog('a'))
    if (d.dst == std::string(ip) + ":4800" && d.bytes.size() == 22 && d.bytes[0] == 2 &&
        d.bytes[20] == (value & 0xFF) && d.bytes[21] == ((value >> 8) & 0xFF))
      n++;
  return n;
}

TEST_F(RequestThread, OpenCallbackAndSetValue) {
  std::unique_ptr<Device> d(Plain());
  EXPECT_EQ(d->Run(CMD_OPEN), 1);
  EXPECT_TRUE(DsFlagTest(&d->rec, DSF_OPEN));
  EXPECT_FALSE(DsFlagTest(&d->rec, DSF_OPEN_FAILED));
  EXPECT_GE(d->rec.handle.load(), 0);
  EXPECT_EQ(d->rec.reachable.load(), 1);
  EXPECT_EQ(d->Run(CMD_SET_CALLBACK), 1);
  EXPECT_EQ(d->Run(CMD_SET_VALUE, 0x1234), 1);
  EXPECT_EQ(d->rec.last_result.load(), 1);
  // The registered callback was called while the reply was awaited.
  EXPECT_EQ(d->rec.progress[0].load(), CMD_SET_VALUE);
  EXPECT_EQ(SetValueRequestsTo("192.168.77.21", 0x1234), 1u);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(RequestThread, ForeignSubnetDeviceHeardByBroadcastIsReachedAndTheTablesAreCleanAfter) {
  _DSNETINFO heard{};
  ASSERT_TRUE(HeardByBroadcast("172.31.9.5", &heard));
  EXPECT_EQ(heard.flags & DS_DIRECT, 0);
  EXPECT_EQ(heard.local_ip, Ip(kHostA));
  // The host has no route to the device's subnet of its own.
  ASSERT_EQ(HostTableLines("172.31.9.5"), std::vector<std::string>{});

  std::unique_ptr<Device> d(new Device(heard));
  EXPECT_EQ(d->Run(CMD_GET_INFO), 1);  // implicit open, then the request
  const uint8_t expect[16] = {0xf5, 0xf4, 0xf3, 0xf2, 0xf1, 0xf0, 0xef, 0xee,
                              0xed, 0xec, 0xeb, 0xea, 0xe9, 0xe8, 0xe7, 0x00};
  EXPECT_EQ(std::memcmp(d->rec.info, expect, 16), 0);
  EXPECT_EQ(d->rec.reachable.load(), 1);
  EXPECT_EQ(d->Run(CMD_SET_VALUE, 0x4321), 1);
  EXPECT_EQ(SetValueRequestsTo("172.31.9.5", 0x4321), 1u);
  EXPECT_TRUE(Messages().empty());
  // The neighbour entry and the host route lived only while each request ran.
  EXPECT_EQ(HostTableLines("172.31.9.5"), std::vector<std::string>{});
}

TEST_F(RequestThread, InfoClearsBitAndAuxOnlyWhenByte12Bit0IsClear) {
  std::unique_ptr<Device> plain(Plain()), busy(Busy());
  for (Device *d : {plain.get(), busy.get()}) {
    DsFlagSet(&d->rec, DSF_INFO_PENDING);
    std::memset(d->rec.aux, 0xAB, 4);
  }
  EXPECT_EQ(plain->Run(CMD_GET_INFO), 1);  // implicit open, then the request
  EXPECT_TRUE(DsFlagTest(&plain->rec, DSF_OPEN));
  const uint8_t expect[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(plain->rec.info, expect, 16), 0);
  EXPECT_FALSE(DsFlagTest(&plain->rec, DSF_INFO_PENDING));
  EXPECT_EQ(plain->rec.aux[0] | plain->rec.aux[1] | plain->rec.aux[2] | plain->rec.aux[3], 0);

  EXPECT_EQ(busy->Run(CMD_GET_INFO), 1);
  EXPECT_EQ(busy->rec.info[12], 1);
  EXPECT_TRUE(DsFlagTest(&busy->rec, DSF_INFO_PENDING));
  EXPECT_EQ(busy->rec.aux[0], 0xAB);
}

TEST_F(RequestThread, CloseOnClosedHandleOpensItFirst) {
  std::unique_ptr<Device> d(Plain());
  EXPECT_EQ(d->Run(CMD_CLOSE), 1);
  EXPECT_FALSE(DsFlagTest(&d->rec, DSF_OPEN));
  EXPECT_FALSE(DsFlagTest(&d->rec, DSF_OPEN_FAILED));
  int32_t h = d->rec.handle.load();
  EXPECT_GE(h, 0);                      // it was opened ...
  EXPECT_EQ(ds_close(h), DS_ERR_INVALID);  // ... and closed again
}

TEST_F(RequestThread, ClosedHandleLeavesNoCallbackForTheNextDeviceInItsSlot) {
  std::unique_ptr<Device> first(Plain());
  ASSERT_EQ(first->Run(CMD_OPEN), 1);
  ASSERT_EQ(first->Run(CMD_SET_CALLBACK), 1);
  const int32_t slot = first->rec.handle.load();
  ASSERT_EQ(first->Run(CMD_CLOSE), 1);
  // The next open takes the lowest free slot: the one just closed.
  std::unique_ptr<Device> second(Busy());
  ASSERT_EQ(second->Run(CMD_OPEN), 1);
  ASSERT_EQ(second->rec.handle.load(), slot);
  // A request of the second device, before it registers a callback of its
  // own, reports its progress to nobody, least of all the first device.
  EXPECT_EQ(second->Run(CMD_SET_VALUE, 0x0B0B), 1);
  EXPECT_EQ(first->rec.progress[0].load(), 0);
  EXPECT_EQ(second->rec.progress[0].load(), 0);
}

TEST_F(RequestThread, UnknownCode) {
  std::unique_ptr<Device> closed(Plain());
  EXPECT_EQ(closed->Run(4711), 1);  // the implicit open succeeded
  EXPECT_TRUE(DsFlagTest(&closed->rec, DSF_OPEN));
  EXPECT_EQ(closed->Run(4711), -1);  // on an open handle: nothing to do
  auto msgs = Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0]->msg_id, 1002);
  EXPECT_EQ(msgs[0]->command, 4711);
  EXPECT_EQ(msgs[0]->result, -1);
  EXPECT_EQ(msgs[0]->device, &closed->rec);
  EXPECT_EQ(closed->rec.reachable.load(), 1);  // -1 leaves it
}

TEST_F(RequestThread, CancelledCommandIsSkipped) {
  std::unique_ptr<Device> d(Plain());
  d->rec.last_result.store(77);
  auto *cmd = new _CMDOBJ;
  cmd->code = CMD_SET_VALUE;
  cmd->param = 0x55;
  cmd->device = &d->rec;
  cmd->cancel.store(1);
  d->thread->AddCommand(cmd);
  ASSERT_TRUE(WaitUntil([&] { return cmd->done.load() == 1; }, 5000));
  EXPECT_EQ(cmd->result.load(), -4);
  EXPECT_EQ(d->rec.last_result.load(), 77);
  EXPECT_EQ(d->rec.flags.load(), 0);
  EXPECT_EQ(d->rec.reachable.load(), 0);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(SetValueRequestsTo("192.168.77.21", 0x55), 0u);
  delete cmd;
}

TEST_F(RequestThread, OpenWithAddressOnOpenHandleChangesNothing) {
  std::unique_ptr<Device> d(Plain());
  ASSERT_EQ(d->Run(CMD_OPEN), 1);
  EXPECT_EQ(d->Run(CMD_OPEN, static_cast<int32_t>(Ip("192.168.77.99"))), 1);
  EXPECT_EQ(DsNetCopy(&d->rec).ip, Ip("192.168.77.21"));
}

TEST_F(RequestThread, OpenWithAddressOnClosedHandleMovesTheDevice) {
  std::unique_ptr<Device> d(Plain());
  d->rec.net.ip = d->rec.net.reported_ip = Ip("192.168.77.99");
  EXPECT_EQ(d->Run(CMD_OPEN, static_cast<int32_t>(Ip("192.168.77.21"))), 1);
  _DSNETINFO net = DsNetCopy(&d->rec);
  EXPECT_EQ(net.ip, Ip("192.168.77.21"));
  EXPECT_EQ(net.reported_ip, Ip("192.168.77.21"));
  EXPECT_EQ(d->Run(CMD_SET_VALUE, 0x0777), 1);  // the handle speaks to the new address
}

TEST_F(RequestThread, FailedOpenIsRetriedBeforeEveryCommand) {
  // Take every free handle, so the device's open fails with -10.
  std::vector<int32_t> taken;
  _DSNETINFO dummy{};
  for (;;) {
    int32_t h = -1;
    if (ds_open(&dummy, &h) != DS_OK)
      break;
    taken.push_back(h);
  }
  std::unique_ptr<Device> d(Plain());
  d->rec.net.ip = d->rec.net.reported_ip = Ip("192.168.77.99");
  EXPECT_EQ(d->Run(CMD_OPEN), DS_ERR_NO_HANDLE);
  EXPECT_TRUE(DsFlagTest(&d->rec, DSF_OPEN_FAILED));
  EXPECT_LT(d->rec.handle.load(), 0);
  // An open with an address on a failed handle: the implicit open runs on
  // the present net and fails again; the address is not applied.
  EXPECT_EQ(d->Run(CMD_OPEN, static_cast<int32_t>(Ip("192.168.77.21"))), -1);
  EXPECT_EQ(DsNetCopy(&d->rec).ip, Ip("192.168.77.99"));
  EXPECT_EQ(d->Run(CMD_SET_CALLBACK), -1);
  EXPECT_TRUE(DsFlagTest(&d->rec, DSF_OPEN_FAILED));
  EXPECT_FALSE(DsFlagTest(&d->rec, DSF_OPEN));
  auto msgs = Messages();
  ASSERT_EQ(msgs.size(), 3u);
  EXPECT_EQ(msgs[0]->result, DS_ERR_NO_HANDLE);
  EXPECT_EQ(msgs[2]->command, CMD_SET_CALLBACK);

  ASSERT_FALSE(taken.empty());
  ds_close(taken.back());
  taken.pop_back();
  EXPECT_EQ(d->Run(CMD_SET_CALLBACK), 1);  // reopened, then registered
  EXPECT_TRUE(DsFlagTest(&d->rec, DSF_OPEN));
  EXPECT_FALSE(DsFlagTest(&d->rec, DSF_OPEN_FAILED));
  for (int32_t h : taken)
    ds_close(h);
}

TEST_F(RequestThread, TimeOutClearsReachableAndPostsNotice) {
  std::unique_ptr<Device> d(Silent());
  ASSERT_EQ(d->Run(CMD_OPEN), 1);
  EXPECT_EQ(d->rec.reachable.load(), 1);
  EXPECT_EQ(d->Run(CMD_SET_VALUE, 3), DS_ERR_TIMEOUT);  // 5 attempts of 1 s
  EXPECT_EQ(d->rec.reachable.load(), 0);
  EXPECT_EQ(d->rec.last_result.load(), DS_ERR_TIMEOUT);
  auto msgs = Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0]->command, CMD_SET_VALUE);
  EXPECT_EQ(msgs[0]->result, DS_ERR_TIMEOUT);
}

TEST_F(RequestThread, AbortRequestCancelsTheRunningRequest) {
  std::unique_ptr<Device> d(Silent());
  ASSERT_EQ(d->Run(CMD_OPEN), 1);
  ASSERT_EQ(d->Run(CMD_SET_CALLBACK), 1);
  auto *cmd = new _CMDOBJ;
  cmd->code = CMD_GET_INFO;
  cmd->device = &d->rec;
  d->thread->AddCommand(cmd);
  // Once the request waits (its progress reports arrive), ask it to stop.
  ASSERT_TRUE(WaitUntil([&] { return d->rec.progress[0].load() == CMD_GET_INFO; }, 5000));
  d->rec.abort_request.store(1);
  ASSERT_TRUE(WaitUntil([&] { return cmd->done.load() == 1; }, 5000));
  EXPECT_EQ(cmd->result.load(), DS_ERR_CANCELLED);
  EXPECT_EQ(d->rec.abort_request.load(), 0);
  EXPECT_EQ(d->rec.reachable.load(), 1);  // -4 leaves it
  delete cmd;
}

TEST_F(RequestThread, TwoCommandsRunInHandOverOrder) {
  std::unique_ptr<Device> d(Plain());
  auto *c1 = new _CMDOBJ;
  auto *c2 = new _CMDOBJ;
  c1->code = c2->code = CMD_SET_VALUE;
  c1->param = 0x0A01;
  c2->param = 0x0A02;
  c1->device = c2->device = &d->rec;
  d->thread->AddCommand(c1);
  d->thread->AddCommand(c2);
  ASSERT_TRUE(WaitUntil([&] { return c2->done.load() == 1; }, 10000));
  EXPECT_EQ(c1->done.load(), 1);
  EXPECT_EQ(c1->result.load(), 1);
  EXPECT_EQ(c2->result.load(), 1);
  int first = -1, second = -1, i = 0;
  for (const auto &dg : EnclosingLab().SimLog('a')) {
    if (dg.bytes.size() == 22 && dg.bytes[20] == 0x01 && dg.bytes[21] == 0x0A && first < 0)
      first = i;
    if (dg.bytes.size() == 22 && dg.bytes[20] == 0x02 && dg.bytes[21] == 0x0A && second < 0)
      second = i;
    i++;
  }
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  EXPECT_LT(first, second);
  delete c1;
  delete c2;
}

}  // namespace
