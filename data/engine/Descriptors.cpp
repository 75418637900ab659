// The descriptor items and their collections.
#include "engine/Descriptors.h"

#include <cstring>

#include "engine/CursorDescriptors.h"
#include "engine/EngineErrors.h"
#include "rtl/SysUtils.h"

namespace engine {

// --- collection items -------------------------------------------------------------

TmySQLField::TmySQLField(const FieldDescriptor& descriptor, const ValidityDescriptor& validity,
                         int native_type, std::uint32_t native_size, std::string enum_value)
    : desc_(descriptor),
      validity_(validity),
      native_type_(native_type),
      native_size_(native_size),
      enum_value_(std::move(enum_value)) {}

void TmySQLField::SetFieldName(const std::string& name) {
  std::memset(desc_.szName, 0, sizeof desc_.szName);
  std::strncpy(desc_.szName, name.c_str(), sizeof desc_.szName - 1);
}

TmySQLField& TmySQLFields::Field(int n) {
  if (n <= 0 || !owner_) throw EmySQLException(DBIERR_INVALIDRECSTRUCT);
  if (items_.empty()) owner_->BuildFields();
  if (n > Count()) throw EmySQLException(DBIERR_INVALIDRECSTRUCT);
  return *items_[n - 1];
}

int TmySQLFields::FieldNumberByName(const std::string& name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (rtl::SameText(items_[i]->FieldName(), name)) return static_cast<int>(i) + 1;
  return 0;
}

TmySQLIndex::TmySQLIndex() {
  std::memset(&desc_, 0, sizeof desc_);
}

void TmySQLIndex::SetIndexName(const std::string& name) {
  std::memset(desc_.szName, 0, sizeof desc_.szName);
  std::strncpy(desc_.szName, name.c_str(), sizeof desc_.szName - 1);
}

TmySQLIndex* TmySQLIndexes::Index(int n) {
  if (n < 1 || n > Count()) return nullptr;
  return items_[n - 1].get();
}

TmySQLIndex* TmySQLIndexes::FindByName(const std::string& name) {
  for (auto& index : items_)
    if (rtl::SameText(index->IndexName(), name)) return index.get();
  return nullptr;
}

TmySQLIndex& TmySQLIndexes::Add() {
  items_.push_back(std::make_unique<TmySQLIndex>());
  items_.back()->Descriptor().iIndexId = static_cast<std::uint16_t>(items_.size());
  return *items_.back();
}

}  // namespace engine
