// Reading another process's windows from a test driver, through the
// controls' own messages: window lookup, texts, a list view's rows and its
// header, the clipboard and input as a user makes it (SendInput).  List view
// and header messages carry pointers, so their structures live in memory
// allocated in the target process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace guitest {

// A visible top-level window of process pid with this exact title; null
// when none.
HWND FindTopWindow(DWORD pid, const std::wstring &title);
// Every visible top-level window of process pid, as their titles.
std::vector<std::wstring> TopWindowTitles(DWORD pid);
// The window that has the keyboard focus in window's thread; null when none.
HWND FocusOf(HWND window);
// A window's text (WM_GETTEXT).
std::wstring TextOf(HWND window);
// The first child window of this class (depth first); null when none.
HWND FindChild(HWND parent, const std::wstring &class_name);

// A list view of another process.
class RemoteList {
 public:
  RemoteList(HWND list, HANDLE process);
  ~RemoteList();
  RemoteList(const RemoteList &) = delete;
  RemoteList &operator=(const RemoteList &) = delete;

  int Count() const;
  int SelectedCount() const;
  int Columns() const;
  int ColumnWidth(int column) const;
  std::wstring Cell(int row, int column) const;
  // Every row as its cells joined by tabs, top to bottom.
  std::vector<std::wstring> Rows() const;
  // The cells of one column, top to bottom.
  std::vector<std::wstring> Column(int column) const;
  // The header's image of column: -1 when it shows none, else its index
  // (0 ascending arrow, 1 descending arrow), with the image on the right.
  int HeaderImage(int column, bool *on_right) const;
  // The middle of column's header and of row's first cell, in screen
  // coordinates.
  POINT HeaderCenter(int column) const;
  POINT RowCenter(int row) const;

 private:
  HWND m_list;
  HANDLE m_process;
  void *m_remote = nullptr;  // a page in the target process
};

// Input as the user makes it, to whatever window has the focus.
void PressKeys(std::initializer_list<WORD> chord);  // down in order, up in reverse
void Click(POINT screen, bool right = false);
// Types text as Unicode characters.
void TypeText(const std::wstring &text);

// The clipboard's Unicode text; empty when it has none.
std::wstring ClipboardText();

}  // namespace guitest
