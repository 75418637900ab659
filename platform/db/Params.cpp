#include "db/Params.h"

#include "db/Consts.h"
#include "db/DBError.h"
#include "db/Field.h"
#include "rtl/SysUtils.h"

namespace db {

namespace {

// The data type a parameter without one takes from the first value it is
// given; other values leave it unknown.
struct VariantFieldType {
  rtl::TVarType var_type;
  TFieldType field_type;
};
constexpr VariantFieldType kVariantFieldTypes[] = {
    {rtl::varSmallint, ftSmallint}, {rtl::varShortInt, ftSmallint}, {rtl::varByte, ftSmallint},
    {rtl::varWord, ftWord},         {rtl::varInteger, ftInteger},   {rtl::varLongWord, ftInteger},
    {rtl::varInt64, ftLargeint},    {rtl::varSingle, ftFloat},      {rtl::varDouble, ftFloat},
    {rtl::varCurrency, ftCurrency}, {rtl::varDate, ftDateTime},     {rtl::varBoolean, ftBoolean},
    {rtl::varString, ftString},
};

}  // namespace

TParam::TParam(std::string name, TParamType type) : name_(std::move(name)), param_type_(type) {}

void TParam::SetValue(const rtl::Variant& value) {
  value_ = value;
  bound_ = true;
  if (data_type_ == ftUnknown) {
    for (const VariantFieldType& entry : kVariantFieldTypes)
      if (entry.var_type == value.VarType()) data_type_ = entry.field_type;
  }
}

void TParam::Clear() {
  value_ = rtl::Variant::Null();
}

std::string TParam::AsString() const {
  return value_.IsClear() ? std::string() : value_.AsString();
}
int32_t TParam::AsInteger() const {
  return value_.IsClear() ? 0 : value_.AsInteger();
}
int64_t TParam::AsLargeInt() const {
  return value_.IsClear() ? 0 : value_.AsInt64();
}
double TParam::AsFloat() const {
  return value_.IsClear() ? 0.0 : value_.AsDouble();
}
double TParam::AsCurrency() const {
  return AsFloat();
}
rtl::TDateTime TParam::AsDateTime() const {
  return value_.IsClear() ? 0.0 : value_.AsDateTime();
}
bool TParam::AsBoolean() const {
  return value_.IsClear() ? false : value_.AsBoolean();
}

void TParam::SetAsString(const std::string& value) {
  data_type_ = ftString;
  SetValue(rtl::Variant(value));
}
void TParam::SetAsInteger(int32_t value) {
  data_type_ = ftInteger;
  SetValue(rtl::Variant(value));
}
void TParam::SetAsLargeInt(int64_t value) {
  data_type_ = ftLargeint;
  SetValue(rtl::Variant::FromInt(value, rtl::varInt64));
}
void TParam::SetAsFloat(double value) {
  data_type_ = ftFloat;
  SetValue(rtl::Variant(value));
}
void TParam::SetAsCurrency(double value) {
  data_type_ = ftCurrency;
  SetValue(rtl::Variant::CurrencyFromDouble(value));
}
void TParam::SetAsDateTime(rtl::TDateTime value) {
  data_type_ = ftDateTime;
  SetValue(rtl::Variant::FromDateTime(value));
}
void TParam::SetAsDate(rtl::TDateTime value) {
  data_type_ = ftDate;
  SetValue(rtl::Variant::FromDateTime(value));
}
void TParam::SetAsTime(rtl::TDateTime value) {
  data_type_ = ftTime;
  SetValue(rtl::Variant::FromDateTime(value));
}
void TParam::SetAsBoolean(bool value) {
  data_type_ = ftBoolean;
  SetValue(rtl::Variant(value));
}
void TParam::SetAsMemo(const std::string& value) {
  data_type_ = ftMemo;
  SetValue(rtl::Variant(value));
}
void TParam::SetAsBlob(const std::string& value) {
  data_type_ = ftBlob;
  SetValue(rtl::Variant(value));
}

void TParam::AssignField(const TField& field) {
  AssignFieldValue(field, field.AsVariant());
  if (name_.empty()) name_ = field.FieldName();
}

void TParam::AssignFieldValue(const TField& field, const rtl::Variant& value) {
  data_type_ = field.DataType() == ftAutoInc ? ftInteger : field.DataType();
  size_ = field.Size();
  value_ = value.IsEmpty() ? rtl::Variant::Null() : value;
  bound_ = true;
}

void TParam::Assign(const TParam& other) {
  name_ = other.name_;
  data_type_ = other.data_type_;
  param_type_ = other.param_type_;
  size_ = other.size_;
  bound_ = other.bound_;
  value_ = other.value_;
}

TParams::TParams(const TParams& other) : owner_(other.owner_) {
  *this = other;
}

TParams& TParams::operator=(const TParams& other) {
  if (this == &other) return *this;
  items_.clear();
  for (const auto& p : other.items_) {
    auto copy = std::make_unique<TParam>();
    copy->Assign(*p);
    items_.push_back(std::move(copy));
  }
  return *this;
}

TParam& TParams::CreateParam(TFieldType type, const std::string& name, TParamType param_type) {
  auto param = std::make_unique<TParam>(name, param_type);
  param->SetDataType(type);
  items_.push_back(std::move(param));
  return *items_.back();
}

void TParams::Clear() {
  items_.clear();
}

void TParams::Remove(int index) {
  items_.erase(items_.begin() + index);
}

TParam* TParams::FindParam(const std::string& name) const {
  for (const auto& p : items_)
    if (rtl::SameText(p->Name(), name)) return p.get();
  return nullptr;
}

TParam& TParams::ParamByName(const std::string& name) const {
  TParam* p = FindParam(name);
  if (p == nullptr) DatabaseError(rtl::Format(msg::kParameterNotFound, name.c_str()), owner_);
  return *p;
}

void TParams::AssignValues(const TParams& source) {
  for (const auto& s : source.items_) {
    for (const auto& p : items_) {
      if (rtl::SameText(p->Name(), s->Name())) {
        TParamType direction = p->ParamType();
        std::string name = p->Name();
        p->Assign(*s);
        p->SetName(name);
        if (direction != ptUnknown) p->SetParamType(direction);
      }
    }
  }
}

bool TParams::IsEqual(const TParams& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    const TParam& a = Items(i);
    const TParam& b = other.Items(i);
    if (a.Name() != b.Name() || a.DataType() != b.DataType() || a.ParamType() != b.ParamType() ||
        a.Bound() != b.Bound() || !(a.Value() == b.Value()))
      return false;
  }
  return true;
}

