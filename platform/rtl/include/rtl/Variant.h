// A small variant value: what parameters hold and what Locate/Lookup take
// and return.
//
// A Variant is unassigned (empty), null, a boolean, an integer of 8 to 64
// bits, a single or double float, a currency (an int64 scaled by 10000), a
// date-time (TDateTime day count), a string (Windows-1252) or an array of
// variants. It is a plain value type: copies are deep, nothing is shared, so
// distinct Variant objects may be used from distinct threads.
//
// Conversions (AsString, AsInt64, ...) follow the usual variant rules:
// numbers convert among themselves (floats rounded to nearest, ties to even,
// for integer targets), strings are parsed with the process-wide format
// settings, booleans are -1/0 as numbers and "True"/"False" as text, a
// date-time converts like its day count. A conversion that cannot be made
// (null or an array to a number, a non-numeric string to a number) raises
// EVariantError. Empty converts to 0, false and the empty text.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"

namespace rtl {

// Type codes (the numbers are the customary ones).
enum TVarType : uint16_t {
  varEmpty = 0,
  varNull = 1,
  varSmallint = 2,  // 16-bit signed
  varInteger = 3,   // 32-bit signed
  varSingle = 4,
  varDouble = 5,
  varCurrency = 6,
  varDate = 7,
  varBoolean = 11,
  varShortInt = 16,  // 8-bit signed
  varByte = 17,
  varWord = 18,
  varLongWord = 19,
  varInt64 = 20,
  varString = 0x100,
  varArray = 0x2000,
};

// A variant that cannot take the requested type.
class EVariantError : public EConvertError {
 public:
  using EConvertError::EConvertError;
};

class Variant {
 public:
  Variant() = default;  // unassigned
  Variant(bool value) : type_(varBoolean), int_(value ? 1 : 0) {}
  Variant(int value) : type_(varInteger), int_(value) {}
  Variant(long value) : type_(varInt64), int_(value) {}
  Variant(long long value) : type_(varInt64), int_(value) {}
  Variant(unsigned int value) : type_(varLongWord), int_(value) {}
  // Unsigned 64-bit values are held as Int64: values above its range wrap.
  Variant(unsigned long value) : type_(varInt64), int_(static_cast<int64_t>(value)) {}
  Variant(unsigned long long value) : type_(varInt64), int_(static_cast<int64_t>(value)) {}
  Variant(double value) : type_(varDouble), float_(value) {}
  Variant(std::string value) : type_(varString), str_(std::move(value)) {}
  Variant(std::string_view value) : type_(varString), str_(value) {}
  Variant(const char* value) : type_(varString), str_(value ? value : "") {}
  Variant(std::vector<Variant> items) : type_(varArray), items_(std::move(items)) {}
  Variant(std::initializer_list<Variant> items) : type_(varArray), items_(items) {}

  static Variant Null();
  static Variant Empty() { return Variant(); }
  // Integers of a given width (varShortInt, varSmallint, varByte, varWord,
  // varLongWord, varInteger, varInt64); the value is truncated to it.
  static Variant FromInt(int64_t value, TVarType type);
  static Variant FromSingle(float value);
  // `scaled` is the amount times 10000 (12.3456 -> 123456).
  static Variant FromCurrency(int64_t scaled);
  // Rounds to the nearest 1/10000.
  static Variant CurrencyFromDouble(double value);
  static Variant FromDateTime(TDateTime value);

  TVarType VarType() const { return type_; }
  bool IsEmpty() const { return type_ == varEmpty; }
  bool IsNull() const { return type_ == varNull; }
  // Null or unassigned: "no value".
  bool IsClear() const { return type_ == varEmpty || type_ == varNull; }
  bool IsArray() const { return type_ == varArray; }
  bool IsInteger() const;
  bool IsFloat() const;  // single, double, currency
  bool IsNumeric() const { return IsInteger() || IsFloat(); }
  bool IsString() const { return type_ == varString; }

  bool AsBoolean() const;
  int32_t AsInteger() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  int64_t AsCurrency() const;  // scaled by 10000
  TDateTime AsDateTime() const;
  std::string AsString() const;

  // Arrays: number of elements and element access (index from 0); on a
  // variant that is not an array ArrayCount is 0 and Item raises.
  int ArrayCount() const { return static_cast<int>(items_.size()); }
  const Variant& Item(int index) const;
  Variant& Item(int index);
  const std::vector<Variant>& Items() const { return items_; }

  // Name of the type for messages ("Integer", "String", "Null"...).
  static const char* TypeName(TVarType type);

  // Value equality as Locate and Lookup need it: null equals only null and
  // empty only empty; numbers compare by value across integer, float,
  // currency and date-time types; a string and a number compare as numbers
  // when the string is numeric, else unequal; strings compare byte for byte;
  // arrays element by element.
  friend bool operator==(const Variant& a, const Variant& b);
  friend bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }

 private:
  [[noreturn]] void CastError(TVarType target) const;

  TVarType type_ = varEmpty;
  int64_t int_ = 0;     // integers, boolean, currency (scaled)
  double float_ = 0.0;  // single, double, date
  std::string str_;
  std::vector<Variant> items_;
};

// Null-aware comparison of two scalar variants: -1, 0, 1. Null and empty sort
// before every value; numbers compare by value; two strings compare byte
// wise, or case-insensitively (Windows-1252) when `ignore_case` is set; a
// string against a number compares as numbers when the string is numeric,
// else as texts.
int VarCompare(const Variant& a, const Variant& b, bool ignore_case = false);

}  // namespace rtl
