// Entry point of vela-finder.exe, the Windows desktop program.
#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <string>

#include "main_form.h"
#include "win_util.h"
#include "window_texts.h"

namespace {

// The text of the error box: the exception's message, or empty for an
// exception without one.
std::string ErrorText(std::exception_ptr error)
{
  try {
    std::rethrow_exception(error);
  } catch (const std::exception &e) {
    return e.what();
  } catch (...) {
    return std::string();
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show)
{
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_COOL_CLASSES | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);

  std::exception_ptr error;
  try {
    FMain = new TFMain;
    ShowWindow(FMain->Handle(), show);
    UpdateWindow(FMain->Handle());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      // Ctrl+B, Alt+X and Ctrl+S work wherever the focus is in the main
      // window; a dialog in front has its own keys.
      if (FMain->Handle() && GetAncestor(msg.hwnd, GA_ROOT) == FMain->Handle() &&
          TranslateAcceleratorW(FMain->Handle(), FMain->Accelerators(), &msg))
        continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    error = EscapedError();
  } catch (...) {
    error = std::current_exception();
  }
  if (error)
    MessageBoxW(nullptr, WideOf(ErrorText(error)).c_str(), WideOf(VELA_APP_TITLE).c_str(), MB_OK | MB_ICONERROR);
  try {
    delete FMain;
  } catch (...) {
  }
  FMain = nullptr;
  return 0;
}
