// Signals of vela-find.  The handler may run on any thread: it wakes the
// main thread through a pipe, and for a hard stop arms a timer whose signal
// ends the process after kHardStopMs.
#include "interrupt.h"
#include "interrupt_rule.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

constexpr int kHardStopMs = 150;

// Lock-free atomics: safe in a handler, and seen in order across threads.
std::atomic<int> g_interrupted{0};  // a first SIGINT came
std::atomic<int> g_hard_exit{0};    // exit status asked for by SIGTERM or a second SIGINT
std::atomic<int> g_output_done{0};  // the result is written: a hard stop may exit at once
int g_wake_pipe[2] = {-1, -1};

void OnSignal(int sig) {
  int saved = errno;
  const int status =
      InterruptExitStatus(sig == SIGINT ? TInterrupt::Interrupt : TInterrupt::Terminate, g_interrupted != 0);
  if (status == 0 && !g_hard_exit) {
    g_interrupted = 1;
  } else if (!g_hard_exit) {
    g_hard_exit = status;
    if (g_output_done)
      _exit(g_hard_exit.load());
    struct itimerval limit = {};
    limit.it_value.tv_usec = kHardStopMs * 1000;
    setitimer(ITIMER_REAL, &limit, nullptr);
  }
  if (g_wake_pipe[1] >= 0)
    (void)!write(g_wake_pipe[1], "x", 1);
  errno = saved;
}

// The hard stop's time limit has passed: the result could not be written
// at once.
void OnHardStopTimer(int) { _exit(g_hard_exit != 0 ? g_hard_exit.load() : 1); }

}  // namespace

void PrepareOutput() {}

bool ProgressShown() { return isatty(STDERR_FILENO) == 1; }

void InstallInterruptHandlers() {
  if (pipe2(g_wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
    g_wake_pipe[0] = g_wake_pipe[1] = -1;
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sa.sa_handler = OnHardStopTimer;
  sigaction(SIGALRM, &sa, nullptr);
}

void SleepOrInterrupt(int ms) {
  if (g_wake_pipe[0] < 0) {
    usleep(static_cast<useconds_t>(ms) * 1000);
    return;
  }
  struct pollfd pfd = {g_wake_pipe[0], POLLIN, 0};
  if (poll(&pfd, 1, ms) > 0) {
    char drain[16];
    while (read(g_wake_pipe[0], drain, sizeof drain) > 0) {
    }
  }
}

bool Interrupted() { return g_interrupted != 0; }

int HardExitStatus() { return g_hard_exit.load(); }

void MarkOutputDone() { g_output_done = 1; }

void ExitNow(int status) { _exit(status); }
