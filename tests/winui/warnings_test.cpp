// The Windows desktop program's warnings, under wine in a namespace with a
// loopback only (the network layer cannot start) and a current folder
// without the model file: exactly one "Initial Socket Error!" and one model
// file warning at start, the window still opens with its columns, a search
// warns twice more for the model file (the search dialog reloads it twice)
// and finds nothing.  Driven and read from outside, as gui_test.cpp.
//
//   winui_warnings_test PROGRAM.exe EMPTY_FOLDER
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "remote_window.h"
#include "win_text.h"

namespace {

std::wstring g_program, g_folder;

template <class F>
bool WaitFor(F done, int timeout_ms = 30000)
{
  auto start = std::chrono::steady_clock::now();
  while (!done()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeout_ms))
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Every text inside a window, joined by new lines.
std::wstring AllTexts(HWND window)
{
  std::wstring texts;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    texts += guitest::TextOf(child) + L"\n";
  return texts;
}

// Waits for a warning box of pid, checks it says text and presses OK.
void AnswerWarning(DWORD pid, const std::wstring &text)
{
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = guitest::FindTopWindow(pid, L"Warning")) != nullptr; }))
      << "a warning saying " << Utf8Of(text);
  std::wstring shown = AllTexts(box);
  EXPECT_NE(shown.find(text), std::wstring::npos) << Utf8Of(shown);
  SetForegroundWindow(box);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  guitest::PressKeys({VK_RETURN});
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, 10000)) << "Enter presses OK";
}

TEST(WinWarnings, SocketErrorOnceModelFileAtStartAndTwicePerSearch)
{
  std::wstring command = L"\"" + g_program + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(g_program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             g_folder.c_str(), &si, &pi));
  const DWORD pid = pi.dwProcessId;
  AnswerWarning(pid, L"Initial Socket Error!");
  AnswerWarning(pid, L"model_name.ini not found");
  HWND main = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (main = guitest::FindTopWindow(pid, L"Vela Finder")) != nullptr; }));
  guitest::RemoteList list(guitest::FindChild(main, WC_LISTVIEWW), pi.hProcess);
  EXPECT_TRUE(WaitFor([&] { return list.Columns() == 4; }, 10000)) << "the window opens with its columns";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(guitest::FindTopWindow(pid, L"Warning"), nullptr) << "no third warning at start";

  SetForegroundWindow(main);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  guitest::PressKeys({VK_CONTROL, 'B'});
  AnswerWarning(pid, L"model_name.ini not found");
  AnswerWarning(pid, L"model_name.ini not found");
  // The search cannot run and ends at once: the dialog closes by itself.
  EXPECT_TRUE(WaitFor([&] {
    return !guitest::FindTopWindow(pid, L"Searching") &&
           guitest::TextOf(guitest::FindChild(main, STATUSCLASSNAMEW)) == L"Search Result - 0 Vela(s)";
  }));
  EXPECT_EQ(list.Count(), 0);

  SetForegroundWindow(main);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  guitest::PressKeys({VK_MENU, 'X'});
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
    TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

}  // namespace

int main(int argc, char **argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: winui_warnings_test PROGRAM.exe EMPTY_FOLDER\n");
    return 2;
  }
  SetProcessDPIAware();
  g_program = WideOf(argv[1]);
  g_folder = WideOf(argv[2]);
  return RUN_ALL_TESTS();
}
