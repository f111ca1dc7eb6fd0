// Configuration thread: order of hand-over, merge of identical pending
// commands, the address clash, the double move.  The request threads are
// created suspended, so handed-over commands stay in their lists where the
// test can see them; the test plays the request thread by setting done.
// Also: an idle configuration or request thread wakes for new work and for
// Terminate.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "dsapi.h"
#include "dscfgthread.h"
#include "dsrecord.h"
#include "dsthread.h"
#include "wait.h"
#include "wire_text.h"

namespace {

using velatest::Ip;
using velatest::WaitUntil;

struct Device {
  _DSONEINFO rec;
  std::unique_ptr<Tdsthread> thread;
  Device(const char *ip, uint8_t mac_last) {
    rec.net.apid = 0x00560001;
    rec.net.hwid = 0x2104;
    rec.net.ip = Ip(ip);
    uint8_t mac[6] = {2, 0x56, 0, 0, 0, mac_last};
    std::memcpy(rec.net.mac, mac, 6);
    thread = std::make_unique<Tdsthread>(true, &rec);  // never resumed
    rec.thread = thread.get();
  }
  std::vector<_CMDOBJ *> handed() { return thread->CommandsSnapshot(); }
};

class CfgThread : public ::testing::Test {
 protected:
  Device &Make(const char *ip, uint8_t mac_last) {
    devices.push_back(std::make_unique<Device>(ip, mac_last));
    return *devices.back();
  }
  // Declared first, destroyed last: the configuration thread, which reads
  // the devices' addresses, is stopped before they go.
  std::vector<std::unique_ptr<Device>> devices;
  std::unique_ptr<Tdscfgthread> cfg = std::make_unique<Tdscfgthread>(true);
};

TEST_F(CfgThread, HandsOverOldestFirstInPostingOrder) {
  Device &a = Make("192.168.77.21", 1);
  Device &b = Make("192.168.77.22", 2);
  _CMDOBJ *c0 = cfg->PostCommand(&a.rec, CMD_OPEN, 0, 0, 1);
  _CMDOBJ *c1 = cfg->PostCommand(&a.rec, CMD_SET_CALLBACK, 0, 0, 1);
  _CMDOBJ *c2 = cfg->PostCommand(&b.rec, CMD_OPEN, 0, 0, 1);
  EXPECT_EQ(c0->seq + 1, c1->seq);
  EXPECT_EQ(c1->seq + 1, c2->seq);
  EXPECT_EQ(c1->code, CMD_SET_CALLBACK);
  EXPECT_EQ(c0->result.load(), 0);
  EXPECT_EQ(c0->done.load(), 0);
  EXPECT_EQ(cfg->PendingCount(), 3u);

  // One command per pass, oldest first: watch the hand-over.
  cfg->Resume();
  std::vector<size_t> seen_counts;
  ASSERT_TRUE(WaitUntil(
      [&] {
        size_t n = a.handed().size() + b.handed().size();
        if (seen_counts.empty() || seen_counts.back() != n)
          seen_counts.push_back(n);
        return n == 3;
      },
      3000));
  EXPECT_EQ(a.handed(), (std::vector<_CMDOBJ *>{c0, c1}));
  EXPECT_EQ(b.handed(), (std::vector<_CMDOBJ *>{c2}));
  EXPECT_EQ(cfg->PendingCount(), 0u);
  EXPECT_EQ(cfg->InFlightCount(), 3u);
  // Never more than one command more per look, as each pass hands over one.
  for (size_t i = 1; i < seen_counts.size(); i++)
    EXPECT_LE(seen_counts[i] - seen_counts[i - 1], 1u) << "two commands in one pass";
}

TEST_F(CfgThread, MergesIdenticalPendingCommand) {
  Device &a = Make("192.168.77.21", 1);
  _CMDOBJ *first = cfg->PostCommand(&a.rec, CMD_SET_VALUE, 7, 0, 1);
  EXPECT_EQ(cfg->PostCommand(&a.rec, CMD_SET_VALUE, 7, 0, 1), first);
  // Any difference makes a new command: param, param2, code, or no auto_free.
  EXPECT_NE(cfg->PostCommand(&a.rec, CMD_SET_VALUE, 8, 0, 1), first);
  EXPECT_NE(cfg->PostCommand(&a.rec, CMD_SET_VALUE, 7, 1, 1), first);
  EXPECT_NE(cfg->PostCommand(&a.rec, CMD_GET_INFO, 7, 0, 1), first);
  EXPECT_NE(cfg->PostCommand(&a.rec, CMD_SET_VALUE, 7, 0, 0), first);
  EXPECT_EQ(cfg->PendingCount(), 5u);
  cfg->Resume();
  ASSERT_TRUE(WaitUntil([&] { return a.handed().size() == 5; }, 3000));
  EXPECT_EQ(a.handed().front(), first);
}

TEST_F(CfgThread, SameCommandAfterHandOverIsNew) {
  Device &a = Make("192.168.77.21", 1);
  cfg->Resume();
  _CMDOBJ *first = cfg->PostCommand(&a.rec, CMD_OPEN, 0, 0, 1);
  ASSERT_TRUE(WaitUntil([&] { return a.handed().size() == 1; }, 3000));
  _CMDOBJ *second = cfg->PostCommand(&a.rec, CMD_OPEN, 0, 0, 1);
  EXPECT_NE(second, first);
  ASSERT_TRUE(WaitUntil([&] { return a.handed().size() == 2; }, 3000));
  EXPECT_EQ(a.handed()[1], second);
}

TEST_F(CfgThread, SameAddressOtherMacHoldsEveryLaterCommand) {
  Device &a = Make("192.168.77.21", 1);
  Device &b = Make("192.168.77.21", 2);
  Device &c = Make("10.88.0.31", 3);
  cfg->Resume();
  _CMDOBJ *ca = cfg->PostCommand(&a.rec, CMD_SET_VALUE, 1, 0, 1);
  ASSERT_TRUE(WaitUntil([&] { return a.handed().size() == 1; }, 3000));
  _CMDOBJ *cb = cfg->PostCommand(&b.rec, CMD_SET_VALUE, 2, 0, 1);
  _CMDOBJ *cc = cfg->PostCommand(&c.rec, CMD_SET_VALUE, 3, 0, 1);
  ThreadSleepMs(150);  // many passes
  EXPECT_TRUE(b.handed().empty());
  EXPECT_TRUE(c.handed().empty()) << "a command behind a held one must wait too";
  EXPECT_EQ(cfg->PendingCount(), 2u);

  // The request thread finishes a's command: b goes, then c.
  ca->result.store(1);
  ca->done.store(1);
  ASSERT_TRUE(WaitUntil([&] { return b.handed().size() == 1; }, 3000));
  EXPECT_EQ(b.handed()[0], cb);
  // b now holds a's address with another MAC, but c has another address.
  ASSERT_TRUE(WaitUntil([&] { return c.handed().size() == 1; }, 3000));
  EXPECT_EQ(c.handed()[0], cc);
  // a's command, done with auto_free, has been freed and removed.
  ASSERT_TRUE(WaitUntil([&] { return cfg->InFlightCount() == 2; }, 3000));
}

TEST_F(CfgThread, SameAddressSameMacDoesNotClash) {
  Device &a = Make("192.168.77.21", 1);
  Device &a2 = Make("192.168.77.21", 1);
  cfg->Resume();
  cfg->PostCommand(&a.rec, CMD_SET_VALUE, 1, 0, 1);
  ASSERT_TRUE(WaitUntil([&] { return a.handed().size() == 1; }, 3000));
  cfg->PostCommand(&a2.rec, CMD_SET_VALUE, 1, 0, 1);
  EXPECT_TRUE(WaitUntil([&] { return a2.handed().size() == 1; }, 3000));
}

TEST_F(CfgThread, DoneCommandWithoutAutoFreeStaysAndNeverClashes) {
  Device &a = Make("192.168.77.21", 1);
  Device &b = Make("192.168.77.21", 2);
  cfg->Resume();
  _CMDOBJ *ca = cfg->PostCommand(&a.rec, CMD_SET_VALUE, 1, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return a.handed().size() == 1; }, 3000));
  ca->done.store(1);
  cfg->PostCommand(&b.rec, CMD_SET_VALUE, 2, 0, 1);
  EXPECT_TRUE(WaitUntil([&] { return b.handed().size() == 1; }, 3000));
  ThreadSleepMs(50);
  EXPECT_EQ(cfg->InFlightCount(), 2u);  // ca stays: nobody frees it but the thread's end
  EXPECT_EQ(ca->done.load(), 1);
}

