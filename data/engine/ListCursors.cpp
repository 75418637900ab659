// In-memory list cursors over copies of field or index descriptors.
#include <cstring>

#include "engine/EngineErrors.h"
#include "engine/NativeDataSet.h"

namespace engine {

TIndexList::TIndexList(TNativeConnect* connection, int record_size)
    : TNativeDataSet(connection), record_size_(record_size) {}

TIndexList::TIndexList(TNativeConnect* connection, std::vector<IndexDescriptor> items)
    : TNativeDataSet(connection),
      record_size_(sizeof(IndexDescriptor)),
      indexes_(std::move(items)) {}

void TIndexList::CopyItem(int i, std::uint8_t* buffer) const {
  std::memcpy(buffer, &indexes_[static_cast<size_t>(i)], sizeof(IndexDescriptor));
}

void TIndexList::GetNextRecord(int, RecordProperties* props, std::uint8_t* buffer) {
  if (pos_ >= Count()) throw EmySQLException(DBIERR_EOF);
  if (buffer) CopyItem(pos_, buffer);
  ++pos_;
  if (props) props->iSeqNum = props->iPhyRecNum = pos_;
}

void TIndexList::GetPriorRecord(int, RecordProperties* props, std::uint8_t* buffer) {
  if (pos_ <= 1) {
    pos_ = 0;
    throw EmySQLException(DBIERR_BOF);
  }
  --pos_;
  if (buffer) CopyItem(pos_ - 1, buffer);
  if (props) props->iSeqNum = props->iPhyRecNum = pos_;
}

void TIndexList::GetRecord(int, RecordProperties* props, std::uint8_t* buffer) {
  if (pos_ <= 0) throw EmySQLException(DBIERR_BOF);
  if (pos_ > Count()) throw EmySQLException(DBIERR_EOF);
  if (buffer) CopyItem(pos_ - 1, buffer);
  if (props) props->iSeqNum = props->iPhyRecNum = pos_;
}

void TIndexList::GetCursorProperties(CursorProperties& props) {
  std::memset(&props, 0, sizeof props);
  props.iRecSize = static_cast<std::uint32_t>(record_size_);
  props.iRecBufSize = static_cast<std::uint32_t>(record_size_);
  props.iBookMarkSize = kBookmarkSize;
  props.iSeqNums = 1;
  props.bUniDirectional = -1;
  props.eprvRights = 255;
}

TFieldList::TFieldList(TNativeConnect* connection, std::vector<FieldDescriptor> items)
    : TIndexList(connection, static_cast<int>(sizeof(FieldDescriptor))),
      fields_(std::move(items)) {}

void TFieldList::CopyItem(int i, std::uint8_t* buffer) const {
  std::memcpy(buffer, &fields_[static_cast<size_t>(i)], sizeof(FieldDescriptor));
}

}  // namespace engine
