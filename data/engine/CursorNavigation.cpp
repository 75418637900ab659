// Moving in the held result: the reading operations, bookmarks and record
// numbers.
#include "engine/CursorNavigation.h"

#include <cstring>

#include "EngineMonitor.h"
#include "RecordCodec.h"
#include "engine/EngineErrors.h"
#include "engine/NativeConnect.h"
#include "engine/NativeDataSet.h"

namespace engine {

void TCursorNavigation::MoveToRow(std::int64_t row) {
  if (!cursor_.open_ || !cursor_.result_) {
    if (cursor_.connection_ && cursor_.connection_->Client().ErrorNumber() != 0)
      throw EmySQLException(cursor_.connection_);
    throw EmySQLException(row < 0 ? DBIERR_BOF : DBIERR_EOF);
  }
  if (row < 0) throw EmySQLException(DBIERR_BOF);
  if (row >= cursor_.RowCount()) throw EmySQLException(DBIERR_EOF);
  std::int64_t physical = order_.empty() ? row : order_[row];
  std::int64_t current = cursor_.result_->CurrentRow();
  if (physical == current + 1 && current >= 0)
    cursor_.result_->Next();
  else if (physical != current || cursor_.result_->AtEnd())
    cursor_.result_->GoToRow(physical);
  position_ = row;
}

void TCursorNavigation::MoveFirst() {
  if (cursor_.open_ && cursor_.RowCount() == 0) throw EmySQLException(DBIERR_BOF);
  MoveToRow(0);
  AfterMove(true);
}

void TCursorNavigation::MoveLast() {
  if (cursor_.open_ && cursor_.RowCount() == 0) throw EmySQLException(DBIERR_EOF);
  MoveToRow(cursor_.open_ ? cursor_.RowCount() - 1 : 0);
  AfterMove(true);
}

void TCursorNavigation::MoveNext() {
  if (cursor_.open_ && position_ + 1 >= cursor_.RowCount()) throw EmySQLException(DBIERR_EOF);
  MoveToRow(position_ + 1);
  AfterMove(true);
}

void TCursorNavigation::MovePrior() {
  if (cursor_.open_ && position_ - 1 < 0) throw EmySQLException(DBIERR_BOF);
  MoveToRow(position_ - 1);
  AfterMove(true);
}

void TCursorNavigation::AfterMove(bool report_fetch) {
  if (buffer_) cursor_.ReadRowIntoBuffer(buffer_);
  if (report_fetch)
    MonitorFetch(cursor_.connection_, cursor_.statement_flag_ ? "Query" : cursor_.table_name_,
                 position_);
}

void TCursorNavigation::WriteRecordProps(RecordProperties* props) const {
  if (!props) return;
  props->iSeqNum = static_cast<std::int32_t>(position_ + 1);
  props->iPhyRecNum = static_cast<std::int32_t>(position_ + 1);
}

void TCursorNavigation::Arrive(int lock, RecordProperties* props, std::uint8_t* buffer) {
  cursor_.ApplyFilters(buffer);
  if (lock) cursor_.GetRecord(lock, props, buffer);
  WriteRecordProps(props);
  state_ = TPositionState::OnRecord;
}

void TCursorNavigation::GetNextRecord(int lock, RecordProperties* props, std::uint8_t* buffer) {
  buffer_ = buffer;
  direction_ = 1;
  switch (state_) {
    case TPositionState::None:
    case TPositionState::AtBegin:
      // Reading forward from the start of an empty result is the end.
      if (cursor_.open_ && cursor_.RowCount() == 0) throw EmySQLException(DBIERR_EOF);
      MoveFirst();
      break;
    case TPositionState::AtEnd:
      throw EmySQLException(DBIERR_EOF);
    case TPositionState::OnRecord:
    case TPositionState::AfterModification:
      MoveNext();
      break;
  }
  Arrive(lock, props, buffer);
}

void TCursorNavigation::GetPriorRecord(int lock, RecordProperties* props, std::uint8_t* buffer) {
  buffer_ = buffer;
  direction_ = 2;
  switch (state_) {
    case TPositionState::None:
    case TPositionState::AtEnd:
      MoveLast();
      break;
    case TPositionState::AtBegin:
      throw EmySQLException(DBIERR_BOF);
    case TPositionState::OnRecord:
    case TPositionState::AfterModification:
      MovePrior();
      break;
  }
  Arrive(lock, props, buffer);
}

void TCursorNavigation::GetRecord(int lock, RecordProperties* props, std::uint8_t* buffer) {
  buffer_ = buffer;
  switch (state_) {
    case TPositionState::None:
      throw EmySQLException(DBIERR_NOCURRREC);
    case TPositionState::AtBegin:
      throw EmySQLException(DBIERR_BOF);
    case TPositionState::AtEnd:
      throw EmySQLException(DBIERR_EOF);
    case TPositionState::AfterModification:
      try {
        MoveNext();
      } catch (const EmySQLException&) {
        try {
          MovePrior();
        } catch (const EmySQLException&) {
          state_ = TPositionState::None;
          MoveFirst();
        }
      }
      state_ = TPositionState::OnRecord;
      WriteRecordProps(props);
      return;
    case TPositionState::OnRecord:
      break;
  }
  try {
    std::int64_t row = position_;
    if (!locked_) {
      MoveToRow(row);
      AfterMove(false);
      if (lock == 1) locked_ = true;
    }
    cursor_.ApplyFilters(buffer);
  } catch (const EmySQLException&) {
    if (reread_on_failure_) {
      reread_on_failure_ = false;
      state_ = TPositionState::None;
      cursor_.GetNextRecord(lock, props, buffer);
      return;
    }
    if (lock == 1) locked_ = false;
    throw;
  }
  WriteRecordProps(props);
}

void TCursorNavigation::GetBookmark(std::uint8_t* bookmark) const {
  if (!bookmark) throw EmySQLException(DBIERR_INVALIDPARAM);
  TRecordCodec::WriteBookmark(bookmark, cursor_.result_ ? position_ : -1);
}

void TCursorNavigation::SetToBookmark(const std::uint8_t* bookmark) {
  if (!bookmark) throw EmySQLException(DBIERR_INVALIDPARAM);
  std::int32_t words[2];
  std::memcpy(words, bookmark, sizeof words);
  if (words[1] < 0) {
    MoveFirst();
  } else if (state_ != TPositionState::AfterModification) {
    try {
      MoveToRow(words[0]);
      AfterMove(false);
    } catch (const EmySQLException&) {
      if (words[0] >= 0) throw;
    }
  }
  state_ = TPositionState::OnRecord;
}

int TCursorNavigation::CompareBookmarks(const std::uint8_t* bookmark1,
                                        const std::uint8_t* bookmark2) {
  if (!bookmark1 || !bookmark2) throw EmySQLException(DBIERR_INVALIDPARAM);
  std::int32_t a[2], b[2];
  std::memcpy(a, bookmark1, sizeof a);
  std::memcpy(b, bookmark2, sizeof b);
  if (a[0] == -1 && a[1] == -1) return 1;
  return a[0] < b[0] ? -1 : (a[0] > b[0] ? 1 : 0);
}

void TCursorNavigation::SetToRecordNumber(int number) {
  MoveToRow(number <= 0 ? 0 : number - 1);
  AfterMove(false);
  state_ = TPositionState::OnRecord;
}

int TCursorNavigation::CountAccepted() {
  const std::int64_t saved = cursor_.result_ ? position_ : -1;
  const TPositionState saved_state = state_;
  std::uint8_t* saved_buffer = buffer_;
  std::vector<std::uint8_t> scratch(cursor_.RecordSize());
  int count = 0;
  SetToBegin();
  try {
    for (;;) {
      cursor_.GetNextRecord(0, nullptr, scratch.data());
      ++count;
      if (count % 16 == 0) ProcessMessages();
    }
  } catch (const EmySQLException&) {
    // The read past the last accepted record ends the count.
  }
  buffer_ = saved_buffer;
  if (saved >= 0) {
    try {
      MoveToRow(saved);
      state_ = saved_state == TPositionState::None ? TPositionState::OnRecord : saved_state;
    } catch (const EmySQLException&) {
      SetToBegin();
    }
  } else {
    SetToBegin();
  }
  return count;
}

void TCursorNavigation::ForceReread() {
  reread_on_failure_ = true;
  std::int64_t saved = position_;
  cursor_.Reexecute();
  if (saved >= cursor_.RowCount()) saved = cursor_.RowCount() - 1;
  state_ = TPositionState::OnRecord;
  try {
    SetToRecordNumber(static_cast<int>(saved + 1));
  } catch (const EmySQLException&) {
    // A result that came back empty has no record to stand on.
  }
}

}  // namespace engine
