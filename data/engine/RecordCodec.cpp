// Copying rows into record buffers and the typed field access on them.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/EngineErrors.h"
#include "engine/NativeDataSet.h"
#include "engine/SqlText.h"
#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"

namespace engine {

namespace {

struct Indicator {
  std::int16_t null_flag;
  // -1 when the row's text held a zero byte: the slot has only the part
  // before it, so reading the field fails rather than give that part.
  std::int16_t cut;
  std::int32_t changed;
};

Indicator ReadIndicator(const std::uint8_t* buffer, const TmySQLField& f) {
  Indicator ind;
  std::memcpy(&ind, buffer + f.NullOffset(), sizeof ind);
  return ind;
}

void WriteIndicator(std::uint8_t* buffer, const TmySQLField& f, std::int16_t null_flag,
                    std::int32_t changed) {
  Indicator ind{null_flag, 0, changed};
  std::memcpy(buffer + f.NullOffset(), &ind, sizeof ind);
}

[[noreturn]] void NotAnInteger(const char* text) {
  throw rtl::EConvertError(rtl::Format("'%s' is not a valid integer value", text));
}

std::int64_t ParseInt(const char* text, size_t length) {
  const char* first = text;
  const char* last = text + length;
  while (first < last && *first == ' ') ++first;
  if (first < last && *first == '+') ++first;
  std::int64_t v = 0;
  auto [p, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || p != last || first == last) NotAnInteger(text);
  return v;
}

std::uint64_t ParseUInt(const char* text, size_t length) {
  const char* first = text;
  const char* last = text + length;
  while (first < last && *first == ' ') ++first;
  if (first < last && *first == '+') ++first;
  std::uint64_t v = 0;
  auto [p, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || p != last || first == last) NotAnInteger(text);
  return v;
}

double ParseFloat(const char* text, size_t length) {
  const char* first = text;
  const char* last = text + length;
  while (first < last && *first == ' ') ++first;
  if (first < last && *first == '+') ++first;
  double v = 0;
  auto [p, ec] = std::from_chars(first, last, v);
  if (ec != std::errc()) return 0;
  (void)p;
  return v;
}

// A decimal number of `count` characters from 1-based `pos`, `fallback`
// when it is not one.
int Part(std::string_view s, size_t pos, size_t count, int fallback = 0) {
  if (pos - 1 >= s.size()) return fallback;
  std::string_view piece = s.substr(pos - 1, count);
  int v = 0;
  auto [p, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), v);
  if (ec != std::errc() || p != piece.data() + piece.size() || piece.empty()) return fallback;
  return v;
}

double Compose(double date, double time) {
  return date < 0 ? date - time : date + time;
}

}  // namespace

double DateTimeTextToValue(std::string_view text) {
  double date = 0;
  std::string_view rest = text;
  if (text.size() > 9) {
    int y = Part(text, 1, 4), m = Part(text, 6, 2), d = Part(text, 9, 2);
    if (y > 0 && m > 0 && d > 0) date = rtl::EncodeDate(y, m, d);
    rest = text.size() >= 12 ? text.substr(11, 8) : std::string_view();
  }
  double time = 0;
  if (rest.size() > 7) {
    int h = Part(rest, 1, 2), n = Part(rest, 4, 2), s = Part(rest, 7, 2);
    time = rtl::EncodeTime(h, n, s, 0);
  }
  return Compose(date, time);
}

double TimestampTextToValue(std::string_view raw) {
  std::string text = rtl::Trim(raw);
  if (text.empty()) return 0;
  int y, m, d, h, n, s;
  auto date_part = [&](size_t pos, size_t count) {
    int v = Part(text, pos, count, 1);
    return v < 1 ? 1 : v;
  };
  if (text.find('-') == std::string::npos) {
    y = date_part(1, 4), m = date_part(5, 2), d = date_part(7, 2);
    h = Part(text, 9, 2), n = Part(text, 11, 2), s = Part(text, 13, 2);
  } else {
    y = date_part(1, 4), m = date_part(6, 2), d = date_part(9, 2);
    h = Part(text, 12, 2), n = Part(text, 15, 2), s = Part(text, 18, 2);
  }
  double date = 0, time = 0;
  if (!rtl::TryEncodeDate(y, m, d, date) || !rtl::TryEncodeTime(h, n, s, 0, time)) return 0;
  return Compose(date, time);
}

