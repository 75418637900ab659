#include "db/FieldDefs.h"

#include "db/Consts.h"
#include "db/DBError.h"
#include "db/DataSet.h"
#include "db/Field.h"
#include "rtl/SysUtils.h"

namespace db {

TFieldDef::TFieldDef(std::string name, TFieldType type, int size, bool required, int field_no)
    : name_(std::move(name)), field_no_(field_no), data_type_(type), size_(size) {
  SetRequired(required);
}

void TFieldDef::SetRequired(bool required) {
  if (required)
    attributes_.Include(faRequired);
  else
    attributes_.Exclude(faRequired);
}

TField* TFieldDef::CreateField(TComponent* owner, TDataSet* dataset) const {
  TField* field = CreateFieldOfType(data_type_, owner);
  if (field == nullptr) return nullptr;
  field->SetFieldName(name_);
  if (data_type_ == ftString || data_type_ == ftFixedChar || data_type_ == ftWideString ||
      data_type_ == ftBytes || data_type_ == ftVarBytes || data_type_ == ftBCD || field->IsBlob())
    field->SetSize(size_);
  if (data_type_ == ftBCD) static_cast<TBCDField*>(field)->SetPrecision(precision_);
  field->SetRequired(Required());
  field->SetReadOnly(attributes_.Contains(faReadonly));
  if (internal_calc_) field->SetFieldKind(fkInternalCalc);
  field->SetDataSet(dataset);
  return field;
}

template <typename TDef>
int TDefList<TDef>::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (rtl::SameText(items_[i]->Name(), name)) return i;
  return -1;
}

template <typename TDef>
void TDefList<TDef>::UpdateBy(void (TDataSet::*rebuild)()) {
  if (!updated_ && dataset_ != nullptr) {
    (dataset_->*rebuild)();
    updated_ = true;
  }
}

template class TDefList<TFieldDef>;
template class TDefList<TIndexDef>;

TFieldDef& TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
  items_.push_back(std::make_unique<TFieldDef>(name, type, size, required, Count() + 1));
  updated_ = true;
  return *items_.back();
}

TFieldDef* TFieldDefs::FindDef(const std::string& name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : items_[i].get();
}

TFieldDef& TFieldDefs::Find(const std::string& name) const {
  TFieldDef* def = FindDef(name);
  if (def == nullptr) DatabaseError(rtl::Format(msg::kFieldNotFound, name.c_str()), dataset_);
  return *def;
}

void TFieldDefs::Update() {
  UpdateBy(&TDataSet::InitFieldDefs);
}

TIndexDef& TIndexDefs::Add(const std::string& name, const std::string& fields,
                           TIndexOptions options) {
  items_.push_back(std::make_unique<TIndexDef>(name, fields, options));
  if (options.Contains(ixExpression)) items_.back()->SetExpression(fields);
  updated_ = true;
  return *items_.back();
}

TIndexDef& TIndexDefs::Find(const std::string& name) const {
  int i = IndexOf(name);
  if (i < 0) DatabaseError(rtl::Format(msg::kIndexNotFound, name.c_str()), dataset_);
  return *items_[i];
}

namespace {

bool SameNames(const std::vector<std::string>& a, const std::vector<std::string>& b, bool prefix) {
  if (prefix ? a.size() > b.size() : a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!rtl::SameText(a[i], b[i])) return false;
  return true;
}

}  // namespace

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& fields, bool case_insensitive,
                                         bool partial) const {
  std::vector<std::string> wanted = SplitFieldNames(fields);
  if (wanted.empty()) return nullptr;
  for (const auto& def : items_) {
    if (def->Options().Contains(ixExpression)) continue;
    if (def->Options().Contains(ixCaseInsensitive) != case_insensitive) continue;
    if (SameNames(wanted, SplitFieldNames(def->Fields()), partial)) return def.get();
  }
  return nullptr;
}

TIndexDef& TIndexDefs::FindIndexForFields(const std::string& fields) const {
  TIndexDef* def = GetIndexForFields(fields, false);
  if (def == nullptr) def = GetIndexForFields(fields, true);
  if (def == nullptr) DatabaseError(rtl::Format(msg::kNoIndexForFields, fields.c_str()), dataset_);
  return *def;
}

void TIndexDefs::Update() {
  UpdateBy(&TDataSet::UpdateIndexDefs);
}

std::vector<std::string> SplitFieldNames(const std::string& names) {
  std::vector<std::string> result;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    std::string name = rtl::Trim(std::string_view(names).substr(start, end - start));
    if (!name.empty()) result.push_back(std::move(name));
    start = end + 1;
  }
  return result;
}

}  // namespace db
