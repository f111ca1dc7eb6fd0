// Device list without a network: the state before any search, the fresh
// record, and a clean exit with 128 devices known.  Replies are handed to
// the list's search callback directly (no search runs, nothing is sent:
// opening a device handle and registering its callback stay in process).
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "dsapi.h"
#include "dscfgthread.h"
#include "dslist.h"
#include "dsthread.h"
#include "modeltable.h"

namespace {

_DSNETINFO Reply(int n, bool with_mac = true) {
  _DSNETINFO r{};
  r.apid = 0x00560003;
  r.hwid = 0x1004;
  r.ip = htonl(0x0A630000u + static_cast<uint32_t>(n));  // 10.99.x.y, never sent to
  r.reported_ip = r.ip;
  if (with_mac) {
    uint8_t mac[6] = {2, 0x56, 0x99, 0, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
    std::memcpy(r.mac, mac, 6);
  }
  return r;
}

TEST(DsListIdle, IsSearchDoneWithoutSearch) {
  EXPECT_TRUE(DsList.IsSearchDone());
  EXPECT_EQ(DsList.FoundCount(), 0);
  EXPECT_EQ(DsList.ListCount(), 0);
  EXPECT_EQ(DsList.FinishSearch(false), 0);
  EXPECT_TRUE(DsList.IsSearchDone());
}

TEST(DsListIdle, FreshRecordHasOnlyItsIdentity) {
  _DSNETINFO r = Reply(1, false);
  int before = DsList.DeviceCount();
  ASSERT_EQ(TDsList::OnSearchReply(&r), 1);
  ASSERT_EQ(DsList.DeviceCount(), before + 1);
  _DSONEINFO *rec = DsList.Device(before);
  _DSNETINFO net = DsNetCopy(rec);
  EXPECT_EQ(std::memcmp(&net, &r, sizeof r), 0);
  EXPECT_EQ(rec->ports, 4);
  EXPECT_NE(rec->thread, nullptr);
  EXPECT_TRUE(DsFlagTest(rec, DSF_NO_MAC));
  EXPECT_EQ(rec->aux[0] | rec->aux[1] | rec->aux[2] | rec->aux[3], 0);
  EXPECT_EQ(rec->abort_request.load(), 0);
  // A later sighting with the MAC does not clear DSF_NO_MAC.
  _DSNETINFO again = Reply(1, true);
  ASSERT_EQ(TDsList::OnSearchReply(&again), 1);
  EXPECT_EQ(DsList.DeviceCount(), before + 1);
  EXPECT_TRUE(DsFlagTest(rec, DSF_NO_MAC));
  EXPECT_EQ(DsNetCopy(rec).mac[5], 1);
}

TEST(DsListIdle, NullReplyEndsAPassAndGoesOn) { EXPECT_EQ(TDsList::OnSearchReply(nullptr), 1); }

TEST(DsListIdle, UnknownModelChangesNothing) {
  _DSNETINFO r = Reply(2);
  r.apid = 0x00990001;
  int devices = DsList.DeviceCount(), found = DsList.FoundCount();
  EXPECT_EQ(TDsList::OnSearchReply(&r), 1);
  EXPECT_EQ(DsList.DeviceCount(), devices);
  EXPECT_EQ(DsList.FoundCount(), found);
}

// 128 devices with their request threads, then exit(): the list's
// destructor must stop every thread (no joinable std::thread destroyed,
// no hang), so the process ends with its own status.
TEST(DsListExit, ExitsCleanlyWith128DevicesKnown) {
  // The child is a fresh run of this program (threads do not survive fork).
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        for (int n = 100; DsList.FoundCount() < DS_MAX_FOUND; n++) {
          _DSNETINFO r = Reply(n);
          TDsList::OnSearchReply(&r);
        }
        _DSNETINFO extra = Reply(999);
        if (TDsList::OnSearchReply(&extra) != 0)  // the 129th stops the search
          std::exit(3);
        ThreadSleepMs(100);  // let the configuration thread hand some over
        std::exit(DsList.DeviceCount() >= DS_MAX_FOUND ? 7 : 4);
      },
      ::testing::ExitedWithCode(7), "");
}

