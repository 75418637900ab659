#include "ValueRender.h"

#include <charconv>
#include <cstring>

#include "RecordCodec.h"
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
  const std::vector<std::string> items = SplitAtCommas(members);
  std::uint64_t mask = 0;
  for (const std::string& item : SplitAtCommas(text))
    for (size_t i = 0; i < items.size() && i < 64; ++i)
      if (rtl::SameText(items[i], item)) {
        mask |= std::uint64_t{1} << i;
        break;
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
    case fldDATE:
      return wrap(SqlDateText(ReadSlot<double>(value)));
    case fldTIME:
      return wrap(SqlTimeText(ReadSlot<double>(value)));
    case fldTIMESTAMP:
      return wrap(SqlDateTimeText(ReadSlot<double>(value)));
    case fldBOOL:
      return wrap(BooleanMemberText(field.Enum_Value(), ReadSlot<std::int16_t>(value) != 0));
    case fldINT16:
      return std::to_string(ReadSlot<std::int16_t>(value));
    case fldUINT16:
      return std::to_string(ReadSlot<std::uint16_t>(value));
    case fldINT32:
      return std::to_string(ReadSlot<std::int32_t>(value));
    case fldINT64:
      return std::to_string(ReadSlot<std::int64_t>(value));
    case fldUINT64:
      return std::to_string(ReadSlot<std::uint64_t>(value));
    case fldFLOAT:
      return SqlFloatText(ReadSlot<double>(value));
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
