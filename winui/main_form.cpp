#include "main_form.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "device_view.h"
#include "dialogs.h"
#include "dsapi.h"
#include "dslist.h"
#include "interfaces.h"
#include "resource.h"
#include "result_format.h"
#include "search_form.h"
#include "search_target.h"
#include "settings.h"
#include "state_file.h"
#include "texttable.h"
#include "win_util.h"
#include "window_texts.h"

TFMain *FMain = nullptr;

namespace {

const wchar_t *const kWindowClass = L"VelaFinderMain";
// Layout of the window (pixels at 96 DPI).
constexpr int kLeft = 242, kTop = 122, kWidth = 696, kHeight = 480;
constexpr int kToolBarHeight = 38;
constexpr int kToolButtonWidth = 92, kToolButtonHeight = 36;
constexpr int kToolSeparatorWidth = 8;
constexpr int kToolButtonPadding = 14;  // around the caption inside the button
constexpr wchar_t kToolCaption[] = L"Broadcast Search";
constexpr int kStatusBarHeight = 19;
constexpr int kIconSize = 16;

HINSTANCE Instance()
{
  return GetModuleHandleW(nullptr);
}

void RegisterWindowClass(WNDPROC proc)
{
  static bool registered = false;
  if (registered)
    return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = Instance();
  wc.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_VELA));
  wc.hIconSm = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_VELA), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&wc))
    throw std::runtime_error("cannot register the main window's class");
  registered = true;
}

// The search icon as a 32-bit bitmap with alpha, for a menu entry.
HBITMAP IconBitmap(int size)
{
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = size;
  bi.bmiHeader.biHeight = -size;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void *bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  HICON icon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_SEARCH), IMAGE_ICON, size, size, 0));
  DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  DestroyIcon(icon);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return bitmap;
}

// Makes the Interfaces setting take effect for ds_init (call it before):
// empty when every name is usable or none is set; else the message for the
// user, and every interface that is up searches.
std::string ApplyInterfaceSetting()
{
  std::string error;
  if (ChooseInterfaces(SplitInterfaceList(::LoadSearchSettings().Interfaces), &error))
    return "";
  std::string ignored;
  ChooseInterfaces({}, &ignored);
  return error;
}

// The first exception that escaped a message handler; the entry point
// reports it once the loop has ended.
std::exception_ptr g_escaped;

}  // namespace

std::exception_ptr EscapedError()
{
  return g_escaped;
}

TFMain::TFMain()
{
  RegisterWindowClass(WindowProc);
  UINT dpi = WindowDpi(nullptr);
  HMENU menu = LoadMenuW(Instance(), MAKEINTRESOURCEW(IDR_MAINMENU));
  m_accel = LoadAcceleratorsW(Instance(), MAKEINTRESOURCEW(IDR_ACCEL));
  m_window = CreateWindowExW(0, kWindowClass, WideOf(VELA_MAIN_CAPTION).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             Scale(kLeft, dpi), Scale(kTop, dpi), Scale(kWidth, dpi), Scale(kHeight, dpi), nullptr,
                             menu, Instance(), this);
  if (!m_window)
    throw std::runtime_error("cannot create the main window");
  // On a monitor of another DPI than the system's the window takes that
  // monitor's scale.
  UINT own = WindowDpi(m_window);
  if (own != dpi) {
    SetWindowPos(m_window, nullptr, Scale(kLeft, own), Scale(kTop, own), Scale(kWidth, own), Scale(kHeight, own),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyDpi(own);
  }
}

TFMain::~TFMain()
{
  if (m_window)
    DestroyWindow(m_window);
  if (m_list_menu)
    DestroyMenu(m_list_menu);
  if (m_ImageList)
    ImageList_Destroy(m_ImageList);
  if (m_misc_imglist)
    ImageList_Destroy(m_misc_imglist);
  if (m_menu_icon)
    DeleteObject(m_menu_icon);
  if (m_font)
    DeleteObject(m_font);
}

LRESULT CALLBACK TFMain::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
  if (message == WM_NCCREATE) {
    auto *create = reinterpret_cast<CREATESTRUCTW *>(lparam);
    auto *self = static_cast<TFMain *>(create->lpCreateParams);
    self->m_window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto *self = reinterpret_cast<TFMain *>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self)
    return DefWindowProcW(window, message, wparam, lparam);
  // No exception may unwind through the system's frames: the first one is
  // kept, the loop ends and the entry point shows it.
  try {
    return self->Handle(message, wparam, lparam);
  } catch (...) {
    if (!g_escaped)
      g_escaped = std::current_exception();
    PostQuitMessage(0);
    return 0;
  }
}

