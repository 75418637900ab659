// TmySQLTable: direct, editable access to one table by name.
//
// The engine opens a table cursor that selects the whole table, ordered by
// the chosen index (IndexName, or the index whose fields IndexFieldNames
// lists) and cut by Limit and Offset; edits go back through the engine's
// generated UPDATE, INSERT and DELETE. On top of the dataset core the table
// adds key ranges (edited in set-key state), master/detail linking by
// ranges, field and index definitions read while closed, and a lookup cursor
// on a matching index for Locate and Lookup.
//
// Ownership: the table owns its index definitions, master link and lookup
// cursor. One thread at a time.
#pragma once

#include <string>
#include <vector>

#include "components/MySQLDataSet.h"
#include "db/DataSource.h"
#include "db/FieldDefs.h"

namespace components {

class TmySQLTable : public TmySQLDataSet {
 public:
  explicit TmySQLTable(db::TComponent* owner = nullptr);
  ~TmySQLTable() override;

  const std::string& TableName() const { return table_name_; }
  void SetTableName(const std::string& value);
  // The one of IndexName / IndexFieldNames not in use reads as empty.
  std::string IndexName() const { return field_names_in_use_ ? std::string() : index_value_; }
  void SetIndexName(const std::string& value) { SetIndex(value, false); }
  std::string IndexFieldNames() const { return field_names_in_use_ ? index_value_ : std::string(); }
  void SetIndexFieldNames(const std::string& value) { SetIndex(value, true); }
  bool DefaultIndex() const { return default_index_; }
  void SetDefaultIndex(bool value) { default_index_ = value; }
  int Limit() const { return limit_; }
  void SetLimit(int value) { limit_ = value; }
  int Offset() const { return offset_; }
  void SetOffset(int value) { offset_ = value; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  db::TDataSource* MasterSource() const { return master_link_.DataSource(); }
  void SetMasterSource(db::TDataSource* value);
  const std::string& MasterFields() const { return master_link_.FieldNames(); }
  void SetMasterFields(const std::string& value) { master_link_.SetFieldNames(value); }
  db::TDataSource* DataSource() const override { return master_link_.DataSource(); }
  db::TIndexDefs& IndexDefs() { return index_defs_; }
  bool StoreDefs() const { return store_defs_; }
  void SetStoreDefs(bool value) { store_defs_ = value; }

  // True when open, else whether the server has the table.
  bool Exists();

  // Ranges: the key buffers are edited in set-key state through the index
  // fields; Post keeps the edit, Cancel restores the saved copy.
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  void ApplyRange();
  void CancelRange();
  void SetRange(const std::vector<rtl::Variant>& start_values,
                const std::vector<rtl::Variant>& end_values);
  // Key fields of the current index, by position.
  int IndexFieldCount() const { return static_cast<int>(key_field_nos_.size()); }
  db::TField& IndexFields(int index);
  // Whether the range-start / range-end edit excludes the key itself.
  void SetKeyExclusive(bool value);

  void InitFieldDefs() override;
  engine::TmySQLEngine& Engine() override;
  void GetDetailLinkFields(std::vector<db::TField*>& master,
                           std::vector<db::TField*>& detail) override;

  // Provider support.
  std::string PSGetTableName() override { return table_name_; }
  db::TIndexDefs* PSGetIndexDefs() override { return &index_defs_; }
  void PSSetCommandText(const std::string& text) override;
  std::string PSGetKeyFields() override;
  std::string PSGetDefaultOrder() override;
  void PSSetParams(const db::TParams& params) override;

 protected:
  engine::TNativeDataSet* CreateCursorHandle(bool want_cursor) override;
  void DestroyCursorHandle() override;
  void DropLookupCursor() override;
  void ReleaseLookupCursor(engine::TNativeDataSet* cursor) override;
  engine::TNativeDataSet* LookupCursor(const std::string& key_fields,
                                       bool case_insensitive) override;
  void AfterOpenHook() override;
  void PostKeyBuffer(bool commit) override;
  bool GetCanModify() override;
  void DataEvent(db::TDataEvent event, std::intptr_t info) override;
  void DefChanged() override { store_defs_ = true; }
  void DoOnNewRecord() override;
  void UpdateIndexDefs() override;

 private:
  void SetIndex(const std::string& value, bool field_names);
  std::string WorkOutIndexName(const std::string& value, bool field_names);
  void SetKeyBuffer(TKeyIndex index, bool clear);
  void CopyKeyBuffer(TKeyIndex from, TKeyIndex to);
  bool KeyBuffersEqual(TKeyIndex a, TKeyIndex b);
  void ResetCursorRange();
  void SetLinkRanges(const std::vector<db::TField*>& master_fields);
  void MasterChanged();
  void MasterDisabled();

  db::TIndexDefs index_defs_;
  db::TMasterDataLink master_link_;
  engine::TNativeDataSet* lookup_cursor_ = nullptr;
  std::string lookup_fields_;
  bool lookup_case_ = false;
  bool lookup_remembered_ = false;
  int limit_ = -1;
  int offset_ = 0;
  std::string table_name_;
  std::string index_value_;
  bool field_names_in_use_ = false;
  bool default_index_ = true;
  bool read_only_ = false;
  bool exclusive_ = false;
  bool store_defs_ = false;
};

}  // namespace components
