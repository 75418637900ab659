#include "rtl/Variant.h"

#include <cmath>
#include <limits>

namespace rtl {

namespace {

// Round half to even, the rule of variant casts to integer types.
bool RoundToInt64(double v, int64_t& out) {
  if (!std::isfinite(v)) return false;
  const double r = std::nearbyint(v);  // default rounding mode: to nearest, ties to even
  if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return false;
  out = static_cast<int64_t>(r);
  return true;
}

bool IsIntegerType(TVarType t) {
  switch (t) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
      return true;
    default:
      return false;
  }
}

}  // namespace

Variant Variant::Null() {
  Variant v;
  v.type_ = varNull;
  return v;
}

Variant Variant::FromInt(int64_t value, TVarType type) {
  Variant v;
  v.type_ = type;
  switch (type) {
    case varShortInt:
      v.int_ = static_cast<int8_t>(value);
      break;
    case varSmallint:
      v.int_ = static_cast<int16_t>(value);
      break;
    case varInteger:
      v.int_ = static_cast<int32_t>(value);
      break;
    case varByte:
      v.int_ = static_cast<uint8_t>(value);
      break;
    case varWord:
      v.int_ = static_cast<uint16_t>(value);
      break;
    case varLongWord:
      v.int_ = static_cast<uint32_t>(value);
      break;
    default:
      v.type_ = varInt64;
      v.int_ = value;
      break;
  }
  return v;
}

Variant Variant::FromSingle(float value) {
  Variant v;
  v.type_ = varSingle;
  v.float_ = value;
  return v;
}

Variant Variant::FromCurrency(int64_t scaled) {
  Variant v;
  v.type_ = varCurrency;
  v.int_ = scaled;
  return v;
}

Variant Variant::CurrencyFromDouble(double value) {
  int64_t scaled;
  if (!RoundToInt64(value * 10000.0, scaled))
    throw EVariantError("Floating point value out of currency range");
  return FromCurrency(scaled);
}

Variant Variant::FromDateTime(TDateTime value) {
  Variant v;
  v.type_ = varDate;
  v.float_ = value;
  return v;
}

bool Variant::IsInteger() const {
  return IsIntegerType(type_);
}

bool Variant::IsFloat() const {
  return type_ == varSingle || type_ == varDouble || type_ == varCurrency;
}

const char* Variant::TypeName(TVarType type) {
  switch (type) {
    case varEmpty:
      return "Empty";
    case varNull:
      return "Null";
    case varSmallint:
      return "Smallint";
    case varInteger:
      return "Integer";
    case varSingle:
      return "Single";
    case varDouble:
      return "Double";
    case varCurrency:
      return "Currency";
    case varDate:
      return "Date";
    case varBoolean:
      return "Boolean";
    case varShortInt:
      return "ShortInt";
    case varByte:
      return "Byte";
    case varWord:
      return "Word";
    case varLongWord:
      return "LongWord";
    case varInt64:
      return "Int64";
    case varString:
      return "String";
    case varArray:
      return "Array";
  }
  return "Unknown";
}

void Variant::CastError(TVarType target) const {
  throw EVariantError(std::string("Could not convert variant of type (") + TypeName(type_) +
                      ") into type (" + TypeName(target) + ")");
}

bool Variant::AsBoolean() const {
  switch (type_) {
    case varEmpty:
      return false;
    case varBoolean:
      return int_ != 0;
    case varSingle:
    case varDouble:
    case varDate:
      return float_ != 0;
    case varString: {
      if (SameText(str_, "True")) return true;
      if (SameText(str_, "False")) return false;
      double d;
      if (TryStrToFloat(str_, d)) return d != 0;
      CastError(varBoolean);
    }
    default:
      if (IsInteger() || type_ == varCurrency) return int_ != 0;
      CastError(varBoolean);
  }
}

int64_t Variant::AsInt64() const {
  switch (type_) {
    case varEmpty:
      return 0;
    case varBoolean:
      return int_ ? -1 : 0;
    case varCurrency: {
      // Scaled by 10000: round half to even on the last four digits.
      int64_t q = int_ / 10000, r = int_ % 10000;
      if (r > 5000 || (r == 5000 && (q & 1))) ++q;
      if (r < -5000 || (r == -5000 && (q & 1))) --q;
      return q;
    }
    case varSingle:
    case varDouble:
    case varDate: {
      int64_t out;
      if (!RoundToInt64(float_, out)) CastError(varInt64);
      return out;
    }
    case varString: {
      int64_t out;
      if (TryStrToInt64(str_, out)) return out;
      double d;
      if (TryStrToFloat(str_, d) && RoundToInt64(d, out)) return out;
      CastError(varInt64);
    }
    default:
      if (IsInteger()) return int_;
      CastError(varInt64);
  }
}

int32_t Variant::AsInteger() const {
  const int64_t v = AsInt64();
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    CastError(varInteger);
  return static_cast<int32_t>(v);
}

double Variant::AsDouble() const {
  switch (type_) {
    case varEmpty:
      return 0;
    case varBoolean:
      return int_ ? -1 : 0;
    case varCurrency:
      return static_cast<double>(int_) / 10000.0;
    case varSingle:
    case varDouble:
    case varDate:
      return float_;
    case varString: {
      double d;
      if (TryStrToFloat(str_, d)) return d;
      CastError(varDouble);
    }
    default:
      if (IsInteger()) return static_cast<double>(int_);
      CastError(varDouble);
  }
}

