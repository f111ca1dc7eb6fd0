// Rows of vela-find, their order and the three output formats.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "devcompare.h"
#include "options.h"

struct TFindRow {
  int pos = 0;        // position in the result list (the "No" column is pos + 1)
  std::string model;
  std::string mac;
  std::string ip;
  uint32_t ip_addr = 0;  // network order
};

// Orders rows by key with the list view's comparison; reverse sorts
// descending.  Stable: rows the comparison does not tell apart keep their
// order (an insertion sort, which stays well-defined with a comparison that
// never reports equal addresses as equal).
void SortFindRows(std::vector<TFindRow> *rows, TSortKey key, bool reverse);

// Writes the rows in format; found is the found count of the search.
void WriteFindRows(FILE *out, const std::vector<TFindRow> &rows, int found, TOutputFormat format);
