// TmySQLDataSet: the dataset that plugs the engine's native cursor into the
// dataset framework; the common base of TmySQLQuery and TmySQLTable.
//
// The framework owns the states, the ring of record buffers and the field
// objects; this class allocates the buffers, fetches records from the
// engine cursor into them, reads and writes field values through the engine
// and turns edit, insert, post, cancel and delete into engine calls. It
// never builds SQL: texts come from the query, table access from the table
// and modification statements from the engine.
//
// A record buffer holds, in order: the engine record (record buffer size of
// the cursor), the calculated-field area, 6 bytes of record information
// (32-bit record number, 8-bit update status, 8-bit bookmark flag) and the
// bookmark.
//
// Ownership: the dataset owns its cursor handle (freed on close), record
// buffers, key buffers and the old-record buffer of an edit; it refers to
// its connection component without owning it. While it has a reason to (the
// cursor is open, a statement is prepared or running, ...) it holds the
// connection open. One thread at a time per dataset.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/MySQLDatabase.h"
#include "db/DataSet.h"
#include "engine/MySQLEngine.h"
#include "rtl/Streams.h"

namespace components {

class TmySQLDataSet;

// Asked before the engine is told to modify, insert or delete; clearing
// `allow` skips the engine call without an error.
using TPostDataEvent = std::function<void(TmySQLDataSet& sender, bool& allow)>;
using TUpdateErrorEvent = std::function<void(TmySQLDataSet& sender, db::EDatabaseError& error,
                                             db::TUpdateKind kind, db::TUpdateAction& action)>;
using TUpdateRecordEvent =
    std::function<void(TmySQLDataSet& sender, db::TUpdateKind kind, db::TUpdateAction& action)>;
using engine::TCheckSQLFieldEvent;
using engine::TGetSQLFldNameEvent;

// An object that applies a dataset's modifications itself instead of the
// engine. No concrete one is part of the system.
class TmySQLSQLUpdateObject : public db::TComponent {
 public:
  using db::TComponent::TComponent;
  ~TmySQLSQLUpdateObject() override;
  TmySQLDataSet* DataSet() const { return dataset_; }
  void SetDataSet(TmySQLDataSet* dataset);
  // 0 modify, 1 insert, 2 delete.
  virtual void Apply(db::TUpdateKind kind) = 0;

 private:
  TmySQLDataSet* dataset_ = nullptr;
};

// Reasons for which a dataset holds its connection.
enum THoldReason {
  hrCursorOpen = 0,
  hrPrepared = 1,
  hrExecuting = 2,
  hrTableExists = 3,
  hrFieldList = 4,
  hrIndexList = 5,
  hrProvider = 10,
};

// Record information stored after the calculated-field area.
#pragma pack(push, 1)
struct TRecInfo {
  std::int32_t RecordNumber;
  std::uint8_t UpdateStatus;
  std::uint8_t BookmarkFlag;
};
#pragma pack(pop)

// A key buffer: modified and exclusive bytes, field count, then a record.
struct TKeyBuffer {
  bool Modified = false;
  bool Exclusive = false;
  std::int16_t FieldCount = 0;
  std::unique_ptr<char[]> Record;
};

enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave };

class TmySQLDataSet : public db::TDataSet {
 public:
  explicit TmySQLDataSet(db::TComponent* owner = nullptr);
  ~TmySQLDataSet() override;

  // --- properties ------------------------------------------------------------
  TmySQLDatabase* Database() const { return database_; }
  void SetDatabase(TmySQLDatabase* database);
  bool AutoRefresh() const { return auto_refresh_; }
  void SetAutoRefresh(bool value);
  bool AllowSequenced() const { return allow_sequenced_; }
  void SetAllowSequenced(bool value) { allow_sequenced_ = value; }
  const std::string& SortFieldNames() const { return sort_field_names_; }
  void SetSortFieldNames(const std::string& value);
  db::TUpdateMode UpdateMode() const { return update_mode_; }
  void SetUpdateMode(db::TUpdateMode value) { update_mode_ = value; }
  TmySQLSQLUpdateObject* UpdateObject() const { return update_object_; }
  void SetUpdateObject(TmySQLSQLUpdateObject* value);
  int MultiResultsetNo() const { return multi_resultset_no_; }

