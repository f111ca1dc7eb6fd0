// The main window of the Windows program: the menu bar, the tool bar in a
// rebar band, the device list view and the status bar.  Runs a search
// through the search dialog and shows its result sorted by the column the
// user chose.  The rows, the sort rules and the texts are the shared screen
// logic; this class puts them on the common controls.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "device_rows.h"
#include "list_commands.h"
#include "sort_rules.h"

class TFMain {
 public:
  // Creates the window (FormCreate runs while it is created); hidden.
  TFMain();
  ~TFMain();
  TFMain(const TFMain &) = delete;
  TFMain &operator=(const TFMain &) = delete;

  HWND Handle() const { return m_window; }
  HACCEL Accelerators() const { return m_accel; }

  // Search settings, read at the first showing.
  int32_t SerCnt = 0;
  int32_t SerTim = 0;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static int CALLBACK m_ListViewCompare(LPARAM item1, LPARAM item2, LPARAM direction);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void FormCreate();
  void FormShow();
  void FormDestroy();
  void BuildControls();
  void LayOut();
  void ApplyDpi(UINT dpi);
  void LoadSearchSettings();
  void Command(int id);
  LRESULT Notify(NMHDR *header);

  // Device list view.
  void SetSortColumn(int column, TSortState state);
  void UpdateSortHeaders();
  void FillDeviceList();
  void UpdateStatusText();
  void m_ListViewColumnClick(int column);
  bool m_ListViewKeyDown(WORD key);
  void SelectAll();
  void CopyRows(TCopyWhat what);
  void ShowListMenu(POINT at);

  // Commands.
  void m_brdc_actionExecute();
  void m_target_actionExecute();
  void m_save_actionExecute();
  void m_menu_aboutClick();
  void RunSearch(bool by_address, uint32_t address, int32_t prefix_len, const std::string &target_notice);
  // The status bar's tooltip: what the last search left out or could not
  // do; none when text is empty.
  void SetStatusTip(const std::string &text);

  HWND m_window = nullptr;
  HWND CoolBar1 = nullptr;
  HWND m_tool_bar = nullptr;
  HWND m_ListView = nullptr;
  HWND m_stat_bar = nullptr;
  HWND m_stat_tip = nullptr;  // the status bar's tooltip
  std::wstring m_stat_tip_text;
  HACCEL m_accel = nullptr;
  HMENU m_list_menu = nullptr;
  HIMAGELIST m_ImageList = nullptr;      // the search icon
  HIMAGELIST m_misc_imglist = nullptr;   // the header's arrows: 0 up, 1 down
  HBITMAP m_menu_icon = nullptr;         // the search icon beside the menu entry
  HFONT m_font = nullptr;
  UINT m_dpi = 96;
  bool m_shown = false;

  TSortColumns m_sort;
  // The rows as filled, by position: the comparison reaches a row's device
  // through the position the row carries.
  std::vector<TDeviceRow> m_rows;
};

// The main window; null before it exists and after it is gone.
extern TFMain *FMain;

// The first exception that escaped a message handler of the main window
// (the loop ended then); null when none did.
std::exception_ptr EscapedError();
