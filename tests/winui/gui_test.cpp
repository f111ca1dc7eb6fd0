// The Windows desktop program as a user meets it, under wine in a network
// lab: started as its own process, driven with real keys and clicks
// (SendInput) and read through its windows' own messages, never through a
// hook inside it.  The lab plays tests/ui/ui_devices.ini: six devices that
// answer (one only from the second pass) and one of an unknown model.
//
//   winui_gui_test [--passes=N] PROGRAM.exe DATA_FOLDER [DPI]
// DATA_FOLDER holds model_name.ini and is the program's current folder.
// DPI (default 96) is the display's resolution the program starts with:
// 144 is 150 %, 192 is 200 %; the layout must scale with it.  --passes
// sets the search's pass count (default 3); with 40 passes a search runs
// for half a minute at least, which the Stop test needs.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "remote_window.h"
#include "result_format.h"
#include "resource.h"
#include "win_text.h"

namespace {

using guitest::RemoteList;
using Clock = std::chrono::steady_clock;

std::wstring g_program, g_data;
int g_dpi = 96;
DWORD g_passes = 3;
PROCESS_INFORMATION g_process{};
HWND g_main = nullptr;
double g_startup_ms = -1;

constexpr int kDevices = 6;
const std::vector<std::wstring> kIpAscending = {L"10.0.0.1",      L"192.168.0.1",   L"192.168.1.9",
                                                L"192.168.1.10", L"192.168.77.21", L"192.168.77.26"};

double MsSince(Clock::time_point start)
{
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Polls until done() or the time-out; true when done.
template <class F>
bool WaitFor(F done, int timeout_ms = 30000, int period_ms = 20)
{
  auto start = Clock::now();
  while (!done()) {
    if (MsSince(start) > timeout_ms)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(period_ms));
  }
  return true;
}

HWND ListOf(HWND window)
{
  return guitest::FindChild(window, WC_LISTVIEWW);
}

// The search settings of the test: 3 passes of 700 ms, in the registry
// where the program reads them.
void WriteSettings()
{
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SoftWare\\Vela\\2.0", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  DWORD count = g_passes, time_ms = 700;
  RegSetValueExW(key, L"SerCnt", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&count), sizeof count);
  RegSetValueExW(key, L"SerTim", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&time_ms), sizeof time_ms);
  RegCloseKey(key);
  // The display's resolution, read by every program that starts later.
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  DWORD dpi = static_cast<DWORD>(g_dpi);
  RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&dpi), sizeof dpi);
  RegCloseKey(key);
}

class WinGui : public ::testing::Test {
 protected:
  static void SetUpTestSuite()
  {
    WriteSettings();
    std::wstring command = L"\"" + g_program + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    auto start = Clock::now();
    if (!CreateProcessW(g_program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, g_data.c_str(),
                        &si, &g_process))
      return;
    // Shown: the main window is visible and its first showing has added
    // the list's columns.
    WaitFor([] {
      g_main = guitest::FindTopWindow(g_process.dwProcessId, L"Vela Finder");
      HWND list = g_main ? ListOf(g_main) : nullptr;
      return list && RemoteList(list, g_process.hProcess).Columns() == 4;
    }, 60000, 5);
    if (g_main)
      g_startup_ms = MsSince(start);
  }

