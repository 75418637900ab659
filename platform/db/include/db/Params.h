// Parameter lists: named values handed to a statement, and the rule that
// finds parameter markers (":name") in a statement text.
//
// A TParams list owns its TParam items. A parameter holds a variant value,
// a field type, a direction and a bound flag (set when the value was given
// explicitly rather than taken from a master dataset). Not thread-safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/FieldTypes.h"
#include "rtl/DateTime.h"
#include "rtl/Variant.h"

namespace db {

class TField;
class TComponent;

class TParam {
 public:
  explicit TParam(std::string name = {}, TParamType type = ptUnknown);

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TFieldType DataType() const { return data_type_; }
  void SetDataType(TFieldType type) { data_type_ = type; }
  TParamType ParamType() const { return param_type_; }
  void SetParamType(TParamType type) { param_type_ = type; }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }
  bool Bound() const { return bound_; }
  void SetBound(bool bound) { bound_ = bound; }

  // Setting a value marks the parameter bound; the typed setters also set
  // the data type.
  const rtl::Variant& Value() const { return value_; }
  void SetValue(const rtl::Variant& value);
  bool IsNull() const { return value_.IsClear(); }
  void Clear();

  std::string AsString() const;
  void SetAsString(const std::string& value);
  int32_t AsInteger() const;
  void SetAsInteger(int32_t value);
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t value);
  double AsFloat() const;
  void SetAsFloat(double value);
  double AsCurrency() const;
  void SetAsCurrency(double value);
  rtl::TDateTime AsDateTime() const;
  void SetAsDateTime(rtl::TDateTime value);
  void SetAsDate(rtl::TDateTime value);
  void SetAsTime(rtl::TDateTime value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  void SetAsMemo(const std::string& value);
  void SetAsBlob(const std::string& value);

  // Takes the field's type and current value (null when the field is null);
  // AssignFieldValue takes the field's type and the given value.
  void AssignField(const TField& field);
  void AssignFieldValue(const TField& field, const rtl::Variant& value);
  // Copies name, type, direction, size, value and bound flag.
  void Assign(const TParam& other);

 private:
  std::string name_;
  TFieldType data_type_ = ftUnknown;
  TParamType param_type_ = ptUnknown;
  int size_ = 0;
  bool bound_ = false;
  rtl::Variant value_;
};

class TParams {
 public:
  // `owner` only names the list's messages (its name prefixes them).
  explicit TParams(const TComponent* owner = nullptr) : owner_(owner) {}
  TParams(const TParams& other);
  TParams& operator=(const TParams& other);

  int Count() const { return static_cast<int>(items_.size()); }
  TParam& Items(int index) const { return *items_.at(index); }
  TParam& operator[](int index) const { return Items(index); }

  TParam& CreateParam(TFieldType type, const std::string& name, TParamType param_type);
  TParam& Add(const std::string& name) { return CreateParam(ftUnknown, name, ptUnknown); }
  void Clear();
  void Remove(int index);
  // The first parameter named `name` (case-insensitive), or null.
  TParam* FindParam(const std::string& name) const;
  // Raises "Parameter '<name>' not found" (owner name prefix) when absent.
  TParam& ParamByName(const std::string& name) const;
  // Copies the values (and types) of same-named parameters of `source`.
  void AssignValues(const TParams& source);
  bool IsEqual(const TParams& other) const;
  // The names joined by ";".
  std::string ParamNames() const;

  // Replaces every ":name" marker of `sql` outside quotes by "?" and returns
  // the result; with `do_create`, each marker adds one parameter named after
  // it. Apostrophes, double quotes and backquotes open and close literals;
  // "::" outside a literal becomes ":". A name runs to the next blank,
  // comma, semicolon, ")", CR or LF outside quotes; a quoted name loses its
  // quotes.
  std::string ParseSQL(const std::string& sql, bool do_create);

 private:
  const TComponent* owner_;
  std::vector<std::unique_ptr<TParam>> items_;
};

}  // namespace db
