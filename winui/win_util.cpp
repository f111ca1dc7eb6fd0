#include "win_util.h"

#include <vector>

#include "modeltable.h"
#include "window_texts.h"

namespace {

// GetDpiForWindow is Windows 10's; the program also runs where it is
// missing, with the system DPI.
using GetDpiForWindowFn = UINT(WINAPI *)(HWND);

GetDpiForWindowFn DpiForWindowCall()
{
  static GetDpiForWindowFn call = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  return call;
}

UINT SystemDpi()
{
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96u;
}

}  // namespace

UINT WindowDpi(HWND window)
{
  if (window && DpiForWindowCall()) {
    UINT dpi = DpiForWindowCall()(window);
    if (dpi > 0)
      return dpi;
  }
  return SystemDpi();
}

int Scale(int px, UINT dpi)
{
  return MulDiv(px, static_cast<int>(dpi), 96);
}

HFONT MakeUiFont(UINT dpi, bool bold)
{
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(8, static_cast<int>(dpi), 72);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  wcscpy(lf.lfFaceName, L"MS Shell Dlg 2");
  return CreateFontIndirectW(&lf);
}

void SetFontTree(HWND window, HFONT font)
{
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  EnumChildWindows(
      window,
      [](HWND child, LPARAM f) -> BOOL {
        SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(f), TRUE);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(font));
}

std::string ResStr(int id)
{
  // With a zero length LoadStringW hands out a pointer to the resource's
  // own text, which is not terminated.
  const wchar_t *text = nullptr;
  int n = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || !text)
    return std::string();
  return Utf8Of(std::wstring(text, static_cast<size_t>(n)));
}

std::string WindowText(HWND window)
{
  int n = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(window, text.data(), n + 1);
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return Utf8Of(text);
}

void SetWindowTextUtf8(HWND window, const std::string &text)
{
  SetWindowTextW(window, WideOf(text).c_str());
}

void ShowWarning(HWND owner, const std::string &text)
{
  MessageBoxW(owner, WideOf(text).c_str(), L"Warning", MB_OK | MB_ICONWARNING);
}

void ShowError(HWND owner, const std::string &text)
{
  MessageBoxW(owner, WideOf(text).c_str(), L"Error", MB_OK | MB_ICONERROR);
}

void SetupForm(HWND owner)
{
  if (LoadModelFile(FindModelFile().c_str()) == 0)
    return;
  ShowWarning(owner, ModelFileWarning() + "\n" + ModelFilePlacesText());
}

void CenterOnScreen(HWND window)
{
  RECT r;
  GetWindowRect(window, &r);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &mi);
  const RECT &work = mi.rcWork;
  int w = r.right - r.left, h = r.bottom - r.top;
  SetWindowPos(window, nullptr, work.left + (work.right - work.left - w) / 2,
               work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetClientSize(HWND window, int width, int height)
{
  RECT r{0, 0, width, height};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), GetMenu(window) != nullptr,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