LRESULT TFMain::Handle(UINT message, WPARAM wparam, LPARAM lparam)
{
  switch (message) {
  case WM_CREATE:
    BuildControls();
    FormCreate();
    return 0;
  case WM_SHOWWINDOW:
    if (wparam && !m_shown) {
      m_shown = true;
      FormShow();
    }
    break;
  case WM_SIZE:
    LayOut();
    return 0;
  case WM_COMMAND:
    Command(LOWORD(wparam));
    return 0;
  case WM_NOTIFY:
    return Notify(reinterpret_cast<NMHDR *>(lparam));
  case WM_CONTEXTMENU:
    if (reinterpret_cast<HWND>(wparam) == m_ListView) {
      POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      ShowListMenu(at);
      return 0;
    }
    // The bars have no menu of their own.
    return 0;
  case WM_SETTINGCHANGE:
  case WM_SYSCOLORCHANGE:
    // The arrows are drawn on the button face colour.
    ApplyDpi(m_dpi);
    break;
  case WM_DPICHANGED: {
    const RECT *suggested = reinterpret_cast<const RECT *>(lparam);
    SetWindowPos(m_window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyDpi(LOWORD(wparam));
    return 0;
  }
  case WM_DESTROY:
    FormDestroy();
    PostQuitMessage(0);
    m_window = nullptr;
    return 0;
  default:
    break;
  }
  return DefWindowProcW(m_window, message, wparam, lparam);
}

void TFMain::BuildControls()
{
  CoolBar1 = CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                 RBS_BANDBORDERS | CCS_NODIVIDER,
                             0, 0, 0, 0, m_window, reinterpret_cast<HMENU>(IDC_COOLBAR), Instance(), nullptr);
  m_tool_bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                                   CCS_NODIVIDER | CCS_NOPARENTALIGN,
                               0, 0, 0, 0, CoolBar1, reinterpret_cast<HMENU>(IDC_TOOLBAR), Instance(), nullptr);
  SendMessageW(m_tool_bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  // Its commands and tooltips go to the main window, not to the rebar.
  SendMessageW(m_tool_bar, TB_SETPARENT, reinterpret_cast<WPARAM>(m_window), 0);
  static wchar_t caption[] = L"Broadcast Search";
  static_assert(sizeof caption == sizeof kToolCaption, "one caption");
  TBBUTTON buttons[2]{};
  buttons[0].iBitmap = 0;
  buttons[0].idCommand = IDM_BROADCAST;
  buttons[0].fsState = TBSTATE_ENABLED;
  buttons[0].fsStyle = BTNS_BUTTON;
  buttons[0].iString = reinterpret_cast<INT_PTR>(caption);
  buttons[1].iBitmap = kToolSeparatorWidth;
  buttons[1].fsStyle = BTNS_SEP;
  SendMessageW(m_tool_bar, TB_ADDBUTTONSW, 2, reinterpret_cast<LPARAM>(buttons));

  m_ListView = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 0, 0,
                               m_window, reinterpret_cast<HMENU>(IDC_LISTVIEW), Instance(), nullptr);
  DWORD ex = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
  SendMessageW(m_ListView, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);

  m_stat_bar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                               m_window, reinterpret_cast<HMENU>(IDC_STATBAR), Instance(), nullptr);
  int one_part = -1;  // one panel that spans the whole bar
  SendMessageW(m_stat_bar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&one_part));
  SetWindowTextUtf8(m_stat_bar, InitialStatusText());

  m_list_menu = LoadMenuW(Instance(), MAKEINTRESOURCEW(IDR_LISTMENU));
  ApplyDpi(WindowDpi(m_window));
}

