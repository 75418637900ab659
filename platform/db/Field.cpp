// The field base class, field creation by type and the field list.
#include "db/Field.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "db/Consts.h"
#include "db/DBError.h"
#include "db/DataSet.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace db {

namespace {

const char* const kTypeNames[] = {
    "Unknown",     "String",    "SmallInt",  "Integer",    "Word",     "Boolean",    "Float",
    "Currency",    "BCD",       "Date",      "Time",       "DateTime", "Bytes",      "VarBytes",
    "AutoInc",     "Blob",      "Memo",      "Graphic",    "FmtMemo",  "ParadoxOle", "DBaseOle",
    "TypedBinary", "Cursor",    "FixedChar", "WideString", "LargeInt", "ADT",        "Array",
    "Reference",   "DataSet",   "OraBlob",   "OraClob",    "Variant",  "Interface",  "IDispatch",
    "Guid",        "TimeStamp", "FMTBcd"};

enum class Kind { Integer, Float, DateTime, String, Blob, Own };

Kind KindOf(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftWord:
    case ftAutoInc:
    case ftInteger:
      return Kind::Integer;
    case ftCurrency:
    case ftFloat:
      return Kind::Float;
    case ftDate:
    case ftTime:
    case ftDateTime:
      return Kind::DateTime;
    case ftFixedChar:
    case ftGuid:
    case ftString:
      return Kind::String;
    default:
      return IsBlobType(type) ? Kind::Blob : Kind::Own;
  }
}

}  // namespace

const char* FieldTypeName(TFieldType type) {
  auto i = static_cast<std::size_t>(type);
  return i < sizeof(kTypeNames) / sizeof(kTypeNames[0]) ? kTypeNames[i] : "Unknown";
}

bool IsBlobType(TFieldType type) {
  switch (type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
      return true;
    default:
      return false;
  }
}

bool FieldTypesCompatible(TFieldType a, TFieldType b) {
  if (a == b) return true;
  Kind ka = KindOf(a);
  return ka != Kind::Own && ka == KindOf(b);
}

// --- native date and time layouts --------------------------------------------

int32_t DateTimeToNativeDate(rtl::TDateTime value) {
  return rtl::DateTimeToTimeStamp(value).Date;
}

int32_t DateTimeToNativeTime(rtl::TDateTime value) {
  return rtl::DateTimeToTimeStamp(value).Time;
}

double DateTimeToNativeDateTime(rtl::TDateTime value) {
  rtl::TTimeStamp ts = rtl::DateTimeToTimeStamp(value);
  return static_cast<double>(ts.Date) * rtl::MSecsPerDay + ts.Time;
}

rtl::TDateTime NativeDateToDateTime(int32_t day) {
  return rtl::TimeStampToDateTime(rtl::TTimeStamp{0, day});
}

rtl::TDateTime NativeTimeToDateTime(int32_t msecs) {
  return static_cast<double>(msecs) / rtl::MSecsPerDay;
}

rtl::TDateTime NativeDateTimeToDateTime(double msecs) {
  double day = std::floor(msecs / rtl::MSecsPerDay);
  rtl::TTimeStamp ts;
  ts.Date = static_cast<int>(day);
  ts.Time = static_cast<int>(std::llround(msecs - day * rtl::MSecsPerDay));
  if (ts.Time >= rtl::MSecsPerDay) {
    ts.Time -= rtl::MSecsPerDay;
    ++ts.Date;
  }
  return rtl::TimeStampToDateTime(ts);
}

// --- TField ---------------------------------------------------------------------

TField::TField(TComponent* owner, TFieldType type) : TComponent(owner), data_type_(type) {}

TField::~TField() {
  Destroying_();
  if (dataset_ != nullptr) {
    TDataSet* dataset = dataset_;
    dataset_ = nullptr;
    dataset->fields_.Remove(this);
    // Controls showing this field must let go of it now.
    if (dataset->Active() && !dataset->Destroying()) {
      try {
        dataset->DataEvent(deLayoutChange, 0);
      } catch (...) {
        // A destructor must not throw; the controls find out at their next
        // notice.
      }
    }
  }
}

void TField::CheckInactive() const {
  if (dataset_ != nullptr && dataset_->Active()) DatabaseError(msg::kDataSetOpen, dataset_);
}

void TField::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  CheckInactive();
  if (dataset != nullptr) {
    dataset->CheckInactive();
    if (!field_name_.empty() && dataset->FindField(field_name_) != nullptr)
      DatabaseError(rtl::Format(msg::kDuplicateFieldName, field_name_.c_str()), dataset);
  }
  if (dataset_ != nullptr) {
    RemoveFreeNotification(dataset_);
    dataset_->fields_.Remove(this);
  }
  dataset_ = dataset;
  if (dataset_ != nullptr) {
    dataset_->fields_.Add(this);
    FreeNotification(dataset_);
  }
}