  static void TearDownTestSuite()
  {
    if (g_process.hProcess && WaitForSingleObject(g_process.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(g_process.hProcess, 1);
    if (g_process.hProcess) {
      CloseHandle(g_process.hProcess);
      CloseHandle(g_process.hThread);
    }
  }

  void SetUp() override
  {
    ASSERT_NE(g_process.hProcess, nullptr) << "the program did not start";
    ASSERT_NE(g_main, nullptr) << "the main window did not show";
  }

  static void Focus(HWND window)
  {
    SetForegroundWindow(window);
    WaitFor([window] { return GetForegroundWindow() == window; }, 5000);
  }
};

TEST_F(WinGui, StartsWithItsWindowSizeColumnsAndStatus)
{
  std::printf("startup_ms=%.0f\n", g_startup_ms);
  RECT r;
  GetWindowRect(g_main, &r);
  EXPECT_EQ(r.right - r.left, MulDiv(696, g_dpi, 96));
  EXPECT_EQ(r.bottom - r.top, MulDiv(480, g_dpi, 96));
  // No warning: the lab has addresses and the data folder the model file.
  for (const std::wstring &title : guitest::TopWindowTitles(g_process.dwProcessId))
    EXPECT_NE(title, L"Warning");
  RemoteList list(ListOf(g_main), g_process.hProcess);
  EXPECT_EQ(list.Count(), 0);
  bool right = false;
  EXPECT_EQ(list.HeaderImage(0, &right), 0) << "the No header shows the up arrow";
  EXPECT_TRUE(right);
  for (int c = 1; c < 4; ++c)
    EXPECT_EQ(list.HeaderImage(c, nullptr), -1);
  EXPECT_EQ(list.ColumnWidth(0), MulDiv(70, g_dpi, 96));
  EXPECT_EQ(list.ColumnWidth(3), MulDiv(105, g_dpi, 96));
  HWND status = guitest::FindChild(g_main, STATUSCLASSNAMEW);
  EXPECT_EQ(guitest::TextOf(status), L"Search Result -  0 Vela(s)");
}

TEST_F(WinGui, CtrlBSearchCountsDownAndListsTheDevicesInOrder)
{
  if (g_passes != 3)
    GTEST_SKIP() << "counts on 3 passes";
  Focus(g_main);
  guitest::PressKeys({VK_CONTROL, 'B'});
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = guitest::FindTopWindow(g_process.dwProcessId, L"Searching")); }, 10000,
                      5))
      << "Ctrl+B opens the search dialog";
  RECT client;
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.bottom, MulDiv(312, g_dpi, 96));
  // As wide as the layout, or wider where the font needs room for the
  // widest progress text.
  EXPECT_GE(client.right, MulDiv(461, g_dpi, 96));
  EXPECT_LE(client.right, MulDiv(461 + 120, g_dpi, 96));
  // Escape does nothing: the search runs on to its end (the late device
  // answers only in the second pass).
  Focus(dialog);
  guitest::PressKeys({VK_ESCAPE});
  // The progress label, read every 20 ms until the dialog closes.
  HWND label = GetDlgItem(dialog, IDC_ENUM_MSG);
  std::vector<std::wstring> labels;
  int most_rows = 0;
  WaitFor([&] {
    if (!IsWindow(dialog))
      return true;
    std::wstring text = guitest::TextOf(label);
    if (!text.empty() && (labels.empty() || labels.back() != text))
      labels.push_back(text);
    most_rows = std::max(most_rows, RemoteList(ListOf(dialog), g_process.hProcess).Count());
    return false;
  }, 60000, 20);
  ASSERT_FALSE(IsWindow(dialog)) << "the dialog closes when the search ends";

  std::wregex progress(L"^Found (\\d+) Vela\\(s\\), remain timeout = (-?\\d+) second\\(s\\)$");
  std::set<int> remains;
  int last_found = 0;
  for (const std::wstring &text : labels) {
    std::wsmatch m;
    ASSERT_TRUE(std::regex_match(text, m, progress)) << Utf8Of(text);
    int found = std::stoi(m[1].str());
    EXPECT_GE(found, last_found) << "the count never goes back";
    last_found = found;
    remains.insert(std::stoi(m[2].str()));
  }
  // 3 x 700 ms: a countdown from 2 seconds that restarts for new devices
  // and runs down once the last device has answered.
  EXPECT_TRUE(remains.count(2)) << labels.size() << " labels";
  EXPECT_TRUE(remains.count(1) || remains.count(0)) << "the countdown goes down";
  EXPECT_EQ(last_found, kDevices);
  EXPECT_EQ(most_rows, kDevices) << "the dialog lists the devices as they answer";

  RemoteList list(ListOf(g_main), g_process.hProcess);
  ASSERT_TRUE(WaitFor([&] { return list.Count() == kDevices; }, 5000));
  EXPECT_EQ(list.Column(0), (std::vector<std::wstring>{L"1", L"2", L"3", L"4", L"5", L"6"}));
  std::vector<std::wstring> ips = list.Column(3);
  std::vector<std::wstring> sorted = ips;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::wstring> expected = kIpAscending;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sorted, expected) << "the lab's devices, the unknown model left out";
  EXPECT_EQ(ips.back(), L"192.168.77.26") << "heard last, in the second pass";
  for (int r = 0; r < list.Count(); ++r)
    if (list.Cell(r, 3) == L"192.168.77.21") {
      EXPECT_EQ(list.Cell(r, 1), L"VL-2104");
      EXPECT_EQ(list.Cell(r, 2), L"02:56:00:00:01:21");
    }
  EXPECT_EQ(guitest::TextOf(guitest::FindChild(g_main, STATUSCLASSNAMEW)), L"Search Result - 6 Vela(s)");
}

