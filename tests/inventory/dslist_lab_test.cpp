// Device list end to end in the lab: searches against the simulator, the
// commands the list posts for new and moved devices, identity rules, the
// 128-device bound, KeepFixed, abandoned searches, and a stress run of
// stopped and restarted searches while another thread reads the found list.
// Runs whole in a lab playing data/devices.ini (tests/support/run_in_lab.sh);
// the tests share one process and one device table, so they run in file
// order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <set>
#include <thread>

#include "dscfgthread.h"
#include "dsapi.h"
#include "dslist.h"
#include "dsthread.h"
#include "lab.h"
#include "modeltable.h"
#include "wait.h"
#include "wire_text.h"

namespace {

using velatest::Ip;
using velatest::WaitUntil;

// The lab run_in_lab.sh started this program in.
velatest::Lab &TheLab() { return velatest::Lab::Enclosing(); }

const char *const kDefaultSet = VELA_SOURCE_DIR "/data/devices.ini";

// A set in which only a model the table does not know answers.
const char *kUnknownOnly =
    "[prototype]\nip = 192.168.77.40\napid = 0x00990001\nhwid = 0x0001\nmac = 02:99:00:00:00:40\n";

void Search(int passes = 2, int pass_ms = 150) {
  DsList.StartSearch(-1, passes, pass_ms);
  ASSERT_TRUE(WaitUntil([] { return DsList.IsSearchDone(); }, 20000));
  DsList.FinishSearch(false);
}

int IndexOfMac(const uint8_t last2[2]) {
  for (int i = 0; i < DsList.DeviceCount(); i++) {
    _DSNETINFO n = DsNetCopy(DsList.Device(i));
    if (n.mac[4] == last2[0] && n.mac[5] == last2[1] && n.mac[0] == 0x02 && n.mac[1] == 0x56)
      return i;
  }
  return -1;
}

// A device that exists only in the table (never sent to), whose command
// numbers count every command the list creates in between.
int ProbeDevice() {
  static int index = -1;
  if (index < 0) {
    _DSNETINFO r{};
    r.apid = 0x00560001;
    r.hwid = 0x2104;
    r.ip = r.reported_ip = Ip("10.99.0.1");
    uint8_t mac[6] = {2, 0x99, 0, 0, 0, 1};
    std::memcpy(r.mac, mac, 6);
    TDsList::OnSearchReply(&r);
    index = DsList.DeviceCount() - 1;
  }
  return index;
}

int Seq() {
  static int param = 0;
  // Not auto_free: the object stays until the list shuts down, so it can
  // be read after posting.
  _CMDOBJ *cmd = DsList.PostToDevice(ProbeDevice(), 4242, ++param, 0, false);
  return cmd->seq;
}

// What one search did to the device table: devices it added, and commands
// the list created for them (the probe commands around it not counted).
struct SearchEffect {
  int new_devices;
  int commands;
};

SearchEffect CountedSearch() {
  const int seq0 = Seq();
  const int devices0 = DsList.DeviceCount();
  Search();
  const int new_devices = DsList.DeviceCount() - devices0;
  return {new_devices, Seq() - seq0 - 1};
}

class DeviceList : public ::testing::Test {
 protected:
  void SetUp() override {
    VELA_LAB_OR_SKIP(TheLab());
    static bool up = ds_init();
    ASSERT_TRUE(up);
  }
};

TEST_F(DeviceList, NewDevicesAreOpenedAndGetTheirCallback) {
  ASSERT_TRUE(TheLab().LoadSim(kDefaultSet));
  const SearchEffect e = CountedSearch();
  EXPECT_EQ(DsList.FoundCount(), 9);
  EXPECT_EQ(DsList.ListCount(), 9);
  EXPECT_EQ(e.new_devices, 9);
  EXPECT_EQ(e.commands, 2 * 9) << "an open and a set-callback per new device";
  for (int i = 0; i < DsList.FoundCount(); i++) {
    _DSNETINFO n = DsList.FoundInfoCopy(i);
    EXPECT_GE(FindModel(n.apid, n.hwid), 0) << "unknown models never enter a list";
    EXPECT_EQ(DsList.FoundInfo(i)->ip, n.ip);
  }
  for (int i = 0; i < DsList.ListCount(); i++) {
    _DSONEINFO *rec = DsList.ListDevice(i);
    EXPECT_EQ(rec->ports, 4);
    EXPECT_TRUE(WaitUntil(
        [&] {
          return DsFlagTest(rec, DSF_OPEN) && rec->thread->PendingCount() == 0 && rec->last_result.load() == 1;
        },
        10000))
        << "device " << i;
    EXPECT_EQ(DsFlagTest(rec, DSF_NO_MAC), dsproto_mac_is_zero(DsNetCopy(rec).mac));
  }
  // The callback was registered with the record as its context: a request
  // on the handle reports its progress into the record.
  const uint8_t hall[2] = {0x00, 0x21};
  int i = IndexOfMac(hall);
  ASSERT_GE(i, 0);
  _DSONEINFO *rec = DsList.Device(i);
  DsList.PostToDevice(i, CMD_GET_INFO, 0, 0, true);
  EXPECT_TRUE(WaitUntil([&] { return rec->progress[0].load() == CMD_GET_INFO; }, 10000));
  rec->abort_request.store(1);  // no need to wait for the answer
  EXPECT_TRUE(WaitUntil([&] { return rec->thread->PendingCount() == 0; }, 10000));
}

TEST_F(DeviceList, DeviceHeardAgainAtSameAddressPostsNothing) {
  const SearchEffect e = CountedSearch();
  EXPECT_EQ(e.commands, 0);
  EXPECT_EQ(e.new_devices, 0);
  EXPECT_EQ(DsList.FoundCount(), 9);
}

TEST_F(DeviceList, MovedDeviceIsClosedAndReopenedAtItsNewAddress) {
  const uint8_t hall[2] = {0x00, 0x21};
  int index = IndexOfMac(hall);
  ASSERT_GE(index, 0);
  _DSONEINFO *rec = DsList.Device(index);
  Tdsthread *thread = rec->thread;
  std::string set = velatest::ReadFile(kDefaultSet);
  size_t at = set.find("ip = 192.168.77.21");
  ASSERT_NE(at, std::string::npos);
  set.replace(at, 18, "ip = 192.168.77.61");
  ASSERT_TRUE(TheLab().LoadSimText(set));
  const SearchEffect e = CountedSearch();
  EXPECT_EQ(e.commands, 3) << "close, open at the new address, set callback";
  EXPECT_EQ(e.new_devices, 0);
  EXPECT_EQ(IndexOfMac(hall), index);
  EXPECT_EQ(DsList.Device(index), rec);
  EXPECT_EQ(rec->thread, thread);
  EXPECT_EQ(DsNetCopy(rec).ip, Ip("192.168.77.61"));
  EXPECT_TRUE(WaitUntil(
      [&] { return rec->thread->PendingCount() == 0 && DsFlagTest(rec, DSF_OPEN) && rec->last_result == 1; },
      10000));
  bool listed = false;
  for (int i = 0; i < DsList.ListCount(); i++)
    listed = listed || DsList.ListInfoCopy(i).ip == Ip("192.168.77.61");
  EXPECT_TRUE(listed);
  ASSERT_TRUE(TheLab().LoadSim(kDefaultSet));
  Search();  // and back
  EXPECT_EQ(DsNetCopy(rec).ip, Ip("192.168.77.21"));
}

_DSNETINFO Reply(const char *ip, uint8_t mac_last, uint16_t hwid = 0x3116, uint32_t apid = 0x00560002) {
  _DSNETINFO r{};
  r.apid = apid;
  r.hwid = hwid;
  r.ip = r.reported_ip = Ip(ip);
  r.local_ip = Ip("192.168.77.10");
  if (mac_last) {
    uint8_t mac[6] = {2, 0x56, 0, 0, 0x7, mac_last};
    std::memcpy(r.mac, mac, 6);
  }
  return r;
}

TEST_F(DeviceList, IdentityRulesForMissingAndSharedAddresses) {
  // Empty the found list with a search in which no listed model answers;
  // then hand replies to the list's callback directly, as a search would.
  ASSERT_TRUE(TheLab().LoadSimText(kUnknownOnly));
  Search(1, 100);
  ASSERT_EQ(DsList.FoundCount(), 0);
  int devices0 = DsList.DeviceCount();

  // router-core (known, MAC ..:00:22) answers without its MAC at its address.
  const uint8_t core[2] = {0x00, 0x22};
  int core_index = IndexOfMac(core);
  ASSERT_GE(core_index, 0);
  _DSNETINFO nomac = Reply("192.168.77.22", 0);
  ASSERT_EQ(TDsList::OnSearchReply(&nomac), 1);
  EXPECT_EQ(DsList.DeviceCount(), devices0);
  ASSERT_EQ(DsList.FoundCount(), 1);
  EXPECT_EQ(DsList.FoundInfoCopy(0).mac[5], 0x22) << "the known MAC stays";
  // The same device with its MAC: no second found entry; net flags cleared.
  _DSNETINFO withmac = Reply("192.168.77.22", 0);
  withmac.mac[0] = 2, withmac.mac[1] = 0x56, withmac.mac[5] = 0x22;
  withmac.flags = DS_DIRECT;
  ASSERT_EQ(TDsList::OnSearchReply(&withmac), 1);
  EXPECT_EQ(DsList.FoundCount(), 1);
  EXPECT_EQ(DsList.FoundInfoCopy(0).flags, 0);

  // Two replies without MAC at different addresses: two devices.
  _DSNETINFO z1 = Reply("192.168.77.71", 0), z2 = Reply("192.168.77.72", 0);
  TDsList::OnSearchReply(&z1);
  TDsList::OnSearchReply(&z2);
  EXPECT_EQ(DsList.DeviceCount(), devices0 + 2);
  EXPECT_TRUE(DsFlagTest(DsList.Device(devices0), DSF_NO_MAC));
  EXPECT_TRUE(DsFlagTest(DsList.Device(devices0 + 1), DSF_NO_MAC));

  // One address, two different MACs: two records with the same address.
  _DSNETINFO m1 = Reply("192.168.77.73", 1), m2 = Reply("192.168.77.73", 2);
  TDsList::OnSearchReply(&m1);
  TDsList::OnSearchReply(&m2);
  EXPECT_EQ(DsList.DeviceCount(), devices0 + 4);
  EXPECT_EQ(DsNetCopy(DsList.Device(devices0 + 2)).ip, DsNetCopy(DsList.Device(devices0 + 3)).ip);
  EXPECT_EQ(DsList.FoundCount(), 5);

  // A model the table does not list changes nothing.
  _DSNETINFO unknown = Reply("192.168.77.74", 9, 0x0001, 0x00990001);
  EXPECT_EQ(TDsList::OnSearchReply(&unknown), 1);
  EXPECT_EQ(DsList.DeviceCount(), devices0 + 4);
  EXPECT_EQ(DsList.FoundCount(), 5);
}

TEST_F(DeviceList, KeepFixedAndDirectedSearch) {
  ASSERT_TRUE(TheLab().LoadSim(kDefaultSet));
  DsList.StartSearch(-1, 2, 150);
  ASSERT_TRUE(WaitUntil([] { return DsList.IsSearchDone(); }, 20000));
  int n = DsList.FinishSearch(true);
  ASSERT_EQ(n, 9);
  std::vector<_DSONEINFO *> before;
  for (int i = 0; i < n; i++) {
    before.push_back(DsList.ListDevice(i));
    EXPECT_TRUE(DsFlagTest(before.back(), DSF_FIXED));
  }
  // A broadcast search that hears nobody keeps the fixed devices.
  ASSERT_TRUE(TheLab().LoadSimText(kUnknownOnly));
  DsList.StartSearch(-1, 1, 100);
  EXPECT_EQ(DsList.ListCount(), 9);
  ASSERT_TRUE(WaitUntil([] { return DsList.IsSearchDone(); }, 20000));
  EXPECT_EQ(DsList.FinishSearch(false), 9);

  // Only the still-fixed ones survive, in their order.
  std::vector<_DSONEINFO *> kept;
  for (int i = 0; i < n; i++) {
    if (i % 2)
      DsFlagClear(before[static_cast<size_t>(i)], DSF_FIXED);
    else
      kept.push_back(before[static_cast<size_t>(i)]);
  }
  EXPECT_EQ(DsList.KeepFixed(), static_cast<int>(kept.size()));
  for (size_t i = 0; i < kept.size(); i++)
    EXPECT_EQ(DsList.ListDevice(static_cast<int>(i)), kept[i]);

  // A directed search keeps the whole result list.
  int count = DsList.ListCount();
  DsList.StartSearch(static_cast<int32_t>(Ip("192.168.77.40")), 1, 100);
  EXPECT_EQ(DsList.ListCount(), count);
  ASSERT_TRUE(WaitUntil([] { return DsList.IsSearchDone(); }, 20000));
  for (_DSONEINFO *rec : before)
    DsFlagClear(rec, DSF_FIXED);
}

TEST_F(DeviceList, AbandonedSearchStopsAndIsReleased) {
  ASSERT_TRUE(TheLab().LoadSim(kDefaultSet));
  DsList.StartSearch(-1, 5, 300);  // left behind, like a dialog closed by its close box
  DsList.StartSearch(-1, 2, 100);
  EXPECT_EQ(DsList.AbandonedSearchCount(), 1);
  ASSERT_TRUE(WaitUntil([] { return DsList.IsSearchDone(); }, 20000));
  EXPECT_TRUE(WaitUntil(
      [] {
        DsList.IsSearchDone();
        return DsList.AbandonedSearchCount() == 0;
      },
      5000));
  DsList.FinishSearch(false);
  std::vector<_DSNETINFO> found = DsList.FoundSnapshot();
  EXPECT_EQ(found.size(), 9u);
  std::set<uint32_t> ips;
  for (const auto &n : found)
    ips.insert(n.ip);
  EXPECT_EQ(ips.size(), found.size()) << "each device once";
}

TEST_F(DeviceList, StopAndRestartWhileAnotherThreadReads) {
  ASSERT_TRUE(TheLab().LoadSim(kDefaultSet));
  std::atomic<bool> done{false};
  std::atomic<long> reads{0};
  std::atomic<int> bad{0};
  std::thread reader([&] {
    while (!done.load()) {
      std::vector<_DSNETINFO> snap = DsList.FoundSnapshot();
      if (snap.size() > DS_MAX_FOUND)
        bad++;
      for (const auto &n : snap)
        if (FindModel(n.apid, n.hwid) < 0)
          bad++;
      (void)DsList.FoundCount();
      reads++;
    }
  });
  std::mt19937 rng(12345);
  for (int round = 0; round < 30; round++) {
    DsList.StartSearch(-1, 2, 40);
    std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 60));
    switch (rng() % 3) {
      case 0:  // Stop, and merge while the thread may still be finishing
        DsList.StopSearch();
        DsList.FinishSearch(false);
        break;
      case 1:  // the close box: merge without stopping
        DsList.FinishSearch(false);
        break;
      default:  // poll like the dialog
        DsList.IsSearchDone();
        break;
    }
  }
  ASSERT_TRUE(WaitUntil(
      [] { return DsList.IsSearchDone() && DsList.AbandonedSearchCount() == 0; }, 20000));
  done = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(reads.load(), 0);
}