TEST_F(CfgThread, DoubleMoveMergesCloseAndCallback) {
  Device &a = Make("192.168.77.21", 1);
  uint32_t first = Ip("192.168.77.51"), second = Ip("192.168.77.52");
  // First move.
  _CMDOBJ *close1 = cfg->PostCommand(&a.rec, CMD_CLOSE, 0, 0, 1);
  _CMDOBJ *open1 = cfg->PostCommand(&a.rec, CMD_OPEN, static_cast<int32_t>(first), 0, 1);
  _CMDOBJ *cb1 = cfg->PostCommand(&a.rec, CMD_SET_CALLBACK, 0, 0, 1);
  // Second move while those are pending.
  EXPECT_EQ(cfg->PostCommand(&a.rec, CMD_CLOSE, 0, 0, 1), close1);
  _CMDOBJ *open2 = cfg->PostCommand(&a.rec, CMD_OPEN, static_cast<int32_t>(second), 0, 1);
  EXPECT_EQ(cfg->PostCommand(&a.rec, CMD_SET_CALLBACK, 0, 0, 1), cb1);
  cfg->Resume();
  ASSERT_TRUE(WaitUntil([&] { return a.handed().size() == 4; }, 3000));
  EXPECT_EQ(a.handed(), (std::vector<_CMDOBJ *>{close1, open1, cb1, open2}));
}

