// TCursorNavigation: where a cursor stands in its held result and how it
// moves there.
//
// It owns the position state, the row the cursor stands on, the row order a
// client-side sort left, the direction of the last read, the record buffer
// the next move fills and the record lock, and carries out the reading
// operations by the table below, the moves past whose ends it raises 8705
// (BOF) and 8706 (EOF), bookmarks and record numbers. It assumes the
// cursor's result is held whole: a move is a jump within it. Owned by one
// TNativeDataSet, whose result, filters, record codec and monitor it uses;
// the cursor's engine interface delegates to it, and the cursor's other
// parts (modifications, keys, sorting) set its state after they move. One
// thread at a time.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/EngineTypes.h"

namespace engine {

class TNativeDataSet;

// Where the cursor stands between reads. The reading operations act by it:
//
//   operation       None      OnRecord  AtBegin   AtEnd     AfterModification
//   GetNextRecord   first     next      first     fail EOF  next
//   GetPriorRecord  last      prior     fail BOF  last      prior
//   GetRecord       fail      re-read   fail BOF  fail EOF  next; else prior;
//                   NOCURRREC                               else None, next
//
// Each of them that succeeds leaves OnRecord, as do the moves by bookmark,
// record number and key. SetToBegin and SetToEnd set AtBegin and AtEnd
// without touching the result. An insert or delete sets AfterModification
// (so does the property propMarkModified); the refresh after it finds the
// record again and sets OnRecord, and without a refresh the next GetRecord
// moves on to the following row. The values are those a caller may have
// stored, so they stay as numbered.
enum class TPositionState : std::int32_t {
  None = 0,
  OnRecord = 1,
  AtBegin = 2,
  AtEnd = 3,
  AfterModification = 4,
};

class TCursorNavigation {
 public:
  explicit TCursorNavigation(TNativeDataSet& cursor) : cursor_(cursor) {}
  TCursorNavigation(const TCursorNavigation&) = delete;
  TCursorNavigation& operator=(const TCursorNavigation&) = delete;

  // The reading operations (the cursor's, which may be overridden, are the
  // ones a read calls in turn).
  void GetNextRecord(int lock, RecordProperties* props, std::uint8_t* buffer);
  void GetPriorRecord(int lock, RecordProperties* props, std::uint8_t* buffer);
  void GetRecord(int lock, RecordProperties* props, std::uint8_t* buffer);
  void SetToBegin() { state_ = TPositionState::AtBegin; }
  void SetToEnd() { state_ = TPositionState::AtEnd; }
  void SetToBookmark(const std::uint8_t* bookmark);
  void GetBookmark(std::uint8_t* bookmark) const;
  static int CompareBookmarks(const std::uint8_t* bookmark1, const std::uint8_t* bookmark2);
  void SetToRecordNumber(int number);
  // The records the filters accept, counted by reading them all; the
  // position is kept.
  int CountAccepted();
  // Reads the result again and stands on the same row number (the last
  // when fewer remain).
  void ForceReread();

  // Moves: raise 8705/8706 past the ends.
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrior();
  void MoveToRow(std::int64_t row);
  // After a successful move: the buffer and the monitor.
  void AfterMove(bool report_fetch);

  TPositionState State() const { return state_; }
  void SetState(TPositionState state) { state_ = state; }
  // 0-based row in the cursor's order, -1 before the first move.
  std::int64_t Position() const { return position_; }
  int Direction() const { return direction_; }
  // The result's own row of a row in the cursor's order.
  std::int64_t PhysicalRow(std::int64_t row) const {
    return order_.empty() ? row : order_[static_cast<size_t>(row)];
  }
  // A sort's order (empty: the result's own); either way no row is current.
  void SetOrder(std::vector<std::int64_t> order) {
    order_ = std::move(order);
    position_ = -1;
  }
  std::uint8_t* Buffer() const { return buffer_; }
  void SetBuffer(std::uint8_t* buffer) { buffer_ = buffer; }
  void ReleaseLock() { locked_ = false; }

 private:
  void WriteRecordProps(RecordProperties* props) const;
  // The end of a forward or backward read on the row it moved to: the
  // filters applied, the record locked when asked, its properties written;
  // the cursor stands on it.
  void Arrive(int lock, RecordProperties* props, std::uint8_t* buffer);

  TNativeDataSet& cursor_;
  TPositionState state_ = TPositionState::None;
  // 1 forward, 2 backward: the way filters skip rejected rows.
  int direction_ = 1;
  std::int64_t position_ = -1;
  std::vector<std::int64_t> order_;
  std::uint8_t* buffer_ = nullptr;
  bool locked_ = false;
  bool reread_on_failure_ = false;
};

}  // namespace engine