// Stop during a pass of a minute ends the search at once (generous bound,
// far below the pass), keeps what it found, and does not touch the next
// search; a search abandoned in such a pass does not hold up the next one.
TEST_F(DeviceList, StopDuringALongPassEndsTheSearchAndKeepsTheFound) {
  ASSERT_TRUE(TheLab().LoadSim(kDefaultSet));
  DsList.StartSearch(-1, 3, 60000);
  ASSERT_TRUE(WaitUntil([] { return DsList.FoundCount() == 9; }, 10000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // inside the long pass
  EXPECT_FALSE(DsList.IsSearchDone());
  DsList.StopSearch();
  ASSERT_TRUE(WaitUntil([] { return DsList.IsSearchDone(); }, 10000)) << "Stop must not wait for the pass";
  EXPECT_EQ(DsList.FoundCount(), 9);
  EXPECT_EQ(DsList.FinishSearch(false), 9);

  // The stop was for that search only.
  Search(2, 150);
  EXPECT_EQ(DsList.FoundCount(), 9);

  // Abandoned in a long pass (the close box), then a new search: the new
  // one runs and ends without waiting for the old pass.
  DsList.StartSearch(-1, 3, 60000);
  ASSERT_TRUE(WaitUntil([] { return DsList.FoundCount() == 9; }, 10000));
  DsList.StartSearch(-1, 2, 150);
  ASSERT_TRUE(WaitUntil([] { return DsList.IsSearchDone(); }, 10000)) << "the old pass held the new search";
  EXPECT_EQ(DsList.FoundCount(), 9);
  EXPECT_TRUE(WaitUntil(
      [] {
        DsList.IsSearchDone();
        return DsList.AbandonedSearchCount() == 0;
      },
      10000));
  DsList.FinishSearch(false);
}

TEST_F(DeviceList, The129thDeviceIsNotRecordedAndEndsTheSearch) {
  std::string set;
  for (int i = 0; i < 130; i++) {
    char sec[256];
    std::snprintf(sec, sizeof sec,
                  "[d%d]\nip = 192.168.77.%d\napid = 0x00560004\nhwid = 0x2001\nmac = 02:56:01:00:%02x:%02x\n",
                  i, 100 + i, i >> 8, i & 0xFF);
    set += sec;
  }
  ASSERT_TRUE(TheLab().LoadSimText(set));
  int devices0 = DsList.DeviceCount();
  Search(2, 400);
  EXPECT_EQ(DsList.FoundCount(), DS_MAX_FOUND);
  EXPECT_EQ(DsList.DeviceCount() - devices0, DS_MAX_FOUND);
  EXPECT_EQ(DsList.ListCount(), DS_MAX_FOUND);
}

}  // namespace