// An idle configuration thread sleeps; a command posted to it is handed over
// at once (generous bound), and Terminate wakes it.
TEST_F(CfgThread, IdleThreadWakesForAPostAndForTerminate) {
  Device &a = Make("192.168.77.21", 1);
  cfg->Resume();
  ThreadSleepMs(100);  // well past its first passes: asleep now
  _CMDOBJ *cmd = cfg->PostCommand(&a.rec, CMD_OPEN, 0, 0, 1);
  ASSERT_TRUE(WaitUntil([&] { return a.handed().size() == 1; }, 5000)) << "a post must wake it";
  EXPECT_EQ(a.handed()[0], cmd);
  cmd->result.store(1);
  cmd->done.store(1);
  ASSERT_TRUE(WaitUntil([&] { return cfg->InFlightCount() == 0; }, 5000));
  ThreadSleepMs(50);
  cfg->Terminate();
  EXPECT_TRUE(WaitUntil([&] { return cfg->Finished(); }, 5000)) << "Terminate must wake it";
}

// A running request thread with nothing to do sleeps; a command handed to
// it is carried out at once (generous bound), and Terminate wakes it.
TEST(RequestThreadIdle, CommandToAnIdleThreadIsCarriedOutAndTerminateWakesIt) {
  _DSONEINFO rec;
  rec.net.apid = 0x00560001;
  rec.net.hwid = 0x2104;
  rec.net.ip = Ip("10.99.0.1");  // opening a handle sends nothing
  Tdsthread thread(false, &rec);
  rec.thread = &thread;
  ASSERT_EQ(thread.StartError(), 0);
  ThreadSleepMs(100);  // asleep now
  _CMDOBJ open;
  open.code = CMD_OPEN;
  open.device = &rec;
  thread.AddCommand(&open);
  ASSERT_TRUE(WaitUntil([&] { return open.done.load() == 1; }, 5000)) << "AddCommand must wake it";
  EXPECT_EQ(open.result.load(), 1);
  EXPECT_TRUE(DsFlagTest(&rec, DSF_OPEN));
  ThreadSleepMs(50);
  thread.Terminate();
  EXPECT_TRUE(WaitUntil([&] { return thread.IsFinished(); }, 5000)) << "Terminate must wake it";
  thread.WaitFor();
  (void)ds_set_callback(rec.handle.load(), nullptr, nullptr);
  (void)ds_close(rec.handle.load());
}

}  // namespace
