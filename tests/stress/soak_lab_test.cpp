// Soak: 200 consecutive broadcast searches in one process through the
// device list, as the desktop program runs them (StartSearch, IsSearchDone
// polled, FinishSearch(false)), against 16 simulated devices, 8 on each lab
// link.  Every search must list every device, and the process must not
// grow: its open file descriptors and threads after the last search equal
// those after the first (the first search creates the devices' request
// threads, which live on), and its resident memory after the last search is
// at most 2 MiB above that after the first - room for the allocator's own
// slack, far below what a socket, thread or record leaked per search would
// add over 199 searches.  Short passes (2 x 50 ms) keep it fast.
//
// Runs whole in a lab (run_in_lab.sh), since the device list's
// configuration thread starts before main.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#include "devtext.h"
#include "dsapi.h"
#include "dslist.h"
#include "lab.h"
#include "stress_devices.h"
#include "wait.h"
#include "wire_text.h"

namespace {

velatest::Lab &TheLab() { return velatest::Lab::Enclosing(); }

constexpr int kSearches = 200;
constexpr int kPasses = 2, kPassMs = 50;
constexpr long kRssMarginKiB = 2048;

// Entries of a /proc folder, "." and ".." left out.
int CountEntries(const char *dir) {
  DIR *d = opendir(dir);
  if (d == nullptr) return -1;
  int n = 0;
  while (dirent *e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n;
}

struct Usage {
  int fds = 0;
  int threads = 0;
  long rss_kib = 0;
};

Usage Measure() {
  Usage u;
  u.fds = CountEntries("/proc/self/fd") - 1;  // less the one opendir holds
  u.threads = CountEntries("/proc/self/task");
  long pages = 0, resident = 0;
  if (FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  u.rss_kib = resident * (sysconf(_SC_PAGESIZE) / 1024);
  return u;
}

// "MAC IP" of every row of the result list.
std::set<std::string> Listed() {
  std::set<std::string> out;
  for (int i = 0, n = DsList.ListCount(); i < n; ++i) {
    const _DSNETINFO net = DsList.ListInfoCopy(i);
    out.insert(MacText(net.mac) + " " + IpText(net.ip));
  }
  return out;
}

TEST(Soak, TwoHundredSearchesListEveryDeviceAndLeaveNothingBehind) {
  VELA_LAB_OR_SKIP(TheLab());
  const std::vector<velastress::Device> devices = velastress::Devices(8);
  ASSERT_TRUE(TheLab().LoadSimText(velastress::DeviceFile(devices))) << TheLab().error();
  ASSERT_TRUE(ds_init());
  std::set<std::string> expected;
  for (const velastress::Device &d : devices) expected.insert(d.mac + " " + d.ip);

  Usage first, last;
  int incomplete = 0;
  for (int i = 0; i < kSearches; ++i) {
    DsList.StartSearch(-1, kPasses, kPassMs);
    ASSERT_TRUE(velatest::WaitUntil([] { return DsList.IsSearchDone(); }, 20000)) << "search " << i + 1;
    DsList.FinishSearch(false);
    const std::set<std::string> listed = Listed();
    if (listed != expected) {
      ++incomplete;
      ADD_FAILURE() << "search " << i + 1 << " listed " << listed.size() << " of " << expected.size();
    }
    if (i == 0) first = Measure();
  }
  last = Measure();
  EXPECT_EQ(incomplete, 0);
  EXPECT_EQ(last.fds, first.fds);
  EXPECT_EQ(last.threads, first.threads);
  EXPECT_LE(last.rss_kib, first.rss_kib + kRssMarginKiB);
  std::printf("[ soak     ] %d searches, %zu devices each: fds %d -> %d, threads %d -> %d, RSS %ld -> %ld KiB\n",
              kSearches, expected.size(), first.fds, last.fds, first.threads, last.threads, first.rss_kib,
              last.rss_kib);
  DsList.Shutdown();
  ds_cleanup();
}

}  // namespace