std::string TParams::ParamNames() const {
  std::string result;
  for (const auto& p : items_) {
    if (!result.empty()) result += ';';
    result += p->Name();
  }
  return result;
}

namespace {

bool IsLiteral(char c) {
  return c == '\'' || c == '"' || c == '`';
}

bool IsNameDelimiter(char c) {
  return c == ' ' || c == ',' || c == ';' || c == ')' || c == '\r' || c == '\n';
}

}  // namespace

std::string TParams::ParseSQL(const std::string& sql, bool do_create) {
  std::string out;
  out.reserve(sql.size());
  bool literal = false;
  std::size_t i = 0;
  const std::size_t n = sql.size();
  while (i < n) {
    char c = sql[i];
    bool next_is_colon = i + 1 < n && sql[i + 1] == ':';
    if (c == ':' && !literal && !next_is_colon) {
      // A marker: the name runs to a delimiter outside quotes.
      std::size_t start = i + 1;
      std::size_t j = start;
      bool quoted = false;
      bool embedded_literal = false;
      while (j < n && (quoted || !IsNameDelimiter(sql[j]))) {
        if (IsLiteral(sql[j])) {
          quoted = !quoted;
          if (j == start) embedded_literal = true;
        }
        ++j;
      }
      std::string name = sql.substr(start, j - start);
      if (embedded_literal) {
        if (!name.empty() && IsLiteral(name.front())) name.erase(0, 1);
        if (!name.empty() && IsLiteral(name.back())) name.pop_back();
      }
      if (do_create) Add(name);
      out += '?';
      i = j;
      continue;
    }
    if (c == ':' && !literal && next_is_colon) {
      // "::" stands for one colon.
      out += ':';
      i += 2;
      continue;
    }
    if (IsLiteral(c)) literal = !literal;
    out += c;
    ++i;
  }
  return out;
}

}  // namespace db
