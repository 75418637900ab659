#include "engine/SqlText.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"
#include "wire/MysqlClient.h"

namespace engine {

std::int32_t ServerVersionNumber(std::string_view version_text) {
  std::string digits;
  size_t run = 0;
  for (char c : version_text) {
    if (c >= '0' && c <= '9') {
      digits += c;
      ++run;
      continue;
    }
    if (run == 1) digits.insert(digits.size() - 1, 1, '0');
    run = 0;
    if (c == '-') break;
  }
  std::int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<std::int32_t>::max())
      return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

namespace {

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

std::string DatePart(double day_count) {
  if (std::trunc(day_count) == 0) return "0000-00-00";
  int y = 0, m = 0, d = 0;
  rtl::DecodeDate(day_count, y, m, d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

std::string TimePart(double day_count) {
  int h = 0, n = 0, s = 0, ms = 0;
  rtl::DecodeTime(day_count, h, n, s, ms);
  return TwoDigits(h) + ":" + TwoDigits(n) + ":" + TwoDigits(s);
}

}  // namespace

std::string SqlDateText(double day_count) {
  return DatePart(day_count);
}

std::string SqlTimeText(double day_count) {
  if (day_count - std::trunc(day_count) == 0) return "00:00:00";
  return TimePart(day_count);
}

std::string SqlDateTimeText(double day_count) {
  if (std::trunc(day_count) == 0) return "0000-00-00 00:00:00";
  return DatePart(day_count) + " " + TimePart(day_count);
}

std::string SqlFloatText(double value) {
  rtl::TFormatSettings settings = rtl::FormatSettings();
  settings.DecimalSeparator = '.';
  return rtl::FloatToStr(value, settings);
}

// --- parameter substitution ---------------------------------------------------

namespace {

bool IsSingleCharToken(char c) {
  static const char kChars[] = " .:;,+-<>/*%^=()[]|&~@#$\\`{}!?\n\r";
  return c != '\0' && std::strchr(kChars, c) != nullptr;
}

struct Token {
  std::string_view text;
  bool blank_before = false;
};

// Splits a statement into the tokens of the substitution: blanks and tabs
// separate, single punctuation characters stand alone, quoted texts (up to
// the matching quote not preceded by a backslash) are one token.
std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  size_t i = 0;
  const size_t n = sql.size();
  bool blank = false;
  while (i < n) {
    char c = sql[i];
    if (c == ' ' || c == '\t') {
      blank = true;
      ++i;
      continue;
    }
    size_t start = i;
    if (c == '\'' || c == '"') {
      ++i;
      while (i < n && !(sql[i] == c && sql[i - 1] != '\\')) ++i;
      if (i < n) ++i;  // the closing quote
    } else if (IsSingleCharToken(c)) {
      ++i;
    } else {
      while (i < n && sql[i] != ' ' && sql[i] != '\t' && sql[i] != '\'' && sql[i] != '"' &&
             !IsSingleCharToken(sql[i]))
        ++i;
    }
    tokens.push_back({sql.substr(start, i - start), blank && !tokens.empty()});
    blank = false;
  }
  return tokens;
}

const TEngineParam* FindParam(const std::vector<TEngineParam>& params, std::string_view name) {
  for (const auto& p : params)
    if (rtl::SameText(p.name, name)) return &p;
  return nullptr;
}

}  // namespace

std::string ParamLiteral(const TEngineParam& param, bool no_backslash_escapes) {
  switch (param.kind) {
    case TEngineParam::Null:
      return "NULL";
    case TEngineParam::Integer:
      return std::to_string(param.int_value);
    case TEngineParam::Float:
      return SqlFloatText(param.float_value);
    case TEngineParam::Date:
      switch (param.date_kind) {
        case TEngineParam::AsDate:
          return "'" + SqlDateText(param.float_value) + "'";
        case TEngineParam::AsTime:
          return "'" + SqlTimeText(param.float_value) + "'";
        default:
          return "'" + SqlDateTimeText(param.float_value) + "'";
      }
    case TEngineParam::Boolean:
      return param.bool_value ? "'Y'" : "'N'";
    case TEngineParam::Text:
      break;
  }
  return "'" + wire::EscapeString(param.text, no_backslash_escapes) + "'";
}

std::string SubstituteParameters(std::string_view sql, const std::vector<TEngineParam>& params,
                                 bool no_backslash_escapes) {
  std::vector<Token> tokens = Tokenize(sql);
  std::string out;
  out.reserve(sql.size() + 16);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.text != ":") {
      if (t.blank_before) out += ' ';
      out += t.text;
      continue;
    }
    // A marker: the name follows as the next token, possibly in brackets or
    // quotes. A bracketed name spans the tokens up to "]".
    if (i + 1 >= tokens.size()) break;
    std::string name;
    size_t last = i + 1;
    std::string_view next = tokens[i + 1].text;
    if (next == "[") {
      size_t j = i + 2;
      while (j < tokens.size() && tokens[j].text != "]") {
        if (tokens[j].blank_before && !name.empty()) name += ' ';
        name += tokens[j].text;
        ++j;
      }
      last = j < tokens.size() ? j : tokens.size() - 1;
    } else if (next.size() >= 2 && (next.front() == '"' || next.front() == '\'') &&
               next.back() == next.front()) {
      name = std::string(next.substr(1, next.size() - 2));
    } else {
      name = std::string(next);
    }
    const TEngineParam* p = FindParam(params, name);
    if (p) {
      if (t.blank_before) out += ' ';
      out += ParamLiteral(*p, no_backslash_escapes);
    }
    i = last;
  }
  return rtl::Trim(out);
}

