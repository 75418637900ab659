// Blob access. A blob slot holds either nothing (presence byte 0: the data
// are the value of the buffer's row) or the number of a stream of changed
// data that the cursor keeps (presence byte 1).
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "RecordCodec.h"
#include "engine/EngineErrors.h"
#include "engine/NativeDataSet.h"

namespace engine {

TmySQLField& TNativeDataSet::BlobField(int field_no) {
  TmySQLField& f = Fields().Field(field_no);
  if (f.FieldType() != fldBLOB) throw EmySQLException(DBIERR_NOTABLOB);
  return f;
}

std::string* TNativeDataSet::BlobStream(const std::uint8_t* buffer, const TmySQLField& field) {
  const std::uint8_t* slot = buffer + field.SlotOffset();
  if (slot[0] != 1) return nullptr;
  std::uint32_t id;
  std::memcpy(&id, slot + 1, 4);
  auto it = blob_streams_.find(id);
  return it == blob_streams_.end() ? nullptr : it->second.get();
}

void TNativeDataSet::OpenBlob(const std::uint8_t* buffer, int field_no) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  BlobField(field_no);
}

// The value of the row a buffer was read from (its bookmark), which need not
// be the cursor's current row when the caller keeps several buffers. The
// current row's value is read where the result holds it; another row's is
// copied into `holder`. Valid until the cursor moves or `holder` changes.
static std::string_view BufferRowValue(TNativeDataSet& cursor, const std::uint8_t* buffer,
                                       int column, std::string& holder) {
  wire::TMysqlResult* result = cursor.Result();
  if (!result) return {};
  const std::int32_t row = TRecordCodec::BookmarkRow(buffer + cursor.BookmarkOffset());
  if (row < 0 || row >= cursor.RowCount()) return {};
  if (row == cursor.CurrentRow()) {
    const char* v = result->Value(column);
    return v ? std::string_view(v, result->ValueLength(column)) : std::string_view();
  }
  holder = cursor.RowValueAt(row, column);
  return holder;
}

std::uint32_t TNativeDataSet::GetBlobSize(const std::uint8_t* buffer, int field_no) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  TmySQLField& f = BlobField(field_no);
  if (TRecordCodec::NullFlagged(buffer, f)) return 0;
  if (std::string* stream = BlobStream(buffer, f))
    return static_cast<std::uint32_t>(stream->size());
  std::string holder;
  return static_cast<std::uint32_t>(BufferRowValue(*this, buffer, field_no - 1, holder).size());
}

std::uint32_t TNativeDataSet::GetBlob(const std::uint8_t* buffer, int field_no,
                                      std::uint32_t offset, std::int32_t length,
                                      void* destination) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  TmySQLField& f = BlobField(field_no);
  if (!destination || length <= 0 || TRecordCodec::NullFlagged(buffer, f)) return 0;
  std::string holder;
  const std::string* stream = BlobStream(buffer, f);
  const std::string_view data =
      stream ? std::string_view(*stream) : BufferRowValue(*this, buffer, field_no - 1, holder);
  if (offset >= data.size()) return 0;
  std::uint32_t count = std::min<std::uint32_t>(static_cast<std::uint32_t>(length),
                                                static_cast<std::uint32_t>(data.size() - offset));
  std::memcpy(destination, data.data() + offset, count);
  return count;
}

void TNativeDataSet::PutBlob(std::uint8_t* buffer, int field_no, std::uint32_t offset,
                             std::int32_t length, const void* source) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  TmySQLField& f = BlobField(field_no);
  std::string* stream = BlobStream(buffer, f);
  if (!stream) {
    const std::uint32_t id = next_blob_id_++;
    auto made = std::make_unique<std::string>();
    stream = made.get();
    blob_streams_[id] = std::move(made);
    std::uint8_t* slot = buffer + f.SlotOffset();
    slot[0] = 1;
    std::memcpy(slot + 1, &id, 4);
  }
  if (length <= 0) {
    // An empty write cuts the data at the offset (all of it at 0).
    if (offset < stream->size()) stream->resize(offset);
  } else {
    if (stream->size() < offset + static_cast<std::uint32_t>(length))
      stream->resize(offset + static_cast<std::uint32_t>(length));
    if (source) std::memcpy(stream->data() + offset, source, static_cast<size_t>(length));
  }
  const bool is_null = static_cast<std::int64_t>(offset) == -static_cast<std::int64_t>(length);
  TRecordCodec::SetIndicators(buffer, f, is_null, true);
}

void TNativeDataSet::TruncateBlob(std::uint8_t* buffer, int field_no, std::uint32_t length) {
  PutBlob(buffer, field_no, length, 0, nullptr);
}

void TNativeDataSet::FreeBlob(std::uint8_t* buffer, int field_no) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  TmySQLField& f = BlobField(field_no);
  std::uint8_t* slot = buffer + f.SlotOffset();
  if (slot[0] != 1) return;
  std::uint32_t id;
  std::memcpy(&id, slot + 1, 4);
  blob_streams_.erase(id);
  slot[0] = 0;
  std::memset(slot + 1, 0, 4);
}

std::string TNativeDataSet::RowValueAt(std::int64_t row, int column) {
  if (!result_ || row < 0 || row >= RowCount()) return std::string();
  const std::int64_t physical = nav_.PhysicalRow(row);
  const std::int64_t current = result_->CurrentRow();
  result_->GoToRow(physical);
  const char* v = result_->Value(column);
  std::string value = v ? std::string(v, result_->ValueLength(column)) : std::string();
  if (current >= 0) result_->GoToRow(current);
  return value;
}

}  // namespace engine