std::string TNativeDataSet::RowValue(int column) const {
  const char* v = result_ ? result_->Value(column) : nullptr;
  return v ? std::string(v, result_->ValueLength(column)) : std::string();
}

bool TNativeDataSet::RowValueIsNull(int column) const {
  return !result_ || result_->Value(column) == nullptr;
}

namespace {

// Stores a row's text value as the engine value of its slot (presence byte
// already 1), by the adjusted server type.
void StoreRowValue(int type, const TmySQLField& f, const char* value, size_t vlen,
                   std::uint8_t* slot) {
  const size_t len = f.FieldLength();
  std::uint8_t* out = slot + 1;
  switch (type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_NEWDECIMAL: {
      double d = ParseFloat(value, vlen);
      std::memcpy(out, &d, 8);
      break;
    }
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT: {
      std::int16_t v = static_cast<std::int16_t>(ParseInt(value, vlen));
      std::memcpy(out, &v, 2);
      break;
    }
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR: {
      // Unsigned values take 64 bits where the slot has room for them
      // (INT UNSIGNED); the narrower ones fit 32 bits anyway.
      if (f.IsUnsigned() && len >= 8) {
        std::int64_t v = static_cast<std::int64_t>(ParseUInt(value, vlen));
        std::memcpy(out, &v, 8);
      } else {
        std::int32_t v = static_cast<std::int32_t>(ParseInt(value, vlen));
        std::memcpy(out, &v, 4);
      }
      break;
    }
    case MYSQL_TYPE_LONGLONG: {
      std::int64_t v = f.IsUnsigned() ? static_cast<std::int64_t>(ParseUInt(value, vlen))
                                      : ParseInt(value, vlen);
      std::memcpy(out, &v, 8);
      break;
    }
    case MYSQL_TYPE_TIMESTAMP: {
      double d = TimestampTextToValue(std::string_view(value, vlen));
      std::memcpy(out, &d, 8);
      break;
    }
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME: {
      double d = DateTimeTextToValue(std::string_view(value, vlen));
      std::memcpy(out, &d, 8);
      break;
    }
    case MYSQL_TYPE_BIT: {
      std::uint64_t v = 0;
      size_t count = std::min<size_t>(std::min<size_t>(f.NativeSize(), vlen), 8);
      for (size_t i = 0; i < count; ++i) v = (v << 8) | static_cast<std::uint8_t>(value[i]);
      std::memcpy(out, &v, 8);
      break;
    }
    case MYSQL_TYPE_ENUM: {
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(value[0])));
      std::int16_t v = (c == 't' || c == 'y') ? 1 : 0;
      std::memcpy(out, &v, 2);
      break;
    }
    case MYSQL_TYPE_BLOB:
      slot[0] = 0;
      std::memset(out, 0, 4);
      break;
    default: {
      if (len == 0) {
        slot[0] = 0;
        break;
      }
      // Text with its terminating zero, never beyond the slot.
      size_t count = std::min(std::strlen(value), len - 1);
      std::memcpy(out, value, count);
      out[count] = 0;
      break;
    }
  }
}

// --- the record codec ------------------------------------------------------------------
//
// GetField and PutField convert between the engine value in a slot and the
// framework's value, each form one way and the other, side by side here.

// The framework's form of a field's value, by adjusted server type.
enum class ValueForm {
  DayNumber,   // date: the slot's day count <-> 32-bit day number
  DayMsecs,    // time: the slot's day fraction <-> 32-bit milliseconds
  StampMsecs,  // date and time <-> milliseconds as a double
  Fixed2,      // 16-bit integers and the two-valued enumeration, as stored
  Fixed4Or8,   // 32-bit integers, 64 bits when the slot is that wide
  Fixed8,      // 64-bit integers, bits and floating values, as stored
  Text,        // zero-terminated, cut to the slot's capacity
  Blob,        // kept in the blob streams, not in the slot
  Other,       // no framework value to read; written as text
};

