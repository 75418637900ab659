// Field and index definitions: what a dataset's cursor offers (column name,
// number, type, size, attributes) and which indexes order it.
//
// A TFieldDefs list belongs to one dataset and owns its TFieldDef items; a
// TIndexDefs list likewise owns its TIndexDef items. `Updated` tells whether
// the list is known to be current; `Update` asks the dataset to rebuild it.
// Not thread-safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/FieldTypes.h"

namespace db {

class TDataSet;
class TField;
class TComponent;

class TFieldDef {
 public:
  TFieldDef(std::string name, TFieldType type, int size, bool required, int field_no);

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  int FieldNo() const { return field_no_; }
  void SetFieldNo(int no) { field_no_ = no; }
  TFieldType DataType() const { return data_type_; }
  void SetDataType(TFieldType type) { data_type_ = type; }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }
  int Precision() const { return precision_; }
  void SetPrecision(int precision) { precision_ = precision; }
  bool Required() const { return attributes_.Contains(faRequired); }
  void SetRequired(bool required);
  TFieldAttributes Attributes() const { return attributes_; }
  void SetAttributes(TFieldAttributes attributes) { attributes_ = attributes; }
  bool InternalCalcField() const { return internal_calc_; }
  void SetInternalCalcField(bool value) { internal_calc_ = value; }

  // Creates the default field object for this definition, owned by `owner`
  // and attached to `dataset`.
  TField* CreateField(TComponent* owner, TDataSet* dataset) const;

 private:
  std::string name_;
  int field_no_ = 0;
  TFieldType data_type_ = ftUnknown;
  int size_ = 0;
  int precision_ = 0;
  TFieldAttributes attributes_;
  bool internal_calc_ = false;
};

// What the two lists share: the items in order, the dataset they describe,
// the lookup by name and whether they are up to date.
template <typename TDef>
class TDefList {
 public:
  explicit TDefList(TDataSet* dataset) : dataset_(dataset) {}

  int Count() const { return static_cast<int>(items_.size()); }
  TDef& Items(int index) const { return *items_.at(index); }
  TDef& operator[](int index) const { return Items(index); }

  void Clear() { items_.clear(); }
  // Index of the definition named `name` (case-insensitive), or -1.
  int IndexOf(const std::string& name) const;

  bool Updated() const { return updated_; }
  void SetUpdated(bool updated) { updated_ = updated; }

 protected:
  // Has the dataset rebuild the list by `rebuild` unless it is up to date.
  void UpdateBy(void (TDataSet::*rebuild)());

  TDataSet* dataset_;
  std::vector<std::unique_ptr<TDef>> items_;
  bool updated_ = false;
};

extern template class TDefList<TFieldDef>;

class TFieldDefs : public TDefList<TFieldDef> {
 public:
  using TDefList::TDefList;

  // Adds a definition numbered after the last one.
  TFieldDef& Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
  TFieldDef* FindDef(const std::string& name) const;
  // Like FindDef, but raises "Field '<name>' not found" (dataset name prefix).
  TFieldDef& Find(const std::string& name) const;

  // Has the dataset rebuild the definitions unless they are up to date.
  void Update();
};

class TIndexDef {
 public:
  TIndexDef(std::string name, std::string fields, TIndexOptions options)
      : name_(std::move(name)), fields_(std::move(fields)), options_(options) {}

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  // Key field names joined by ";" (for an expression index: the expression).
  const std::string& Fields() const { return fields_; }
  void SetFields(std::string fields) { fields_ = std::move(fields); }
  const std::string& Expression() const { return expression_; }
  void SetExpression(std::string expression) { expression_ = std::move(expression); }
  TIndexOptions Options() const { return options_; }
  void SetOptions(TIndexOptions options) { options_ = options; }
  const std::string& DescFields() const { return desc_fields_; }
  void SetDescFields(std::string fields) { desc_fields_ = std::move(fields); }
  const std::string& CaseInsFields() const { return case_ins_fields_; }
  void SetCaseInsFields(std::string fields) { case_ins_fields_ = std::move(fields); }
  const std::string& Source() const { return source_; }
  void SetSource(std::string source) { source_ = std::move(source); }

 private:
  std::string name_;
  std::string fields_;
  TIndexOptions options_;
  std::string expression_;
  std::string desc_fields_;
  std::string case_ins_fields_;
  std::string source_;
};

extern template class TDefList<TIndexDef>;

class TIndexDefs : public TDefList<TIndexDef> {
 public:
  using TDefList::TDefList;

  TIndexDef& Add(const std::string& name, const std::string& fields, TIndexOptions options);
  // The definition named `name` (case-insensitive); raises
  // "Index '<name>' not found" (dataset name prefix) when there is none.
  TIndexDef& Find(const std::string& name) const;
  // The first index whose fields are exactly `fields` (";"-separated,
  // case-insensitive names) and whose case-insensitivity is as asked, or
  // null; with `partial`, an index whose fields begin with them also fits.
  TIndexDef* GetIndexForFields(const std::string& fields, bool case_insensitive,
                               bool partial = false) const;
  // Like GetIndexForFields with case-sensitive indexes first, then
  // case-insensitive ones; raises "No index for fields '<fields>'" (dataset
  // name prefix) when none fits.
  TIndexDef& FindIndexForFields(const std::string& fields) const;

  // Has the dataset rebuild the definitions unless they are up to date.
  void Update();
};

// Splits a field-name list at ";" (blanks around names dropped, empty names
// skipped).
std::vector<std::string> SplitFieldNames(const std::string& names);

}  // namespace db
