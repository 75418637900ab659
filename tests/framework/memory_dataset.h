// An in-memory dataset for the framework's tests: a cursor over a vector of
// rows, so that framework faults show without a server underneath.
//
// Columns are declared before opening; rows hold values in the native
// layouts (one has-value byte, then the value). The record buffer is the
// row, then the calculated-field area, then the record information (row id
// used as bookmark, 1-based record number, bookmark flag, update status).
// It filters with the framework's filter expressions and OnFilterRecord,
// follows a master through a TMasterDataLink (rows whose detail fields equal
// the master's fields), and logs the events it is given.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/DataSet.h"
#include "db/DataSource.h"
#include "db/FilterExpr.h"

namespace fwtest {

class MemoryDataSet : public db::TDataSet {
 public:
  explicit MemoryDataSet(db::TComponent* owner = nullptr);
  ~MemoryDataSet() override;

  void AddColumn(const std::string& name, db::TFieldType type, int size = 0, bool required = false,
                 bool read_only = false);
  // Appends a row of values (in column order) while closed or open.
  void AddRow(const std::vector<rtl::Variant>& values);
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // The stored value of a column of a row, as the cursor holds it.
  rtl::Variant Stored(int row, const std::string& column) const;

  void SetReadOnly(bool value) { read_only_ = value; }
  // The next post or delete fails with this message (once).
  void FailNextWrite(const std::string& message) { fail_message_ = message; }
  int PostCount() const { return post_count_; }

  // Master/detail: rows whose DetailFields equal the master's MasterFields.
  void SetMasterSource(db::TDataSource* source);
  void SetMasterFields(const std::string& names) { master_link_.SetFieldNames(names); }
  void SetDetailFields(const std::string& names) { detail_fields_ = names; }
  db::TDataSource* DataSource() const override { return master_link_.DataSource(); }
  int MasterChanges() const { return master_changes_; }

  // Records every framework event in order ("BeforeOpen", "AfterScroll"...).
  void LogEvents(std::vector<std::string>* log);

  std::unique_ptr<rtl::TStream> CreateBlobStream(db::TField& field,
                                                 db::TBlobStreamMode mode) override;

  using db::TDataSet::GetFieldData;
  bool GetFieldData(db::TField& field, void* buffer) override;
  void SetFieldData(db::TField& field, const void* buffer) override;
  bool IsSequenced() override { return !Filtered(); }
  void SetRecNo(int value) override;
  db::TUpdateStatus UpdateStatus() override;
  bool BookmarkValid(const db::TBookmark& bookmark) override;
  int CompareBookmarks(const db::TBookmark& a, const db::TBookmark& b) override;

  void SetFilterText(const std::string& text) override;
  void SetFiltered(bool value) override;
  void SetFilterOptions(db::TFilterOptions options) override;
  void SetOnFilterRecord(db::TFilterRecordEvent handler) override;

  // Exposed for ring tests.
  using db::TDataSet::BufferCount;

 protected:
  std::unique_ptr<char[]> AllocRecordBuffer() override;
  void GetBookmarkData(db::TRecordBuffer buffer, db::TBookmark& data) override;
  db::TBookmarkFlag GetBookmarkFlag(db::TRecordBuffer buffer) override;
  void SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) override;
  void SetBookmarkData(db::TRecordBuffer buffer, const db::TBookmark& data) override;
  db::TGetResult GetRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool do_check) override;
  int GetRecordSize() override { return record_size_; }
  void InternalAddRecord(db::TRecordBuffer buffer, bool append) override;
  void InternalClose() override;
  void InternalDelete() override;
  void InternalFirst() override { pos_ = -1; }
  void InternalGotoBookmark(const db::TBookmark& bookmark) override;
  void InternalInitFieldDefs() override;
  void InternalInitRecord(db::TRecordBuffer buffer) override;
  void InternalLast() override { pos_ = static_cast<int>(rows_.size()); }
  void InternalOpen() override;
  void InternalPost() override;
  void InternalSetToRecord(db::TRecordBuffer buffer) override;
  bool IsCursorOpen() const override { return cursor_open_; }
  void InternalEdit() override;
  void InternalInsert() override { CursorPosChanged(); }
  void InternalCancel() override;
  bool GetCanModify() override { return !read_only_; }
  int GetRecordCount() override;
  int GetRecNo() override;
  void ClearCalcFields(db::TRecordBuffer buffer) override;

 private:
  struct Column {
    std::string name;
    db::TFieldType type;
    int size;
    bool required;
    bool read_only;
    int offset = 0;     // of the has-value byte
    int data_size = 0;  // bytes after it
  };
  struct Row {
    int32_t id;
    std::string data;  // record_size_ bytes
    db::TUpdateStatus status = db::usUnmodified;
  };
  struct RecInfo {
    int32_t id;
    int32_t recno;
    uint8_t flag;
    uint8_t status;
  };

  void Layout();
  int InfoOffset() const { return (record_size_ + CalcFieldsSize() + 7) & ~7; }
  int BufferSize() const { return InfoOffset() + static_cast<int>(sizeof(RecInfo)); }
  RecInfo& Info(db::TRecordBuffer buffer) const;
  db::TRecordBuffer StateBuffer();
  bool Accept(int index);
  int IndexOfId(int32_t id) const;
  void Store(db::TRecordBuffer buffer, Row& row) const;
  void Reposition();
  void MasterChanged();
  void WriteValue(char* at, const Column& column, const rtl::Variant& value);
  rtl::Variant ReadValue(const char* at, const Column& column) const;
  void CheckFailure();
  friend class MemoryBlobStream;
  // A blob stream finished writing `data` into `record`.
  void BlobWritten(db::TField& field, char* record, const std::string& data);
  const std::string* BlobOf(const char* record, db::TField& field) const;

  std::vector<Column> columns_;
  std::vector<Row> rows_;
  std::vector<std::string> blobs_;  // blob values; records hold an index
  int record_size_ = 0;
  int next_id_ = 1;
  int pos_ = -1;
  bool cursor_open_ = false;
  bool read_only_ = false;
  std::string fail_message_;
  int post_count_ = 0;
  db::TFilterExpr expr_;
  std::string scratch_;     // the stored row shown in old-value state
  std::string filter_row_;  // the row being tested against the filter
  db::TMasterDataLink master_link_;
  std::string detail_fields_;
  std::vector<rtl::Variant> master_values_;
  bool master_range_ = false;
  int master_changes_ = 0;
};

}  // namespace fwtest