ValueForm FormOf(int type) {
  switch (type) {
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
      return ValueForm::DayNumber;
    case MYSQL_TYPE_TIME:
      return ValueForm::DayMsecs;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATETIME:
      return ValueForm::StampMsecs;
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_ENUM:
      return ValueForm::Fixed2;
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR:
      return ValueForm::Fixed4Or8;
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_BIT:
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_NEWDECIMAL:
      return ValueForm::Fixed8;
    case MYSQL_TYPE_SET:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_NULL:
      return ValueForm::Text;
    case MYSQL_TYPE_BLOB:
      return ValueForm::Blob;
    default:
      return ValueForm::Other;
  }
}

double ReadDouble(const std::uint8_t* in) {
  double d;
  std::memcpy(&d, in, 8);
  return d;
}

// A zero-terminated text cut to what a text slot of `slot_length` bytes holds.
void CopyText(const char* text, size_t slot_length, void* destination) {
  char* out = static_cast<char*>(destination);
  const size_t count = strnlen(text, slot_length ? slot_length - 1 : 0);
  std::memcpy(out, text, count);
  out[count] = 0;
}

// Engine value at `in` (slot of `len` bytes) to the framework's value; false
// when the form has none.
bool DecodeValue(ValueForm form, const std::uint8_t* in, size_t len, void* value) {
  switch (form) {
    case ValueForm::DayNumber: {
      std::int32_t day = rtl::DateTimeToTimeStamp(ReadDouble(in)).Date;
      std::memcpy(value, &day, 4);
      return true;
    }
    case ValueForm::DayMsecs: {
      const double d = ReadDouble(in);
      double frac = std::fabs(d - std::trunc(d));
      std::int32_t ms = static_cast<std::int32_t>(std::llround(frac * rtl::MSecsPerDay));
      std::memcpy(value, &ms, 4);
      return true;
    }
    case ValueForm::StampMsecs: {
      rtl::TTimeStamp ts = rtl::DateTimeToTimeStamp(ReadDouble(in));
      double ms = static_cast<double>(ts.Date) * rtl::MSecsPerDay + ts.Time;
      std::memcpy(value, &ms, 8);
      return true;
    }
    case ValueForm::Fixed2:
      std::memcpy(value, in, 2);
      return true;
    case ValueForm::Fixed4Or8:
      std::memcpy(value, in, len >= 8 ? 8 : 4);
      return true;
    case ValueForm::Fixed8:
      std::memcpy(value, in, 8);
      return true;
    case ValueForm::Text:
      CopyText(reinterpret_cast<const char*>(in), len, value);
      return true;
    case ValueForm::Blob:
    case ValueForm::Other:
      return false;
  }
  return false;
}

// The framework's value to the engine value of a cleared slot of `len`
// bytes whose presence byte is 1.
void EncodeValue(ValueForm form, const void* value, size_t len, std::uint8_t* slot) {
  std::uint8_t* out = slot + 1;
  switch (form) {
    case ValueForm::DayNumber: {
      std::int32_t day;
      std::memcpy(&day, value, 4);
      double d = static_cast<double>(day) - rtl::DateDelta;
      std::memcpy(out, &d, 8);
      return;
    }
    case ValueForm::DayMsecs: {
      std::int32_t ms;
      std::memcpy(&ms, value, 4);
      double d = static_cast<double>(ms) / rtl::MSecsPerDay;
      std::memcpy(out, &d, 8);
      return;
    }
    case ValueForm::StampMsecs: {
      double ms;
      std::memcpy(&ms, value, 8);
      rtl::TTimeStamp ts;
      ts.Date = static_cast<int>(std::floor(ms / rtl::MSecsPerDay));
      ts.Time = static_cast<int>(ms - static_cast<double>(ts.Date) * rtl::MSecsPerDay);
      double d = rtl::TimeStampToDateTime(ts);
      std::memcpy(out, &d, 8);
      return;
    }
    case ValueForm::Fixed2:
      std::memcpy(out, value, 2);
      return;
    case ValueForm::Fixed4Or8:
      std::memcpy(out, value, len >= 8 ? 8 : 4);
      return;
    case ValueForm::Fixed8:
      std::memcpy(out, value, 8);
      return;
    case ValueForm::Blob:
      slot[0] = 0;
      return;
    case ValueForm::Text:
    case ValueForm::Other:
      CopyText(static_cast<const char*>(value), len, out);
      return;
  }
}

}  // namespace

