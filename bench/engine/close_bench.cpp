// close_bench: how long the desktop program's process lives on after its
// main window is closed (the Exit command, Alt+X) while a search runs in a
// pass of 60000 ms, with 128 devices known.  Each run starts the program
// afresh as a child process (Qt's offscreen platform):
//   1. a first broadcast search, 128 devices answering: it ends by itself
//      (a search ends after 128 devices) and all 128 become known;
//   2. a second one with 127 of them answering, so the search goes on in a
//      60 s pass; once they are listed the dialog is left by its Stop
//      button ("stop") or its close box ("close"), which leaves the search
//      running;
//   3. the Exit command; the child sends the moment to this program, which
//      times the end of the child process from it.
// Runs only inside a lab:
//   tests/support/run_in_lab.sh data/devices.ini build/default/bench/engine/close_bench [RUNS [stop|close]]
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app.h"
#include "dslist.h"
#include "bench_lab.h"
#include "lab.h"
#include "main_form.h"
#include "netns.h"
#include "search_form.h"

namespace {

using enginebench::InLab;
using enginebench::ManyDevices;

using Clock = std::chrono::steady_clock;

double NowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }

// The desktop program, driven by a timer through the steps above.
int Child(int argc, char **argv, int fd, bool stop_button) {
  TApplication app(argc, argv);
  int step = 0;
  double listed_at = 0;
  QTimer watch;
  watch.setInterval(5);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    switch (step) {
      case 0:  // first search: ends by itself with 128 devices
        if (FSearch == nullptr && DsList.DeviceCount() == DS_MAX_FOUND) {
          if (!velatest::Lab::Enclosing().LoadSimText(ManyDevices(DS_MAX_FOUND - 1)))
            std::_Exit(5);
          step = 1;
          QTimer::singleShot(0, [] { FMain->m_brdc_action->trigger(); });
        }
        break;
      case 1:  // second search: all 127 listed, then a little more
        if (FSearch != nullptr && FSearch->isVisible() && DsList.FoundCount() == DS_MAX_FOUND - 1) {
          listed_at = NowMs();
          step = 2;
        }
        break;
      case 2:
        if (NowMs() - listed_at > 300) {
          if (DsList.IsSearchDone())
            std::_Exit(6);  // the search must still be in its pass
          if (stop_button)
            FSearch->m_stop_enum->click();
          else
            FSearch->close();
          step = 3;
        }
        break;
      case 3:  // the dialog is gone, the search thread still runs: Exit
        if (FSearch == nullptr) {
          step = 4;
          watch.stop();
          double closed_at = NowMs();
          if (write(fd, &closed_at, sizeof closed_at) != sizeof closed_at)
            std::_Exit(7);
          FMain->m_act_exit->trigger();
        }
        break;
    }
  });
  watch.start();
  QTimer::singleShot(0, [] { FMain->m_brdc_action->trigger(); });
  return RunFinder(app);
}

// One run: the child's life after Exit in ms, or a negative value.
double OneRun(const char *self, bool stop_button, const std::string &config_home) {
  if (!velatest::Lab::Enclosing().LoadSimText(ManyDevices(DS_MAX_FOUND)))
    return -1;
  int fds[2];
  if (pipe(fds) != 0)
    return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    // The demo model file is there; the platform's chatter is not wanted.
    if (chdir(VELA_SOURCE_DIR "/data") != 0)
      _exit(126);
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
    std::string fd = std::to_string(fds[1]);
    execl(self, self, "--child", stop_button ? "stop" : "close", fd.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  double closed_at = 0;
  ssize_t got = read(fds[0], &closed_at, sizeof closed_at);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  double ended_at = NowMs();
  if (got != sizeof closed_at || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "close_bench: run failed (status %d)\n", status);
    return -1;
  }
  return ended_at - closed_at;
}

void PrintSpread(const char *what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%s (%zu runs): min %.1f ms, median %.1f ms, max %.1f ms\n", what, ms.size(), ms.front(),
              ms[ms.size() / 2], ms.back());
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
    return Child(argc, argv, std::atoi(argv[3]), std::strcmp(argv[2], "stop") == 0);
  if (!InLab()) {
    std::fprintf(stderr, "close_bench: run it inside a lab (tests/support/run_in_lab.sh)\n");
    return 2;
  }
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::string only = argc > 2 ? argv[2] : "";
  char dir[] = "/tmp/close-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr)
    return 1;
  std::string vela = std::string(dir) + "/Vela";
  mkdir(vela.c_str(), 0700);
  std::ofstream(vela + "/2.0.conf") << "[General]\nSerCnt=5\nSerTim=60000\n";
  for (bool stop_button : {true, false}) {
    if (!only.empty() && only != (stop_button ? "stop" : "close"))
      continue;
    std::vector<double> ms;
    for (int run = 0; run < runs; run++) {
      double t = OneRun("/proc/self/exe", stop_button, dir);
      if (t < 0)
        return 1;
      ms.push_back(t);
    }
    PrintSpread(stop_button ? "Exit to process end, search stopped (Stop), 60000 ms pass, 128 known"
                            : "Exit to process end, search running (close box), 60000 ms pass, 128 known",
                ms);
  }
  unlink((vela + "/2.0.conf").c_str());
  rmdir(vela.c_str());
  rmdir(dir);
  return 0;
}
