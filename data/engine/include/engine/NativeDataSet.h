// TNativeDataSet: the engine's cursor over one whole result.
//
// A table cursor (made by OpenTable from a table name) builds its own SELECT
// from select, range, order and limit lines; a statement cursor runs the text
// it was given. Either way the complete result is read into memory on every
// execution, and the components walk it record by record: each row is copied
// into a caller-supplied record buffer of this layout (N fields, data size D):
//
//   value area   slot of field k at offset(k) + k - 1: a presence byte
//                (1 = value stored) followed by L(k) bytes of engine value
//   indicators   at D + 8(k-1): 16-bit null indicator (-1 = null), 2 unused
//                bytes, 32-bit changed flag (-1 = changed by PutField)
//   spare byte   at D + 8N
//   bookmark     at D + 8N + 1: 32-bit 0-based row index, its sign extension
//
// The cursor also generates INSERT/UPDATE/DELETE statements from record
// buffers, follows index orders and key ranges, finds records by key,
// filters and sorts the held rows and gives blob access. It keeps the engine
// interface and hands its main parts to classes of their own: the field and
// index descriptors (TCursorDescriptors), the values in record buffers
// (TRecordCodec), the statement texts (TStatementBuilder) and the position
// with its moves (TCursorNavigation).
//
// Ownership: the cursor owns its result, descriptors, filters and blob
// streams; it refers to its connection without owning it. A table cursor is
// registered in its connection's open-cursor list, which frees it when the
// connection goes. Failures raise EmySQLException (and a few framework
// conversion errors), which TmySQLEngine turns into result codes. One thread
// at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/FilterExpr.h"
#include "engine/CursorDescriptors.h"
#include "engine/CursorNavigation.h"
#include "engine/Descriptors.h"
#include "engine/EngineTypes.h"
#include "engine/SqlText.h"
#include "wire/MysqlResult.h"

namespace engine {

class TNativeConnect;
class TContainer;
class TRecordCodec;
class TNativeDataSet;

// Record-level filter function: true keeps the record.
using TFilterCallback = std::function<bool(const std::uint8_t* record)>;

class TmySQLFilter {
 public:
  TmySQLFilter(TNativeDataSet* owner, void* dataset, const db::TFilterExpr* expression,
               TFilterCallback callback);

  bool Active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  bool HasExpression() const { return has_expression_; }
  const db::TFilterExpr& Expression() const { return expression_; }
  const TFilterCallback& Callback() const { return callback_; }
  void* DataSet() const { return dataset_; }
  TNativeDataSet* Owner() const { return owner_; }

 private:
  TNativeDataSet* owner_;
  db::TFilterExpr expression_;
  bool has_expression_ = false;
  bool active_ = false;
  TFilterCallback callback_;
  void* dataset_;
};

// OnGetSQLFldName: may replace the name a field gets in a statement.
using TGetSQLFldNameEvent = std::function<void(TNativeDataSet* sender, std::string& name)>;
// OnCheckSQLField: may exclude a field from a statement.
using TCheckSQLFieldEvent =
    std::function<void(TNativeDataSet* sender, const std::string& name, bool& allow)>;

class TNativeDataSet {
 public:
  // Table cursor (registered on the connection).
  TNativeDataSet(TNativeConnect* connection, const std::string& table_name,
                 const std::string& index_name, int row_limit, int row_offset);
  // Statement cursor.
  explicit TNativeDataSet(TNativeConnect* connection);
  virtual ~TNativeDataSet();
  TNativeDataSet(const TNativeDataSet&) = delete;
  TNativeDataSet& operator=(const TNativeDataSet&) = delete;

  // --- opening and executing ------------------------------------------------
  void Open();
  void Close();
  bool IsOpen() const { return open_; }
  // Runs the assembled statement and keeps the chosen result set.
  void Execute();
  // ExecuteStatement without a result cursor: runs the text as a command.
  void ExecuteCommand();
  void PrepareStatement(const std::string& sql);
  void SetStatementParameters(const std::vector<TEngineParam>& params, const std::string& sql);
  // True when no result is open or the cursor ran since the last call.
  bool TakeJustExecuted();
  void SetResultSetNumber(int number) { result_set_no_ = number; }
  int ResultSetNumber() const { return result_set_no_; }
  int ResultSetCount() const { return result_set_count_; }
  // "table.column" of a result column's origin (just the column when the
  // underlying table is unknown).
  std::string ColumnOrigin(const std::string& column_name);
  // The statement text that Execute sends.
  std::string AssembleStatement() const;

