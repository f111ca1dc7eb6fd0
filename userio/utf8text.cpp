// UTF-8 repair, cutting and column counting.
#include "utf8text.h"

#include <cstdint>

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Decodes the character at s[0..n): its length (1..4) and code point, or 0
// with *bad set to the length of the maximal invalid part (at least 1).
size_t Decode(const unsigned char *s, size_t n, uint32_t *cp, size_t *bad) {
  const unsigned char c = s[0];
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  size_t len;
  uint32_t v;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    v = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    v = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;  // no overlong form
    if (c == 0xED) hi = 0x9F;  // no surrogate
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    v = c & 0x07;
    if (c == 0xF0) lo = 0x90;  // no overlong form
    if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    *bad = 1;
    return 0;
  }
  for (size_t i = 1; i < len; ++i) {
    const unsigned char t = i < n ? s[i] : 0;
    const bool ok = i < n && (i == 1 ? (t >= lo && t <= hi) : (t >= 0x80 && t <= 0xBF));
    if (!ok) {
      *bad = i;
      return 0;
    }
    v = (v << 6) | (t & 0x3F);
  }
  *cp = v;
  return len;
}

struct Range {
  uint32_t first, last;
};

bool InRanges(uint32_t cp, const Range *r, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (cp >= r[i].first && cp <= r[i].last) return true;
  return false;
}

// Characters that take no column of their own: combining marks of the
// common scripts, zero-width spaces and joiners, variation selectors.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF}, {0x05C1, 0x05C2},
    {0x05C4, 0x05C5}, {0x05C7, 0x05C7}, {0x0610, 0x061A}, {0x064B, 0x065F}, {0x0670, 0x0670},
    {0x06D6, 0x06DC}, {0x06DF, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED}, {0x0900, 0x0902},
    {0x093A, 0x093A}, {0x093C, 0x093C}, {0x0941, 0x0948}, {0x094D, 0x094D}, {0x0951, 0x0957},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0x302A, 0x302D},
    {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

// East Asian wide and fullwidth characters, and the wide emoji blocks.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

int Columns(uint32_t cp) {
  if (cp < 0x300) return 1;
  if (InRanges(cp, kZeroWidth, sizeof kZeroWidth / sizeof kZeroWidth[0])) return 0;
  if (InRanges(cp, kWide, sizeof kWide / sizeof kWide[0])) return 2;
  return 1;
}

// C0 controls, DEL and C1 controls.
bool IsControl(uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

// Utf8Repair; with controls set, control characters are replaced too.
std::string Repair(const std::string &text, bool controls) {
  const auto *s = reinterpret_cast<const unsigned char *>(text.data());
  const size_t n = text.size();
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n;) {
    uint32_t cp;
    size_t bad = 0;
    const size_t len = Decode(s + i, n - i, &cp, &bad);
    if (len > 0 && !(controls && IsControl(cp))) {
      out.append(text, i, len);
      i += len;
    } else {
      out += kReplacement;
      i += len > 0 ? len : bad;
    }
  }
  return out;
}

}  // namespace

std::string Utf8Repair(const std::string &text) { return Repair(text, false); }

std::string Utf8Displayable(const std::string &text) { return Repair(text, true); }

size_t Utf8CutLength(const char *text, size_t max_bytes) {
  const auto *s = reinterpret_cast<const unsigned char *>(text);
  size_t n = 0;
  while (n < max_bytes && s[n] != '\0') n++;
  if (n < max_bytes || s[n] == '\0') return n;  // nothing is cut
  // Find the lead byte of the character that holds the last kept byte; when
  // that character is well-formed and reaches past the cut, leave it out.
  size_t q = n;
  for (int back = 0; q > 0 && back < 3 && (s[q - 1] & 0xC0) == 0x80; ++back) q--;
  if (q == 0) return n;
  q--;
  size_t avail = 0;
  while (avail < 4 && s[q + avail] != '\0') avail++;
  uint32_t cp;
  size_t bad = 0;
  const size_t len = Decode(s + q, avail, &cp, &bad);
  return len > 0 && q + len > n ? q : n;
}

size_t Utf8Columns(const std::string &text) {
  const auto *s = reinterpret_cast<const unsigned char *>(text.data());
  const size_t n = text.size();
  size_t cols = 0;
  for (size_t i = 0; i < n;) {
    uint32_t cp = 0xFFFD;
    size_t bad = 0;
    const size_t len = Decode(s + i, n - i, &cp, &bad);
    cols += static_cast<size_t>(Columns(len > 0 ? cp : 0xFFFD));
    i += len > 0 ? len : bad;
  }
  return cols;
}
