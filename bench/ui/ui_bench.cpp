// ui_bench: how long the desktop program takes to
//   - fill the main device list with 128 rows and sort them (by "No", by
//     "IP Address", by "Model"),
//   - run one search-dialog tick that takes in 128 new devices,
//   - run one tick with no new device (it must do no per-row work).
// Devices are handed to the device list directly, as the search thread
// would, so nothing goes on the network; still, the program refuses to run
// unless its network namespace has only a loopback interface:
//   unshare -n build/<dir>/bench/ui/ui_bench [iterations]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <QLabel>
#include <QTableWidget>

#include "about_box.h"
#include "app.h"
#include "dslist.h"
#include "main_form.h"
#include "netns.h"
#include "search_form.h"
#include "ui_main.h"
#include "ui_support.h"

namespace {

constexpr int kDevices = 128;

double Ms(const std::function<void()> &work)
{
  auto t0 = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void Report(const char *what, double total_ms, int runs)
{
  std::printf("%-44s %8.3f ms  (mean of %d)\n", what, total_ms / runs, runs);
}

}  // namespace

int main(int argc, char **argv)
{
  if (!velatest::InLoopbackOnlyNamespace()) {
    std::fprintf(stderr, "ui_bench: run it in a namespace of its own: unshare -n %s\n", argv[0]);
    return 1;
  }
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("XDG_CONFIG_HOME", uitest::TempDir().c_str(), 1);
  TApplication app(argc, argv);
  uitest::Boxes();  // answers the start-up warnings (no network, no model file)
  FMain = new TFMain;
  AboutBox = new TAboutBox(FMain);
  FMain->show();

  // One search's worth of devices: built-in models, addresses in mixed order.
  DsList.StartSearch(-1, 1, 1);
  uitest::WaitUntil([] { return DsList.IsSearchDone(); }, 5000);
  const uint16_t hwids[] = {0x2104, 0x2108, 0x2116, 0x2124};
  for (int i = 0; i < kDevices; ++i) {
    char ip[32];
    std::snprintf(ip, sizeof ip, "192.168.%d.%d", (i * 37) % 5, 1 + (i * 53) % 250);
    _DSNETINFO info = uitest::MakeInfo(0x00560001, hwids[i % 4], ip, static_cast<uint8_t>(i));
    info.mac[4] = static_cast<uint8_t>(i >> 3);
    TDsList::OnSearchReply(&info);
  }
  DsList.FinishSearch(false);
  if (DsList.ListCount() != kDevices) {
    std::fprintf(stderr, "ui_bench: %d devices listed, expected %d\n", DsList.ListCount(), kDevices);
    return 1;
  }

  const struct {
    const char *name;
    int column;
  } sorts[] = {{"fill + sort 128 rows by No", 0},
               {"fill + sort 128 rows by IP Address", 3},
               {"fill + sort 128 rows by Model", 1}};
  for (const auto &s : sorts) {
    FMain->SortColumn = s.column;
    FMain->SetSortColumn(s.column, SortAscending);
    double total = 0;
    for (int r = 0; r < runs; ++r)
      total += Ms([] { FMain->FillDeviceList(); });
    if (FMain->m_ListView->rowCount() != kDevices)
      return 1;
    Report(s.name, total, runs);
  }

  double full = 0, idle = 0;
  for (int r = 0; r < runs; ++r) {
    TFSearch dlg;
    full += Ms([&] { dlg.m_enum_timerTimer(); });
    if (dlg.m_enum_list->rowCount() != kDevices)
      return 1;
    idle += Ms([&] { dlg.m_enum_timerTimer(); });
    if (dlg.m_enum_list->rowCount() != kDevices || dlg.ShownCount != kDevices)
      return 1;
  }
  Report("dialog tick taking in 128 new devices", full, runs);
  Report("dialog tick with no new device", idle, runs);
  delete FMain;
  return 0;
}
