// TCursorDescriptors: what a cursor knows about the shape of its result.
//
// It owns the field descriptors of the result's columns (built on first
// need from the column definitions, with DESCRIBE for what they leave out:
// enumeration members, defaults, old servers' bit widths), the adjusted
// server type of each column, the record's data size, and the table's
// indexes found once with SHOW INDEX. It assumes its cursor's current result
// is the one described: the fields stay as first built for the life of the
// cursor, as the components keep the layout they were given. Owned by one
// TNativeDataSet, which it reads for its result, connection, table and the
// statement name of a field; called by that cursor's parts and, through the
// cursor, by the engine. Failures raise EmySQLException. One thread at a
// time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Descriptors.h"

namespace engine {

class TNativeDataSet;

class TCursorDescriptors {
 public:
  explicit TCursorDescriptors(TNativeDataSet& cursor) : cursor_(cursor), fields_(this) {}
  TCursorDescriptors(const TCursorDescriptors&) = delete;
  TCursorDescriptors& operator=(const TCursorDescriptors&) = delete;

  // The fields, described from the result when not yet.
  TmySQLFields& Fields();
  int FieldCount() { return Fields().Count(); }
  std::uint32_t DataSize();
  std::uint32_t RecordSize();
  int FieldNumberByName(const std::string& name) { return Fields().FieldNumberByName(name); }
  // Describes every column of the result anew.
  void BuildFields();
  // Finds the table's indexes with SHOW INDEX (once).
  void DiscoverIndexes();
  // Server type of result column n (0-based) after the type adjustments.
  int ColumnType(int column) const;
  // The index that identifies a row: the primary one, else the first
  // unique one; null when the table has neither.
  TmySQLIndex* KeyIndex();
  // Number of the primary index (0 when none found).
  int PrimaryIndex() const { return primary_index_; }
  void SetPrimaryIndex(int index_no) { primary_index_ = index_no; }

  // As described and found so far, without describing or finding more.
  TmySQLFields& Described() { return fields_; }
  const TmySQLFields& Described() const { return fields_; }
  TmySQLIndexes& Found() { return indexes_; }
  const std::vector<int>& ColumnTypes() const { return column_types_; }

 private:
  // Describes column n of the result (1-based) and keeps its adjusted type.
  std::unique_ptr<TmySQLField> DescribeColumn(int n);

  TNativeDataSet& cursor_;
  TmySQLFields fields_;
  TmySQLIndexes indexes_;
  // The adjusted server type per described column.
  std::vector<int> column_types_;
  std::int64_t data_size_ = -1;
  int primary_index_ = 0;
};

}  // namespace engine
