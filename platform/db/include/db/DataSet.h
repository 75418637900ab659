// TDataSet: the record-oriented dataset the components build on.
//
// The framework owns the dataset state, the ring of record buffers, the
// field objects and the public navigation and editing operations; a subclass
// supplies the cursor underneath through the protected virtual operations
// (allocate and fill record buffers, read and write field values in the
// native layouts of Field.h, open and close the cursor, post and delete).
//
// The ring: `BufferCount` record buffers (one per record that the data
// links want to see, at least one) plus one spare. Records are fetched into
// it by GetRecord(gmCurrent/gmNext/gmPrior); `ActiveRecord` is the buffer of
// the current record, and the cursor underneath is kept in step lazily
// (UpdateCursorPos) before every operation that uses it.
//
// Ownership: the dataset owns its record buffers, field definitions and
// default fields; persistent fields belong to their owner and only attach
// to the dataset. Data sources register themselves and are told of every
// change through DataEvent. A subclass closes the dataset in its own
// destructor, while its cursor operations still exist. Subclasses that
// override one GetFieldData overload bring the other in with a using
// declaration. One thread at a time per dataset.
//
// Naming in this layer: data members snake_case_ with the trailing
// underscore (row_count_), locals and parameters snake_case, functions and
// types in CamelCase.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/Component.h"
#include "db/DBError.h"
#include "db/Field.h"
#include "db/FieldDefs.h"
#include "db/FieldTypes.h"
#include "db/Params.h"
#include "rtl/Streams.h"
#include "rtl/Variant.h"

namespace db {

class TDataSource;
class TDataSet;
class TFilterExpr;

using TRecordBuffer = char*;
// A bookmark: the bytes the subclass stores per record; empty = none.
using TBookmark = std::string;

using TDataSetNotifyEvent = std::function<void(TDataSet& dataset)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet& dataset, EDatabaseError& error, TDataAction& action)>;
using TFilterRecordEvent = std::function<void(TDataSet& dataset, bool& accept)>;

// The error a provider hands back for a failed update.
class EUpdateError : public EDatabaseError {
 public:
  EUpdateError(std::string message, std::string context, int error_code, int previous_error)
      : EDatabaseError(std::move(message)),
        context_(std::move(context)),
        error_code_(error_code),
        previous_error_(previous_error) {}
  const std::string& Context() const { return context_; }
  int ErrorCode() const { return error_code_; }
  int PreviousError() const { return previous_error_; }

 private:
  std::string context_;
  int error_code_;
  int previous_error_;
};

// States in which field values may be written.
bool IsWriteState(TDataSetState state);