  // --- navigation -------------------------------------------------------------
  // The reading operations and moves are the navigation's (see
  // CursorNavigation.h).
  virtual void GetNextRecord(int lock, RecordProperties* props, std::uint8_t* buffer) {
    nav_.GetNextRecord(lock, props, buffer);
  }
  virtual void GetPriorRecord(int lock, RecordProperties* props, std::uint8_t* buffer) {
    nav_.GetPriorRecord(lock, props, buffer);
  }
  virtual void GetRecord(int lock, RecordProperties* props, std::uint8_t* buffer) {
    nav_.GetRecord(lock, props, buffer);
  }
  virtual void SetToBegin() { nav_.SetToBegin(); }
  virtual void SetToEnd() { nav_.SetToEnd(); }
  virtual void SetToBookmark(const std::uint8_t* bookmark) { nav_.SetToBookmark(bookmark); }
  virtual int GetRecordCount() {
    return filtering_ ? nav_.CountAccepted() : static_cast<int>(RowCount());
  }
  int CompareBookmarks(const std::uint8_t* bookmark1, const std::uint8_t* bookmark2) const {
    return TCursorNavigation::CompareBookmarks(bookmark1, bookmark2);
  }
  void GetBookmark(std::uint8_t* bookmark) const { nav_.GetBookmark(bookmark); }
  void SetToRecordNumber(int number) { nav_.SetToRecordNumber(number); }
  void ForceReread() { nav_.ForceReread(); }
  void ForceRecordReread(std::uint8_t* buffer) {
    ForceReread();
    GetRecord(0, nullptr, buffer);
  }
  void ReleaseRecordLock() { nav_.ReleaseLock(); }
  void ReleaseRecordBuffer(const std::uint8_t* buffer) {
    if (buffer == nav_.Buffer()) nav_.SetBuffer(nullptr);
  }

  // --- fields and properties ------------------------------------------------
  // Value in the framework's layout; see the engine interface for the forms.
  void GetField(int field_no, const std::uint8_t* buffer, void* value, bool& is_null);
  // A null value sets the field null.
  void PutField(int field_no, std::uint8_t* buffer, const void* value);
  void InitRecord(std::uint8_t* buffer);
  virtual void GetCursorProperties(CursorProperties& props);
  void GetFieldDescriptors(FieldDescriptor* descriptors);
  void GetValidityDescriptor(int field_no, ValidityDescriptor& descriptor);
  void GetIndexDescriptor(int index_no, IndexDescriptor& descriptor);
  void GetIndexDescriptors(IndexDescriptor* descriptors);
  void GetProperty(std::uint32_t id, void* value, std::uint32_t size, std::uint32_t& length);
  void SetProperty(std::uint32_t id, std::int64_t value);

  // --- modifications ----------------------------------------------------------
  void InsertRecord(int lock, const std::uint8_t* buffer);
  void ModifyRecord(const std::uint8_t* old_buffer, const std::uint8_t* new_buffer);
  void DeleteRecord(const std::uint8_t* buffer);
  // Statement texts the modifications would send (empty: none).
  std::string BuildInsert(const std::uint8_t* buffer);
  std::string BuildUpdate(const std::uint8_t* old_buffer, const std::uint8_t* new_buffer);
  std::string BuildDelete(const std::uint8_t* buffer);
  // Literal of a field's value in a buffer as INSERT and UPDATE write it.
  std::string ValueLiteral(int field_no, const std::uint8_t* buffer, bool for_insert);
  // The same without quotes: the text rows are compared with.
  std::string ValueText(int field_no, const std::uint8_t* buffer);
  std::int64_t LastInsertId() const { return last_insert_id_; }

  // --- indexes, ranges, keys --------------------------------------------------
  void SwitchToIndex(const char* index_name, const char* tag_name, int index_no);
  void SetRange(bool key_itself, int field_count1, int key_length1, const std::uint8_t* key1,
                bool inclusive1, int field_count2, int key_length2, const std::uint8_t* key2,
                bool inclusive2);
  void ResetRange();
  void ExtractKey(const std::uint8_t* buffer, std::uint8_t* key);
  void GetRecordForKey(bool key_itself, int field_count, int key_length, const std::uint8_t* key,
                       std::uint8_t* buffer);

