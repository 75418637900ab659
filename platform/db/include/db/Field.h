// Field objects: one per column (or calculated value) of a dataset, giving
// typed access to the value in the current record.
//
// A field reads and writes its value through its dataset (GetData/SetData ->
// the dataset's get/set field data) in the type's native layout:
//   ftString, ftFixedChar   Size characters + terminating zero
//   ftSmallint / ftWord     16-bit signed / unsigned
//   ftInteger, ftAutoInc    32-bit signed
//   ftLargeint              64-bit signed
//   ftBoolean               16-bit, 0 or 1
//   ftFloat, ftCurrency,
//   ftBCD                   64-bit floating
//   ftDate                  32-bit day number (1 January 0001 = 1)
//   ftTime                  32-bit milliseconds since midnight
//   ftDateTime, ftTimeStamp 64-bit floating milliseconds (day number * 86400000
//                           + milliseconds of the day)
//   ftBytes                 Size bytes
//   ftVarBytes              16-bit length + Size bytes
//   blobs and memos         no data in the record; read through blob streams
//
// Fields are components. Persistent fields are created in code with an owner
// (normally the window) and attached to a dataset with SetDataSet; they are
// bound to the field definitions by name at every open. Default fields are
// created and owned by the dataset when it has no persistent ones and are
// destroyed when it closes. A field detaches from its dataset when either
// goes away. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/Component.h"
#include "db/FieldTypes.h"
#include "rtl/DateTime.h"
#include "rtl/Variant.h"

namespace db {

class TDataSet;
class TField;

using TFieldNotifyEvent = std::function<void(TField& sender)>;
using TFieldGetTextEvent =
    std::function<void(TField& sender, std::string& text, bool display_text)>;
using TFieldSetTextEvent = std::function<void(TField& sender, const std::string& text)>;

class TField : public TComponent {
 public:
  TField(TComponent* owner, TFieldType type);
  ~TField() override;

