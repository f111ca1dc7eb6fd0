// vela-find: the command-line finder.  Runs the same search as the desktop
// program's Broadcast Search (target -1, polled every 100 ms, merged with
// FinishSearch(false)), or one search per --target, and prints the result
// list.
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "devtext.h"
#include "dsapi.h"
#include "dslist.h"
#include "interfaces.h"
#include "interrupt.h"
#include "modeltable.h"
#include "options.h"
#include "output.h"
#include "settings.h"
#include "texttable.h"
#include "vela_version.h"

namespace {

uint32_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
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
  if (LoadModelFile(FindModelFile().c_str()) != 0)
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
  bool progress = ProgressShown();
  bool stop_sent = false;
  if (target == nullptr)
    DsList.StartSearch(-1, passes, pass_time);
  else
    DsList.StartTargetSearch(target->address, target->prefix_len, passes, pass_time);
  int32_t timeout_s = CountdownSeconds(passes, pass_time);
  uint32_t start = NowMs();
  int shown = 0;
  for (;;) {
    SleepOrInterrupt(100);
    if (HardExitStatus()) {
      // Not waited for: the program lists what the found list holds now.
      DsList.StopSearch();
      break;
    }
    if (Interrupted() && !stop_sent) {
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
  PrepareOutput();
  TFindOptions opt;
  std::string error;
  if (!ParseFindOptions(argc, argv, &opt, &error)) {
    std::fprintf(stderr, "vela-find: %s\nTry 'vela-find --help' for more information.\n", error.c_str());
    return 2;
  }
  if (opt.help || opt.version) {
    if (opt.help)
      std::fputs(FindUsage(), stdout);
    else
      std::printf("vela-find %s\n", VELA_VERSION_TEXT);
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
  InstallInterruptHandlers();

  const std::string left_out = LeftOutText();
  if (!left_out.empty())
    std::fprintf(stderr, "vela-find: %s\n", left_out.c_str());

  // One search, or one per target; the result list gathers the targets'
  // devices, each once.
  const size_t searches = opt.targets.empty() ? 1 : opt.targets.size();
  for (size_t i = 0; i < searches; i++) {
    RunSearch(opt.targets.empty() ? nullptr : &opt.targets[i], passes, pass_time);
    DsList.FinishSearch(false);
    // Why a search ended early (a thread the system refused).
    for (const std::string &notice : DsList.TakeNotices())
      std::fprintf(stderr, "vela-find: %s\n", notice.c_str());
    if (Interrupted() || HardExitStatus())
      break;
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
  // After a hard stop nothing more is waited for (a search or request still
  // running is ended with the process).
  MarkOutputDone();
  if (HardExitStatus())
    ExitNow(HardExitStatus());

  // Threads first, then the network layer they use.
  DsList.Shutdown();
  ds_cleanup();
  return written ? 0 : 3;
}
