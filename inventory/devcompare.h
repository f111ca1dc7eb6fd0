// Row comparisons of the device lists, shared by the desktop view and the
// command-line finder.  Each gives a negative number, 0 or a positive one.
#pragma once

#include <cstdint>
#include <string>

// Sort columns.
enum TSortKey { SORT_NO = 0, SORT_MODEL = 1, SORT_MAC = 2, SORT_IP = 3 };

// "No": position difference.
inline int CompareNo(int pos1, int pos2) { return pos1 - pos2; }
// "IP Address": addresses (network order) as unsigned numbers, first dotted
// part most significant; +1 when ip1 is greater, else -1 (equal gives -1).
int CompareIp(uint32_t ip1, uint32_t ip2);
// "Model", "MAC Address": the user locale's case-sensitive collation
// (strcoll; the program calls setlocale(LC_ALL, "") at start), as -1, 0, +1.
int CompareText(const std::string &a, const std::string &b);
// Applies the sort direction: 1 ascending keeps the result, anything else
// negates it.
inline int ApplySortDirection(int result, int direction) { return direction == 1 ? result : -result; }
