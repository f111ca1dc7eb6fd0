// The modal dialog that runs one search: it starts the search when it opens,
// shows the found count and the countdown every 100 ms, lists the devices as
// they answer and closes when the search has ended, when Stop is pressed
// (Enter presses it too) or when the close box is used.  Escape does
// nothing.  The countdown and the timer steps are the shared
// TSearchProgress.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>

#include "search_progress.h"

class TFSearch : public TSearchProgress {
 public:
  // Modal results: Stop closes with Yes; the end of the search, the close
  // box and the system's close key close with Cancel.
  static constexpr INT_PTR ResultYes = IDYES;
  static constexpr INT_PTR ResultCancel = IDCANCEL;
  // Period of the progress timer.
  static constexpr UINT TIMER_MS = 100;

  // Inputs, set before the dialog is shown (with SerCnt and SerTim).
  int32_t SearchTarget = -1;  // -1: broadcast on every local network
  // A search by address: one device (SearchPrefix 32) or a routed subnet.
  bool ByAddress = false;
  int32_t SearchPrefix = 32;

  // Shows the dialog modally over owner until it closes; its modal result.
  INT_PTR Execute(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  void FormCreate();
  void LayOut();
  void FormShow();
  void m_enum_timerTimer();
  void m_stop_enumClick();
  void Close(INT_PTR result);

  HWND m_dialog = nullptr;
  HWND m_enum_msg = nullptr;
  HWND m_enum_list = nullptr;
  HFONT m_font = nullptr;
  HFONT m_bold = nullptr;
  HIMAGELIST m_check_images = nullptr;
  bool m_timer_on = false;
};