  TPostDataEvent OnPosting, OnDeleting, OnInserting;
  TUpdateErrorEvent OnUpdateError;
  TUpdateRecordEvent OnUpdateRecord;
  TGetSQLFldNameEvent OnGetSQLFldName;
  TCheckSQLFieldEvent OnCheckSQLField;

  // --- the engine and the cursor -----------------------------------------------
  virtual engine::TmySQLEngine& Engine();
  engine::TNativeDataSet* Handle() const { return handle_; }
  // Closes the dataset (a query also drops its prepared statement).
  virtual void Disconnect();
  // Turns hold reason `reason` on or off; returns whether it was on.
  virtual bool SetHoldReason(int reason, bool on);
  bool HoldReason(int reason) const { return reason <= 15 && (holds_ & (1u << reason)) != 0; }
  // Notices from the connection component.
  void ConnectChanged(bool connecting);
  void DatabaseGone(TmySQLDatabase* database);

  // --- framework surface ---------------------------------------------------------
  // Post and Cancel also complete or abandon a key edit (set-key state).
  void Post() override;
  void Cancel() override;
  void SetRecNo(int value) override;
  bool IsSequenced() override;
  bool BookmarkValid(const db::TBookmark& bookmark) override;
  int CompareBookmarks(const db::TBookmark& a, const db::TBookmark& b) override;
  bool GetFieldData(db::TField& field, void* buffer) override;
  bool GetFieldData(int field_no, void* buffer) override;
  void SetFieldData(db::TField& field, const void* buffer) override;
  rtl::Variant GetStateFieldValue(db::TDataSetState state, db::TField& field) override;
  void SetStateFieldValue(db::TDataSetState state, db::TField& field,
                          const rtl::Variant& value) override;
  bool GetCurrentRecord(db::TRecordBuffer buffer) override;
  int Translate(const char* src, char* dest, bool to_oem) override;
  void SetCachedUpdates(bool value) override;
  // Block reading: n records at a time into a block buffer (n = INT_MAX:
  // 65536 bytes' worth of records); 0 ends it.
  void SetBlockReadSize(int size) override;
  db::TUpdateStatus UpdateStatus() override;
  bool GetIsIndexField(const db::TField& field) override;

  // Filters, search and blobs.
  void SetFilterText(const std::string& text) override;
  void SetFiltered(bool value) override;
  void SetFilterOptions(db::TFilterOptions options) override;
  void SetOnFilterRecord(db::TFilterRecordEvent handler) override;
  bool Locate(const std::string& key_fields, const rtl::Variant& key_values,
              db::TLocateOptions options) override;
  std::unique_ptr<rtl::TStream> CreateBlobStream(db::TField& field,
                                                 db::TBlobStreamMode mode) override;
  int GetBlobFieldData(int field_no, std::string& buffer) override;
  void CloseBlob(db::TField& field) override;

  // Provider support.
  int PSExecuteStatement(const std::string& sql, db::TParams* params,
                         std::unique_ptr<db::TDataSet>* result_set) override;
  char PSGetQuoteChar() override { return '"'; }
  std::unique_ptr<db::EUpdateError> PSGetUpdateException(const std::exception& error,
                                                         const db::EUpdateError* prior) override;
  bool PSInTransaction() override;
  bool PSIsSQLBased() override { return true; }
  bool PSIsSQLSupported() override { return true; }
  void PSReset() override;
  void PSStartTransaction() override;
  void PSEndTransaction(bool commit) override;

  // The parts of a record buffer (for the blob stream and the subclasses).
  int EngineRecordSize() const { return rec_size_; }
  TRecInfo* RecInfo(db::TRecordBuffer buffer) const {
    return reinterpret_cast<TRecInfo*>(buffer + rec_info_ofs_);
  }
  // The record buffer the current state shows, or null.
  db::TRecordBuffer StateBuffer();
  db::TRecordBuffer ActiveRecordBuffer() const { return ActiveBuffer(); }

