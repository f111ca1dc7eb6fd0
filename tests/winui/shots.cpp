// Pictures of the Windows program for the documentation (scripts/screenshot
// --windows): starts vela-finder.exe, runs a search with Ctrl+B, and writes
//   windows-search.png        the search dialog in mid-search
//   windows-main.png          the main window with the sorted result
//   windows-context-menu.png  the main window with the list's context menu
//   windows-about.png         the about box
// into OUTPUT_FOLDER as PNG files (the system's imaging codecs).
//
//   winui_shots OUTPUT_FOLDER PROGRAM.exe DATA_FOLDER
#include <windows.h>

#include <commctrl.h>
#include <wincodec.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "remote_window.h"
#include "resource.h"
#include "win_text.h"

namespace {

std::wstring g_out;
PROCESS_INFORMATION g_process{};

template <class F>
bool WaitFor(F done, int timeout_ms)
{
  for (int waited = 0; !done(); waited += 20) {
    if (waited > timeout_ms)
      return false;
    Sleep(20);
  }
  return true;
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Writes the screen's rectangle r as a PNG file.
bool SaveScreen(RECT r, const std::wstring &name)
{
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);

  bool ok = false;
  IWICImagingFactory *factory = nullptr;
  IWICBitmap *image = nullptr;
  IWICStream *stream = nullptr;
  IWICBitmapEncoder *encoder = nullptr;
  IWICBitmapFrameEncode *frame = nullptr;
  std::wstring path = g_out + L"\\" + name;
  if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                 reinterpret_cast<void **>(&factory))) &&
      SUCCEEDED(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &image)) &&
      SUCCEEDED(factory->CreateStream(&stream)) &&
      SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
      SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
      SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
      SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
      SUCCEEDED(frame->WriteSource(image, nullptr)) && SUCCEEDED(frame->Commit()) &&
      SUCCEEDED(encoder->Commit()))
    ok = true;
  for (IUnknown *p : std::initializer_list<IUnknown *>{frame, encoder, stream, image, factory})
    if (p)
      p->Release();
  DeleteObject(bitmap);
  std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "cannot write", Utf8Of(path).c_str());
  return ok;
}

RECT RectOf(HWND window)
{
  RECT r;
  GetWindowRect(window, &r);
  return r;
}

RECT Union(RECT a, RECT b)
{
  RECT u;
  UnionRect(&u, &a, &b);
  return u;
}

// The visible popup menu window of the program, if any.
HWND PopupMenu()
{
  HWND menu = nullptr;
  EnumWindows(
      [](HWND w, LPARAM out) -> BOOL {
        wchar_t name[16];
        GetClassNameW(w, name, 16);
        if (IsWindowVisible(w) && std::wstring(name) == L"#32768") {
          *reinterpret_cast<HWND *>(out) = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&menu));
  return menu;
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc != 4) {
    std::fprintf(stderr, "usage: winui_shots OUTPUT_FOLDER PROGRAM.exe DATA_FOLDER\n");
    return 2;
  }
  SetProcessDPIAware();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  g_out = WideOf(argv[1]);
  std::wstring program = WideOf(argv[2]), data = WideOf(argv[3]);
  std::wstring command = L"\"" + program + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, data.c_str(), &si,
                      &g_process))
    return 1;
  DWORD pid = g_process.dwProcessId;
  HWND main = nullptr;
  if (!WaitFor([&] { return (main = guitest::FindTopWindow(pid, L"Vela Finder")) != nullptr; }, 60000))
    return 1;
  Pause(500);
  int failed = 0;

  SetForegroundWindow(main);
  guitest::PressKeys({VK_CONTROL, 'B'});
  HWND dialog = nullptr;
  if (!WaitFor([&] { return (dialog = guitest::FindTopWindow(pid, L"Searching")) != nullptr; }, 10000))
    return 1;
  HWND dialog_list = guitest::FindChild(dialog, WC_LISTVIEWW);
  WaitFor([&] { return guitest::RemoteList(dialog_list, g_process.hProcess).Count() >= 5; }, 10000);
  Pause(150);
  failed += !SaveScreen(RectOf(dialog), L"windows-search.png");
  WaitFor([&] { return !IsWindow(dialog); }, 60000);
  Pause(300);

  // Sorted by IP address, as a user would look at it.
  HWND list = guitest::FindChild(main, WC_LISTVIEWW);
  guitest::RemoteList rows(list, g_process.hProcess);
  guitest::Click(rows.HeaderCenter(3));
  Pause(400);
  guitest::Click(rows.RowCenter(1));
  Pause(300);
  failed += !SaveScreen(RectOf(main), L"windows-main.png");

  guitest::Click(rows.RowCenter(1), true);
  HWND menu = nullptr;
  WaitFor([&] { return (menu = PopupMenu()) != nullptr; }, 5000);
  Pause(300);
  failed += !SaveScreen(menu ? Union(RectOf(main), RectOf(menu)) : RectOf(main), L"windows-context-menu.png");
  guitest::PressKeys({VK_ESCAPE});
  Pause(300);

  SetForegroundWindow(main);
  guitest::PressKeys({VK_MENU, 'A'});
  HWND about = nullptr;
  WaitFor([&] { return (about = guitest::FindTopWindow(pid, L"About")) != nullptr; }, 5000);
  Pause(300);
  failed += about ? !SaveScreen(RectOf(about), L"windows-about.png") : 1;
  guitest::PressKeys({VK_RETURN});
  Pause(300);

  SetForegroundWindow(main);
  guitest::PressKeys({VK_MENU, 'X'});
  if (WaitForSingleObject(g_process.hProcess, 30000) != WAIT_OBJECT_0)
    TerminateProcess(g_process.hProcess, 1);
  return failed == 0 ? 0 : 1;
}
