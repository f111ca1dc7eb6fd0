// Identifiers of the Windows program's resources and controls; shared by the
// resource script and the code.
#pragma once

// Icons.
#define IDI_VELA 1
#define IDI_SEARCH 2
#define IDI_CHECK 3

// Menus and accelerators.
#define IDR_MAINMENU 100
#define IDR_LISTMENU 101
#define IDR_ACCEL 102

// Commands.
#define IDM_EXIT 200
#define IDM_SAVE 201
#define IDM_BROADCAST 202
#define IDM_TARGET 203
#define IDM_ABOUT 204
#define IDM_COPY 210
#define IDM_COPY_IP 211
#define IDM_COPY_MAC 212
#define IDM_SELECT_ALL 213

// Dialogs and their controls.
#define IDD_SEARCH 300
#define IDC_GROUPBOX1 301
#define IDC_LABEL1 302
#define IDC_ENUM_MSG 303
#define IDC_STOP_ENUM 304
#define IDC_ENUM_LIST 305

#define IDD_ABOUT 310
#define IDC_PANEL1 311
#define IDC_IMAGE1 312
#define IDC_PRODUCT_NAME 313
#define IDC_VERSION 314

#define IDD_TARGET 320
#define IDC_TARGET_PROMPT 321
#define IDC_TARGET_EDIT 322
#define IDC_TARGET_ERROR 323

// Controls of the main window.
#define IDC_COOLBAR 400
#define IDC_TOOLBAR 401
#define IDC_LISTVIEW 402
#define IDC_STATBAR 403