  TDataSet* DataSet() const { return dataset_; }
  // Attaches the field to `dataset` (null detaches); the dataset must be
  // closed.
  void SetDataSet(TDataSet* dataset);

  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& name);
  const std::string& DisplayLabel() const { return display_label_; }
  void SetDisplayLabel(const std::string& label) { display_label_ = label; }
  // The label when set, else the field name.
  const std::string& DisplayName() const;
  int FieldNo() const { return field_no_; }
  TFieldType DataType() const { return data_type_; }
  int Size() const { return size_; }
  virtual void SetSize(int size);
  // Bytes the value takes in the native layout.
  virtual int DataSize() const;
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only) { read_only_ = read_only; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  TFieldKind FieldKind() const { return field_kind_; }
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const { return field_kind_ == fkCalculated; }
  bool Lookup() const { return field_kind_ == fkLookup; }
  const std::string& Origin() const { return origin_; }
  void SetOrigin(const std::string& origin) { origin_ = origin; }
  const std::string& EditMask() const { return edit_mask_; }
  void SetEditMask(const std::string& mask) { edit_mask_ = mask; }
  const std::string& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const std::string& format) { display_format_ = format; }
  bool Transliterate() const { return transliterate_; }
  void SetTransliterate(bool value) { transliterate_ = value; }
  // Offset of the value in the dataset's calculated-field area (calculated
  // and lookup fields), set when the fields are bound.
  int Offset() const { return offset_; }
  virtual bool IsBlob() const { return false; }
  bool IsIndexField() const;
  // The dataset can modify and the field is not read-only.
  bool CanModify() const;
  // Position in the dataset's field list.
  int Index() const;

  // Lookup fields: the value of LookupResultField of the LookupDataSet record
  // whose LookupKeyFields equal this dataset's KeyFields.
  TDataSet* LookupDataSet() const { return lookup_dataset_; }
  void SetLookupDataSet(TDataSet* dataset);
  const std::string& KeyFields() const { return key_fields_; }
  void SetKeyFields(const std::string& names) { key_fields_ = names; }
  const std::string& LookupKeyFields() const { return lookup_key_fields_; }
  void SetLookupKeyFields(const std::string& names) { lookup_key_fields_ = names; }
  const std::string& LookupResultField() const { return lookup_result_field_; }
  void SetLookupResultField(const std::string& name) { lookup_result_field_ = name; }

  // Typed access. A null value reads as "", 0, false; conversions a type
  // does not support raise "Cannot access field '<name>' as type <type>".
  virtual std::string AsString() const;
  virtual void SetAsString(const std::string& value);
  virtual int32_t AsInteger() const;
  virtual void SetAsInteger(int32_t value);
  virtual int64_t AsLargeInt() const;
  virtual void SetAsLargeInt(int64_t value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double value);
  virtual double AsCurrency() const { return AsFloat(); }
  virtual void SetAsCurrency(double value) { SetAsFloat(value); }
  virtual rtl::TDateTime AsDateTime() const;
  virtual void SetAsDateTime(rtl::TDateTime value);
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);
  // Null for a null value; otherwise the type's natural variant.
  rtl::Variant AsVariant() const;
  // A null or unassigned variant clears the field.
  void SetAsVariant(const rtl::Variant& value);
  rtl::Variant Value() const { return AsVariant(); }
  void SetValue(const rtl::Variant& value) { SetAsVariant(value); }

  // Text for display or editing (OnGetText may replace it); SetText runs
  // OnSetText or SetAsString.
  std::string DisplayText() const { return GetText(true); }
  std::string Text() const { return GetText(false); }
  void SetText(const std::string& text);

  virtual bool IsNull() const;
  virtual void Clear();

  // The value before the current edit, after it, and as the cursor holds it
  // now (datasets in cached-update mode).
  rtl::Variant OldValue() const;
  rtl::Variant NewValue() const;
  void SetNewValue(const rtl::Variant& value);
  rtl::Variant CurValue() const;

  // Raw access in the native layout; GetData returns false for no value.
  // A null `buffer` only asks whether there is a value.
  bool GetData(void* buffer) const;
  void SetData(const void* buffer);
  // Runs OnValidate for a value about to be stored; during it the field
  // reads the new value.
  void Validate(const void* buffer);

  // Asks the data-aware control showing this field to take the focus.
  void FocusControl();

  const TFieldNotifyEvent& OnChange() const { return on_change_; }
  void SetOnChange(TFieldNotifyEvent handler) { on_change_ = std::move(handler); }
  const TFieldNotifyEvent& OnValidate() const { return on_validate_; }
  void SetOnValidate(TFieldNotifyEvent handler) { on_validate_ = std::move(handler); }
  void SetOnGetText(TFieldGetTextEvent handler) { on_get_text_ = std::move(handler); }
  void SetOnSetText(TFieldSetTextEvent handler) { on_set_text_ = std::move(handler); }

 protected:
  [[noreturn]] void AccessError(const char* type_name) const;
  void CheckInactive() const;
  virtual std::string GetText(bool display_text) const;
  // The natural variant of a non-null value; the default is the text.
  virtual rtl::Variant GetAsVariant() const;
  virtual void SetVarValue(const rtl::Variant& value);
  // Called by the dataset's DataEvent(deFieldChange) path.
  void Change();
  // Read and write through a temporary of the native layout.
  bool ReadValue(void* buffer) const { return GetData(buffer); }
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TDataSet;
  friend class TFieldDefs;

  TDataSet* dataset_ = nullptr;
  std::string field_name_;
  std::string display_label_;
  TFieldType data_type_;
  TFieldKind field_kind_ = fkData;
  int field_no_ = 0;
  int size_ = 0;
  int offset_ = 0;
  bool required_ = false;
  bool read_only_ = false;
  bool visible_ = true;
  bool transliterate_ = true;
  std::string origin_;
  std::string edit_mask_;
  std::string display_format_;
  TDataSet* lookup_dataset_ = nullptr;
  std::string key_fields_;
  std::string lookup_key_fields_;
  std::string lookup_result_field_;
  const void* validating_ = nullptr;
  bool is_validating_ = false;
  TFieldNotifyEvent on_change_;
  TFieldNotifyEvent on_validate_;
  TFieldGetTextEvent on_get_text_;
  TFieldSetTextEvent on_set_text_;
};

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* owner = nullptr, TFieldType type = ftString);
  int DataSize() const override { return Size() + 1; }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  rtl::TDateTime AsDateTime() const override;
  void SetAsDateTime(rtl::TDateTime value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;

 protected:
  rtl::Variant GetAsVariant() const override;
};

// Integers of every width share this base: they range-check on writing.
class TIntegerField : public TField {
 public:
  explicit TIntegerField(TComponent* owner = nullptr, TFieldType type = ftInteger);
  int DataSize() const override;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  int64_t MinValue() const { return min_; }
  int64_t MaxValue() const { return max_; }
  void SetRange(int64_t min_value, int64_t max_value);

 protected:
  rtl::Variant GetAsVariant() const override;
  bool GetValue(int64_t& value) const;
  void StoreValue(int64_t value);

 private:
  int64_t min_ = 0;  // min_ == max_ == 0: the type's own range
  int64_t max_ = 0;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* owner = nullptr) : TIntegerField(owner, ftSmallint) {}
};
class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* owner = nullptr) : TIntegerField(owner, ftWord) {}
};
class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* owner = nullptr) : TIntegerField(owner, ftAutoInc) {}
};
class TLargeintField : public TIntegerField {
 public:
  explicit TLargeintField(TComponent* owner = nullptr) : TIntegerField(owner, ftLargeint) {}
};

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* owner = nullptr);
  int DataSize() const override { return 2; }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  // The texts for true and false, "True;False" by default.
  void SetDisplayValues(const std::string& values);

 protected:
  rtl::Variant GetAsVariant() const override;

 private:
  std::string true_text_ = "True";
  std::string false_text_ = "False";
};

