// Field and index descriptors of a native cursor.
//
// TmySQLFields describes the columns of a cursor's result as fields of the
// engine record (type, length, place in the record buffer, validity);
// TmySQLIndexes holds the table's indexes found with SHOW INDEX. Both
// collections belong to one cursor's TCursorDescriptors, which fills them; they keep
// their contents for the life of the cursor. Not thread-safe: used by the
// cursor's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineTypes.h"

namespace engine {

class TCursorDescriptors;

class TmySQLField {
 public:
  TmySQLField(const FieldDescriptor& descriptor, const ValidityDescriptor& validity,
              int native_type, std::uint32_t native_size, std::string enum_value);

  std::uint16_t FieldNumber() const { return desc_.iFldNum; }
  std::string FieldName() const { return desc_.szName; }
  // Keeps at most 63 characters.
  void SetFieldName(const std::string& name);
  std::uint16_t FieldType() const { return desc_.iFldType; }
  std::uint16_t FieldSubType() const { return desc_.iSubType; }
  std::int16_t FieldUnits1() const { return desc_.iUnits1; }
  std::int16_t FieldUnits2() const { return desc_.iUnits2; }
  std::uint16_t FieldLength() const { return desc_.iLen; }
  int NativeType() const { return native_type_; }
  std::uint32_t NativeSize() const { return native_size_; }
  // Members of an enumeration or set, comma-separated, without quotes.
  const std::string& Enum_Value() const { return enum_value_; }

  std::uint32_t Offset() const { return desc_.iOffset; }
  std::uint32_t NullOffset() const { return desc_.iNullOffset; }
  bool IsCalculated() const { return desc_.bCalcField != 0; }
  bool IsUnsigned() const { return desc_.bUnsigned != 0; }
  bool IsRequired() const { return validity_.bRequired != 0; }

  // Place of the presence byte of this field's slot (offset + number - 1).
  std::uint32_t SlotOffset() const { return desc_.iOffset + desc_.iFldNum - 1u; }

  const FieldDescriptor& Descriptor() const { return desc_; }
  FieldDescriptor& Descriptor() { return desc_; }
  const ValidityDescriptor& Validity() const { return validity_; }

 private:
  FieldDescriptor desc_;
  ValidityDescriptor validity_;
  int native_type_;
  std::uint32_t native_size_;
  std::string enum_value_;
};

class TmySQLFields {
 public:
  explicit TmySQLFields(TCursorDescriptors* owner) : owner_(owner) {}

  int Count() const { return static_cast<int>(items_.size()); }
  // Field n (1-based); describes columns up to n from the cursor's result
  // when they are not known yet. n <= 0, or a column the result does not
  // have, fails with 10003.
  TmySQLField& Field(int n);
  // 1-based number of the field with this name (case-insensitive), 0 when
  // none.
  int FieldNumberByName(const std::string& name) const;
  void Add(std::unique_ptr<TmySQLField> field) { items_.push_back(std::move(field)); }
  void Clear() { items_.clear(); }
  TmySQLField& operator[](int index) { return *items_[index]; }
  const TmySQLField& operator[](int index) const { return *items_[index]; }

 private:
  TCursorDescriptors* owner_;
  std::vector<std::unique_ptr<TmySQLField>> items_;
};

class TmySQLIndex {
 public:
  TmySQLIndex();

  std::uint16_t IndexNumber() const { return desc_.iIndexId; }
  std::string IndexName() const { return desc_.szName; }
  void SetIndexName(const std::string& name);
  bool Primary() const { return desc_.bPrimary != 0; }
  bool Unique() const { return desc_.bUnique != 0; }
  bool Descending() const { return desc_.bDescending != 0; }
  std::uint16_t FldsInKey() const { return desc_.iFldsInKey; }
  std::uint16_t KeyLen() const { return desc_.iKeyLen; }
  std::uint16_t BlockSize() const { return desc_.iBlockSize; }
  // Field number of key field i (0-based).
  std::uint16_t KeyField(int i) const { return desc_.aiKeyFld[i]; }

  const IndexDescriptor& Descriptor() const { return desc_; }
  IndexDescriptor& Descriptor() { return desc_; }

 private:
  IndexDescriptor desc_;
};

class TmySQLIndexes {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  bool Loaded() const { return loaded_; }
  void SetLoaded(bool loaded) { loaded_ = loaded; }
  // Index n (1-based) or null.
  TmySQLIndex* Index(int n);
  // Index with this name (case-insensitive) or null.
  TmySQLIndex* FindByName(const std::string& name);
  TmySQLIndex& Add();
  void Clear() {
    items_.clear();
    loaded_ = false;
  }

 private:
  std::vector<std::unique_ptr<TmySQLIndex>> items_;
  bool loaded_ = false;
};

}  // namespace engine
