#include "dialogs.h"

#include <string>

#include "state_file.h"
#include "resource.h"
#include "win_util.h"
#include "window_texts.h"

namespace {

struct Box {
  int x, y, w, h;
};

// Fonts a dialog was given, freed when it closes.
struct DialogFont {
  HFONT font = nullptr;
  ~DialogFont()
  {
    if (font)
      DeleteObject(font);
  }
  void Apply(HWND dialog)
  {
    if (font)
      DeleteObject(font);
    font = MakeUiFont(WindowDpi(dialog));
    SetFontTree(dialog, font);
  }
};

// The about box's layout in pixels at 96 DPI; the picture and the labels
// relative to the panel.
constexpr int kAboutW = 298, kAboutH = 153;
constexpr Box kPanel{8, 8, 281, 97};
constexpr Box kImage{8, 24, 48, 48};
constexpr Box kProduct{64, 32, 210, 16};
constexpr Box kVersion{64, 56, 210, 16};
constexpr Box kOk{215, 116, 75, 25};

struct AboutState {
  DialogFont font;
  HICON icon = nullptr;
};

void LayOutAbout(HWND dialog, AboutState *state)
{
  UINT dpi = WindowDpi(dialog);
  auto s = [dpi](int px) { return Scale(px, dpi); };
  state->font.Apply(dialog);
  SetClientSize(dialog, s(kAboutW), s(kAboutH));
  auto place = [&](int id, const Box &b, bool in_panel) {
    int ox = in_panel ? s(kPanel.x) : 0, oy = in_panel ? s(kPanel.y) : 0;
    MoveWindow(GetDlgItem(dialog, id), ox + s(b.x), oy + s(b.y), s(b.w), s(b.h), TRUE);
  };
  place(IDC_PANEL1, kPanel, false);
  place(IDC_IMAGE1, kImage, true);
  place(IDC_PRODUCT_NAME, kProduct, true);
  place(IDC_VERSION, kVersion, true);
  place(IDOK, kOk, false);
  if (state->icon)
    DestroyIcon(state->icon);
  state->icon = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VELA), IMAGE_ICON, s(48), s(48), 0));
  SendDlgItemMessageW(dialog, IDC_IMAGE1, STM_SETICON, reinterpret_cast<WPARAM>(state->icon), 0);
}

void CloseAbout(HWND dialog, INT_PTR result)
{
  // FormClose: both lines emptied.
  SetDlgItemTextW(dialog, IDC_PRODUCT_NAME, L"");
  SetDlgItemTextW(dialog, IDC_VERSION, L"");
  EndDialog(dialog, result);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
  auto *state = reinterpret_cast<AboutState *>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
  case WM_INITDIALOG:
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    state = reinterpret_cast<AboutState *>(lparam);
    LayOutAbout(dialog, state);
    CenterOnScreen(dialog);
    // FormShow: the two lines.
    SetWindowTextUtf8(GetDlgItem(dialog, IDC_PRODUCT_NAME), AboutProductLine(ResStr));
    SetWindowTextUtf8(GetDlgItem(dialog, IDC_VERSION), AboutVersionLine(ResStr));
    return TRUE;
  case WM_COMMAND:
    if (LOWORD(wparam) == IDOK)
      CloseAbout(dialog, IDOK);
    // Escape (IDCANCEL) does nothing: there is no cancel button.
    return TRUE;
  case WM_CLOSE:
    CloseAbout(dialog, IDCANCEL);
    return TRUE;
  case WM_DPICHANGED: {
    const RECT *r = reinterpret_cast<const RECT *>(lparam);
    SetWindowPos(dialog, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (state)
      LayOutAbout(dialog, state);
    return TRUE;
  }
  default:
    return FALSE;
  }
}

struct TargetState {
  DialogFont font;
  TSearchTarget *target;
  std::string *notice;
};

INT_PTR CALLBACK TargetProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
  auto *state = reinterpret_cast<TargetState *>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
  case WM_INITDIALOG: {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    state = reinterpret_cast<TargetState *>(lparam);
    state->font.Apply(dialog);
    HWND edit = GetDlgItem(dialog, IDC_TARGET_EDIT);
    SetWindowTextUtf8(edit, LoadLastTarget());
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SetFocus(edit);
    return FALSE;  // the focus is set
  }
  case WM_COMMAND:
    switch (LOWORD(wparam)) {
    case IDOK: {
      std::string error;
      std::string text = WindowText(GetDlgItem(dialog, IDC_TARGET_EDIT));
      if (ParseSearchTarget(text, state->target, &error) &&
          CheckSearchTarget(*state->target, HostConnectedSubnets(), state->notice, &error)) {
        EndDialog(dialog, IDOK);
      } else {
        SetWindowTextUtf8(GetDlgItem(dialog, IDC_TARGET_ERROR), error);
        SetFocus(GetDlgItem(dialog, IDC_TARGET_EDIT));
      }
      return TRUE;
    }
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case IDC_TARGET_EDIT:
      if (HIWORD(wparam) == EN_CHANGE)
        SetDlgItemTextW(dialog, IDC_TARGET_ERROR, L"");
      return TRUE;
    default:
      return FALSE;
    }
  default:
    return FALSE;
  }
}

}  // namespace

void ShowAboutBox(HWND owner)
{
  AboutState state;
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc,
                  reinterpret_cast<LPARAM>(&state));
  if (state.icon)
    DestroyIcon(state.icon);
}

bool AskSearchTarget(HWND owner, TSearchTarget *target, std::string *notice)
{
  TargetState state;
  state.target = target;
  state.notice = notice;
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TARGET), owner, TargetProc,
                         reinterpret_cast<LPARAM>(&state)) == IDOK;
}
