#include "rtl/SysUtils.h"

#include <cstdarg>
#include <cstdio>
#include <limits>

namespace rtl {

void Abort() {
  throw EAbort();
}

// --- integers ---------------------------------------------------------------

std::string IntToStr(int64_t value) {
  return std::to_string(value);
}

std::string IntToHex(uint64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kHex[value & 15]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(out.size()) < digits) out.insert(0, digits - out.size(), '0');
  return out;
}

namespace {

// Parses an integer into [lo, hi]; see the header for the accepted forms.
bool ParseInteger(std::string_view text, int64_t lo, int64_t hi, int64_t& value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  // Accumulate the magnitude as unsigned so that the most negative value fits.
  const uint64_t limit = negative ? uint64_t(-(lo + 1)) + 1 : uint64_t(hi);
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (magnitude > (limit - digit) / base) return false;
    magnitude = magnitude * base + digit;
  }
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

[[noreturn]] void InvalidInteger(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace

bool TryStrToInt(std::string_view text, int& value) {
  int64_t v;
  if (!ParseInteger(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                    v))
    return false;
  value = static_cast<int>(v);
  return true;
}

bool TryStrToInt64(std::string_view text, int64_t& value) {
  return ParseInteger(text, std::numeric_limits<int64_t>::min(),
                      std::numeric_limits<int64_t>::max(), value);
}

int StrToInt(std::string_view text) {
  int v;
  if (!TryStrToInt(text, v)) InvalidInteger(text);
  return v;
}

int64_t StrToInt64(std::string_view text) {
  int64_t v;
  if (!TryStrToInt64(text, v)) InvalidInteger(text);
  return v;
}

int StrToIntDef(std::string_view text, int default_value) {
  int v;
  return TryStrToInt(text, v) ? v : default_value;
}

int64_t StrToInt64Def(std::string_view text, int64_t default_value) {
  int64_t v;
  return TryStrToInt64(text, v) ? v : default_value;
}

// --- text -------------------------------------------------------------------

namespace {
inline bool IsBlankChar(char c) {
  return static_cast<unsigned char>(c) <= 32;
}
}  // namespace

std::string Trim(std::string_view text) {
  return TrimLeft(TrimRight(text));
}

std::string TrimLeft(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlankChar(text[i])) ++i;
  return std::string(text.substr(i));
}

std::string TrimRight(std::string_view text) {
  size_t n = text.size();
  while (n > 0 && IsBlankChar(text[n - 1])) --n;
  return std::string(text.substr(0, n));
}

bool IsBlank(std::string_view text) {
  for (char c : text)
    if (!IsBlankChar(c)) return false;
  return true;
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

namespace {

// Windows-1252 letter pairs: a-z, the Latin-1 block 0xE0-0xFE (without the
// division sign 0xF7) against 0xC0-0xDE (without the multiplication sign
// 0xD7), and the four letters of the 0x80 block: S/Z with caron, OE, Y with
// diaeresis. Sharp s (0xDF) and micro (0xB5) have no upper case here.
// The ranges are tested in AnsiUpperChar and AnsiLowerChar; the four of the
// 0x80 block, which no range covers, stand in this table.
struct CasePair {
  unsigned char lower;
  unsigned char upper;
};
constexpr CasePair kHighBlockLetters[] = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};

}  // namespace

char AnsiUpperChar(char ch) {
  const unsigned char c = static_cast<unsigned char>(ch);
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char>(c - 32);
  for (const CasePair& pair : kHighBlockLetters)
    if (c == pair.lower) return static_cast<char>(pair.upper);
  return ch;
}

bool MatchesLike(std::string_view text, std::string_view pattern, bool ignore_case) {
  const auto same = [ignore_case](char x, char y) {
    return ignore_case ? AnsiUpperChar(x) == AnsiUpperChar(y) : x == y;
  };
  size_t t = 0, p = 0;
  size_t star = std::string_view::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '%') {
      star = p++;
      mark = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], text[t]))) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

char AnsiLowerChar(char ch) {
  const unsigned char c = static_cast<unsigned char>(ch);
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char>(c + 32);
  for (const CasePair& pair : kHighBlockLetters)
    if (c == pair.upper) return static_cast<char>(pair.lower);
  return ch;
}

std::string AnsiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AnsiUpperChar(c);
  return out;
}

std::string AnsiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AnsiLowerChar(c);
  return out;
}

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(AnsiUpperChar(a[i]));
    const unsigned char y = static_cast<unsigned char>(AnsiUpperChar(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareStr(std::string_view a, std::string_view b) {
  const int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

size_t Pos(std::string_view sub, std::string_view text) {
  return PosEx(sub, text, 1);
}

size_t PosEx(std::string_view sub, std::string_view text, size_t offset) {
  if (sub.empty() || offset < 1 || offset > text.size()) return 0;
  const size_t p = text.find(sub, offset - 1);
  return p == std::string_view::npos ? 0 : p + 1;
}

std::string Copy(std::string_view text, int64_t index, int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<int64_t>(text.size())) return std::string();
  return std::string(text.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count)));
}

std::string StringReplace(std::string_view text, std::string_view old_pattern,
                          std::string_view new_pattern, TReplaceFlags flags) {
  if (old_pattern.empty()) return std::string(text);
  const bool ignore_case = (flags & rfIgnoreCase) != 0;
  std::string search_text;
  std::string search_pattern;
  std::string_view hay = text;
  std::string_view needle = old_pattern;
  if (ignore_case) {
    search_text = AnsiUpperCase(text);
    search_pattern = AnsiUpperCase(old_pattern);
    hay = search_text;
    needle = search_pattern;
  }
  std::string out;
  size_t from = 0;
  for (;;) {
    const size_t p = hay.find(needle, from);
    if (p == std::string_view::npos) break;
    out.append(text.substr(from, p - from));
    out.append(new_pattern);
    from = p + needle.size();
    if ((flags & rfReplaceAll) == 0) break;
  }
  out.append(text.substr(from));
  return out;
}

std::string QuotedStr(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  out.push_back('\'');
  return out;
}

std::string DequotedStr(std::string_view text, char quote) {
  if (text.empty() || text[0] != quote) return std::string(text);
  std::string out;
  size_t i = 1;
  while (i < text.size()) {
    if (text[i] == quote) {
      if (i + 1 < text.size() && text[i + 1] == quote) {
        out.push_back(quote);
        i += 2;
        continue;
      }
      break;  // closing quote
    }
    out.push_back(text[i++]);
  }
  return out;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n));
    std::vsnprintf(out.data(), out.size() + 1, format, args);
  }
  va_end(args);
  return out;
}

}  // namespace rtl
