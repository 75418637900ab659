// INSERT, UPDATE and DELETE statements generated from record buffers, and
// finding the record again afterwards.
#include <cmath>
#include <cstring>

#include "EngineMonitor.h"
#include "RecordCodec.h"
#include "ValueRender.h"
#include "engine/EngineErrors.h"
#include "engine/NativeConnect.h"
#include "engine/NativeDataSet.h"
#include "rtl/SysUtils.h"
#include "wire/MysqlClient.h"

namespace engine {

std::string TNativeDataSet::TargetTable() {
  const std::int32_t version = connection_ ? connection_->ServerVersion() : 0;
  std::string name = statement_flag_ ? FindFromTable(statement_text_, version) : table_name_;
  return QuoteTableName(name, version);
}

std::string TNativeDataSet::FieldSqlName(const TmySQLField& field) {
  const std::int32_t version = connection_ ? connection_->ServerVersion() : 0;
  std::string name = field.FieldName();
  if (version >= kBackquoteVersion) name = "`" + name + "`";
  if (on_field_name_) on_field_name_(this, name);
  return name;
}

bool TNativeDataSet::FieldAllowed(const TmySQLField& field) {
  if (!on_field_check_) return true;
  const std::int32_t version = connection_ ? connection_->ServerVersion() : 0;
  std::string name = field.FieldName();
  if (version >= kBackquoteVersion) name = "`" + name + "`";
  bool allow = true;
  on_field_check_(this, name, allow);
  return allow;
}

TmySQLIndex* TNativeDataSet::KeyIndex() {
  DiscoverIndexes();
  for (int i = 1; i <= indexes_.Count(); ++i)
    if (indexes_.Index(i)->Primary()) return indexes_.Index(i);
  for (int i = 1; i <= indexes_.Count(); ++i)
    if (indexes_.Index(i)->Unique()) return indexes_.Index(i);
  return nullptr;
}

std::string TNativeDataSet::ValueLiteral(int field_no, const std::uint8_t* buffer,
                                         bool for_insert) {
  TmySQLField& f = Fields().Field(field_no);
  if (f.FieldType() == fldBLOB) {
    std::string* stream = BlobStream(buffer, f);
    if (!stream || stream->empty()) return "''";
    if (stream->size() > f.NativeSize())
      throw EmySQLException(connection_, "Data size exceeds maximum blob field size");
    return "'" + wire::EscapeString(*stream, NoBackslashEscapes(connection_)) + "'";
  }
  return RenderValue(f, TRecordCodec::Value(buffer, f), true, for_insert,
                     NoBackslashEscapes(connection_));
}

std::string TNativeDataSet::ValueText(int field_no, const std::uint8_t* buffer) {
  TmySQLField& f = Fields().Field(field_no);
  if (f.FieldType() == fldBLOB) return std::string();
  return RenderValue(f, TRecordCodec::Value(buffer, f), false, false, false);
}

std::string TNativeDataSet::WhereConditions(const std::uint8_t* buffer, TmySQLIndex* key_index) {
  std::vector<int> numbers;
  if (key_index) {
    for (int i = 0; i < key_index->FldsInKey() && i < 16; ++i)
      if (key_index->KeyField(i) > 0) numbers.push_back(key_index->KeyField(i));
  } else {
    for (int k = 1; k <= FieldCount(); ++k) {
      const TmySQLField& f = fields_[k - 1];
      if (f.FieldType() != fldBLOB && !f.IsCalculated()) numbers.push_back(k);
    }
  }
  std::string conditions;
  for (int k : numbers) {
    TmySQLField& f = Fields().Field(k);
    if (!FieldAllowed(f)) continue;
    std::string name = FieldSqlName(f);
    std::string condition;
    if (TRecordCodec::IsNull(buffer, f)) {
      const wire::TMysqlColumn* col = result_ ? result_->Column(k - 1) : nullptr;
      bool not_null = col ? (col->flags & NOT_NULL_FLAG) != 0 : f.IsRequired();
      condition = name + (not_null ? "=''" : " IS NULL");
    } else {
      condition = name + "=" + ValueLiteral(k, buffer, false);
    }
    if (!conditions.empty()) conditions += " AND ";
    conditions += condition;
  }
  return conditions;
}

std::string TNativeDataSet::BuildInsert(const std::uint8_t* buffer) {
  std::string columns, values;
  for (int k = 1; k <= FieldCount(); ++k) {
    TmySQLField& f = fields_[k - 1];
    if (TRecordCodec::NullFlagged(buffer, f) || !FieldAllowed(f)) continue;
    columns += FieldSqlName(f) + ", ";
    values += ValueLiteral(k, buffer, true) + ", ";
  }
  if (columns.size() >= 2) columns.resize(columns.size() - 2);
  if (values.size() >= 2) values.resize(values.size() - 2);
  if (columns.empty() || values.empty()) return std::string();
  return "INSERT INTO " + TargetTable() + " (" + columns + ") VALUES (" + values + ")";
}

std::string TNativeDataSet::BuildUpdate(const std::uint8_t* old_buffer,
                                        const std::uint8_t* new_buffer) {
  std::string conditions = WhereConditions(old_buffer, KeyIndex());
  std::string where = conditions.empty() ? std::string() : " WHERE " + conditions;
  std::string set;
  for (int k = 1; k <= FieldCount(); ++k) {
    TmySQLField& f = fields_[k - 1];
    if (!TRecordCodec::Changed(new_buffer, f) || !FieldAllowed(f)) continue;
    if (TRecordCodec::NullFlagged(new_buffer, f))
      set += FieldSqlName(f) + "=NULL, ";
    else
      set += FieldSqlName(f) + "=" + ValueLiteral(k, new_buffer, false) + ", ";
  }
  if (set.size() >= 2) set.resize(set.size() - 2);
  if (set.empty()) return std::string();
  return "UPDATE " + TargetTable() + " SET " + rtl::Trim(set) + where;
}

std::string TNativeDataSet::BuildDelete(const std::uint8_t* buffer) {
  std::string conditions = WhereConditions(buffer, KeyIndex());
  if (conditions.empty()) return std::string();
  return "DELETE FROM " + TargetTable() + " WHERE " + conditions;
}

namespace {

// Sends a modification statement; false with the client's error left.
bool SendModification(TNativeConnect* connection, const std::string& sql) {
  bool ok = false;
  connection->Client().Query(sql, true, ok).reset();
  return ok;
}

}  // namespace

void TNativeDataSet::InsertRecord(int, const std::uint8_t* buffer) {
  current_buffer_ = nullptr;
  if (read_only_) throw EmySQLException(DBIERR_TABLEREADONLY);
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  TmySQLIndex* key = KeyIndex();
  const std::string sql = BuildInsert(buffer);
  if (!sql.empty()) {
    if (!connection_) throw EmySQLException(DBIERR_INVALIDHNDL);
    if (!SendModification(connection_, sql)) {
      no_refresh_ = false;
      throw EmySQLException(connection_);
    }
    affected_rows_ = static_cast<std::int32_t>(connection_->Client().AffectedRows());
    last_insert_id_ = static_cast<std::int64_t>(connection_->Client().InsertId());
    position_state_ = TPositionState::AfterModification;
    if (!no_refresh_) {
      try {
        const bool flag = statement_flag_;
        Reexecute();
        statement_flag_ = flag;
        position_state_ = TPositionState::OnRecord;
        if (!LocateRecord(buffer, key)) {
          MoveLast();
        }
      } catch (const EmySQLException&) {
        // The change is on the server; a refresh that fails keeps the old result.
      } catch (const rtl::Exception&) {
        // Likewise for a value that does not convert while finding the record.
      }
    }
  }
  record_locked_ = false;
}

void TNativeDataSet::ModifyRecord(const std::uint8_t* old_buffer, const std::uint8_t* new_buffer) {
  current_buffer_ = nullptr;
  if (read_only_) throw EmySQLException(DBIERR_TABLEREADONLY);
  if (!old_buffer || !new_buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  TmySQLIndex* key = KeyIndex();
  const std::string sql = BuildUpdate(old_buffer, new_buffer);
  if (!sql.empty()) {
    if (!connection_) throw EmySQLException(DBIERR_INVALIDHNDL);
    const bool ok = SendModification(connection_, sql);
    if (ok) affected_rows_ = static_cast<std::int32_t>(connection_->Client().AffectedRows());
    MonitorExecuteText(connection_, sql, ok);
    if (!ok) {
      no_refresh_ = false;
      throw EmySQLException(connection_);
    }
    if (!no_refresh_ && affected_rows_ > 0) {
      const std::int64_t saved = position_;
      const TPositionState state = position_state_;
      last_insert_id_ = 0;
      try {
        const bool flag = statement_flag_;
        Reexecute();
        statement_flag_ = flag;
        if (!LocateRecord(new_buffer, key)) SetToRecordNumber(static_cast<int>(saved + 1));
      } catch (const EmySQLException&) {
        // The change is on the server; a refresh that fails keeps the old result.
      } catch (const rtl::Exception&) {
        // Likewise for a value that does not convert while finding the record.
      }
      position_state_ = state;
    }
  }
  record_locked_ = false;
}

void TNativeDataSet::DeleteRecord(const std::uint8_t* buffer) {
  if (read_only_) throw EmySQLException(DBIERR_TABLEREADONLY);
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  const std::string sql = BuildDelete(buffer);
  if (!sql.empty()) {
    if (!connection_) throw EmySQLException(DBIERR_INVALIDHNDL);
    if (!SendModification(connection_, sql)) throw EmySQLException(connection_);
    affected_rows_ = static_cast<std::int32_t>(connection_->Client().AffectedRows());
    position_state_ = TPositionState::AfterModification;
    if (!no_refresh_) {
      std::int64_t saved = position_;
      try {
        Reexecute();
        if (saved > RowCount() - 1) saved = RowCount() - 1;
        position_state_ = TPositionState::OnRecord;
        MoveToRow(saved);
        AfterMove(false);
      } catch (const EmySQLException&) {
        // The change is on the server; a refresh that fails keeps the old result.
      } catch (const rtl::Exception&) {
        // Likewise for a value that does not convert while finding the record.
      }
    }
  }
  record_locked_ = false;
}

std::string TNativeDataSet::KeyFieldText(const TmySQLField& field, const std::uint8_t* buffer) {
  if (field.FieldType() == fldBLOB) return std::string();
  return RenderValue(field, TRecordCodec::Value(buffer, field), false, false, false);
}

bool TNativeDataSet::LocateRecord(const std::uint8_t* buffer, TmySQLIndex* key_index) {
  std::vector<int> columns;
  std::vector<std::string> texts;
  const bool auto_id = last_insert_id_ > 0;
  if (statement_flag_ || !key_index) {
    for (int k = 1; k <= FieldCount(); ++k) {
      const TmySQLField& f = fields_[k - 1];
      if (f.FieldType() == fldBLOB || f.IsCalculated() || TRecordCodec::IsNull(buffer, f) ||
          f.NativeType() == MYSQL_TYPE_TIMESTAMP)
        continue;
      columns.push_back(k - 1);
      texts.push_back(f.FieldSubType() == fldstAUTOINC && auto_id ? std::to_string(last_insert_id_)
                                                                  : KeyFieldText(f, buffer));
    }
  } else {
    for (int i = 0; i < key_index->FldsInKey() && i < 16; ++i) {
      int k = key_index->KeyField(i);
      if (k <= 0) continue;
      const TmySQLField& f = fields_[k - 1];
      std::string text = TRecordCodec::IsNull(buffer, f) ? std::string() : KeyFieldText(f, buffer);
      if (text.empty() && f.FieldSubType() == fldstAUTOINC && auto_id)
        text = std::to_string(last_insert_id_);
      columns.push_back(k - 1);
      texts.push_back(text);
    }
  }
  std::int64_t row = FindRow(columns, texts);
  if (row < 0) return false;
  MoveToRow(row);
  AfterMove(false);
  return true;
}

}  // namespace engine