TEST_F(WinGui, HeaderClicksSortNumericallyAndReverse)
{
  if (g_passes != 3)
    GTEST_SKIP() << "counts on the result of a whole search";
  RemoteList list(ListOf(g_main), g_process.hProcess);
  ASSERT_EQ(list.Count(), kDevices) << "needs the result of the search";
  Focus(g_main);
  guitest::Click(list.HeaderCenter(3));
  ASSERT_TRUE(WaitFor([&] { return list.Column(3) == kIpAscending; }, 5000)) << Utf8Of(list.Cell(0, 3));
  EXPECT_EQ(list.HeaderImage(3, nullptr), 0);
  EXPECT_EQ(list.HeaderImage(0, nullptr), -1);
  // A second click within the double-click time is a double click, which
  // the list view does not report as a column click.
  std::this_thread::sleep_for(std::chrono::milliseconds(GetDoubleClickTime() + 100));
  guitest::Click(list.HeaderCenter(3));
  std::vector<std::wstring> descending(kIpAscending.rbegin(), kIpAscending.rend());
  ASSERT_TRUE(WaitFor([&] { return list.Column(3) == descending; }, 5000)) << Utf8Of(list.Cell(0, 3));
  EXPECT_EQ(list.HeaderImage(3, nullptr), 1);
}

TEST_F(WinGui, CtrlAThenCtrlCPutsTheRowsOnTheClipboardInViewOrder)
{
  if (g_passes != 3)
    GTEST_SKIP() << "counts on the result of a whole search";
  RemoteList list(ListOf(g_main), g_process.hProcess);
  ASSERT_EQ(list.Count(), kDevices);
  std::vector<std::wstring> rows = list.Rows();
  Focus(g_main);
  guitest::Click(list.RowCenter(0));  // the list takes the focus
  HWND list_window = ListOf(g_main);
  ASSERT_TRUE(WaitFor([&] { return guitest::FocusOf(g_main) == list_window && list.SelectedCount() == 1; }, 5000));
  guitest::PressKeys({VK_CONTROL, 'A'});
  ASSERT_TRUE(WaitFor([&] { return list.SelectedCount() == kDevices; }, 5000)) << "Ctrl+A selects every row";
  guitest::PressKeys({VK_CONTROL, 'C'});
  std::wstring expected;
  for (size_t i = 0; i < rows.size(); ++i)
    expected += (i ? L"\r\n" : L"") + rows[i];
  EXPECT_TRUE(WaitFor([&] { return guitest::ClipboardText() == expected; }, 5000, 100))
      << Utf8Of(guitest::ClipboardText());
}

// Ctrl+S: the file dialog takes a typed name, whose type chooses the
// format; the file holds the rows in view order as the shared formatter
// writes them.
TEST_F(WinGui, CtrlSSavesTheRowsInViewOrder)
{
  if (g_passes != 3)
    GTEST_SKIP() << "counts on the result of a whole search";
  RemoteList list(ListOf(g_main), g_process.hProcess);
  ASSERT_EQ(list.Count(), kDevices);
  std::vector<TResultRow> rows;
  for (int r = 0; r < list.Count(); ++r)
    rows.push_back({Utf8Of(list.Cell(r, 0)), Utf8Of(list.Cell(r, 1)), Utf8Of(list.Cell(r, 2)), Utf8Of(list.Cell(r, 3))});
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring path = std::wstring(temp) + L"vela-result.json";
  DeleteFileW(path.c_str());

  Focus(g_main);
  guitest::PressKeys({VK_CONTROL, 'S'});
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = guitest::FindTopWindow(g_process.dwProcessId, L"Save Result As")); },
                      10000))
      << "Ctrl+S opens the file dialog";
  Focus(dialog);
  // Typed once the file name box has the focus, and checked before Enter.
  auto focused = [&] {
    HWND focus = guitest::FocusOf(dialog);
    wchar_t name[16] = {};
    if (focus)
      GetClassNameW(focus, name, 16);
    return std::wstring(name) == L"Edit" ? focus : HWND{};
  };
  HWND name_box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (name_box = focused()) != nullptr; }, 10000)) << "the file name box has the focus";
  guitest::TypeText(path);
  ASSERT_TRUE(WaitFor([&] { return guitest::TextOf(name_box) == path; }, 10000)) << Utf8Of(guitest::TextOf(name_box));
  guitest::PressKeys({VK_RETURN});
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); }, 10000));
  // The program writes once the dialog has closed, whole or not at all.
  HANDLE file = INVALID_HANDLE_VALUE;
  ASSERT_TRUE(WaitFor([&] {
    file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    return file != INVALID_HANDLE_VALUE;
  }, 10000)) << "the file was written";
  std::string saved(1 << 16, '\0');
  DWORD got = 0;
  ReadFile(file, saved.data(), static_cast<DWORD>(saved.size()), &got, nullptr);
  CloseHandle(file);
  saved.resize(got);
  EXPECT_EQ(saved, FormatResult(rows, kDevices, TResultFormat::Json));
  DeleteFileW(path.c_str());
}

