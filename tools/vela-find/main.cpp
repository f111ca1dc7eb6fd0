// vela-find: the command-line finder.  Runs the same search as the desktop
// program's Broadcast Search (target -1, polled every 100 ms, merged with
// FinishSearch(false)), or one search per --target, and prints the result
// list.
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "devtext.h"
#include "dsapi.h"
#include "dslist.h"
#include "interfaces.h"
#include "modeltable.h"
#include "options.h"
#include "output.h"
#include "settings.h"
#include "texttable.h"

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

uint32_t NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(ts.tv_sec * 1000u + ts.tv_nsec / 1000000);
}

// Whole seconds of the countdown, as the desktop dialog computes them: the
// product as a 32-bit number divided as unsigned.
int32_t CountdownSeconds(int32_t passes, int32_t pass_time) {
  uint32_t product = static_cast<uint32_t>(passes) * static_cast<uint32_t>(pass_time);
  return static_cast<int32_t>(product / 1000u);
}

// Loads the model file; false (after a message) when an explicitly named
// file cannot be read.
bool LoadModels(const std::string &path) {
  if (!path.empty()) {
    if (LoadModelFile(path.c_str()) == 0)
      return true;
    std::fprintf(stderr, "vela-find: cannot read model file %s\n", path.c_str());
    return false;
  }
  if (LoadModelFile(MODEL_FILE_NAME) != 0)
    std::fprintf(stderr, "%s not found\n", MODEL_FILE_NAME);  // the built-in models stay
  return true;
}

// Flushes standard output; false (after a message) when what was written
// did not all arrive, so a lost result never reads as success.
bool OutputWritten() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout))
    return true;
  std::perror("vela-find: cannot write the result");
  return false;
}

// Runs one search: a broadcast search without target, else a directed or
// subnet search of target.
void RunSearch(const TSearchTarget *target, int32_t passes, int32_t pass_time) {
  bool progress = isatty(STDERR_FILENO) == 1;
  bool stop_sent = false;
  if (target == nullptr)
    DsList.StartSearch(-1, passes, pass_time);
  else
    DsList.StartTargetSearch(target->address, target->prefix_len, passes, pass_time);
  int32_t timeout_s = CountdownSeconds(passes, pass_time);
  uint32_t start = NowMs();
  int shown = 0;
  for (;;) {
    usleep(100 * 1000);
    if (g_interrupted && !stop_sent) {
      DsList.StopSearch();
      stop_sent = true;
    }
    int32_t remain = timeout_s - static_cast<int32_t>((NowMs() - start) / 1000u);
    int n = DsList.FoundCount();
    if (progress)
      std::fprintf(stderr, "\r\033[K%s", ProgressText(n, remain).c_str());
    if (n != shown) {
      timeout_s = CountdownSeconds(passes, pass_time);
      start = NowMs();
      shown = n;
    }
    if (DsList.IsSearchDone())
      break;
  }
  if (progress)
    std::fprintf(stderr, "\r\033[K");
}

}  // namespace

int main(int argc, char **argv) {
  std::setlocale(LC_ALL, "");
  TFindOptions opt;
  std::string error;
  if (!ParseFindOptions(argc, argv, &opt, &error)) {
    std::fprintf(stderr, "vela-find: %s\nTry 'vela-find --help' for more information.\n", error.c_str());
    return 2;
  }
  if (opt.help) {
    std::fputs(FindUsage(), stdout);
    return OutputWritten() ? 0 : 3;
  }
  TSearchSettings settings = LoadSearchSettings();
  int32_t passes = opt.passes.value_or(settings.SerCnt);
  int32_t pass_time = opt.pass_time.value_or(settings.SerTim);
  if (!LoadModels(opt.models))
    return 2;
  // The interfaces to search from: the options', else the settings'.
  const bool from_settings = opt.interfaces.empty();
  const std::vector<std::string> interfaces =
      from_settings ? SplitInterfaceList(settings.Interfaces) : opt.interfaces;
  if (!ChooseInterfaces(interfaces, &error)) {
    std::fprintf(stderr, "vela-find: %s%s\n", error.c_str(),
                 from_settings ? (" (Interfaces in " + SearchSettingsPath() + ")").c_str() : "");
    return 2;
  }

  if (!ds_init()) {
    std::fprintf(stderr, "%s\n", LoadStr(TXT_SOCKET_ERROR).c_str());
    DsList.Shutdown();
    ds_cleanup();
    return 1;
  }
  struct sigaction sa = {};
  sa.sa_handler = OnInterrupt;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  const std::string left_out = LeftOutText();
  if (!left_out.empty())
    std::fprintf(stderr, "vela-find: %s\n", left_out.c_str());

  if (opt.targets.empty()) {
    RunSearch(nullptr, passes, pass_time);
    DsList.FinishSearch(false);
  } else {
    // One search per target; the result list gathers them, each device once.
    for (const TSearchTarget &target : opt.targets) {
      RunSearch(&target, passes, pass_time);
      DsList.FinishSearch(false);
      if (g_interrupted)
        break;
    }
  }

  std::vector<TFindRow> rows;
  int count = DsList.ListCount();
  for (int i = 0; i < count; i++) {
    _DSNETINFO net = DsList.ListInfoCopy(i);
    TFindRow row;
    row.pos = i;
    row.model = ModelText(net.apid, net.hwid);
    row.mac = MacText(net.mac);
    row.ip = IpText(net.ip, true);
    row.ip_addr = net.ip;
    rows.push_back(row);
  }
  int found = opt.targets.empty() ? DsList.FoundCount() : DsList.ListCount();
  SortFindRows(&rows, opt.sort, opt.reverse);
  WriteFindRows(stdout, rows, found, opt.format);
  const bool written = OutputWritten();

  // Threads first, then the network layer they use.
  DsList.Shutdown();
  ds_cleanup();
  return written ? 0 : 3;
}
