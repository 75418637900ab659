#include "ValueRender.h"

#include <charconv>
#include <cstring>

#include "engine/EngineTypes.h"
#include "engine/NativeConnect.h"
#include "engine/SqlText.h"
#include "rtl/SysUtils.h"
#include "wire/MysqlClient.h"

namespace engine {

std::string BooleanMemberText(const std::string& members, bool value) {
  const std::string m = rtl::LowerCase(members);
  if (!value) return (m == "y,n" || m == "n,y") ? "n" : "f";
  return (m == "t,f" || m == "f,t") ? "t" : "y";
}

namespace {

std::string SetBitmask(const std::string& text, const std::string& members) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t comma = members.find(',', start);
    items.push_back(
        members.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::uint64_t mask = 0;
  start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    for (size_t i = 0; i < items.size() && i < 64; ++i)
      if (rtl::SameText(items[i], item)) {
        mask |= std::uint64_t{1} << i;
        break;
      }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return std::to_string(mask);
}

}  // namespace

bool NoBackslashEscapes(const TNativeConnect* connection) {
  return connection && connection->Client().NoBackslashEscapes();
}

std::string RenderValue(const TmySQLField& field, const std::uint8_t* value, bool quoted,
                        bool for_insert, bool no_backslash_escapes) {
  auto wrap = [quoted](const std::string& s) { return quoted ? "'" + s + "'" : s; };
  switch (field.FieldType()) {
    case fldZSTRING: {
      size_t cap = field.FieldLength() ? field.FieldLength() - 1u : 0u;
      std::string text(reinterpret_cast<const char*>(value),
                       strnlen(reinterpret_cast<const char*>(value), cap));
      if (!quoted) return text;
      std::string escaped = wire::EscapeString(text, no_backslash_escapes);
      if (for_insert && field.NativeType() == MYSQL_TYPE_SET)
        return SetBitmask(escaped, field.Enum_Value());
      return "'" + escaped + "'";
    }
    case fldDATE: {
      double d;
      std::memcpy(&d, value, 8);
      return wrap(SqlDateText(d));
    }
    case fldTIME: {
      double d;
      std::memcpy(&d, value, 8);
      return wrap(SqlTimeText(d));
    }
    case fldTIMESTAMP: {
      double d;
      std::memcpy(&d, value, 8);
      return wrap(SqlDateTimeText(d));
    }
    case fldBOOL: {
      std::int16_t v;
      std::memcpy(&v, value, 2);
      return wrap(BooleanMemberText(field.Enum_Value(), v != 0));
    }
    case fldINT16: {
      std::int16_t v;
      std::memcpy(&v, value, 2);
      return std::to_string(v);
    }
    case fldUINT16: {
      std::uint16_t v;
      std::memcpy(&v, value, 2);
      return std::to_string(v);
    }
    case fldINT32: {
      std::int32_t v;
      std::memcpy(&v, value, 4);
      return std::to_string(v);
    }
    case fldINT64: {
      std::int64_t v;
      std::memcpy(&v, value, 8);
      return std::to_string(v);
    }
    case fldUINT64: {
      std::uint64_t v;
      std::memcpy(&v, value, 8);
      return std::to_string(v);
    }
    case fldFLOAT: {
      double d;
      std::memcpy(&d, value, 8);
      return SqlFloatText(d);
    }
    default:
      return std::string();
  }
}

bool IsNumericColumnType(int type) {
  switch (type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR:
    case MYSQL_TYPE_NEWDECIMAL:
      return true;
    default:
      return false;
  }
}

namespace {

bool ReadNumber(const char* first, const char* last, long double& out) {
  while (first < last && *first == ' ') ++first;
  while (last > first && last[-1] == ' ') --last;
  if (first < last && *first == '+') ++first;
  if (first == last) return false;
  // Integers exactly (64-bit values do not survive a double), fractions as
  // long doubles.
  std::int64_t i = 0;
  auto [p, ec] = std::from_chars(first, last, i);
  if (ec == std::errc() && p == last) {
    out = static_cast<long double>(i);
    return true;
  }
  std::uint64_t u = 0;
  auto [pu, ecu] = std::from_chars(first, last, u);
  if (ecu == std::errc() && pu == last) {
    out = static_cast<long double>(u);
    return true;
  }
  double d = 0;
  auto [pd, ecd] = std::from_chars(first, last, d);
  if (ecd == std::errc() && pd == last) {
    out = d;
    return true;
  }
  return false;
}

}  // namespace

bool KeyTextMatches(int column_type, const std::string& key, const char* value) {
  const char* v = value ? value : "";
  if (IsNumericColumnType(column_type)) {
    long double a = 0, b = 0;
    // 12.5 finds 12.50; 64-bit integers stay exact in a long double.
    if (ReadNumber(key.data(), key.data() + key.size(), a) && ReadNumber(v, v + std::strlen(v), b))
      return a == b;
  }
  return rtl::SameText(key, v);
}

}  // namespace engine