 protected:
  friend class TmySQLBlobStream;

  // New operations of the dataset family.
  virtual engine::TNativeDataSet* CreateCursorHandle(bool want_cursor);
  virtual void DestroyCursorHandle();
  virtual void DropLookupCursor() {}
  virtual engine::TNativeDataSet* LookupCursor(const std::string& key_fields,
                                               bool case_insensitive);
  virtual bool LocateCore(const std::string& key_fields, const rtl::Variant& key_values,
                          db::TLocateOptions options, bool move);
  // Lookup finds the record with the engine's key search, into the scratch
  // buffer.
  bool LocateForLookup(const std::string& key_fields, const rtl::Variant& key_values) override;
  db::TRecordBuffer LookupBuffer() override { return scratch_buffer_.get(); }
  virtual void AfterOpenHook() {}
  // Completes (commit) or abandons the key edit of set-key state.
  virtual void PostKeyBuffer(bool commit) { (void)commit; }
  // Closes a lookup cursor after a search; the table forgets it.
  virtual void ReleaseLookupCursor(engine::TNativeDataSet* cursor);
  void SetMultiResultsetNoValue(int value) { multi_resultset_no_ = value; }
  void SetHandle(engine::TNativeDataSet* handle) { handle_ = handle; }
  void Check(engine::DBIResult code) { Engine().Check(code); }
  static std::uint8_t* U8(db::TRecordBuffer buffer) {
    return reinterpret_cast<std::uint8_t*>(buffer);
  }

