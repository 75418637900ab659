#include "wire/LocalFileNames.h"

#include <cctype>

#include "rtl/SysUtils.h"

namespace wire {

namespace {

bool IsWordByte(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

bool SameWord(std::string_view word, std::string_view upper) {
  return word.size() == upper.size() && rtl::UpperCase(word) == upper;
}

// Reads the quoted text starting at sql[i] (the opening quote) and returns
// the index after its closing quote; `value` gets the text as the server
// reads it. An unterminated text runs to the end.
std::size_t ReadQuoted(std::string_view sql, std::size_t i, bool backslashes, std::string& value) {
  const char quote = sql[i++];
  value.clear();
  while (i < sql.size()) {
    const char c = sql[i++];
    if (c == quote) {
      if (i < sql.size() && sql[i] == quote) {
        value += quote;
        ++i;
        continue;
      }
      return i;
    }
    if (c == '\\' && backslashes && i < sql.size()) {
      const char e = sql[i++];
      switch (e) {
        case '0':
          value += '\0';
          break;
        case 'b':
          value += '\b';
          break;
        case 'n':
          value += '\n';
          break;
        case 'r':
          value += '\r';
          break;
        case 't':
          value += '\t';
          break;
        case 'Z':
          value += '\x1A';
          break;
        case '%':
        case '_':
          // Kept with their backslash: they are LIKE escapes.
          value += '\\';
          value += e;
          break;
        default:
          value += e;
          break;
      }
      continue;
    }
    value += c;
  }
  return i;
}

}  // namespace

std::vector<std::string> LocalFilesNamed(std::string_view sql, bool noBackslashEscapes) {
  std::vector<std::string> names;
  const bool backslashes = !noBackslashEscapes;
  // The last two words seen outside quotes and comments (comments count as
  // blanks); a string literal right after LOCAL INFILE is a file name.
  std::string_view before, last;
  std::string text;
  std::size_t i = 0;
  while (i < sql.size()) {
    const unsigned char c = static_cast<unsigned char>(sql[i]);
    if (c == '\'' || c == '"') {
      i = ReadQuoted(sql, i, backslashes, text);
      if (SameWord(before, "LOCAL") && SameWord(last, "INFILE")) names.push_back(text);
      before = last = {};
      continue;
    }
    if (c == '`') {
      i = ReadQuoted(sql, i, false, text);
      before = last = {};
      continue;
    }
    if (c == '#' || (c == '-' && sql.substr(i, 2) == "--" &&
                     (i + 2 == sql.size() || std::isspace(static_cast<unsigned char>(sql[i + 2])) ||
                      std::iscntrl(static_cast<unsigned char>(sql[i + 2]))))) {
      std::size_t end = sql.find('\n', i);
      i = end == std::string_view::npos ? sql.size() : end + 1;
      continue;
    }
    if (c == '/' && sql.substr(i, 2) == "/*") {
      std::size_t end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? sql.size() : end + 2;
      continue;
    }
    if (IsWordByte(c)) {
      std::size_t start = i;
      while (i < sql.size() && IsWordByte(static_cast<unsigned char>(sql[i]))) ++i;
      before = last;
      last = sql.substr(start, i - start);
      continue;
    }
    if (!std::isspace(c)) before = last = {};
    ++i;
  }
  return names;
}

}  // namespace wire
