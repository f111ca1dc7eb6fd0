#include "search_form.h"

#include <commctrl.h>

#include <algorithm>

#include "device_view.h"
#include "dslist.h"
#include "resource.h"
#include "win_util.h"

namespace {

constexpr UINT_PTR kTimerId = 1;

// Layout in pixels at 96 DPI; inside the group box relative to the box.
struct Box {
  int x, y, w, h;
};
constexpr int kClientW = 461, kClientH = 312;
constexpr Box kGroup{16, 16, 425, 273};
constexpr Box kLabel1{16, 24, 300, 13};
constexpr Box kMsg{16, 48, 300, 13};
constexpr Box kStop{334, 24, 75, 25};
constexpr Box kList{16, 72, 393, 177};

}  // namespace

INT_PTR TFSearch::Execute(HWND owner)
{
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SEARCH), owner, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TFSearch::DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
  auto *self = reinterpret_cast<TFSearch *>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
  case WM_INITDIALOG:
    self = reinterpret_cast<TFSearch *>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    self->m_dialog = dialog;
    self->FormCreate();
    self->FormShow();
    return TRUE;
  case WM_TIMER:
    if (self && wparam == kTimerId)
      self->m_enum_timerTimer();
    return TRUE;
  case WM_COMMAND:
    if (!self)
      break;
    if (LOWORD(wparam) == IDC_STOP_ENUM)
      self->m_stop_enumClick();
    // Escape (IDCANCEL) does nothing: there is no cancel button.
    return TRUE;
  case WM_CLOSE:
    // The close box and the system's close key: closes without StopSearch.
    if (self)
      self->Close(ResultCancel);
    return TRUE;
  case WM_DPICHANGED:
    if (self) {
      const RECT *suggested = reinterpret_cast<const RECT *>(lparam);
      SetWindowPos(dialog, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      self->LayOut();
    }
    return TRUE;
  case WM_DESTROY:
    if (self) {
      if (self->m_font)
        DeleteObject(self->m_font);
      if (self->m_bold)
        DeleteObject(self->m_bold);
      if (self->m_check_images)
        ImageList_Destroy(self->m_check_images);
      self->m_font = self->m_bold = nullptr;
      self->m_check_images = nullptr;
    }
    return FALSE;
  default:
    break;
  }
  return FALSE;
}

void TFSearch::FormCreate()
{
  m_enum_msg = GetDlgItem(m_dialog, IDC_ENUM_MSG);
  m_enum_list = GetDlgItem(m_dialog, IDC_ENUM_LIST);
  SendMessageW(m_enum_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
               LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  // The model table is reloaded while the dialog is built and again when it
  // has been created, so that a search always uses the current file.
  SetupForm(GetParent(m_dialog));
  LayOut();
  AddDeviceColumns(m_enum_list, WindowDpi(m_dialog));
  SetupForm(GetParent(m_dialog));
  CenterOnScreen(m_dialog);
}

void TFSearch::LayOut()
{
  UINT dpi = WindowDpi(m_dialog);
  if (m_font)
    DeleteObject(m_font);
  if (m_bold)
    DeleteObject(m_bold);
  m_font = MakeUiFont(dpi);
  m_bold = MakeUiFont(dpi, true);
  SetFontTree(m_dialog, m_font);
  SendMessageW(m_enum_msg, WM_SETFONT, reinterpret_cast<WPARAM>(m_bold), TRUE);

  // The progress label must hold its widest text: the dialog grows to the
  // right when the font needs more than the layout's 300 pixels.
  int need = 0;
  HDC dc = GetDC(m_enum_msg);
  HGDIOBJ old = SelectObject(dc, m_bold);
  for (const std::string &text : WidestProgressTexts(ResStr)) {
    std::wstring w = WideOf(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    need = std::max(need, static_cast<int>(size.cx));
  }
  SelectObject(dc, old);
  ReleaseDC(m_enum_msg, dc);
  auto s = [dpi](int px) { return Scale(px, dpi); };
  int label_w = std::max(s(kMsg.w), need);
  int grow = std::max(0, s(kMsg.x) + label_w - (s(kList.x) + s(kList.w)));

  SetClientSize(m_dialog, s(kClientW) + grow, s(kClientH));
  HWND group = GetDlgItem(m_dialog, IDC_GROUPBOX1);
  MoveWindow(group, s(kGroup.x), s(kGroup.y), s(kGroup.w) + grow, s(kGroup.h), TRUE);
  auto place = [&](int id, const Box &b, int extra_x, int extra_w, int min_h) {
    MoveWindow(GetDlgItem(m_dialog, id), s(kGroup.x) + s(b.x) + extra_x, s(kGroup.y) + s(b.y), s(b.w) + extra_w,
               std::max(s(b.h), min_h), TRUE);
  };
  // A label is at least as high as its font.
  int text_h = MulDiv(8, static_cast<int>(dpi), 72) + s(3);
  place(IDC_LABEL1, kLabel1, 0, 0, text_h);
  place(IDC_ENUM_MSG, kMsg, 0, label_w - s(kMsg.w), text_h);
  place(IDC_STOP_ENUM, kStop, grow, 0, 0);
  place(IDC_ENUM_LIST, kList, 0, grow, 0);
  ScaleDeviceColumns(m_enum_list, dpi);  // no columns yet at the first layout: nothing happens

  // Stop carries the glyph of a Yes button: a green check mark.
  if (m_check_images)
    ImageList_Destroy(m_check_images);
  int icon = s(16);
  m_check_images = ImageList_Create(icon, icon, ILC_COLOR32 | ILC_MASK, 1, 0);
  HICON check = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_CHECK), IMAGE_ICON, icon, icon, 0));
  ImageList_AddIcon(m_check_images, check);
  DestroyIcon(check);
  BUTTON_IMAGELIST glyph{};
  glyph.himl = m_check_images;
  glyph.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
  SendMessageW(GetDlgItem(m_dialog, IDC_STOP_ENUM), BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&glyph));
}

void TFSearch::FormShow()
{
  ShownCount = 0;
  SendMessageW(m_enum_list, LVM_DELETEALLITEMS, 0, 0);
  if (ByAddress)
    DsList.StartTargetSearch(static_cast<uint32_t>(SearchTarget), SearchPrefix, SerCnt, SerTim);
  else
    DsList.StartSearch(SearchTarget, SerCnt, SerTim);
  SetTimer(m_dialog, kTimerId, TIMER_MS, nullptr);
  m_timer_on = true;
  Begin(TickCount());
}

void TFSearch::m_enum_timerTimer()
{
  TProgressStep step = Tick(TickCount(), DsList.FoundCount(), ResStr);
  SetWindowTextUtf8(m_enum_msg, step.label);
  // Only the devices that are new since the last tick get a row.
  for (int i = step.first_new; i < step.end_new; ++i)
    AppendDeviceRow(m_enum_list, MakeDeviceRow(i, DsList.FoundInfoCopy(i)));
  UpdateWindow(m_dialog);
  if (DsList.IsSearchDone())
    Close(ResultCancel);
}

void TFSearch::m_stop_enumClick()
{
  DsList.StopSearch();
  Close(ResultYes);
}

void TFSearch::Close(INT_PTR result)
{
  // FormClose: the timer stops on every way out.
  if (m_timer_on) {
    KillTimer(m_dialog, kTimerId);
    m_timer_on = false;
  }
  EndDialog(m_dialog, result);
}
