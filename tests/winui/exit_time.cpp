// Alt+X to the end of the process for vela-finder.exe (scripts/measure-
// desktop): starts the program, waits for its main window, gives it a
// second to settle, presses Alt+X (SendInput) and prints the milliseconds
// until the process has ended.  Run under wine both on a bare X server and
// in wine's own desktop window: without a window manager wine waits for one
// when it withdraws a window.
//
//   winui_exit_time PROGRAM.exe DATA_FOLDER
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "remote_window.h"
#include "win_text.h"

int main(int argc, char **argv)
{
  if (argc != 3) {
    std::fprintf(stderr, "usage: winui_exit_time PROGRAM.exe DATA_FOLDER\n");
    return 2;
  }
  std::wstring program = WideOf(argv[1]), data = WideOf(argv[2]);
  std::wstring command = L"\"" + program + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, data.c_str(), &si, &pi))
    return 1;
  HWND main = nullptr;
  for (int i = 0; i < 6000 && !(main = guitest::FindTopWindow(pi.dwProcessId, L"Vela Finder")); ++i)
    Sleep(10);
  if (!main)
    return 1;
  Sleep(1000);
  SetForegroundWindow(main);
  Sleep(100);
  auto start = std::chrono::steady_clock::now();
  guitest::PressKeys({VK_MENU, 'X'});
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("alt_x_exit_ms=%.0f\n", ms);
  std::fflush(stdout);
  return 0;
}