void TFMain::ApplyDpi(UINT dpi)
{
  m_dpi = dpi;
  auto s = [dpi](int px) { return Scale(px, dpi); };
  if (m_font)
    DeleteObject(m_font);
  m_font = MakeUiFont(dpi);
  SetFontTree(m_window, m_font);

  // The search icon on the tool button and beside the menu entry.
  if (m_ImageList)
    ImageList_Destroy(m_ImageList);
  int icon = s(kIconSize);
  m_ImageList = ImageList_Create(icon, icon, ILC_COLOR32 | ILC_MASK, 1, 0);
  HICON search = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_SEARCH), IMAGE_ICON, icon, icon, 0));
  ImageList_AddIcon(m_ImageList, search);
  DestroyIcon(search);
  SendMessageW(m_tool_bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_ImageList));
  // 92 x 36, or wider where the font needs more room for the caption.
  int button_w = s(kToolButtonWidth);
  {
    HDC dc = GetDC(m_tool_bar);
    HGDIOBJ old = SelectObject(dc, m_font);
    SIZE text{};
    GetTextExtentPoint32W(dc, kToolCaption, static_cast<int>(wcslen(kToolCaption)), &text);
    SelectObject(dc, old);
    ReleaseDC(m_tool_bar, dc);
    button_w = std::max(button_w, static_cast<int>(text.cx) + s(kToolButtonPadding));
  }
  SendMessageW(m_tool_bar, TB_SETBUTTONWIDTH, 0, MAKELPARAM(button_w, button_w));
  SendMessageW(m_tool_bar, TB_SETBUTTONSIZE, 0, MAKELPARAM(button_w, s(kToolButtonHeight)));
  TBBUTTONINFOW sep{};
  sep.cbSize = sizeof sep;
  sep.dwMask = TBIF_SIZE | TBIF_BYINDEX;
  sep.cx = static_cast<WORD>(s(kToolSeparatorWidth));
  SendMessageW(m_tool_bar, TB_SETBUTTONINFOW, 1, reinterpret_cast<LPARAM>(&sep));

  if (m_menu_icon)
    DeleteObject(m_menu_icon);
  m_menu_icon = IconBitmap(GetSystemMetrics(SM_CXMENUCHECK) > icon ? GetSystemMetrics(SM_CXMENUCHECK) : icon);
  MENUITEMINFOW mi{};
  mi.cbSize = sizeof mi;
  mi.fMask = MIIM_BITMAP;
  mi.hbmpItem = m_menu_icon;
  SetMenuItemInfoW(GetMenu(m_window), IDM_BROADCAST, FALSE, &mi);

  // The band holding the tool bar: 38 pixels high.
  REBARBANDINFOW band{};
  band.cbSize = sizeof band;
  band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE;
  band.fStyle = RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS;
  band.hwndChild = m_tool_bar;
  band.cxMinChild = static_cast<UINT>(button_w + s(kToolSeparatorWidth));
  band.cyMinChild = static_cast<UINT>(s(kToolBarHeight));
  band.cx = static_cast<UINT>(s(kWidth));
  if (SendMessageW(CoolBar1, RB_GETBANDCOUNT, 0, 0) == 0)
    SendMessageW(CoolBar1, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
  else
    SendMessageW(CoolBar1, RB_SETBANDINFOW, 0, reinterpret_cast<LPARAM>(&band));

  // The header's arrows, drawn on the button face for this DPI.
  if (m_misc_imglist)
    ImageList_Destroy(m_misc_imglist);
  m_misc_imglist = MakeArrowImages(dpi);
  HWND header = reinterpret_cast<HWND>(SendMessageW(m_ListView, LVM_GETHEADER, 0, 0));
  SendMessageW(header, HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_misc_imglist));
  ScaleDeviceColumns(m_ListView, dpi);

  SendMessageW(m_stat_bar, SB_SETMINHEIGHT, static_cast<WPARAM>(s(kStatusBarHeight)), 0);
  LayOut();
}

