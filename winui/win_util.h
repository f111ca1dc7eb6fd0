// Small helpers of the Windows program: DPI scaling, fonts, the text table
// resource, window texts as UTF-8 and the warning boxes.  Texts go to and
// from the W functions through WideOf and Utf8Of (win_text.h): an invalid
// UTF-8 sequence shows as U+FFFD.
#pragma once

#include <windows.h>

#include <string>

#include "win_text.h"

// The DPI of the monitor a window is on (96 at 100 %), or of the system for
// no window.
UINT WindowDpi(HWND window);
// px pixels at 96 DPI scaled to dpi.
int Scale(int px, UINT dpi);

// The interface font: 8 points at dpi, bold or not.  The caller owns it.
HFONT MakeUiFont(UINT dpi, bool bold = false);
// Gives window and all of its children font.
void SetFontTree(HWND window, HFONT font);

// The text with this id from the string-table resource; empty when the
// table has none.  The screen logic reads the text table through it.
std::string ResStr(int id);

// A window's text as UTF-8.
std::string WindowText(HWND window);
void SetWindowTextUtf8(HWND window, const std::string &text);

// The warning box: caption "Warning", a warning symbol, the text, "OK".
void ShowWarning(HWND owner, const std::string &text);
// The error box: caption "Error", an error symbol, the text, "OK".
void ShowError(HWND owner, const std::string &text);

// Reloads the model table from the model file; when it cannot be read,
// shows the warning "model_name.ini not found" with the places looked in,
// and the table stays as it was.
void SetupForm(HWND owner);

// Moves a top-level window to the middle of the monitor it is on.
void CenterOnScreen(HWND window);
// Sets a window's client area to width x height pixels, frame around it.
void SetClientSize(HWND window, int width, int height);