void TNativeDataSet::ReadRowIntoBuffer(std::uint8_t* buffer) {
  const int n = FieldCount();
  for (int k = 1; k <= n; ++k) {
    const TmySQLField& f = fields_[k - 1];
    const char* value = result_->Value(k - 1);
    std::uint8_t* slot = buffer + f.SlotOffset();
    const size_t len = f.FieldLength();
    WriteIndicator(buffer, f, value ? 0 : -1, 0);
    if (!value) {
      std::memset(slot, 0, len + 1);
      continue;
    }
    slot[0] = 1;
    StoreRowValue(ColumnType(k - 1), f, value, result_->ValueLength(k - 1), slot);
    if (FormOf(ColumnType(k - 1)) == ValueForm::Text &&
        std::memchr(value, 0, result_->ValueLength(k - 1))) {
      const std::int16_t cut = -1;
      std::memcpy(buffer + f.NullOffset() + 2, &cut, 2);
    }
  }
  WriteBookmark(buffer + BookmarkOffset(), position_);
}

bool TNativeDataSet::IsNullInBuffer(const std::uint8_t* buffer, const TmySQLField& f) const {
  Indicator ind = ReadIndicator(buffer, f);
  return ind.null_flag == -1 || buffer[f.SlotOffset()] == 0;
}

void TNativeDataSet::GetField(int field_no, const std::uint8_t* buffer, void* value,
                              bool& is_null) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  const int columns = result_ ? static_cast<int>(result_->ColumnCount()) : FieldCount();
  if (field_no <= 0 || field_no > std::max(columns, FieldCount()))
    throw EmySQLException(DBIERR_INVALIDRECSTRUCT);
  TmySQLField& f = Fields().Field(field_no);
  Indicator ind = ReadIndicator(buffer, f);
  if (!value) {
    is_null = ind.null_flag == -1;
    return;
  }
  const std::uint8_t* slot = buffer + f.SlotOffset();
  if (ind.null_flag == -1 || slot[0] == 0) {
    is_null = true;
    return;
  }
  is_null = false;
  if (ind.cut && FormOf(ColumnType(field_no - 1)) == ValueForm::Text)
    throw EmySQLException(DBIERR_VALUECUT, f.FieldName());
  try {
    if (!DecodeValue(FormOf(ColumnType(field_no - 1)), slot + 1, f.FieldLength(), value))
      is_null = true;
  } catch (const rtl::EConvertError&) {
    is_null = true;
  }
}

void TNativeDataSet::PutField(int field_no, std::uint8_t* buffer, const void* value) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  TmySQLField& f = Fields().Field(field_no);
  if (value) {
    std::uint8_t* slot = buffer + f.SlotOffset();
    const size_t len = f.FieldLength();
    std::uint8_t* out = slot + 1;
    std::memset(slot, 0, len + 1);
    slot[0] = 1;
    try {
      EncodeValue(FormOf(ColumnType(field_no - 1)), value, len, slot);
    } catch (const rtl::EConvertError&) {
      std::memset(out, 0, len);
    }
  }
  WriteIndicator(buffer, f, value ? 0 : -1, -1);
}

void TNativeDataSet::InitRecord(std::uint8_t* buffer) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  std::memset(buffer, 0, RecordSize());
  const int n = FieldCount();
  for (int k = 0; k < n; ++k) WriteIndicator(buffer, fields_[k], -1, 0);
  current_buffer_ = buffer;
}

}  // namespace engine