int64_t Variant::AsCurrency() const {
  switch (type_) {
    case varCurrency:
      return int_;
    case varEmpty:
      return 0;
    default:
      if (IsInteger() || type_ == varBoolean) {
        const int64_t v = AsInt64();
        if (v > std::numeric_limits<int64_t>::max() / 10000 ||
            v < std::numeric_limits<int64_t>::min() / 10000)
          CastError(varCurrency);
        return v * 10000;
      }
      int64_t scaled;
      if (!RoundToInt64(AsDouble() * 10000.0, scaled)) CastError(varCurrency);
      return scaled;
  }
}

TDateTime Variant::AsDateTime() const {
  switch (type_) {
    case varDate:
      return float_;
    case varString: {
      TDateTime d;
      if (TryStrToDateTime(str_, d, FormatSettings())) return d;
      CastError(varDate);
    }
    default:
      return AsDouble();
  }
}

std::string Variant::AsString() const {
  switch (type_) {
    case varEmpty:
      return std::string();
    case varBoolean:
      return int_ ? "True" : "False";
    case varString:
      return str_;
    case varSingle:
      return FloatToStrF(float_, 7, FormatSettings());
    case varDouble:
      return FloatToStr(float_);
    case varCurrency:
      return FloatToStr(static_cast<double>(int_) / 10000.0);
    case varDate:
      return DateTimeToStr(float_);
    default:
      if (IsInteger()) return IntToStr(int_);
      CastError(varString);
  }
}

const Variant& Variant::Item(int index) const {
  if (type_ != varArray) CastError(varArray);
  if (index < 0 || index >= ArrayCount()) throw EVariantError("Variant array index out of bounds");
  return items_[index];
}

Variant& Variant::Item(int index) {
  if (type_ != varArray) CastError(varArray);
  if (index < 0 || index >= ArrayCount()) throw EVariantError("Variant array index out of bounds");
  return items_[index];
}

namespace {

// Compares two non-null scalar variants that are both numeric (integers,
// floats, currency, date-times, booleans): integers exactly, the rest as
// doubles.
int CompareNumbers(const Variant& a, const Variant& b) {
  if ((a.IsInteger() || a.VarType() == varBoolean) &&
      (b.IsInteger() || b.VarType() == varBoolean)) {
    const int64_t x = a.AsInt64(), y = b.AsInt64();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (a.VarType() == varCurrency && b.VarType() == varCurrency) {
    const int64_t x = a.AsCurrency(), y = b.AsCurrency();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  const double x = a.AsDouble(), y = b.AsDouble();
  return x < y ? -1 : (x > y ? 1 : 0);
}

bool IsNumberLike(const Variant& v) {
  return v.IsNumeric() || v.VarType() == varDate || v.VarType() == varBoolean;
}

// A string read as a number (or date for date-time counterparts); false when
// it is not one.
bool StringAsNumber(const Variant& s, const Variant& other, Variant& out) {
  if (other.VarType() == varDate) {
    TDateTime d;
    if (!TryStrToDateTime(s.AsString(), d, FormatSettings())) return false;
    out = Variant::FromDateTime(d);
    return true;
  }
  double d;
  if (!TryStrToFloat(s.AsString(), d)) return false;
  out = d;
  return true;
}

}  // namespace

bool operator==(const Variant& a, const Variant& b) {
  if (a.IsClear() || b.IsClear()) return a.type_ == b.type_;
  if (a.IsArray() || b.IsArray()) return a.IsArray() && b.IsArray() && a.items_ == b.items_;
  if (a.IsString() && b.IsString()) return a.str_ == b.str_;
  if (a.IsString() || b.IsString()) {
    const Variant& s = a.IsString() ? a : b;
    const Variant& n = a.IsString() ? b : a;
    Variant converted;
    return StringAsNumber(s, n, converted) && CompareNumbers(converted, n) == 0;
  }
  return CompareNumbers(a, b) == 0;
}

int VarCompare(const Variant& a, const Variant& b, bool ignore_case) {
  const bool a_clear = a.IsClear(), b_clear = b.IsClear();
  if (a_clear || b_clear) return a_clear == b_clear ? 0 : (a_clear ? -1 : 1);
  if (a.IsArray() || b.IsArray()) throw EVariantError("Cannot compare variant arrays");
  if (a.IsString() && b.IsString()) {
    const int r = ignore_case ? CompareText(a.AsString(), b.AsString())
                              : CompareStr(a.AsString(), b.AsString());
    return r;
  }
  if (a.IsString() || b.IsString()) {
    const bool a_is_string = a.IsString();
    const Variant& s = a_is_string ? a : b;
    const Variant& n = a_is_string ? b : a;
    Variant converted;
    if (StringAsNumber(s, n, converted)) {
      const int r = CompareNumbers(converted, n);
      return a_is_string ? r : -r;
    }
    const int r = ignore_case ? CompareText(a.AsString(), b.AsString())
                              : CompareStr(a.AsString(), b.AsString());
    return r;
  }
  if (IsNumberLike(a) && IsNumberLike(b)) return CompareNumbers(a, b);
  return 0;
}

}  // namespace rtl
