// The field classes for each kind of value: strings, integers, booleans,
// floats, dates and times, bytes and blobs.
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "db/Consts.h"
#include "db/DBError.h"
#include "db/DataSet.h"
#include "db/Field.h"
#include "rtl/SysUtils.h"

namespace db {
// --- TStringField -------------------------------------------------------------

TStringField::TStringField(TComponent* owner, TFieldType type) : TField(owner, type) {
  TField::SetSize(20);
}

std::string TStringField::AsString() const {
  // Short values are read into the stack: one allocation per text, the
  // result's own. The value and its zero take DataSize() + 1 bytes; one more
  // zero stays behind them whatever the dataset writes.
  const std::size_t size = static_cast<std::size_t>(DataSize()) + 1;
  char local[256];
  std::unique_ptr<char[]> heap;
  char* buffer = local;
  if (size + 1 > sizeof local) {
    heap = std::make_unique<char[]>(size + 1);
    buffer = heap.get();
  }
  std::memset(buffer, 0, size + 1);
  if (!GetData(buffer)) return {};
  if (Transliterate() && DataSet() != nullptr) DataSet()->Translate(buffer, buffer, false);
  std::string text(buffer, std::strlen(buffer));
  if (DataType() == ftFixedChar) return rtl::TrimRight(text);
  return text;
}

void TStringField::SetAsString(const std::string& value) {
  std::string buffer(static_cast<std::size_t>(DataSize()) + 1, '\0');
  std::size_t n = std::min<std::size_t>(value.size(), static_cast<std::size_t>(Size()));
  std::memcpy(buffer.data(), value.data(), n);
  buffer[n] = '\0';
  if (Transliterate() && DataSet() != nullptr) {
    std::string translated(buffer.size() * 2 + 1, '\0');
    DataSet()->Translate(buffer.c_str(), translated.data(), true);
    translated[static_cast<std::size_t>(Size())] = '\0';
    std::memcpy(buffer.data(), translated.data(), buffer.size() - 1);
    buffer[static_cast<std::size_t>(Size())] = '\0';
  }
  SetData(buffer.data());
}

int32_t TStringField::AsInteger() const {
  return rtl::StrToInt(AsString());
}
void TStringField::SetAsInteger(int32_t value) {
  SetAsString(rtl::IntToStr(value));
}
int64_t TStringField::AsLargeInt() const {
  return rtl::StrToInt64(AsString());
}
void TStringField::SetAsLargeInt(int64_t value) {
  SetAsString(rtl::IntToStr(value));
}
double TStringField::AsFloat() const {
  return rtl::StrToFloat(AsString());
}
void TStringField::SetAsFloat(double value) {
  SetAsString(rtl::FloatToStr(value));
}
rtl::TDateTime TStringField::AsDateTime() const {
  return rtl::StrToDateTime(AsString());
}
void TStringField::SetAsDateTime(rtl::TDateTime value) {
  SetAsString(rtl::DateTimeToStr(value));
}

bool TStringField::AsBoolean() const {
  std::string s = AsString();
  return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}

void TStringField::SetAsBoolean(bool value) {
  SetAsString(value ? "T" : "F");
}

rtl::Variant TStringField::GetAsVariant() const {
  return rtl::Variant(AsString());
}

// --- TIntegerField --------------------------------------------------------------

namespace {

// An integer field's value as the record holds it: two, four or eight bytes
// by the field's type (see DataSize).
union IntegerData {
  int16_t i16;
  uint16_t u16;
  int32_t i32;
  int64_t i64;
};

}  // namespace

TIntegerField::TIntegerField(TComponent* owner, TFieldType type) : TField(owner, type) {}

int TIntegerField::DataSize() const {
  switch (DataType()) {
    case ftSmallint:
    case ftWord:
      return 2;
    case ftLargeint:
      return 8;
    default:
      return 4;
  }
}

void TIntegerField::SetRange(int64_t min_value, int64_t max_value) {
  min_ = min_value;
  max_ = max_value;
}

bool TIntegerField::GetValue(int64_t& value) const {
  IntegerData data{};
  if (!GetData(&data)) return false;
  switch (DataType()) {
    case ftSmallint:
      value = data.i16;
      break;
    case ftWord:
      value = data.u16;
      break;
    case ftLargeint:
      value = data.i64;
      break;
    default:
      value = data.i32;
      break;
  }
  return true;
}

void TIntegerField::StoreValue(int64_t value) {
  int64_t lo = min_, hi = max_;
  if (lo == 0 && hi == 0) {
    switch (DataType()) {
      case ftSmallint:
        lo = std::numeric_limits<int16_t>::min();
        hi = std::numeric_limits<int16_t>::max();
        break;
      case ftWord:
        lo = 0;
        hi = std::numeric_limits<uint16_t>::max();
        break;
      case ftLargeint:
        lo = std::numeric_limits<int64_t>::min();
        hi = std::numeric_limits<int64_t>::max();
        break;
      default:
        lo = std::numeric_limits<int32_t>::min();
        hi = std::numeric_limits<int32_t>::max();
        break;
    }
  }
  if (value < lo || value > hi)
    DatabaseError(rtl::Format(msg::kFieldRangeError, rtl::IntToStr(value).c_str(),
                              DisplayName().c_str(), rtl::IntToStr(lo).c_str(),
                              rtl::IntToStr(hi).c_str()));
  IntegerData data{};
  switch (DataType()) {
    case ftSmallint:
      data.i16 = static_cast<int16_t>(value);
      break;
    case ftWord:
      data.u16 = static_cast<uint16_t>(value);
      break;
    case ftLargeint:
      data.i64 = value;
      break;
    default:
      data.i32 = static_cast<int32_t>(value);
      break;
  }
  SetData(&data);
}

std::string TIntegerField::AsString() const {
  int64_t v;
  return GetValue(v) ? rtl::IntToStr(v) : std::string();
}

namespace {

// The number a numeric field's text gives: an empty text clears the field
// (false: nothing to store), one that `parse` does not read fails with
// `message`.
template <typename T, typename Parse>
bool NumberFromText(TField& field, const std::string& value, Parse parse, const char* message,
                    T& number) {
  if (value.empty()) {
    field.Clear();
    return false;
  }
  if (!parse(value, number))
    DatabaseError(rtl::Format(message, value.c_str(), field.DisplayName().c_str()));
  return true;
}

}  // namespace

void TIntegerField::SetAsString(const std::string& value) {
  int64_t v;
  auto parse = [](const std::string& text, int64_t& n) { return rtl::TryStrToInt64(text, n); };
  if (NumberFromText(*this, value, parse, msg::kInvalidIntegerValue, v)) StoreValue(v);
}

int32_t TIntegerField::AsInteger() const {
  int64_t v;
  return GetValue(v) ? static_cast<int32_t>(v) : 0;
}
void TIntegerField::SetAsInteger(int32_t value) {
  StoreValue(value);
}
int64_t TIntegerField::AsLargeInt() const {
  int64_t v;
  return GetValue(v) ? v : 0;
}
void TIntegerField::SetAsLargeInt(int64_t value) {
  StoreValue(value);
}
double TIntegerField::AsFloat() const {
  return static_cast<double>(AsLargeInt());
}
void TIntegerField::SetAsFloat(double value) {
  StoreValue(static_cast<int64_t>(std::nearbyint(value)));
}
bool TIntegerField::AsBoolean() const {
  return AsLargeInt() != 0;
}
void TIntegerField::SetAsBoolean(bool value) {
  StoreValue(value ? 1 : 0);
}

rtl::Variant TIntegerField::GetAsVariant() const {
  int64_t v = AsLargeInt();
  switch (DataType()) {
    case ftSmallint:
      return rtl::Variant::FromInt(v, rtl::varSmallint);
    case ftWord:
      return rtl::Variant::FromInt(v, rtl::varWord);
    case ftLargeint:
      return rtl::Variant::FromInt(v, rtl::varInt64);
    default:
      return rtl::Variant::FromInt(v, rtl::varInteger);
  }
}

// --- TBooleanField --------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* owner) : TField(owner, ftBoolean) {}

void TBooleanField::SetDisplayValues(const std::string& values) {
  auto semi = values.find(';');
  true_text_ = values.substr(0, semi);
  false_text_ = semi == std::string::npos ? std::string() : values.substr(semi + 1);
}

bool TBooleanField::AsBoolean() const {
  int16_t v = 0;
  return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  int16_t v = value ? 1 : 0;
  SetData(&v);
}

std::string TBooleanField::AsString() const {
  int16_t v = 0;
  if (!GetData(&v)) return {};
  return v != 0 ? true_text_ : false_text_;
}

void TBooleanField::SetAsString(const std::string& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  // A prefix of either text will do, as a user types it.
  auto matches = [&](const std::string& text) {
    return rtl::SameText(value, text.substr(0, value.size()));
  };
  if (matches(false_text_))
    SetAsBoolean(false);
  else if (matches(true_text_))
    SetAsBoolean(true);
  else
    DatabaseError(rtl::Format(msg::kInvalidBoolValue, value.c_str(), DisplayName().c_str()));
}

int32_t TBooleanField::AsInteger() const {
  return AsBoolean() ? 1 : 0;
}
void TBooleanField::SetAsInteger(int32_t value) {
  SetAsBoolean(value != 0);
}

rtl::Variant TBooleanField::GetAsVariant() const {
  return rtl::Variant(AsBoolean());
}

// --- TFloatField ------------------------------------------------------------------

TFloatField::TFloatField(TComponent* owner, TFieldType type) : TField(owner, type) {}

double TFloatField::AsFloat() const {
  double v = 0;
  return GetData(&v) ? v : 0.0;
}

void TFloatField::SetAsFloat(double value) {
  SetData(&value);
}

std::string TFloatField::AsString() const {
  double v = 0;
  if (!GetData(&v)) return {};
  return rtl::FloatToStr(v);
}

void TFloatField::SetAsString(const std::string& value) {
  double v;
  auto parse = [](const std::string& text, double& n) { return rtl::TryStrToFloat(text, n); };
  if (NumberFromText(*this, value, parse, msg::kInvalidFloatValue, v)) SetAsFloat(v);
}

int32_t TFloatField::AsInteger() const {
  return static_cast<int32_t>(std::nearbyint(AsFloat()));
}
int64_t TFloatField::AsLargeInt() const {
  return static_cast<int64_t>(std::nearbyint(AsFloat()));
}

rtl::Variant TFloatField::GetAsVariant() const {
  if (DataType() == ftCurrency) return rtl::Variant::CurrencyFromDouble(AsFloat());
  return rtl::Variant(AsFloat());
}

void TBCDField::SetSize(int size) {
  TField::SetSize(size);
}

// --- TDateTimeField ---------------------------------------------------------------

TDateTimeField::TDateTimeField(TComponent* owner, TFieldType type) : TField(owner, type) {}

int TDateTimeField::DataSize() const {
  return DataType() == ftDate || DataType() == ftTime ? 4 : 8;
}

bool TDateTimeField::ReadDateTime(rtl::TDateTime& value) const {
  value = 0.0;
  switch (DataType()) {
    case ftDate: {
      int32_t day = 0;
      if (!GetData(&day)) return false;
      value = NativeDateToDateTime(day);
      return true;
    }
    case ftTime: {
      int32_t ms = 0;
      if (!GetData(&ms)) return false;
      value = NativeTimeToDateTime(ms);
      return true;
    }
    default: {
      double ms = 0;
      if (!GetData(&ms)) return false;
      value = NativeDateTimeToDateTime(ms);
      return true;
    }
  }
}

rtl::TDateTime TDateTimeField::AsDateTime() const {
  rtl::TDateTime v;
  ReadDateTime(v);
  return v;
}

void TDateTimeField::SetAsDateTime(rtl::TDateTime value) {
  switch (DataType()) {
    case ftDate: {
      int32_t day = DateTimeToNativeDate(value);
      SetData(&day);
      break;
    }
    case ftTime: {
      int32_t ms = DateTimeToNativeTime(value);
      SetData(&ms);
      break;
    }
    default: {
      double ms = DateTimeToNativeDateTime(value);
      SetData(&ms);
      break;
    }
  }
}

std::string TDateTimeField::GetText(bool display_text) const {
  if (IsNull()) return TField::GetText(display_text);
  if (display_text && !DisplayFormat().empty()) {
    std::string text = rtl::FormatDateTime(DisplayFormat(), AsDateTime());
    return text;
  }
  return TField::GetText(display_text);
}

std::string TDateTimeField::AsString() const {
  // One read of the record for the common case of a value; a value that
  // cannot be read but is not null either prints as day 0.
  rtl::TDateTime v;
  if (!ReadDateTime(v) && IsNull()) return {};
  switch (DataType()) {
    case ftDate:
      return rtl::DateToStr(v);
    case ftTime:
      return rtl::TimeToStr(v);
    default:
      return rtl::DateTimeToStr(v);
  }
}

void TDateTimeField::SetAsString(const std::string& text) {
  // Masked edits hand over blanks for positions left empty.
  std::string value = rtl::Trim(text);
  if (value.empty()) {
    Clear();
    return;
  }
  switch (DataType()) {
    case ftDate:
      SetAsDateTime(rtl::StrToDate(value));
      break;
    case ftTime:
      SetAsDateTime(rtl::StrToTime(value));
      break;
    default:
      SetAsDateTime(rtl::StrToDateTime(value));
      break;
  }
}

rtl::Variant TDateTimeField::GetAsVariant() const {
  return rtl::Variant::FromDateTime(AsDateTime());
}

// --- TBytesField ------------------------------------------------------------------

TBytesField::TBytesField(TComponent* owner, TFieldType type) : TField(owner, type) {
  TField::SetSize(16);
}

int TBytesField::DataSize() const {
  return DataType() == ftVarBytes ? Size() + 2 : Size();
}

std::string TBytesField::AsString() const {
  std::string buffer(static_cast<std::size_t>(DataSize()), '\0');
  if (!GetData(buffer.data())) return {};
  if (DataType() == ftVarBytes) {
    uint16_t len = 0;
    std::memcpy(&len, buffer.data(), 2);
    len = std::min<uint16_t>(len, static_cast<uint16_t>(Size()));
    return buffer.substr(2, len);
  }
  return buffer;
}

void TBytesField::SetAsString(const std::string& value) {
  std::string buffer(static_cast<std::size_t>(DataSize()), '\0');
  std::size_t n = std::min<std::size_t>(value.size(), static_cast<std::size_t>(Size()));
  if (DataType() == ftVarBytes) {
    uint16_t len = static_cast<uint16_t>(n);
    std::memcpy(buffer.data(), &len, 2);
    std::memcpy(buffer.data() + 2, value.data(), n);
  } else {
    std::memcpy(buffer.data(), value.data(), n);
  }
  SetData(buffer.data());
}

rtl::Variant TBytesField::GetAsVariant() const {
  return rtl::Variant(AsString());
}

// --- TBlobField -------------------------------------------------------------------

TBlobField::TBlobField(TComponent* owner, TFieldType type) : TField(owner, type) {}

std::string TBlobField::AsString() const {
  if (DataSet() == nullptr) return {};
  auto stream = DataSet()->CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
  if (!stream) return {};
  std::string data;
  char chunk[4096];
  for (;;) {
    int64_t n = stream->Read(chunk, sizeof chunk);
    if (n <= 0) break;
    data.append(chunk, static_cast<std::size_t>(n));
  }
  return data;
}

void TBlobField::SetAsString(const std::string& value) {
  if (DataSet() == nullptr) DatabaseError(rtl::Format(msg::kDataSetMissing, DisplayName().c_str()));
  auto stream = DataSet()->CreateBlobStream(*this, bmWrite);
  if (stream && !value.empty())
    stream->WriteBuffer(value.data(), static_cast<int64_t>(value.size()));
}

bool TBlobField::IsNull() const {
  if (modified_ && DataSet() != nullptr) return BlobSize() == 0;
  return TField::IsNull();
}

void TBlobField::Clear() {
  if (DataSet() == nullptr) DatabaseError(rtl::Format(msg::kDataSetMissing, DisplayName().c_str()));
  DataSet()->CreateBlobStream(*this, bmWrite);
}

int64_t TBlobField::BlobSize() const {
  if (DataSet() == nullptr) return 0;
  auto stream = DataSet()->CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
  return stream ? stream->Size() : 0;
}

void TBlobField::LoadFromStream(rtl::TStream& stream) {
  if (DataSet() == nullptr) DatabaseError(rtl::Format(msg::kDataSetMissing, DisplayName().c_str()));
  auto blob = DataSet()->CreateBlobStream(*this, bmWrite);
  if (blob) blob->CopyFrom(stream, 0);
}

void TBlobField::SaveToStream(rtl::TStream& stream) const {
  std::string data = AsString();
  if (!data.empty()) stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
}

rtl::Variant TBlobField::GetAsVariant() const {
  return rtl::Variant(AsString());
}

}  // namespace db