void TFMain::LayOut()
{
  if (!m_ListView)
    return;
  RECT client;
  GetClientRect(m_window, &client);
  SendMessageW(CoolBar1, WM_SIZE, 0, 0);
  SendMessageW(m_stat_bar, WM_SIZE, 0, 0);
  RECT bar, status;
  GetWindowRect(CoolBar1, &bar);
  GetWindowRect(m_stat_bar, &status);
  int top = bar.bottom - bar.top;
  int bottom = status.bottom - status.top;
  MoveWindow(m_ListView, 0, top, client.right, client.bottom - top - bottom > 0 ? client.bottom - top - bottom : 0,
             TRUE);
}

void TFMain::FormCreate()
{
  // The Interfaces setting chooses the interfaces a search goes out of; it
  // takes effect at ds_init.  A name that cannot be used is reported after
  // the network layer has started with every interface that is up.
  std::string choice = ApplyInterfaceSetting();
  if (!ds_init())
    ShowWarning(nullptr, ResStr(TXT_SOCKET_ERROR));
  if (!choice.empty())
    ShowWarning(nullptr, choice);
  // More local addresses than a search uses: the status bar's tooltip says
  // which were left out.
  SetStatusTip(LeftOutText());
}

void TFMain::SetStatusTip(const std::string &text)
{
  if (!m_stat_tip) {
    m_stat_tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0,
                                 0, 0, 0, m_window, nullptr, Instance(), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_window;
    tool.uId = reinterpret_cast<UINT_PTR>(m_stat_bar);
    tool.lpszText = const_cast<wchar_t *>(L"");
    SendMessageW(m_stat_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // Several lines, one per notice.
    SendMessageW(m_stat_tip, TTM_SETMAXTIPWIDTH, 0, Scale(600, m_dpi));
  }
  m_stat_tip_text = WideOf(text);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = m_window;
  tool.uId = reinterpret_cast<UINT_PTR>(m_stat_bar);
  tool.lpszText = m_stat_tip_text.data();
  SendMessageW(m_stat_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(m_stat_tip, TTM_ACTIVATE, !text.empty(), 0);
}

void TFMain::FormShow()
{
  LoadSearchSettings();
  SetupForm(m_window);
  AddDeviceColumns(m_ListView, m_dpi);
  SetSortColumn(m_sort.SortColumn(), SortAscending);
}

void TFMain::FormDestroy()
{
  // The worker threads of the device list use the network layer: end them
  // before the layer goes away.
  DsList.Shutdown();
  ds_cleanup();
}

void TFMain::LoadSearchSettings()
{
  TSearchSettings s = ::LoadSearchSettings();
  SerCnt = s.SerCnt;
  SerTim = s.SerTim;
}

void TFMain::Command(int id)
{
  switch (id) {
  case IDM_BROADCAST:
    m_brdc_actionExecute();
    break;
  case IDM_TARGET:
    m_target_actionExecute();
    break;
  case IDM_EXIT:
    DestroyWindow(m_window);
    break;
  case IDM_SAVE:
    m_save_actionExecute();
    break;
  case IDM_ABOUT:
    m_menu_aboutClick();
    break;
  case IDM_COPY:
    CopyRows(TCopyWhat::Rows);
    break;
  case IDM_COPY_IP:
    CopyRows(TCopyWhat::IpAddress);
    break;
  case IDM_COPY_MAC:
    CopyRows(TCopyWhat::MacAddress);
    break;
  case IDM_SELECT_ALL:
    SelectAll();
    break;
  default:
    break;
  }
}

LRESULT TFMain::Notify(NMHDR *header)
{
  if (header->code == TTN_GETDISPINFOW && header->idFrom == IDM_BROADCAST) {
    static wchar_t tip[] = L"Broadcast Search";
    reinterpret_cast<NMTTDISPINFOW *>(header)->lpszText = tip;
    return 0;
  }
  if (header->hwndFrom == CoolBar1 && header->code == RBN_HEIGHTCHANGE) {
    LayOut();
    return 0;
  }
  if (header->hwndFrom == m_ListView) {
    switch (header->code) {
    case LVN_COLUMNCLICK:
      m_ListViewColumnClick(reinterpret_cast<NMLISTVIEW *>(header)->iSubItem);
      return 0;
    case LVN_KEYDOWN:
      m_ListViewKeyDown(reinterpret_cast<NMLVKEYDOWN *>(header)->wVKey);
      return 0;
    default:
      break;
    }
  }
  return 0;
}

void TFMain::m_brdc_actionExecute()
{
  RunSearch(false, 0xFFFFFFFFu, 32, "");
}

void TFMain::m_target_actionExecute()
{
  TSearchTarget target;
  std::string notice;
  if (!AskSearchTarget(m_window, &target, &notice))
    return;
  // Remembering is a convenience: a state that cannot be written is
  // reported where the program's other notices go, and the search runs.
  std::string error;
  if (!SaveLastTarget(SearchTargetText(target), &error))
    std::fprintf(stderr, "%s\n", error.c_str());
  RunSearch(true, target.address, target.prefix_len, notice);
}

void TFMain::RunSearch(bool by_address, uint32_t address, int32_t prefix_len, const std::string &target_notice)
{
  TFSearch search;
  search.SearchTarget = static_cast<int32_t>(address);
  search.ByAddress = by_address;
  search.SearchPrefix = prefix_len;
  search.SerCnt = SerCnt;
  search.SerTim = SerTim;
  search.Execute(m_window);
  DsList.FinishSearch(false);
  // Why a search ended early (a thread the system refused): on the standard
  // error stream, as the model file's parse failure.
  for (const std::string &notice : DsList.TakeNotices())
    std::fprintf(stderr, "%s\n", notice.c_str());
  std::string tip = LeftOutText();
  auto add = [&tip](const std::string &line) {
    if (!line.empty())
      tip += (tip.empty() ? "" : "\n") + line;
  };
  add(target_notice);
  if (std::string failure = DsList.SearchFailure(); !failure.empty())
    add("cannot search " + (by_address ? SearchTargetText({address, prefix_len}) : std::string("by broadcast")) +
        ": " + failure);
  SetStatusTip(tip);
  FillDeviceList();
  UpdateStatusText();
}

void TFMain::m_menu_aboutClick()
{
  ShowAboutBox(m_window);
}

void TFMain::SetSortColumn(int column, TSortState state)
{
  m_sort.Set(column, state);
  UpdateSortHeaders();
}

void TFMain::UpdateSortHeaders()
{
  for (int c = 0; c < m_sort.Count(); ++c) {
    TSortState state = m_sort.State(c);
    SetHeaderArrow(m_ListView, c, state);
    if (state != SortNone)
      SendMessageW(m_ListView, LVM_SORTITEMS, static_cast<WPARAM>(SortDirection(state)),
                   reinterpret_cast<LPARAM>(m_ListViewCompare));
  }
}

int CALLBACK TFMain::m_ListViewCompare(LPARAM item1, LPARAM item2, LPARAM direction)
{
  const std::vector<TDeviceRow> &rows = FMain->m_rows;
  auto at = [&rows](LPARAM position) -> const TDeviceRow & {
    static const TDeviceRow none;
    return position >= 0 && static_cast<size_t>(position) < rows.size() ? rows[static_cast<size_t>(position)] : none;
  };
  return CompareDeviceRows(FMain->m_sort.SortColumn(), at(item1), at(item2), static_cast<int>(direction),
                           LocaleCompare);
}

void TFMain::FillDeviceList()
{
  SendMessageW(m_ListView, WM_SETREDRAW, FALSE, 0);
  SendMessageW(m_ListView, LVM_DELETEALLITEMS, 0, 0);
  m_rows.clear();
  int n = DsList.ListCount();
  for (int i = 0; i < n; ++i) {
    if (!DsList.ListDevice(i))
      break;
    m_rows.push_back(MakeDeviceRow(i, DsList.ListInfoCopy(i)));
    AppendDeviceRow(m_ListView, m_rows.back());
  }
  SetSortColumn(m_sort.SortColumn(), m_sort.State(m_sort.SortColumn()));
  SendMessageW(m_ListView, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(m_ListView, nullptr, TRUE);
}

void TFMain::UpdateStatusText()
{
  // The rows shown, not the found list: a search thread still finishing
  // after the close box may add to the found list after the merge.
  int rows = static_cast<int>(SendMessageW(m_ListView, LVM_GETITEMCOUNT, 0, 0));
  SetWindowTextUtf8(m_stat_bar, StatusText(rows, ResStr));
}

void TFMain::m_ListViewColumnClick(int column)
{
  m_sort.Click(column);
  UpdateSortHeaders();
}

bool TFMain::m_ListViewKeyDown(WORD key)
{
  int letter = key >= 'A' && key <= 'Z' ? key : 0;
  switch (ListKeyAction(letter, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_MENU) < 0)) {
  case TListKey::SelectAll:
    SelectAll();
    return true;
  case TListKey::Copy:
    CopyRows(TCopyWhat::Rows);
    return true;
  case TListKey::None:
    break;
  }
  return false;
}

void TFMain::SelectAll()
{
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = LVIS_SELECTED;
  SendMessageW(m_ListView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
}

void TFMain::CopyRows(TCopyWhat what)
{
  std::vector<TResultRow> rows = ViewRows(m_ListView, true);
  if (!rows.empty())
    PutOnClipboard(m_window, CopyText(rows, what, "\r\n"));
}

void TFMain::ShowListMenu(POINT at)
{
  if (at.x == -1 && at.y == -1) {  // from the keyboard: at the list's corner
    RECT r;
    GetWindowRect(m_ListView, &r);
    at = {r.left, r.top};
  }
  HMENU popup = GetSubMenu(m_list_menu, 0);
  bool selected = SendMessageW(m_ListView, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
  UINT copy = MF_BYCOMMAND | (selected ? MF_ENABLED : MF_GRAYED);
  EnableMenuItem(popup, IDM_COPY, copy);
  EnableMenuItem(popup, IDM_COPY_IP, copy);
  EnableMenuItem(popup, IDM_COPY_MAC, copy);
  EnableMenuItem(popup, IDM_SELECT_ALL,
                 MF_BYCOMMAND | (SendMessageW(m_ListView, LVM_GETITEMCOUNT, 0, 0) > 0 ? MF_ENABLED : MF_GRAYED));
  int id = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, m_window, nullptr);
  if (id != 0)
    Command(id);
}

void TFMain::m_save_actionExecute()
{
  wchar_t path[MAX_PATH] = L"";
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = m_window;
  ofn.lpstrFilter = L"CSV (*.csv)\0*.csv\0JSON (*.json)\0*.json\0Text (*.txt)\0*.txt\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = L"Save Result As";
  ofn.lpstrDefExt = L"csv";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&ofn))
    return;
  const TResultFormat by_filter[] = {TResultFormat::Csv, TResultFormat::Json, TResultFormat::Table};
  TResultFormat chosen = ofn.nFilterIndex >= 1 && ofn.nFilterIndex <= 3 ? by_filter[ofn.nFilterIndex - 1]
                                                                        : TResultFormat::Csv;
  std::string file = Utf8Of(path);
  int rows = static_cast<int>(SendMessageW(m_ListView, LVM_GETITEMCOUNT, 0, 0));
  std::string text = FormatResult(ViewRows(m_ListView, false), rows, FormatForFileName(file, chosen));
  std::string error;
  if (!WriteFileWhole(file, text, &error))
    ShowError(m_window, error);
}