class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner = nullptr);
  ~TDataSet() override;

  // --- opening and closing ---------------------------------------------------
  bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return state_; }
  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }
  bool DefaultFields() const { return default_fields_; }

  // --- fields ----------------------------------------------------------------
  TFieldDefs& FieldDefs() { return field_defs_; }
  const TFields& Fields() const { return fields_; }
  int FieldCount() const { return fields_.Count(); }
  TField* FindField(const std::string& name) const { return fields_.FindField(name); }
  TField& FieldByName(const std::string& name) const { return fields_.FieldByName(name); }
  TField* FieldByNumber(int field_no) const { return fields_.FieldByNumber(field_no); }
  // The fields named in a ";"-separated list, each raising when missing.
  void GetFieldList(std::vector<TField*>& list, const std::string& names) const;
  std::vector<std::string> GetFieldNames() const;
  rtl::Variant FieldValues(const std::string& names) const;
  void SetFieldValues(const std::string& names, const rtl::Variant& value);
  // Assigns the values to the fields in order (null clears, empty skips).
  void SetFields(const std::vector<rtl::Variant>& values);
  void ClearFields();
  int CalcFieldsSize() const { return calc_fields_size_; }
  int BlobFieldCount() const { return blob_field_count_; }

  // --- navigation ------------------------------------------------------------
  void First();
  void Last();
  // One record on; in block-read mode the subclass's BlockReadNext.
  void Next();
  void Prior() { MoveBy(-1); }
  int MoveBy(int distance);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const;
  int RecordCount();
  int RecNo();
  // Moves to record number `value`; the base does nothing.
  virtual void SetRecNo(int value) { (void)value; }
  virtual bool IsSequenced();
  int RecordSize();

  // --- editing ---------------------------------------------------------------
  void Edit();
  void Insert();
  void Append();
  // Virtual so that subclasses can finish their own states (a key edit).
  virtual void Post();
  virtual void Cancel();
  void Delete();
  void Refresh();
  void InsertRecord(const std::vector<rtl::Variant>& values);
  void AppendRecord(const std::vector<rtl::Variant>& values);
  bool CanModify();
  // Sends the update-record notice so that data-aware controls store what
  // they hold; the dataset must be in a write state.
  void UpdateRecord();
  // Posts or cancels a pending edit (post when modified) and the set-key
  // state; raises when the dataset is closed.
  void CheckBrowseMode();
  void Resync(TResyncModes mode);
  void CursorPosChanged() { current_record_ = -1; }
  void UpdateCursorPos();
  bool AutoCalcFields() const { return auto_calc_fields_; }
  void SetAutoCalcFields(bool value) { auto_calc_fields_ = value; }

  // --- data links ------------------------------------------------------------
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disable_count_ != 0; }
  // True when `source` leads, through the data sources of datasets, back to
  // this dataset.
  bool IsLinkedTo(TDataSource* source) const;
  // Raises "Circular datalinks are not allowed" (name prefix) when `source`
  // leads back to this dataset.
  void CheckCircularLink(TDataSource* source) const;
  virtual TDataSource* DataSource() const { return nullptr; }
  virtual void GetDetailLinkFields(std::vector<TField*>& master, std::vector<TField*>& detail);
  int BufferCount() const { return buffer_count_; }
  int ActiveRecord() const { return active_record_; }
  // Number of filled buffers in the ring.
  int BufferedRecordCount() const { return record_count_; }

  // --- bookmarks -------------------------------------------------------------
  TBookmark Bookmark();
  void SetBookmark(const TBookmark& bookmark) { GotoBookmark(bookmark); }
  TBookmark GetBookmark() { return Bookmark(); }
  void GotoBookmark(const TBookmark& bookmark);
  virtual bool BookmarkValid(const TBookmark& bookmark);
  virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b);

  // --- filters and search ----------------------------------------------------
  const std::string& Filter() const { return filter_text_; }
  void SetFilter(const std::string& text) { SetFilterText(text); }
  bool Filtered() const { return filtered_; }
  TFilterOptions FilterOptions() const { return filter_options_; }
  const TFilterRecordEvent& OnFilterRecord() const { return on_filter_record_; }
  // Virtual setters below (SetFiltered, SetFilterOptions, SetOnFilterRecord).
  bool FindFirst();
  bool FindLast();
  bool FindNext();
  bool FindPrior();
  bool Found() const { return found_; }
  virtual bool Locate(const std::string& key_fields, const rtl::Variant& key_values,
                      TLocateOptions options);
  virtual rtl::Variant Lookup(const std::string& key_fields, const rtl::Variant& key_values,
                              const std::string& result_fields);

  // --- cached updates, blobs, block reading ----------------------------------
  bool CachedUpdates() const { return cached_updates_; }
  virtual void SetCachedUpdates(bool value);
  virtual TUpdateStatus UpdateStatus();
  virtual std::unique_ptr<rtl::TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);
  // The whole blob value of field `field_no` of the current record; returns
  // its size.
  virtual int GetBlobFieldData(int field_no, std::string& buffer);
  int BlockReadSize() const { return block_read_size_; }
  virtual void SetBlockReadSize(int size);
  // Fills the active buffer with the current record of the cursor; false
  // when there is none.
  virtual bool GetCurrentRecord(TRecordBuffer buffer);
  // Converts text between the client and the cursor's code page; returns
  // the length written to `dest` (zero-terminated).
  virtual int Translate(const char* src, char* dest, bool to_oem);

  // --- field values (called by the field objects) ---------------------------
  virtual bool GetFieldData(TField& field, void* buffer);
  virtual bool GetFieldData(int field_no, void* buffer);
  virtual void SetFieldData(TField& field, const void* buffer);
  virtual rtl::Variant GetStateFieldValue(TDataSetState state, TField& field);
  virtual void SetStateFieldValue(TDataSetState state, TField& field, const rtl::Variant& value);
  virtual std::string GetFieldFullName(const TField& field) const;
  virtual bool GetIsIndexField(const TField& field);
  virtual void CloseBlob(TField& field);

  // --- provider support ------------------------------------------------------
  virtual int PSExecuteStatement(const std::string& sql, TParams* params,
                                 std::unique_ptr<TDataSet>* result_set);
  virtual char PSGetQuoteChar() { return '"'; }
  virtual std::unique_ptr<EUpdateError> PSGetUpdateException(const std::exception& error,
                                                             const EUpdateError* prior);
  virtual bool PSInTransaction() { return false; }
  virtual bool PSIsSQLBased() { return false; }
  virtual bool PSIsSQLSupported() { return false; }
  virtual void PSReset() {}
  virtual void PSStartTransaction() {}
  virtual void PSEndTransaction(bool commit) { (void)commit; }
  virtual TParams* PSGetParams() { return nullptr; }
  virtual void PSSetParams(const TParams& params) { (void)params; }
  virtual void PSSetCommandText(const std::string& text) { (void)text; }
  virtual std::string PSGetTableName() { return {}; }
  virtual std::string PSGetKeyFields();
  virtual std::string PSGetDefaultOrder() { return {}; }
  virtual void PSExecute() {}
  virtual TIndexDefs* PSGetIndexDefs() { return nullptr; }
  // Attribute name=value pairs the provider hands to its clients.
  virtual void PSGetAttributes(std::vector<std::pair<std::string, rtl::Variant>>& list) {
    (void)list;
  }

  // --- events ----------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh, OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

  // Virtual setters of the filter properties (subclasses hand the values to
  // their cursor and call the base to store them).
  virtual void SetFilterText(const std::string& text);
  virtual void SetFiltered(bool value);
  virtual void SetFilterOptions(TFilterOptions options);
  virtual void SetOnFilterRecord(TFilterRecordEvent handler);

  // Rebuilds the field definitions: from the open cursor, or by opening it
  // for information only.
  virtual void InitFieldDefs();

 protected:
  friend class TField;
  friend class TFields;
  friend class TFieldDefs;
  friend class TDataSource;
  friend class TDataLink;

  // --- record buffers --------------------------------------------------------
  TRecordBuffer ActiveBuffer() const;
  TRecordBuffer CalcBuffer() const { return calc_buffer_; }
  // The spare buffer after the filled ones.
  TRecordBuffer TempBuffer() const;
  // The two steps of Lookup a descendant may replace: finding the record
  // without moving to it (true when found), and the buffer that then holds
  // its values (the spare buffer after a scan).
  virtual bool LocateForLookup(const std::string& key_fields, const rtl::Variant& key_values);
  virtual TRecordBuffer LookupBuffer() { return TempBuffer(); }
  TRecordBuffer Buffers(int index) const { return buffers_.at(index).get(); }
  int CurrentRecord() const { return current_record_; }
  void SetBufferCount(int count);
  // Frees every record buffer and allocates the ring again at its size (for
  // a record layout that changed); the ring is empty afterwards and the
  // caller resynchronises.
  void RebuildBuffers();
  void UpdateBufferCount();
  void ClearBuffers();
  void ActivateBuffers();
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void SetCurrentRecord(int index);
  void MoveBuffer(int from, int to);

  // --- state -----------------------------------------------------------------
  void SetState(TDataSetState state);
  // Temporary states (calc-fields, filter, old-value ...) around one read.
  TDataSetState SetTempState(TDataSetState state);
  void RestoreState(TDataSetState state);
  void CheckActive() const;
  void CheckInactive() const;
  void CheckCanModify();
  void CheckRequiredFields();
  bool InternalOpenComplete() const { return internal_open_complete_; }
  void SetBof(bool value) { bof_ = value; }
  void SetEof(bool value) { eof_ = value; }
  void SetFound(bool value) { found_ = value; }

  // The record being filtered, shown in filter state: subclasses read field
  // values from it while the framework or their cursor tests a record.
  TRecordBuffer FilterBuffer() const { return filter_buffer_; }
  // For the life of this guard the fields read `buffer` in state dsFilter,
  // as a filter reads them; the state and filter buffer before come back at
  // its end.
  class TFilterScope {
   public:
    TFilterScope(TDataSet& dataset, TRecordBuffer buffer)
        : dataset_(dataset),
          state_(dataset.SetTempState(dsFilter)),
          buffer_(dataset.filter_buffer_) {
      dataset.filter_buffer_ = buffer;
    }
    ~TFilterScope() {
      dataset_.filter_buffer_ = buffer_;
      dataset_.RestoreState(state_);
    }
    TFilterScope(const TFilterScope&) = delete;
    TFilterScope& operator=(const TFilterScope&) = delete;

   private:
    TDataSet& dataset_;
    TDataSetState state_;
    TRecordBuffer buffer_;
  };
  // Tests the record in `buffer` against `expr` (may be null) and, when
  // `use_handler`, OnFilterRecord, in filter state. An exception from the
  // handler is shown and the accept flag kept as it was.
  bool RecordMatchesFilter(TRecordBuffer buffer, const TFilterExpr* expr, bool use_handler);

  // --- fields ----------------------------------------------------------------
  void CreateFields();
  void DestroyFields();
  void BindFields(bool binding);
  // Computes the calculated and lookup fields of `buffer` in calc-fields
  // state.
  void GetCalcFields(TRecordBuffer buffer);
  virtual void CalculateFields(TRecordBuffer buffer);
  virtual void ClearCalcFields(TRecordBuffer buffer) { (void)buffer; }
  void SetFieldDefsUpdated(bool value) { field_defs_.SetUpdated(value); }

  // --- events ----------------------------------------------------------------
  void DoBeforeScroll();
  void DoAfterScroll();
  virtual void DoOnNewRecord();
  virtual void DataEvent(TDataEvent event, std::intptr_t info);
  void FieldChanged(TField& field) {
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(&field));
  }
  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

  // --- the cursor interface subclasses implement ----------------------------
  virtual std::unique_ptr<char[]> AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(std::unique_ptr<char[]>& buffer) { buffer.reset(); }
  virtual void GetBookmarkData(TRecordBuffer buffer, TBookmark& data) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
  virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
  virtual void SetBookmarkData(TRecordBuffer buffer, const TBookmark& data) = 0;
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) = 0;
  virtual int GetRecordSize() = 0;
  virtual void InternalAddRecord(TRecordBuffer buffer, bool append) = 0;
  virtual void InternalClose() = 0;
  virtual void InternalDelete() = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalGotoBookmark(const TBookmark& bookmark) = 0;
  virtual void InternalHandleException();
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
  virtual void InternalLast() = 0;
  virtual void InternalOpen() = 0;
  // The base checks the required fields.
  virtual void InternalPost();
  virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
  virtual bool IsCursorOpen() const = 0;

  virtual void InternalCancel() {}
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalRefresh() {}
  virtual void InitRecord(TRecordBuffer buffer);
  virtual void OpenCursor(bool info_query);
  virtual void CloseCursor();
  virtual bool GetCanModify() { return true; }
  virtual int GetRecordCount() { return -1; }
  virtual int GetRecNo() { return -1; }
  virtual void BlockReadNext();
  virtual bool FindRecord(bool restart, bool go_forward);
  virtual void DefChanged() {}
  virtual void UpdateIndexDefs() {}

 private:
  friend class TIndexDefs;
  // First and Last: the buffers filled again by `fill` from one end.
  template <typename Fill>
  void ScrollToEnd(bool& at_end, Fill&& fill);
  void DoInternalOpen();
  void OpenCursorComplete();
  void BeginInsertAppend();
  void EndInsertAppend();
  void CheckOperation(const std::function<void()>& operation,
                      const TDataSetErrorEvent& error_event);
  bool ScanFor(const std::function<bool(TRecordBuffer)>& match, bool restart, bool forward,
               bool from_current);
  void InternalInsertRecord(const std::vector<rtl::Variant>& values, bool append);
  void FreeFieldBuffers();
  void SetBufListSize(int size);
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);
  void CalcLookupValue(TField& field);
  bool ScanLocate(const std::vector<TField*>& fields, const rtl::Variant& values,
                  TLocateOptions options, bool move);
  static void Fire(const TDataSetNotifyEvent& event, TDataSet& dataset) {
    if (event) event(dataset);
  }

  TDataSetState state_ = dsInactive;
  TDataSetState disable_state_ = dsInactive;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool found_ = false;
  bool default_fields_ = false;
  bool internal_open_complete_ = false;
  bool auto_calc_fields_ = true;
  bool cached_updates_ = false;
  bool streamed_active_ = false;
  bool internal_calc_fields_ = false;
  int disable_count_ = 0;
  TDataEvent enable_event_ = deDataSetChange;
  TFieldDefs field_defs_;
  TFields fields_;
  std::vector<std::unique_ptr<char[]>> buffers_;
  int buffer_count_ = 0;
  int record_count_ = 0;
  int active_record_ = 0;
  int current_record_ = -1;
  TRecordBuffer calc_buffer_ = nullptr;
  TRecordBuffer filter_buffer_ = nullptr;
  int calc_fields_size_ = 0;
  int blob_field_count_ = 0;
  int block_read_size_ = 0;
  std::string filter_text_;
  bool filtered_ = false;
  TFilterOptions filter_options_;
  TFilterRecordEvent on_filter_record_;
  std::vector<TDataSource*> data_sources_;
};

}  // namespace db