// Shutdown frees the records, so it gives back the handles they held: every
// slot of the handle table can be opened again afterwards.
TEST(DsListExit, ShutdownReleasesTheHandlesOfItsRecords) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const int devices = 16;
        for (int n = 300; n < 300 + devices; n++) {
          _DSNETINFO r = Reply(n);
          TDsList::OnSearchReply(&r);
        }
        // Both commands of every device carried out: its handle is open.
        for (int tries = 0; tries < 1000; tries++) {
          int open = 0;
          for (int i = 0; i < DsList.DeviceCount(); i++) {
            _DSONEINFO *rec = DsList.Device(i);
            open += DsFlagTest(rec, DSF_OPEN) && rec->thread->PendingCount() == 0 ? 1 : 0;
          }
          if (open == devices && DsList.Cfg()->PendingCount() == 0)
            break;
          ThreadSleepMs(10);
        }
        DsList.Shutdown();
        int free_slots = 0;
        _DSNETINFO any{};
        int32_t handle = -1;
        while (free_slots < DS_MAX_HANDLES && ds_open(&any, &handle) == DS_OK)
          free_slots++;
        std::exit(free_slots);
      },
      ::testing::ExitedWithCode(DS_MAX_HANDLES), "");
}

// A request thread the system refuses (here: the process's thread limit,
// for real) does not end the program: the device is not added, the search
// ends as if stopped, the devices found so far stay and are merged, and the
// notice says why.  Exit code 10 means all of it held.
// The child's part of the test below: the exit status says how far it got.
[[noreturn]] void RefuseAThreadAndCheck() {
  for (int n = 500; n < 503; n++) {
    _DSNETINFO r = Reply(n);
    if (TDsList::OnSearchReply(&r) != 1)
      std::exit(1);
  }
  // No root rights and a thread limit of 0: the next thread is refused.  The
  // hard limit stays open, so the limit can be lifted again before exit
  // (the leak checker of the sanitizer builds needs a thread then).
  struct rlimit limit;
  if (getrlimit(RLIMIT_NPROC, &limit) != 0 || limit.rlim_max == 0)
    std::exit(2);
  const rlim_t soft = limit.rlim_cur;
  limit.rlim_cur = 0;
  if (setrlimit(RLIMIT_NPROC, &limit) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
    std::exit(2);
  int devices = DsList.DeviceCount();
  _DSNETINFO refused = Reply(503);
  if (TDsList::OnSearchReply(&refused) != 0)  // ends the search
    std::exit(3);
  if (DsList.DeviceCount() != devices || DsList.FoundCount() != 3)
    std::exit(4);  // no record for the refused device
  _DSNETINFO later = Reply(500);
  if (TDsList::OnSearchReply(&later) != 0)  // stopped: nothing more is taken
    std::exit(5);
  std::vector<std::string> notices = DsList.TakeNotices();
  const std::string head = "cannot start a thread for device 02:56:99:00:01:F7 at 10.99.1.247: ";
  if (notices.size() != 1 || notices[0].rfind(head, 0) != 0 || notices[0].size() <= head.size())
    std::exit(6);
  // The search could not be carried out whole: the programs say why.
  if (DsList.SearchFailure() != notices[0])
    std::exit(9);
  if (DsList.FinishSearch(false) != 3 || !DsList.TakeNotices().empty())
    std::exit(7);
  limit.rlim_cur = soft;
  if (setrlimit(RLIMIT_NPROC, &limit) != 0)
    std::exit(8);
  std::exit(10);
}

// A request thread the system refuses (here: the process's thread limit,
// for real) does not end the program: the device is not added, the search
// ends as if stopped, the devices found so far stay and are merged, and the
// notice and the search's failure say why.
TEST(DsListLimits, RefusedRequestThreadStopsTheSearchAndKeepsTheFound) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RefuseAThreadAndCheck(), ::testing::ExitedWithCode(10), "");
}

}  // namespace
