// TRecordCodec: values into and out of one cursor's record buffers.
//
// It knows the buffer layout NativeDataSet.h draws (slots with their
// presence byte, the indicators, the bookmark) and converts a result row's
// texts into the engine values of the slots, and those values to and from
// the framework's forms that GetField and PutField pass. It owns nothing:
// it reads the cursor's field descriptors and the adjusted server type of
// each described column and the data size, which must be those the buffers
// were laid out by (all filled together when the cursor describes its
// result). The static
// helpers read and write a buffer's indicators for the cursor's other parts
// (statements, filters, blobs, keys). Made on the spot by TNativeDataSet for
// each record operation; one thread at a time, like its cursor.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/Descriptors.h"

namespace wire {
class TMysqlResult;
}

namespace engine {

class TRecordCodec {
 public:
  TRecordCodec(const TmySQLFields& fields, const std::vector<int>& column_types,
               std::uint32_t data_size)
      : fields_(fields), column_types_(column_types), data_size_(data_size) {}

  // The result's current row into `buffer`, whose bookmark becomes `row`.
  void ReadRow(const wire::TMysqlResult& result, std::int64_t row, std::uint8_t* buffer) const;
  // The framework's value of `field` in `buffer` (null without a value or
  // when the form has none); a text cut at a zero byte fails with 13063.
  void Get(const TmySQLField& field, const std::uint8_t* buffer, void* value, bool& is_null) const;
  // Stores the framework's value (null: sets the field null) and marks the
  // field changed.
  void Put(const TmySQLField& field, std::uint8_t* buffer, const void* value) const;
  // An empty record of `record_size` bytes: every field null, none changed.
  void Clear(std::uint8_t* buffer, std::uint32_t record_size) const;

  // The bytes after the presence byte of the field's slot.
  static std::uint8_t* Value(std::uint8_t* buffer, const TmySQLField& field) {
    return buffer + field.SlotOffset() + 1;
  }
  static const std::uint8_t* Value(const std::uint8_t* buffer, const TmySQLField& field) {
    return buffer + field.SlotOffset() + 1;
  }
  // Null by its indicator only (as statements and blobs read it).
  static bool NullFlagged(const std::uint8_t* buffer, const TmySQLField& field);
  // Null by its indicator or without a stored value.
  static bool IsNull(const std::uint8_t* buffer, const TmySQLField& field);
  static bool Changed(const std::uint8_t* buffer, const TmySQLField& field);
  // Sets the field's indicators: null or not, changed or not.
  static void SetIndicators(std::uint8_t* buffer, const TmySQLField& field, bool is_null,
                            bool changed);
  // The 8-byte bookmark of a 0-based row (-1: none) and the row it names.
  static void WriteBookmark(std::uint8_t* bookmark, std::int64_t row);
  static std::int32_t BookmarkRow(const std::uint8_t* bookmark);

 private:
  int TypeOf(const TmySQLField& field) const { return column_types_[field.FieldNumber() - 1u]; }

  const TmySQLFields& fields_;
  const std::vector<int>& column_types_;
  std::uint32_t data_size_;
};

// The value of type T at `in`, a slot's bytes after its presence byte
// (records are packed: values are read by copy).
template <typename T>
T ReadSlot(const std::uint8_t* in) {
  T v;
  std::memcpy(&v, in, sizeof v);
  return v;
}

}  // namespace engine
