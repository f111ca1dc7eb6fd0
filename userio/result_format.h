// The search result as a file or as standard output: one formatter for the
// three formats that vela-find prints and the desktop program saves, and a
// writer that replaces a file whole or not at all.
#pragma once

#include <string>
#include <vector>

// One row of the result list, as the list shows it.
struct TResultRow {
  std::string no;     // running number, "1", "2", ...
  std::string model;
  std::string mac;
  std::string ip;
};

enum class TResultFormat { Table, Csv, Json };

// The rows, in the order given, in format:
//  - Table: the column captions and the rows in columns two blanks apart
//    (widths in terminal columns), then an empty line and
//    "Search Result - <found> Vela(s)"; a control character in a field
//    (C0, DEL, C1) shows as U+FFFD.
//  - Csv: the captions, then one line per row; a field holding a comma,
//    a double quote, CR or LF is quoted with its quotes doubled.
//  - Json: {"found": <found>, "devices": [{"no": N, "model": ..., "mac": ...,
//    "ip": ...}, ...]}; "no" is a number when the text is one.
// Every format is valid UTF-8: invalid byte sequences become U+FFFD.
std::string FormatResult(const std::vector<TResultRow> &rows, int found, TResultFormat format);

// The format named "table", "csv" or "json"; false for any other name.
bool ParseResultFormat(const std::string &name, TResultFormat *format);

// Replaces the file at path with data: writes a new file in the same
// folder, flushes it to the disk and renames it over path, so that path
// holds either its old contents or all of data.  When path is a symbolic
// link, the file it leads to is replaced so, and the link stays.  Any name
// the system takes can be written (the temporary name is short).  A new file gets the usual
// permissions (0666 less the umask), a replaced one keeps its own.  True on
// success; false with "cannot write <path>: <reason>" in *error, and no
// file of ours left behind.
bool WriteFileWhole(const std::string &path, const std::string &data, std::string *error);
