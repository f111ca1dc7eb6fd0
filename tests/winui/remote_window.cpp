#include "remote_window.h"

#include <commctrl.h>

namespace guitest {

namespace {

struct FindArgs {
  DWORD pid;
  const std::wstring *title;
  HWND found;
  std::vector<std::wstring> *titles;
};

BOOL CALLBACK EachTop(HWND window, LPARAM lparam)
{
  auto *args = reinterpret_cast<FindArgs *>(lparam);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != args->pid || !IsWindowVisible(window))
    return TRUE;
  std::wstring text = TextOf(window);
  if (args->titles)
    args->titles->push_back(text);
  if (args->title && text == *args->title) {
    args->found = window;
    return FALSE;
  }
  return TRUE;
}

constexpr size_t kPage = 4096;
constexpr size_t kTextOffset = 1024;  // the text buffer, after the structure
constexpr int kTextChars = 512;

}  // namespace

HWND FindTopWindow(DWORD pid, const std::wstring &title)
{
  FindArgs args{pid, &title, nullptr, nullptr};
  EnumWindows(EachTop, reinterpret_cast<LPARAM>(&args));
  return args.found;
}

std::vector<std::wstring> TopWindowTitles(DWORD pid)
{
  std::vector<std::wstring> titles;
  FindArgs args{pid, nullptr, nullptr, &titles};
  EnumWindows(EachTop, reinterpret_cast<LPARAM>(&args));
  return titles;
}

HWND FocusOf(HWND window)
{
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
    return nullptr;
  return info.hwndFocus;
}

std::wstring TextOf(HWND window)
{
  wchar_t text[1024];
  LRESULT n = SendMessageW(window, WM_GETTEXT, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(text));
  return std::wstring(text, static_cast<size_t>(n > 0 ? n : 0));
}

HWND FindChild(HWND parent, const std::wstring &class_name)
{
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[64];
    GetClassNameW(child, name, 64);
    if (class_name == name)
      return child;
    if (HWND deeper = FindChild(child, class_name))
      return deeper;
  }
  return nullptr;
}

RemoteList::RemoteList(HWND list, HANDLE process) : m_list(list), m_process(process)
{
  m_remote = VirtualAllocEx(process, nullptr, kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteList::~RemoteList()
{
  if (m_remote)
    VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE);
}

int RemoteList::Count() const
{
  return static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
}

int RemoteList::SelectedCount() const
{
  return static_cast<int>(SendMessageW(m_list, LVM_GETSELECTEDCOUNT, 0, 0));
}

int RemoteList::Columns() const
{
  HWND header = reinterpret_cast<HWND>(SendMessageW(m_list, LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int RemoteList::ColumnWidth(int column) const
{
  return static_cast<int>(SendMessageW(m_list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

std::wstring RemoteList::Cell(int row, int column) const
{
  if (!m_remote)
    return L"";
  char *base = static_cast<char *>(m_remote);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<LPWSTR>(base + kTextOffset);
  item.cchTextMax = kTextChars;
  WriteProcessMemory(m_process, base, &item, sizeof item, nullptr);
  LRESULT n = SendMessageW(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(base));
  wchar_t text[kTextChars] = {};
  ReadProcessMemory(m_process, base + kTextOffset, text, sizeof text, nullptr);
  return std::wstring(text, static_cast<size_t>(n > 0 && n < kTextChars ? n : 0));
}

std::vector<std::wstring> RemoteList::Rows() const
{
  std::vector<std::wstring> rows;
  int columns = Columns();
  for (int r = 0; r < Count(); ++r) {
    std::wstring line;
    for (int c = 0; c < columns; ++c)
      line += (c ? L"\t" : L"") + Cell(r, c);
    rows.push_back(line);
  }
  return rows;
}

std::vector<std::wstring> RemoteList::Column(int column) const
{
  std::vector<std::wstring> cells;
  for (int r = 0; r < Count(); ++r)
    cells.push_back(Cell(r, column));
  return cells;
}

int RemoteList::HeaderImage(int column, bool *on_right) const
{
  HWND header = reinterpret_cast<HWND>(SendMessageW(m_list, LVM_GETHEADER, 0, 0));
  HDITEMW item{};
  item.mask = HDI_FORMAT | HDI_IMAGE;
  WriteProcessMemory(m_process, m_remote, &item, sizeof item, nullptr);
  SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(m_remote));
  ReadProcessMemory(m_process, m_remote, &item, sizeof item, nullptr);
  if (on_right)
    *on_right = (item.fmt & HDF_BITMAP_ON_RIGHT) != 0;
  return item.fmt & HDF_IMAGE ? item.iImage : -1;
}

POINT RemoteList::HeaderCenter(int column) const
{
  HWND header = reinterpret_cast<HWND>(SendMessageW(m_list, LVM_GETHEADER, 0, 0));
  RECT r{};
  WriteProcessMemory(m_process, m_remote, &r, sizeof r, nullptr);
  SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(m_remote));
  ReadProcessMemory(m_process, m_remote, &r, sizeof r, nullptr);
  POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(header, &p);
  return p;
}

POINT RemoteList::RowCenter(int row) const
{
  RECT r{};
  r.left = LVIR_LABEL;
  WriteProcessMemory(m_process, m_remote, &r, sizeof r, nullptr);
  SendMessageW(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(m_remote));
  ReadProcessMemory(m_process, m_remote, &r, sizeof r, nullptr);
  POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(m_list, &p);
  return p;
}

void PressKeys(std::initializer_list<WORD> chord)
{
  std::vector<INPUT> inputs;
  for (WORD key : chord) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    inputs.push_back(in);
  }
  for (auto it = chord.end(); it != chord.begin();) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = *--it;
    in.ki.dwFlags = KEYEVENTF_KEYUP;
    inputs.push_back(in);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void Click(POINT screen, bool right)
{
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT in[3]{};
  in[0].type = INPUT_MOUSE;
  in[0].mi.dx = MulDiv(screen.x, 65535, w - 1);
  in[0].mi.dy = MulDiv(screen.y, 65535, h - 1);
  in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  in[1].type = in[2].type = INPUT_MOUSE;
  in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  in[2].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  SendInput(3, in, sizeof(INPUT));
}

void TypeText(const std::wstring &text)
{
  std::vector<INPUT> inputs;
  for (wchar_t c : text)
    for (DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      in.ki.wScan = c;
      in.ki.dwFlags = KEYEVENTF_UNICODE | up;
      inputs.push_back(in);
    }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

std::wstring ClipboardText()
{
  std::wstring text;
  if (!OpenClipboard(nullptr))
    return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const wchar_t *p = static_cast<const wchar_t *>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

}  // namespace guitest