void TField::SetFieldName(const std::string& name) {
  if (dataset_ != nullptr && !rtl::SameText(name, field_name_)) {
    TField* other = dataset_->FindField(name);
    if (other != nullptr && other != this)
      DatabaseError(rtl::Format(msg::kDuplicateFieldName, name.c_str()), dataset_);
  }
  field_name_ = name;
}

const std::string& TField::DisplayName() const {
  return display_label_.empty() ? field_name_ : display_label_;
}

void TField::SetSize(int size) {
  CheckInactive();
  size_ = size;
}

int TField::DataSize() const {
  return 0;
}

void TField::SetFieldKind(TFieldKind kind) {
  CheckInactive();
  field_kind_ = kind;
}

bool TField::IsIndexField() const {
  return dataset_ != nullptr && dataset_->GetIsIndexField(*this);
}

bool TField::CanModify() const {
  if (read_only_ || dataset_ == nullptr || !dataset_->Active()) return false;
  if (dataset_->State() == dsSetKey) return IsIndexField();
  return dataset_->CanModify();
}

int TField::Index() const {
  return dataset_ == nullptr ? -1 : dataset_->fields_.IndexOf(this);
}

void TField::SetLookupDataSet(TDataSet* dataset) {
  if (lookup_dataset_ != nullptr) RemoveFreeNotification(lookup_dataset_);
  lookup_dataset_ = dataset;
  if (dataset != nullptr) FreeNotification(dataset);
}

void TField::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == lookup_dataset_) lookup_dataset_ = nullptr;
}

void TField::AccessError(const char* type_name) const {
  DatabaseError(rtl::Format(msg::kFieldAccessError, DisplayName().c_str(), type_name));
}

std::string TField::AsString() const {
  return GetText(false);
}
void TField::SetAsString(const std::string&) {
  AccessError("String");
}
int32_t TField::AsInteger() const {
  AccessError("Integer");
}
void TField::SetAsInteger(int32_t) {
  AccessError("Integer");
}
int64_t TField::AsLargeInt() const {
  AccessError("LargeInt");
}
void TField::SetAsLargeInt(int64_t) {
  AccessError("LargeInt");
}
double TField::AsFloat() const {
  AccessError("Float");
}
void TField::SetAsFloat(double) {
  AccessError("Float");
}
rtl::TDateTime TField::AsDateTime() const {
  AccessError("DateTime");
}
void TField::SetAsDateTime(rtl::TDateTime) {
  AccessError("DateTime");
}
bool TField::AsBoolean() const {
  AccessError("Boolean");
}
void TField::SetAsBoolean(bool) {
  AccessError("Boolean");
}

std::string TField::GetText(bool display_text) const {
  if (on_get_text_) {
    std::string text;
    on_get_text_(const_cast<TField&>(*this), text, display_text);
    return text;
  }
  return IsNull() ? std::string() : AsString();
}

void TField::SetText(const std::string& text) {
  if (on_set_text_)
    on_set_text_(*this, text);
  else
    SetAsString(text);
}

rtl::Variant TField::AsVariant() const {
  if (IsNull()) return rtl::Variant::Null();
  return GetAsVariant();
}

rtl::Variant TField::GetAsVariant() const {
  return rtl::Variant(AsString());
}

void TField::SetAsVariant(const rtl::Variant& value) {
  if (value.IsClear())
    Clear();
  else
    SetVarValue(value);
}

void TField::SetVarValue(const rtl::Variant& value) {
  switch (KindOf(data_type_)) {
    case Kind::Integer:
      SetAsLargeInt(value.AsInt64());
      return;
    case Kind::Float:
      SetAsFloat(value.AsDouble());
      return;
    case Kind::DateTime:
      SetAsDateTime(value.AsDateTime());
      return;
    default:
      break;
  }
  if (data_type_ == ftLargeint)
    SetAsLargeInt(value.AsInt64());
  else if (data_type_ == ftBCD)
    SetAsFloat(value.AsDouble());
  else if (data_type_ == ftBoolean)
    SetAsBoolean(value.AsBoolean());
  else
    SetAsString(value.AsString());
}

bool TField::IsNull() const {
  return !GetData(nullptr);
}

void TField::Clear() {
  SetData(nullptr);
}