  // Framework overrides.
  void Notification(db::TComponent* component, db::TOperation operation) override;
  void ClearCalcFields(db::TRecordBuffer buffer) override;
  void CloseCursor() override;
  void OpenCursor(bool info_query) override;
  void DataEvent(db::TDataEvent event, std::intptr_t info) override;
  bool GetCanModify() override;
  int GetRecordCount() override;
  int GetRecNo() override;
  void InitRecord(db::TRecordBuffer buffer) override;
  void InternalCancel() override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalRefresh() override;
  void BlockReadNext() override;
  std::unique_ptr<char[]> AllocRecordBuffer() override;
  void FreeRecordBuffer(std::unique_ptr<char[]>& buffer) override;
  // The engine remembers the last record buffer it was handed and may write
  // to it on a later move: a buffer is released there before it is freed.
  void ReleaseEngineBuffer(std::unique_ptr<char[]>& buffer);
  void ReleaseEngineBuffer(char* buffer);
  void GetBookmarkData(db::TRecordBuffer buffer, db::TBookmark& data) override;
  db::TBookmarkFlag GetBookmarkFlag(db::TRecordBuffer buffer) override;
  void SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) override;
  void SetBookmarkData(db::TRecordBuffer buffer, const db::TBookmark& data) override;
  db::TGetResult GetRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool do_check) override;
  int GetRecordSize() override { return rec_size_; }
  void InternalAddRecord(db::TRecordBuffer buffer, bool append) override;
  void InternalClose() override;
  void InternalDelete() override;
  void InternalFirst() override;
  void InternalGotoBookmark(const db::TBookmark& bookmark) override;
  void InternalInitFieldDefs() override;
  void InternalInitRecord(db::TRecordBuffer buffer) override;
  void InternalLast() override;
  void InternalOpen() override;
  void InternalPost() override;
  void InternalSetToRecord(db::TRecordBuffer buffer) override;
  bool IsCursorOpen() const override { return handle_ != nullptr; }
  bool FindRecord(bool restart, bool go_forward) override;

  // Record layout from the cursor properties; key buffers.
  void GetCursorProps();
  void ComputeLayout();
  void AllocKeyBuffers();
  void FreeKeyBuffers();
  void InitKeyBuffer(TKeyBuffer& buffer);
  TKeyBuffer& KeyBuffer(TKeyIndex index) { return key_buffers_[index]; }
  bool HasKeyBuffers() const { return !key_buffers_.empty(); }
  int RecordBufferSize() const { return rec_buf_size_; }
  // Reads the key description of the cursor's current index.
  void GetIndexInfo();
  void ResetKeyState();
  // Builds field definitions from engine descriptors ("%s_%d" for repeats).
  void AddFieldDefs(const engine::FieldDescriptor* descriptors, int count,
                    const std::vector<bool>* required);
  // Filters.
  void ActivateFilters();
  void DeactivateFilters();
  void DropFilters();
  engine::TmySQLFilter* CreateExprFilter(const std::string& text, db::TFilterOptions options);
  void ReplaceExprFilter(engine::TmySQLFilter* filter);
  engine::TmySQLFilter* CreateFuncFilter();
  void DoSetFiltered(bool value);
  void ApplySortOrder();
  bool ReadNextBlock();
  void ReleaseBlockBuffer();
  db::TRecordBuffer BlockRecord() const;

  // Key state of the current index (the table fills it).
  std::vector<int> key_field_nos_;
  bool expression_index_ = false;
  bool case_ins_index_ = false;
  int key_size_ = 0;
  TKeyBuffer* key_buffer_ = nullptr;  // the one being edited in set-key state

 private:
  db::TRecordBuffer OldValueBuffer();
  void FreeOldBuffer() { ReleaseEngineBuffer(old_buffer_); }

  TmySQLDatabase* database_ = nullptr;
  engine::TNativeDataSet* handle_ = nullptr;
  engine::RecordProperties rec_props_{};
  engine::TmySQLFilter* expr_filter_ = nullptr;
  engine::TmySQLFilter* func_filter_ = nullptr;
  std::vector<TKeyBuffer> key_buffers_;
  int recno_mode_ = 0;
  bool can_modify_ = false;
  int rec_size_ = 0;
  int bookmark_size_ = 0;
  int calc_ofs_ = 0;
  int rec_info_ofs_ = 0;
  int bookmark_ofs_ = 0;
  int rec_buf_size_ = 0;
  std::unique_ptr<char[]> old_buffer_;
  std::unique_ptr<char[]> scratch_buffer_;
  // Block reading: n records of the record-buffer size.
  std::unique_ptr<char[]> block_buffer_;
  int block_capacity_ = 0;
  int block_index_ = 0;
  int block_count_ = 0;
  std::int64_t block_total_ = 0;
  std::uint16_t holds_ = 0;
  bool after_open_pending_ = false;
  bool engine_filtering_ = false;
  bool auto_refresh_ = false;
  bool allow_sequenced_ = true;
  std::string sort_field_names_;
  db::TUpdateMode update_mode_ = db::upWhereAll;
  TmySQLSQLUpdateObject* update_object_ = nullptr;
  int multi_resultset_no_ = 0;
};

// A stream over one blob or memo field of the dataset's current record.
class TmySQLBlobStream : public rtl::TStream {
 public:
  TmySQLBlobStream(db::TField& field, db::TBlobStreamMode mode);
  // For a field of `dataset` (field.DataSet() == &dataset).
  TmySQLBlobStream(TmySQLDataSet& dataset, db::TField& field, db::TBlobStreamMode mode);
  ~TmySQLBlobStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  void Truncate(std::uint32_t length);

 private:
  TmySQLBlobStream(TmySQLDataSet* dataset, db::TField& field, db::TBlobStreamMode mode);
  static db::TBlobField* AsBlob(db::TField& field);
  std::uint32_t BlobSize();
  bool Transliterated() const;

  db::TField& field_;
  TmySQLDataSet* dataset_;
  int field_no_;
  db::TRecordBuffer buffer_ = nullptr;
  std::uint32_t position_ = 0;
  // Where a short read found the end of the value (until the next change).
  std::int64_t known_end_ = -1;
  bool modified_ = false;
  bool opened_ = false;
  db::TBlobStreamMode mode_;
};

}  // namespace components
