// Float to text and back: the general format, pattern formatting and
// parsing. Everything goes through std::to_chars/from_chars, which ignore the
// C locale (a Qt program sets it from the environment), so only the
// TFormatSettings decide the separators.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

#include "rtl/SysUtils.h"

namespace rtl {

namespace {

// The significant digits of |value| rounded to `precision` digits (at most
// 17), trailing zeros removed, into `digits`; returns their count and sets
// the decimal exponent of the first digit (value = d1.d2d3... * 10^exp10).
// `value` must be finite and non-zero.
int Digits(double value, int precision, char (&digits)[24], int& exp10) {
  const double magnitude = std::fabs(value);
  char buf[48];
  // The shortest text that reads back as the value is much cheaper to get.
  // When it has no more than `precision` digits (at most 15, a normal
  // number), it is also the value rounded to `precision` digits: every
  // decimal of up to 15 digits reads back as a different double, so no other
  // one of that length can lie nearer. Otherwise round explicitly.
  auto r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
  bool rounded = precision <= 15 && magnitude >= std::numeric_limits<double>::min();
  if (rounded) {
    int count = 0;
    for (const char* p = buf; p < r.ptr && *p != 'e'; ++p)
      if (*p != '.') ++count;
    rounded = count <= precision;
  }
  if (!rounded)
    r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                      precision - 1);
  // buf holds d[.ddd]e<sign><digits>.
  int n = 0;
  const char* p = buf;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  while (n > 1 && digits[n - 1] == '0') --n;
  ++p;
  const bool negative = p < r.ptr && *p == '-';
  if (p < r.ptr && (*p == '-' || *p == '+')) ++p;
  int e = 0;
  for (; p < r.ptr; ++p) e = e * 10 + (*p - '0');
  exp10 = negative ? -e : e;
  return n;
}

}  // namespace

std::string FloatToStr(double value) {
  return FloatToStr(value, FormatSettings());
}

std::string FloatToStr(double value, const TFormatSettings& settings) {
  return FloatToStrF(value, 15, settings);
}

std::string FloatToStrF(double value, int precision, const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  const int kPrecision = precision < 1 ? 1 : (precision > 17 ? 17 : precision);
  char digits[24];
  int exp10;
  const int n = Digits(value, kPrecision, digits, exp10);
  // At most a sign, "0", the separator, three zeros and 17 digits, or a
  // sign, 17 digits, the separator and an exponent.
  char out[48];
  char* o = out;
  if (value < 0) *o++ = '-';
  // Position of the decimal point relative to the digits: plain notation is
  // used while the number has at most `precision` integer digits and no more than
  // three zeros after the point before the first digit (0.0001 is plain,
  // 0.00001 is 1E-5).
  const int point = exp10 + 1;
  if (point > kPrecision || point < -3) {
    *o++ = digits[0];
    if (n > 1) {
      *o++ = settings.DecimalSeparator;
      o = std::copy(digits + 1, digits + n, o);
    }
    *o++ = 'E';
    o = std::to_chars(o, out + sizeof out, exp10).ptr;
  } else if (point <= 0) {
    *o++ = '0';
    *o++ = settings.DecimalSeparator;
    o = std::fill_n(o, -point, '0');
    o = std::copy(digits, digits + n, o);
  } else if (point >= n) {
    o = std::copy(digits, digits + n, o);
    o = std::fill_n(o, point - n, '0');
  } else {
    o = std::copy(digits, digits + point, o);
    *o++ = settings.DecimalSeparator;
    o = std::copy(digits + point, digits + n, o);
  }
  return std::string(out, static_cast<size_t>(o - out));
}

std::string FormatFloat(std::string_view pattern, double value) {
  return FormatFloat(pattern, value, FormatSettings());
}

namespace {

// A number picture: the text before the first placeholder, the counts of
// the placeholders and the text after it; quoted text is copied verbatim.
struct Picture {
  std::string prefix, suffix;
  int int_zeros = 0, frac_zeros = 0, frac_max = 0, exp_digits = 0;
  bool seen_digit = false, grouping = false, exp_sign = false, in_exponent = false;
};

Picture ParsePicture(std::string_view pattern) {
  Picture pic;
  bool seen_point = false, number_done = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    std::string& literal = pic.seen_digit ? pic.suffix : pic.prefix;
    if (c == '\'' || c == '"') {
      const size_t end = pattern.find(c, i + 1);
      const size_t stop = end == std::string_view::npos ? pattern.size() : end;
      literal.append(pattern.substr(i + 1, stop - i - 1));
      i = stop;
      if (pic.seen_digit) number_done = true;
      continue;
    }
    if (!number_done && (c == '0' || c == '#')) {
      pic.seen_digit = true;
      if (pic.in_exponent) {
        if (c == '0') ++pic.exp_digits;
      } else if (seen_point) {
        ++pic.frac_max;
        if (c == '0') pic.frac_zeros = pic.frac_max;
      } else if (c == '0') {
        ++pic.int_zeros;
      }
      continue;
    }
    if (!number_done && c == '.' && !pic.in_exponent) {
      seen_point = true;
      continue;
    }
    if (!number_done && c == ',' && !pic.in_exponent) {
      pic.grouping = true;
      continue;
    }
    if (!number_done && pic.seen_digit && !pic.in_exponent && (c == 'E' || c == 'e') &&
        i + 1 < pattern.size() && (pattern[i + 1] == '+' || pattern[i + 1] == '-')) {
      pic.in_exponent = true;
      pic.exp_sign = pattern[i + 1] == '+';
      ++i;
      continue;
    }
    if (pic.seen_digit) number_done = true;
    literal.push_back(c);
  }
  return pic;
}

