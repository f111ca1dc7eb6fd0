// Table of the user-visible texts, looked up by number.
#pragma once

#include <string>

constexpr int TXT_COL_NO = 10;
constexpr int TXT_COL_MODEL = 11;
constexpr int TXT_COL_MAC = 12;
constexpr int TXT_COL_IP = 13;
constexpr int TXT_UNIT = 15;             // "Vela(s)"
constexpr int TXT_SEARCH_RESULT = 16;    // "Search Result"
constexpr int TXT_SOCKET_ERROR = 250;    // "Initial Socket Error!"
constexpr int TXT_PRODUCT_NAME = 300;
constexpr int TXT_VERSION = 301;
constexpr int TXT_PRODUCT = 401;
constexpr int TXT_REG_KEY = 404;
constexpr int TXT_REG_SERCNT = 405;
constexpr int TXT_REG_SERTIM = 406;
constexpr int TXT_PROGRESS = 601;        // "Found %d Vela(s), remain timeout = %d second(s)"
constexpr int TXT_COMMAND_FAIL = 1002;
constexpr int TXT_COLUMN_WIDTH_OFFSET = 900;  // a column's width text: caption id + 900

// Text with this id, or the empty text when the table has none.
std::string LoadStr(int id);

// Where a text is looked up: LoadStr, or a program's own copy of the table
// (the Windows program reads its string-table resource).
using TTextSource = std::string (*)(int id);

// "Search Result - N Vela(s)".
std::string SearchResultText(int count, TTextSource texts = LoadStr);
// The progress text filled with the found count and the remaining seconds;
// empty when the table has no progress text.
std::string ProgressText(int found, int remain_seconds, TTextSource texts = LoadStr);