// --- the table after FROM -------------------------------------------------------

namespace {

bool IsNameChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c >= 0x80;
}

std::string QuotePart(const std::string& part, std::int32_t server_version) {
  if (server_version >= kBackquoteVersion && part.find('`') == std::string::npos)
    return "`" + part + "`";
  return part;
}

}  // namespace

std::string FindFromTable(std::string_view sql, std::int32_t server_version) {
  const size_t n = sql.size();
  size_t i = 0;
  bool after_from = false;
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(sql[i]);
    if (c <= ' ') {
      ++i;
      continue;
    }
    // Comments.
    if (c == '#' || (c == '-' && i + 1 < n && sql[i + 1] == '-')) {
      while (i < n && sql[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      size_t end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? n : end + 2;
      continue;
    }
    // String literals are skipped.
    if (c == '\'' || c == '"') {
      ++i;
      while (i < n && sql[i] != static_cast<char>(c)) {
        if (sql[i] == '\\') ++i;
        ++i;
      }
      ++i;
      continue;
    }
    if (c == '`' || (IsNameChar(c) && !(c >= '0' && c <= '9'))) {
      // A name, possibly qualified: part(.part)*
      std::vector<std::string> parts;
      bool quoted_any = false;
      for (;;) {
        std::string part;
        if (i < n && sql[i] == '`') {
          size_t end = sql.find('`', i + 1);
          if (end == std::string_view::npos) end = n;
          part = std::string(sql.substr(i, std::min(end + 1, n) - i));
          i = std::min(end + 1, n);
          quoted_any = true;
        } else {
          size_t start = i;
          while (i < n && IsNameChar(static_cast<unsigned char>(sql[i]))) ++i;
          part = std::string(sql.substr(start, i - start));
        }
        parts.push_back(part);
        if (i + 1 < n && sql[i] == '.' &&
            (sql[i + 1] == '`' || IsNameChar(static_cast<unsigned char>(sql[i + 1])))) {
          ++i;
          continue;
        }
        break;
      }
      if (!after_from) {
        if (!quoted_any && parts.size() == 1) {
          if (rtl::SameText(parts[0], "SHOW")) return std::string();
          if (rtl::SameText(parts[0], "FROM")) after_from = true;
        }
        continue;
      }
      std::string name;
      for (size_t k = 0; k < parts.size(); ++k) {
        if (k) name += '.';
        name += QuotePart(parts[k], server_version);
      }
      return name;
    }
    if (c >= '0' && c <= '9') {
      while (i < n && (IsNameChar(static_cast<unsigned char>(sql[i])) || sql[i] == '.')) ++i;
      continue;
    }
    ++i;  // an operator
  }
  return std::string();
}

std::string QuoteTableName(const std::string& name, std::int32_t server_version) {
  if (name.empty()) return name;
  if (server_version >= kBackquoteVersion && name.find('`') == std::string::npos)
    return "`" + name + "`";
  return name;
}

std::vector<std::string> SplitAtCommas(std::string_view list) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    const size_t comma = list.find(',', start);
    items.emplace_back(list.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) return items;
    start = comma + 1;
  }
}

}  // namespace engine
