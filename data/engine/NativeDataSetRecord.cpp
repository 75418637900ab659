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
  std::int16_t unused;
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
    const size_t vlen = result_->ValueLength(k - 1);
    std::uint8_t* out = slot + 1;
    slot[0] = 1;
    switch (ColumnType(k - 1)) {
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
  const std::uint8_t* in = slot + 1;
  try {
    switch (ColumnType(field_no - 1)) {
      case MYSQL_TYPE_DATE:
      case MYSQL_TYPE_NEWDATE: {
        double d;
        std::memcpy(&d, in, 8);
        std::int32_t day = rtl::DateTimeToTimeStamp(d).Date;
        std::memcpy(value, &day, 4);
        break;
      }
      case MYSQL_TYPE_TIME: {
        double d;
        std::memcpy(&d, in, 8);
        double frac = std::fabs(d - std::trunc(d));
        std::int32_t ms = static_cast<std::int32_t>(std::llround(frac * rtl::MSecsPerDay));
        std::memcpy(value, &ms, 4);
        break;
      }
      case MYSQL_TYPE_TIMESTAMP:
      case MYSQL_TYPE_DATETIME: {
        double d;
        std::memcpy(&d, in, 8);
        rtl::TTimeStamp ts = rtl::DateTimeToTimeStamp(d);
        double ms = static_cast<double>(ts.Date) * rtl::MSecsPerDay + ts.Time;
        std::memcpy(value, &ms, 8);
        break;
      }
      case MYSQL_TYPE_TINY:
      case MYSQL_TYPE_SHORT:
      case MYSQL_TYPE_ENUM:
        std::memcpy(value, in, 2);
        break;
      case MYSQL_TYPE_LONG:
      case MYSQL_TYPE_INT24:
      case MYSQL_TYPE_YEAR:
        std::memcpy(value, in, f.FieldLength() >= 8 ? 8 : 4);
        break;
      case MYSQL_TYPE_LONGLONG:
      case MYSQL_TYPE_BIT:
      case MYSQL_TYPE_DECIMAL:
      case MYSQL_TYPE_FLOAT:
      case MYSQL_TYPE_DOUBLE:
      case MYSQL_TYPE_NEWDECIMAL:
        std::memcpy(value, in, 8);
        break;
      case MYSQL_TYPE_SET:
      case MYSQL_TYPE_VAR_STRING:
      case MYSQL_TYPE_STRING:
      case MYSQL_TYPE_NULL: {
        size_t cap = f.FieldLength() ? f.FieldLength() - 1u : 0u;
        size_t count = strnlen(reinterpret_cast<const char*>(in), cap);
        std::memcpy(value, in, count);
        static_cast<char*>(value)[count] = 0;
        break;
      }
      default:
        is_null = true;
        break;
    }
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
      switch (ColumnType(field_no - 1)) {
        case MYSQL_TYPE_DATE:
        case MYSQL_TYPE_NEWDATE: {
          std::int32_t day;
          std::memcpy(&day, value, 4);
          double d = static_cast<double>(day) - rtl::DateDelta;
          std::memcpy(out, &d, 8);
          break;
        }
        case MYSQL_TYPE_TIME: {
          std::int32_t ms;
          std::memcpy(&ms, value, 4);
          double d = static_cast<double>(ms) / rtl::MSecsPerDay;
          std::memcpy(out, &d, 8);
          break;
        }
        case MYSQL_TYPE_TIMESTAMP:
        case MYSQL_TYPE_DATETIME: {
          double ms;
          std::memcpy(&ms, value, 8);
          rtl::TTimeStamp ts;
          ts.Date = static_cast<int>(std::floor(ms / rtl::MSecsPerDay));
          ts.Time = static_cast<int>(ms - static_cast<double>(ts.Date) * rtl::MSecsPerDay);
          double d = rtl::TimeStampToDateTime(ts);
          std::memcpy(out, &d, 8);
          break;
        }
        case MYSQL_TYPE_TINY:
        case MYSQL_TYPE_SHORT:
        case MYSQL_TYPE_ENUM:
          std::memcpy(out, value, 2);
          break;
        case MYSQL_TYPE_LONG:
        case MYSQL_TYPE_INT24:
        case MYSQL_TYPE_YEAR:
          std::memcpy(out, value, len >= 8 ? 8 : 4);
          break;
        case MYSQL_TYPE_LONGLONG:
        case MYSQL_TYPE_BIT:
        case MYSQL_TYPE_DECIMAL:
        case MYSQL_TYPE_FLOAT:
        case MYSQL_TYPE_DOUBLE:
        case MYSQL_TYPE_NEWDECIMAL:
          std::memcpy(out, value, 8);
          break;
        case MYSQL_TYPE_BLOB:
          slot[0] = 0;
          break;
        default: {
          size_t cap = len ? len - 1 : 0;
          size_t count = strnlen(static_cast<const char*>(value), cap);
          std::memcpy(out, value, count);
          out[count] = 0;
          break;
        }
      }
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
