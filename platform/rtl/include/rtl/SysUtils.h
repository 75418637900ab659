// Exceptions and the small text and number helpers every layer uses.
//
// Text is 8-bit Windows-1252 in std::string, one byte per character.
// Positions taken or returned by Pos and Copy are 1-based, as in the rest of
// the stack's text handling; 0 from Pos means "not found".
//
// Case rules: UpperCase/LowerCase change the letters a-z only (for keywords
// and identifiers). AnsiUpperCase/AnsiLowerCase, CompareText, SameText and
// the ignore-case flag of StringReplace also fold the accented letters of
// Windows-1252 (e.g. "\xE7" and "\xC7"), because names and texts the user
// types compare alike in any case.
//
// Conversions without a TFormatSettings argument read the process-wide
// settings (FormatSettings.h). All functions are reentrant; none keeps
// state.
//
// Naming in this layer: data members snake_case_ with the trailing
// underscore (row_count_), locals and parameters snake_case, functions and
// types in CamelCase.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "rtl/FormatSettings.h"

namespace rtl {

// Base of every exception the framework, the components and the agent raise.
// The message is the text shown to the user.
class Exception : public std::exception {
 public:
  Exception() = default;
  explicit Exception(std::string message) : message_(std::move(message)) {}

  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// The silent abort: an event handler that must stop quietly raises it, and
// the default error display ignores it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  explicit EAbort(std::string message) : Exception(std::move(message)) {}
};

// A text that is not a valid number or date, or a value that cannot take
// the requested type.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Raises EAbort.
[[noreturn]] void Abort();

// --- integers ---------------------------------------------------------------

std::string IntToStr(int64_t value);
// Upper-case hexadecimal, at least `digits` digits (zero-padded).
std::string IntToHex(uint64_t value, int digits);

// Decimal text with an optional sign, after optional leading blanks
// (trailing characters are not allowed); "$" or "0x" introduces hexadecimal.
// StrToInt raises EConvertError "'<text>' is not a valid integer value" when
// the text is not a number in range.
bool TryStrToInt(std::string_view text, int& value);
bool TryStrToInt64(std::string_view text, int64_t& value);
int StrToInt(std::string_view text);
int64_t StrToInt64(std::string_view text);
int StrToIntDef(std::string_view text, int default_value);
int64_t StrToInt64Def(std::string_view text, int64_t default_value);

// --- floats -----------------------------------------------------------------

// General format: the shortest of plain and scientific notation with up to 15
// significant digits, no thousands separator, trailing zeros dropped:
// 1234.5 -> "1234,5" (Brazilian settings), 1E20 -> "1E20", 1E-5 -> "1E-5",
// 0.0001 -> "0,0001". Infinities and NaN give "INF", "-INF", "NAN".
std::string FloatToStr(double value);
std::string FloatToStr(double value, const TFormatSettings& settings);
// The general format with `precision` significant digits (1 to 17):
// FloatToStr is FloatToStrF with 15; singles read best with 7.
std::string FloatToStrF(double value, int precision, const TFormatSettings& settings);

// Pattern format with "0", "#", ".", "," and "E+"/"E-" sections as in the
// classic FormatFloat (one section only: ';' sections are not supported).
std::string FormatFloat(std::string_view pattern, double value);
std::string FormatFloat(std::string_view pattern, double value, const TFormatSettings& settings);

// Accepts blanks around the number, a sign, digits with the settings'
// decimal separator and an optional exponent. StrToFloat raises
// EConvertError "'<text>' is not a valid floating point value".
bool TryStrToFloat(std::string_view text, double& value);
bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings);
double StrToFloat(std::string_view text);
double StrToFloat(std::string_view text, const TFormatSettings& settings);
double StrToFloatDef(std::string_view text, double default_value);

// --- text -------------------------------------------------------------------

// Blank = characters with codes 0 to 32.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);
bool IsBlank(std::string_view text);

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);
char AnsiUpperChar(char c);
char AnsiLowerChar(char c);

// LIKE pattern match: "%" matches any run of characters (also none), "?"
// exactly one; ignore_case folds both sides as AnsiUpperChar does. Greedy
// with backtracking to the last "%", which is linear in practice and never
// worse than text length times pattern length.
bool MatchesLike(std::string_view text, std::string_view pattern, bool ignore_case);

// <0, 0, >0 like strcmp, after folding both texts to upper case (Windows-1252
// letters). CompareStr is the plain byte comparison.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
int CompareStr(std::string_view a, std::string_view b);

// 1-based position of the first `sub` in `text`, 0 when absent (an empty
// `sub` is never found).
size_t Pos(std::string_view sub, std::string_view text);
// Position search that starts at 1-based `offset`.
size_t PosEx(std::string_view sub, std::string_view text, size_t offset);
// `count` characters from 1-based `index`, clipped to the text; an index
// below 1 counts as 1.
std::string Copy(std::string_view text, int64_t index, int64_t count);

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
using TReplaceFlags = unsigned;
std::string StringReplace(std::string_view text, std::string_view old_pattern,
                          std::string_view new_pattern, TReplaceFlags flags);

// 'text' with embedded quotes doubled.
std::string QuotedStr(std::string_view text);
// Undoes QuotedStr (with any quote character); a text that does not start
// with the quote is returned unchanged.
std::string DequotedStr(std::string_view text, char quote = '\'');

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace rtl