rtl::Variant TField::OldValue() const {
  if (dataset_ == nullptr) DatabaseError(rtl::Format(msg::kDataSetMissing, DisplayName().c_str()));
  return dataset_->GetStateFieldValue(dsOldValue, const_cast<TField&>(*this));
}

rtl::Variant TField::NewValue() const {
  if (dataset_ == nullptr) DatabaseError(rtl::Format(msg::kDataSetMissing, DisplayName().c_str()));
  return dataset_->GetStateFieldValue(dsNewValue, const_cast<TField&>(*this));
}

void TField::SetNewValue(const rtl::Variant& value) {
  if (dataset_ == nullptr) DatabaseError(rtl::Format(msg::kDataSetMissing, DisplayName().c_str()));
  dataset_->SetStateFieldValue(dsNewValue, *this, value);
}

rtl::Variant TField::CurValue() const {
  if (dataset_ == nullptr) DatabaseError(rtl::Format(msg::kDataSetMissing, DisplayName().c_str()));
  return dataset_->GetStateFieldValue(dsCurValue, const_cast<TField&>(*this));
}

bool TField::GetData(void* buffer) const {
  if (dataset_ == nullptr) DatabaseError(rtl::Format(msg::kDataSetMissing, DisplayName().c_str()));
  if (is_validating_) {
    // While OnValidate runs the field shows the value about to be stored.
    if (validating_ == nullptr) return false;
    if (buffer != nullptr) std::memcpy(buffer, validating_, DataSize());
    return true;
  }
  return dataset_->GetFieldData(const_cast<TField&>(*this), buffer);
}

void TField::SetData(const void* buffer) {
  if (dataset_ == nullptr) DatabaseError(rtl::Format(msg::kDataSetMissing, DisplayName().c_str()));
  dataset_->SetFieldData(*this, buffer);
}

void TField::Validate(const void* buffer) {
  if (!on_validate_) return;
  is_validating_ = true;
  validating_ = buffer;
  rtl::ScopeExit restore([&] {
    is_validating_ = false;
    validating_ = nullptr;
  });
  on_validate_(*this);
}

void TField::Change() {
  if (on_change_) on_change_(*this);
}

void TField::FocusControl() {
  if (dataset_ != nullptr)
    dataset_->DataEvent(deFocusControl, reinterpret_cast<std::intptr_t>(this));
}

// --- creation by type ---------------------------------------------------------------

bool HasFieldClass(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
    case ftLargeint:
    case ftBoolean:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp:
    case ftBytes:
    case ftVarBytes:
      return true;
    default:
      return IsBlobType(type);
  }
}

TField* CreateFieldOfType(TFieldType type, TComponent* owner) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
      return new TStringField(owner, type);
    case ftSmallint:
      return new TSmallintField(owner);
    case ftWord:
      return new TWordField(owner);
    case ftInteger:
      return new TIntegerField(owner);
    case ftAutoInc:
      return new TAutoIncField(owner);
    case ftLargeint:
      return new TLargeintField(owner);
    case ftBoolean:
      return new TBooleanField(owner);
    case ftFloat:
      return new TFloatField(owner);
    case ftCurrency:
      return new TCurrencyField(owner);
    case ftBCD:
      return new TBCDField(owner);
    case ftDate:
      return new TDateField(owner);
    case ftTime:
      return new TTimeField(owner);
    case ftDateTime:
    case ftTimeStamp:
      return new TDateTimeField(owner, type);
    case ftBytes:
      return new TBytesField(owner);
    case ftVarBytes:
      return new TVarBytesField(owner);
    case ftMemo:
      return new TMemoField(owner);
    case ftGraphic:
      return new TGraphicField(owner);
    default:
      if (IsBlobType(type)) return new TBlobField(owner, type);
      return nullptr;
  }
}

// --- TFields ------------------------------------------------------------------------

int TFields::IndexOf(const TField* field) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[i] == field) return i;
  return -1;
}

TField* TFields::FindField(const std::string& name) const {
  for (TField* f : items_)
    if (rtl::SameText(f->FieldName(), name)) return f;
  return nullptr;
}

TField& TFields::FieldByName(const std::string& name) const {
  TField* f = FindField(name);
  if (f == nullptr) DatabaseError(rtl::Format(msg::kFieldNotFound, name.c_str()), dataset_);
  return *f;
}

TField* TFields::FieldByNumber(int field_no) const {
  for (TField* f : items_)
    if (f->FieldNo() == field_no) return f;
  return nullptr;
}

void TFields::Add(TField* field) {
  items_.push_back(field);
}

void TFields::Remove(TField* field) {
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (*it == field) {
      items_.erase(it);
      return;
    }
  }
}

}  // namespace db