TEST_F(WinGui, AboutShowsProductAndVersionEscapeLeavesItOpen)
{
  Focus(g_main);
  guitest::PressKeys({VK_MENU, 'A'});
  HWND about = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (about = guitest::FindTopWindow(g_process.dwProcessId, L"About")); }, 10000));
  EXPECT_EQ(guitest::TextOf(GetDlgItem(about, IDC_PRODUCT_NAME)), L"Product Name: Vela Finder");
  EXPECT_EQ(guitest::TextOf(GetDlgItem(about, IDC_VERSION)), L"Version: 2.0");
  Focus(about);
  guitest::PressKeys({VK_ESCAPE});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(IsWindowVisible(about)) << "Escape does not close the about box";
  guitest::PressKeys({VK_RETURN});
  EXPECT_TRUE(WaitFor([&] { return !guitest::FindTopWindow(g_process.dwProcessId, L"About"); }, 5000))
      << "Enter presses OK";
}

// Stop (Enter presses it): the dialog closes at once, long before a search
// of 40 passes of 700 ms could end by itself, and the list shows the
// devices found up to then.
TEST_F(WinGui, EnterStopsALongSearch)
{
  if (g_passes < 40)
    GTEST_SKIP() << "needs a search of 40 passes (--passes=40)";
  Focus(g_main);
  guitest::PressKeys({VK_CONTROL, 'B'});
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = guitest::FindTopWindow(g_process.dwProcessId, L"Searching")); }, 10000,
                      5));
  RemoteList found(ListOf(dialog), g_process.hProcess);
  ASSERT_TRUE(WaitFor([&] { return found.Count() >= 1; }, 10000, 5));
  Focus(dialog);
  guitest::PressKeys({VK_RETURN});
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); }, 10000, 5)) << "Stop closes the dialog";
  RemoteList list(ListOf(g_main), g_process.hProcess);
  EXPECT_TRUE(WaitFor([&] { return list.Count() >= 1; }, 5000)) << "the devices found up to the stop";
  EXPECT_LE(list.Count(), kDevices);
  std::wstring status = guitest::TextOf(guitest::FindChild(g_main, STATUSCLASSNAMEW));
  EXPECT_EQ(status, L"Search Result - " + std::to_wstring(list.Count()) + L" Vela(s)");
}

// Last: the program ends.
TEST_F(WinGui, ZAltXEndsTheProcess)
{
  Focus(g_main);
  auto start = Clock::now();
  guitest::PressKeys({VK_MENU, 'X'});
  ASSERT_EQ(WaitForSingleObject(g_process.hProcess, 30000), WAIT_OBJECT_0) << "Alt+X ends the program";
  std::printf("alt_x_exit_ms=%.0f\n", MsSince(start));
  DWORD code = 1;
  GetExitCodeProcess(g_process.hProcess, &code);
  EXPECT_EQ(code, 0u);
}

}  // namespace

int main(int argc, char **argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1 && std::strncmp(argv[1], "--passes=", 9) == 0) {
    g_passes = static_cast<DWORD>(std::atoi(argv[1] + 9));
    ++argv;
    --argc;
  }
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: winui_gui_test PROGRAM.exe DATA_FOLDER [DPI]\n");
    return 2;
  }
  // The driver reads sizes in the program's own pixels.
  SetProcessDPIAware();
  g_program = WideOf(argv[1]);
  g_data = WideOf(argv[2]);
  if (argc == 4)
    g_dpi = std::atoi(argv[3]);
  return RUN_ALL_TESTS();
}