// Floats, currency and packed decimals (held as 64-bit floating values).
class TFloatField : public TField {
 public:
  explicit TFloatField(TComponent* owner = nullptr, TFieldType type = ftFloat);
  int DataSize() const override { return 8; }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override { SetAsFloat(value); }
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override { SetAsFloat(static_cast<double>(value)); }
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  int Precision() const { return precision_; }
  void SetPrecision(int precision) { precision_ = precision; }

 protected:
  rtl::Variant GetAsVariant() const override;

 private:
  int precision_ = 15;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* owner = nullptr) : TFloatField(owner, ftCurrency) {}
};
class TBCDField : public TFloatField {
 public:
  explicit TBCDField(TComponent* owner = nullptr) : TFloatField(owner, ftBCD) {}
  void SetSize(int size) override;  // decimals
};

// Dates, times and date-times; the value is a day count.
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* owner = nullptr, TFieldType type = ftDateTime);
  int DataSize() const override;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  rtl::TDateTime AsDateTime() const override;
  void SetAsDateTime(rtl::TDateTime value) override;
  double AsFloat() const override { return AsDateTime(); }
  void SetAsFloat(double value) override { SetAsDateTime(value); }

 protected:
  rtl::Variant GetAsVariant() const override;
  std::string GetText(bool display_text) const override;

 private:
  // The value in one read of the record; false (and 0) when there is none.
  bool ReadDateTime(rtl::TDateTime& value) const;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* owner = nullptr) : TDateTimeField(owner, ftDate) {}
};
class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* owner = nullptr) : TDateTimeField(owner, ftTime) {}
};

// Fixed (ftBytes) and variable (ftVarBytes) byte values; text is the bytes.
class TBytesField : public TField {
 public:
  explicit TBytesField(TComponent* owner = nullptr, TFieldType type = ftBytes);
  int DataSize() const override;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;

 protected:
  rtl::Variant GetAsVariant() const override;
};
class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(TComponent* owner = nullptr) : TBytesField(owner, ftVarBytes) {}
};

// Blobs and memos: the value lives outside the record buffer and is read and
// written through the dataset's blob streams.
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner = nullptr, TFieldType type = ftBlob);
  int DataSize() const override { return 0; }
  bool IsBlob() const override { return true; }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  bool IsNull() const override;
  void Clear() override;
  // Size of the value in bytes.
  int64_t BlobSize() const;
  void LoadFromStream(rtl::TStream& stream);
  void SaveToStream(rtl::TStream& stream) const;
  // Set while a blob stream wrote to the field in the current edit.
  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

 protected:
  rtl::Variant GetAsVariant() const override;

 private:
  bool modified_ = false;
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner = nullptr) : TBlobField(owner, ftMemo) {}
};
class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(TComponent* owner = nullptr) : TBlobField(owner, ftGraphic) {}
};

// The field class the framework creates for a field type (null for types it
// has no field class for).
TField* CreateFieldOfType(TFieldType type, TComponent* owner);
bool HasFieldClass(TFieldType type);

// Field kinds for persistent-field binding: types of one kind are
// interchangeable (integers; floats and currency; dates and times; strings;
// blobs and memos); every other type is a kind of its own.
bool FieldTypesCompatible(TFieldType a, TFieldType b);

// Conversions between day-count date-times and the native layouts.
int32_t DateTimeToNativeDate(rtl::TDateTime value);
int32_t DateTimeToNativeTime(rtl::TDateTime value);
double DateTimeToNativeDateTime(rtl::TDateTime value);
rtl::TDateTime NativeDateToDateTime(int32_t day);
rtl::TDateTime NativeTimeToDateTime(int32_t msecs);
rtl::TDateTime NativeDateTimeToDateTime(double msecs);

// The dataset's field list (not owning).
class TFields {
 public:
  explicit TFields(TDataSet* dataset) : dataset_(dataset) {}
  int Count() const { return static_cast<int>(items_.size()); }
  TField& operator[](int index) const { return *items_.at(index); }
  TField* Items(int index) const { return items_.at(index); }
  int IndexOf(const TField* field) const;
  // Case-insensitive name search; null when absent.
  TField* FindField(const std::string& name) const;
  // Raises "Field '<name>' not found" (dataset name prefix).
  TField& FieldByName(const std::string& name) const;
  // The field with that field number, or null.
  TField* FieldByNumber(int field_no) const;
  void Add(TField* field);
  void Remove(TField* field);
  const std::vector<TField*>& List() const { return items_; }

 private:
  TDataSet* dataset_;
  std::vector<TField*> items_;
};

}  // namespace db