  // --- filters and sorting ----------------------------------------------------
  TmySQLFilter* AddFilter(void* dataset, const db::TFilterExpr* expression,
                          TFilterCallback callback);
  void DropFilter(TmySQLFilter* filter);
  void ActivateFilter(TmySQLFilter* filter);
  void DeactivateFilter(TmySQLFilter* filter);
  bool Filtering() const { return filtering_; }
  int FilterCount() const { return static_cast<int>(filters_.size()); }
  void SetSortFieldNames(const std::string& field_list);

  // --- blobs --------------------------------------------------------------------
  void OpenBlob(const std::uint8_t* buffer, int field_no);
  std::uint32_t GetBlobSize(const std::uint8_t* buffer, int field_no);
  std::uint32_t GetBlob(const std::uint8_t* buffer, int field_no, std::uint32_t offset,
                        std::int32_t length, void* destination);
  void PutBlob(std::uint8_t* buffer, int field_no, std::uint32_t offset, std::int32_t length,
               const void* source);
  void TruncateBlob(std::uint8_t* buffer, int field_no, std::uint32_t length);
  void FreeBlob(std::uint8_t* buffer, int field_no);

  // --- clones and blocks --------------------------------------------------------
  // A new table cursor on the same table and index whose master is this one.
  TNativeDataSet* CloneCursor();
  void SetToCursor(TNativeDataSet* source);
  // Reads up to `count` records into consecutive record-size places;
  // `count` becomes the number read.
  void ReadBlock(int& count, std::uint8_t* buffer);
  bool CanModify();

  // --- state the components and the engine read ---------------------------------
  TNativeConnect* Connection() const { return connection_; }
  const std::string& TableName() const { return table_name_; }
  const std::string& IndexName() const { return index_name_; }
  const std::string& StatementText() const { return statement_text_; }
  bool IsStatement() const { return statement_flag_; }
  std::int32_t AffectedRows() const { return affected_rows_; }
  int RowLimit() const { return row_limit_; }
  int RowOffset() const { return row_offset_; }
  bool ReadOnly() const { return read_only_ != 0; }
  bool NoRefresh() const { return no_refresh_; }
  TNativeDataSet* MasterCursor() const { return master_; }
  wire::TMysqlResult* Result() const { return result_.get(); }
  // Current 0-based row index, -1 without one.
  std::int64_t CurrentRow() const;
  std::int64_t RowCount() const;

  // Only for tests: the state the reading operations act on and the buffer
  // the next move fills.
  TPositionState PositionStateForTesting() const { return nav_.State(); }
  std::uint8_t* CurrentRecordBufferForTesting() const { return nav_.Buffer(); }

  void SetFieldNameEvent(TGetSQLFldNameEvent e) { on_field_name_ = std::move(e); }
  void SetFieldCheckEvent(TCheckSQLFieldEvent e) { on_field_check_ = std::move(e); }

  // Descriptors (built on first need; see CursorDescriptors.h).
  TmySQLFields& Fields() { return descriptors_.Fields(); }
  int FieldCount() { return descriptors_.FieldCount(); }
  std::uint32_t DataSize() { return descriptors_.DataSize(); }
  std::uint32_t RecordSize() { return descriptors_.RecordSize(); }
  std::uint32_t BookmarkOffset() { return DataSize() + 8u * FieldCount() + 1u; }
  // Field number by name, case-insensitive; 0 when none.
  int FieldNumberByName(const std::string& name) { return descriptors_.FieldNumberByName(name); }
  // Finds the table's indexes with SHOW INDEX (once).
  void DiscoverIndexes() { descriptors_.DiscoverIndexes(); }
  // The current order/primary index (0 when none).
  int OrderIndex() const { return order_index_; }
  int PrimaryIndexNumber() const { return descriptors_.PrimaryIndex(); }
  const IndexDescriptor& CurrentIndexDescriptor() const { return current_index_; }

  // Server type of result column n (0-based) after the type adjustments.
  int ColumnType(int column) const { return descriptors_.ColumnType(column); }

 protected:
  // The navigation's moves: raise 8705/8706 past the ends.
  void MoveFirst() { nav_.MoveFirst(); }
  void MoveLast() { nav_.MoveLast(); }
  void MoveNext() { nav_.MoveNext(); }
  void MovePrior() { nav_.MovePrior(); }
  void MoveToRow(std::int64_t row) { nav_.MoveToRow(row); }
  // After a successful move: buffer, monitor.
  void AfterMove(bool report_fetch) { nav_.AfterMove(report_fetch); }
  // The current row into `buffer` (its bookmark the current position).
  void ReadRowIntoBuffer(std::uint8_t* buffer);
  bool RecordPasses(std::uint8_t* buffer);
  // Keeps moving in the current direction until the filters accept a row.
  void ApplyFilters(std::uint8_t* buffer);
  void ApplySort();
  void LoadCurrentIndex(int index_no);
  // Row whose values in `columns` equal `texts`, searched from the first row;
  // -1 when none.
  std::int64_t FindRow(const std::vector<int>& columns, const std::vector<std::string>& texts);
  // Finds the record again after a modification.
  bool LocateRecord(const std::uint8_t* buffer, TmySQLIndex* key_index);
  void Reexecute();
  std::string* BlobStream(const std::uint8_t* buffer, const TmySQLField& field);
  TmySQLField& BlobField(int field_no);

