// The record codec: row texts into record buffers and the framework's values
// in and out of their slots.
#include "RecordCodec.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "engine/EngineErrors.h"
#include "engine/SqlText.h"
#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"
#include "wire/MysqlResult.h"

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

// A number from a row's text: leading blanks and a plus sign allowed.
// Integers must be whole; floating values read as far as they go (0 when
// they do not start as a number).
template <typename T>
T ParseNumber(const char* text, size_t length) {
  const char* first = text;
  const char* last = text + length;
  while (first < last && *first == ' ') ++first;
  if (first < last && *first == '+') ++first;
  T v = 0;
  auto [p, ec] = std::from_chars(first, last, v);
  if constexpr (std::is_floating_point_v<T>) {
    return ec == std::errc() ? v : 0;
  } else {
    if (ec != std::errc() || p != last || first == last)
      throw rtl::EConvertError(rtl::Format("'%s' is not a valid integer value", text));
    return v;
  }
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

namespace {

template <typename T>
void Store(std::uint8_t* out, T v) {
  std::memcpy(out, &v, sizeof v);
}

// The integer types' row text into the slot value at `out`.
void StoreInteger(int type, const TmySQLField& f, const char* value, size_t vlen,
                  std::uint8_t* out) {
  switch (type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
      Store(out, static_cast<std::int16_t>(ParseNumber<std::int64_t>(value, vlen)));
      return;
    case MYSQL_TYPE_LONGLONG:
      Store(out, f.IsUnsigned() ? static_cast<std::int64_t>(ParseNumber<std::uint64_t>(value, vlen))
                                : ParseNumber<std::int64_t>(value, vlen));
      return;
    default:
      // Unsigned values take 64 bits where the slot has room for them
      // (INT UNSIGNED); the narrower ones fit 32 bits anyway.
      if (f.IsUnsigned() && f.FieldLength() >= 8)
        Store(out, static_cast<std::int64_t>(ParseNumber<std::uint64_t>(value, vlen)));
      else
        Store(out, static_cast<std::int32_t>(ParseNumber<std::int64_t>(value, vlen)));
      return;
  }
}

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
    case MYSQL_TYPE_NEWDECIMAL:
      Store(out, ParseNumber<double>(value, vlen));
      break;
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR:
    case MYSQL_TYPE_LONGLONG:
      StoreInteger(type, f, value, vlen, out);
      break;
    case MYSQL_TYPE_TIMESTAMP:
      Store(out, TimestampTextToValue(std::string_view(value, vlen)));
      break;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
      Store(out, DateTimeTextToValue(std::string_view(value, vlen)));
      break;
    case MYSQL_TYPE_BIT: {
      std::uint64_t v = 0;
      size_t count = std::min<size_t>(std::min<size_t>(f.NativeSize(), vlen), 8);
      for (size_t i = 0; i < count; ++i) v = (v << 8) | static_cast<std::uint8_t>(value[i]);
      Store(out, v);
      break;
    }
    case MYSQL_TYPE_ENUM: {
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(value[0])));
      Store(out, static_cast<std::int16_t>((c == 't' || c == 'y') ? 1 : 0));
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

void TRecordCodec::ReadRow(const wire::TMysqlResult& result, std::int64_t row,
                           std::uint8_t* buffer) const {
  const int n = fields_.Count();
  for (int k = 0; k < n; ++k) {
    const TmySQLField& f = fields_[k];
    const char* value = result.Value(k);
    std::uint8_t* slot = buffer + f.SlotOffset();
    WriteIndicator(buffer, f, value ? 0 : -1, 0);
    if (!value) {
      std::memset(slot, 0, f.FieldLength() + 1u);
      continue;
    }
    slot[0] = 1;
    const int type = TypeOf(f);
    const size_t length = result.ValueLength(k);
    StoreRowValue(type, f, value, length, slot);
    if (FormOf(type) == ValueForm::Text && std::memchr(value, 0, length)) {
      const std::int16_t cut = -1;
      std::memcpy(buffer + f.NullOffset() + 2, &cut, 2);
    }
  }
  WriteBookmark(buffer + data_size_ + 8u * static_cast<std::uint32_t>(n) + 1u, row);
}

void TRecordCodec::Get(const TmySQLField& f, const std::uint8_t* buffer, void* value,
                       bool& is_null) const {
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
  const ValueForm form = FormOf(TypeOf(f));
  if (ind.cut && form == ValueForm::Text) throw EmySQLException(DBIERR_VALUECUT, f.FieldName());
  try {
    if (!DecodeValue(form, slot + 1, f.FieldLength(), value)) is_null = true;
  } catch (const rtl::EConvertError&) {
    is_null = true;
  }
}

void TRecordCodec::Put(const TmySQLField& f, std::uint8_t* buffer, const void* value) const {
  if (value) {
    std::uint8_t* slot = buffer + f.SlotOffset();
    const size_t len = f.FieldLength();
    std::memset(slot, 0, len + 1);
    slot[0] = 1;
    try {
      EncodeValue(FormOf(TypeOf(f)), value, len, slot);
    } catch (const rtl::EConvertError&) {
      std::memset(slot + 1, 0, len);
    }
  }
  WriteIndicator(buffer, f, value ? 0 : -1, -1);
}

void TRecordCodec::Clear(std::uint8_t* buffer, std::uint32_t record_size) const {
  std::memset(buffer, 0, record_size);
  for (int k = 0; k < fields_.Count(); ++k) WriteIndicator(buffer, fields_[k], -1, 0);
}

bool TRecordCodec::NullFlagged(const std::uint8_t* buffer, const TmySQLField& f) {
  return ReadIndicator(buffer, f).null_flag == -1;
}

bool TRecordCodec::IsNull(const std::uint8_t* buffer, const TmySQLField& f) {
  return NullFlagged(buffer, f) || buffer[f.SlotOffset()] == 0;
}

bool TRecordCodec::Changed(const std::uint8_t* buffer, const TmySQLField& f) {
  return ReadIndicator(buffer, f).changed != 0;
}

void TRecordCodec::SetIndicators(std::uint8_t* buffer, const TmySQLField& f, bool is_null,
                                 bool changed) {
  WriteIndicator(buffer, f, is_null ? -1 : 0, changed ? -1 : 0);
}

void TRecordCodec::WriteBookmark(std::uint8_t* bookmark, std::int64_t row) {
  std::int32_t words[2] = {static_cast<std::int32_t>(row), row < 0 ? -1 : 0};
  std::memcpy(bookmark, words, sizeof words);
}

std::int32_t TRecordCodec::BookmarkRow(const std::uint8_t* bookmark) {
  std::int32_t row;
  std::memcpy(&row, bookmark, 4);
  return row;
}

}  // namespace engine