// Scales `v` to its mantissa and answers the exponent text ("E+05").
std::string ExponentText(const Picture& pic, double& v) {
  char buf[400];
  int exp10 = 0;
  if (v != 0) {
    const auto r =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, pic.frac_max);
    std::string_view t(buf, r.ptr - buf);
    const size_t e = t.find('e');
    exp10 = std::atoi(std::string(t.substr(e + 1)).c_str());
    v = std::atof(std::string(t.substr(0, e)).c_str());
  }
  std::string d = std::to_string(std::abs(exp10));
  if (static_cast<int>(d.size()) < pic.exp_digits) d.insert(0, pic.exp_digits - d.size(), '0');
  return std::string("E") + (exp10 < 0 ? "-" : (pic.exp_sign ? "+" : "")) + d;
}

std::string Grouped(const std::string& int_part, char separator) {
  std::string grouped;
  const size_t lead = int_part.size() % 3;
  for (size_t i = 0; i < int_part.size(); ++i) {
    if (i != 0 && i >= lead && (i - lead) % 3 == 0) grouped += separator;
    grouped += int_part[i];
  }
  return grouped;
}

}  // namespace

std::string FormatFloat(std::string_view pattern, double value, const TFormatSettings& settings) {
  const Picture pic = ParsePicture(pattern);
  if (!pic.seen_digit) return pic.prefix;
  if (!std::isfinite(value)) return FloatToStr(value, settings);

  char buf[400];
  std::string int_part, frac_part, exponent;
  double v = std::fabs(value);
  if (pic.in_exponent) exponent = ExponentText(pic, v);
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, pic.frac_max);
  std::string_view t(buf, r.ptr - buf);
  const size_t dot = t.find('.');
  int_part = std::string(t.substr(0, dot));
  if (dot != std::string_view::npos) frac_part = std::string(t.substr(dot + 1));
  while (static_cast<int>(frac_part.size()) > pic.frac_zeros && frac_part.back() == '0')
    frac_part.pop_back();
  const bool is_zero = int_part.find_first_not_of('0') == std::string::npos &&
                       frac_part.find_first_not_of('0') == std::string::npos;
  if (int_part == "0" && pic.int_zeros == 0) int_part.clear();
  if (static_cast<int>(int_part.size()) < pic.int_zeros)
    int_part.insert(0, pic.int_zeros - int_part.size(), '0');
  if (pic.grouping && int_part.size() > 3) int_part = Grouped(int_part, settings.ThousandSeparator);
  std::string out = pic.prefix;
  if (value < 0 && !is_zero) out += '-';
  out += int_part;
  if (!frac_part.empty()) {
    out += settings.DecimalSeparator;
    out += frac_part;
  }
  out += exponent;
  out += pic.suffix;
  return out;
}

bool TryStrToFloat(std::string_view text, double& value) {
  return TryStrToFloat(text, value, FormatSettings());
}

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings) {
  size_t i = 0, n = text.size();
  while (i < n && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  while (n > i && static_cast<unsigned char>(text[n - 1]) <= ' ') --n;
  // Rewrite the number in the form from_chars reads, checking the grammar:
  // [sign] digits [separator digits] [e [sign] digits], one digit at least
  // in the mantissa.
  std::string norm;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int mantissa_digits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') {
    norm += text[i++];
    ++mantissa_digits;
  }
  if (i < n && text[i] == settings.DecimalSeparator) {
    norm += '.';
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
      norm += text[i++];
      ++mantissa_digits;
    }
  }
  if (mantissa_digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    norm += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) norm += text[i++];
    int exp_digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
      norm += text[i++];
      ++exp_digits;
    }
    if (exp_digits == 0) return false;
  }
  if (i != n) return false;
  if (norm[0] == '.') norm.insert(0, "0");
  double v = 0;
  const auto r = std::from_chars(norm.data(), norm.data() + norm.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow is an error. Which one it is follows
    // from the magnitude: the position of the first significant digit plus
    // the exponent.
    const size_t e = norm.find('e');
    const std::string mantissa = norm.substr(0, e);
    const long exp = e == std::string::npos ? 0 : std::strtol(norm.c_str() + e + 1, nullptr, 10);
    const size_t first = mantissa.find_first_of("123456789");
    const size_t dot_at = mantissa.find('.');
    const long point = dot_at == std::string::npos ? static_cast<long>(mantissa.size())
                                                   : static_cast<long>(dot_at);
    const long magnitude = point - static_cast<long>(first) + exp;
    if (magnitude > 0) return false;
    v = 0;
  } else if (r.ec != std::errc() || r.ptr != norm.data() + norm.size()) {
    return false;
  }
  value = negative ? -v : v;
  return true;
}

double StrToFloat(std::string_view text) {
  return StrToFloat(text, FormatSettings());
}

double StrToFloat(std::string_view text, const TFormatSettings& settings) {
  double v;
  if (!TryStrToFloat(text, v, settings))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return v;
}

double StrToFloatDef(std::string_view text, double default_value) {
  double v;
  return TryStrToFloat(text, v) ? v : default_value;
}

}  // namespace rtl