 public:
  // Value of a column in the row at engine position `row`; the current
  // row is kept.
  std::string RowValueAt(std::int64_t row, int column);

 private:
  friend class TCursorDescriptors;
  friend class TStatementBuilder;
  friend class TCursorNavigation;
  void OpenTableFirst();
  // The name a field gets in statements, as the OnGetSQLFldName event
  // leaves it.
  void NameForStatement(std::string& name) {
    if (on_field_name_) on_field_name_(this, name);
  }
  // The codec of this cursor's described fields (all built).
  TRecordCodec Codec();
  void Unregister();

  std::string table_name_;
  int read_only_ = 0;
  std::unique_ptr<wire::TMysqlResult> result_;
  bool just_executed_ = false;
  std::vector<std::unique_ptr<TmySQLFilter>> filters_;
  bool filtering_ = false;
  bool no_refresh_ = false;
  TCursorDescriptors descriptors_{*this};
  TCursorNavigation nav_{*this};
  int order_index_ = 0;
  std::string index_name_;
  bool enumerating_indexes_ = false;
  IndexDescriptor current_index_{};
  bool range_active_ = false;
  TNativeConnect* connection_ = nullptr;
  bool open_ = false;
  std::int32_t affected_rows_ = 0;
  std::vector<std::string> select_lines_, range_lines_, order_lines_, limit_lines_;
  int row_limit_ = -1;
  int row_offset_ = 0;
  TNativeDataSet* master_ = nullptr;
  TContainer* open_cursor_list_ = nullptr;
  TGetSQLFldNameEvent on_field_name_;
  TCheckSQLFieldEvent on_field_check_;
  std::string statement_text_;
  bool statement_flag_ = false;
  std::vector<int> sort_columns_;
  std::vector<bool> sort_descending_;
  int result_set_no_ = 0;
  int result_set_count_ = 0;
  std::int64_t last_insert_id_ = 0;
  bool first_open_done_ = false;

  // Changed blob data, referred to from blob slots by number.
  std::map<std::uint32_t, std::unique_ptr<std::string>> blob_streams_;
  std::uint32_t next_blob_id_ = 1;

  friend class TIndexList;
};

// In-memory list cursors over descriptor copies (OpenIndexList and
// OpenFieldList).
class TIndexList : public TNativeDataSet {
 public:
  TIndexList(TNativeConnect* connection, std::vector<IndexDescriptor> items);
  void GetNextRecord(int lock, RecordProperties* props, std::uint8_t* buffer) override;
  void GetPriorRecord(int lock, RecordProperties* props, std::uint8_t* buffer) override;
  void GetRecord(int lock, RecordProperties* props, std::uint8_t* buffer) override;
  void SetToBegin() override { pos_ = 0; }
  void SetToEnd() override { pos_ = Count(); }
  void SetToBookmark(const std::uint8_t*) override { pos_ = 0; }
  int GetRecordCount() override { return Count(); }
  void GetCursorProperties(CursorProperties& props) override;

 protected:
  TIndexList(TNativeConnect* connection, int record_size);
  virtual int Count() const { return static_cast<int>(indexes_.size()); }
  virtual void CopyItem(int i, std::uint8_t* buffer) const;
  int record_size_;
  int pos_ = 0;

 private:
  std::vector<IndexDescriptor> indexes_;
};

class TFieldList : public TIndexList {
 public:
  TFieldList(TNativeConnect* connection, std::vector<FieldDescriptor> items);

 protected:
  int Count() const override { return static_cast<int>(fields_.size()); }
  void CopyItem(int i, std::uint8_t* buffer) const override;

 private:
  std::vector<FieldDescriptor> fields_;
};

// Called every 16 records while a filtered cursor counts its records, so the
// user interface can process its pending messages. The agent sets it; null
// (the default) does nothing.
void SetProcessMessagesHook(std::function<void()> hook);
void ProcessMessages();

}  // namespace engine
