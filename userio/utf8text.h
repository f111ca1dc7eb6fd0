// UTF-8 text helpers for output that must be valid text whatever bytes a
// model file or a device supplied: repair, a cut on a character boundary
// and the number of terminal columns a text takes.  No locale is used, so
// the results are the same for every user.
#pragma once

#include <cstddef>
#include <string>

// The text with every invalid UTF-8 sequence (stray continuation byte,
// overlong form, surrogate, value above U+10FFFF, truncated sequence)
// replaced by U+FFFD, one replacement per maximal invalid part.
std::string Utf8Repair(const std::string &text);

// Utf8Repair, and every control character (C0 controls with tab and line
// ends, DEL, C1 controls) replaced by U+FFFD as well: text that goes to a
// terminal cannot move the cursor, change colours or start an escape
// sequence, and keeps the column count of Utf8Columns.
std::string Utf8Displayable(const std::string &text);

// The longest prefix of text of at most max_bytes bytes that does not end
// inside a well-formed multi-byte character.  Invalid bytes count as
// characters of one byte.
size_t Utf8CutLength(const char *text, size_t max_bytes);

// Terminal columns of text: 2 for East Asian wide and fullwidth characters,
// 0 for combining marks and zero-width characters, 1 for everything else
// (an invalid byte counts as the one-column U+FFFD that replaces it).
size_t Utf8Columns(const std::string &text);
