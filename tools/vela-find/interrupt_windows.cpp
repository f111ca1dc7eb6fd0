// Console control events of vela-find.exe.  The handler runs on a thread
// the system starts for each event: it wakes the main thread through an
// event object, and for a hard stop waits kHardStopMs for the main thread
// to write what it has before it ends the process itself.
#include "interrupt.h"
#include "interrupt_rule.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>

namespace {

constexpr DWORD kHardStopMs = 150;

std::atomic<int> g_interrupted{0};
std::atomic<int> g_hard_exit{0};
std::atomic<int> g_output_done{0};
HANDLE g_wake = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const TInterrupt kind = event == CTRL_C_EVENT       ? TInterrupt::Interrupt
                          : event == CTRL_BREAK_EVENT ? TInterrupt::Break
                                                      : TInterrupt::Terminate;
  const int status = InterruptExitStatus(kind, g_interrupted != 0);
  if (status == 0 && !g_hard_exit) {
    g_interrupted = 1;
  } else if (!g_hard_exit) {
    // A second Ctrl+C, Ctrl+Break, or the console going away.
    g_hard_exit = status;
    if (!g_output_done) {
      if (g_wake)
        SetEvent(g_wake);
      Sleep(kHardStopMs);
    }
    ExitNow(g_hard_exit.load());
  }
  if (g_wake)
    SetEvent(g_wake);
  return TRUE;
}

}  // namespace

void PrepareOutput() {
  // The result's bytes as they are: no CR added before LF, so files and
  // pipes get what Linux writes.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // A console shows the UTF-8 the program writes, and the progress line's
  // cursor controls.
  SetConsoleOutputCP(CP_UTF8);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(err, &mode))
    SetConsoleMode(err, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool ProgressShown() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void InstallInterruptHandlers() {
  g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void SleepOrInterrupt(int ms) {
  if (g_wake == nullptr) {
    Sleep(static_cast<DWORD>(ms));
    return;
  }
  WaitForSingleObject(g_wake, static_cast<DWORD>(ms));
}

bool Interrupted() { return g_interrupted != 0; }

int HardExitStatus() { return g_hard_exit.load(); }

void MarkOutputDone() { g_output_done = 1; }

// TerminateProcess, not ExitProcess: ExitProcess has the C runtime flush
// its streams, which waits for a thread blocked in a write for ever.
void ExitNow(int status) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  for (;;)
    Sleep(INFINITE);
}
