// Inserting, modifying and deleting records, and finding the record again
// afterwards.
#include "EngineMonitor.h"
#include "RecordCodec.h"
#include "StatementBuilder.h"
#include "engine/EngineErrors.h"
#include "engine/NativeConnect.h"
#include "engine/NativeDataSet.h"
#include "rtl/SysUtils.h"
#include "wire/MysqlClient.h"

namespace engine {

std::string TNativeDataSet::BuildInsert(const std::uint8_t* buffer) {
  return TStatementBuilder(*this).Insert(buffer);
}

std::string TNativeDataSet::BuildUpdate(const std::uint8_t* old_buffer,
                                        const std::uint8_t* new_buffer) {
  return TStatementBuilder(*this).Update(old_buffer, new_buffer);
}

std::string TNativeDataSet::BuildDelete(const std::uint8_t* buffer) {
  return TStatementBuilder(*this).Delete(buffer);
}

std::string TNativeDataSet::ValueLiteral(int field_no, const std::uint8_t* buffer,
                                         bool for_insert) {
  return TStatementBuilder(*this).Literal(field_no, buffer, for_insert);
}

std::string TNativeDataSet::ValueText(int field_no, const std::uint8_t* buffer) {
  return TStatementBuilder::Text(Fields().Field(field_no), buffer);
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
  nav_.SetBuffer(nullptr);
  if (read_only_) throw EmySQLException(DBIERR_TABLEREADONLY);
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  TmySQLIndex* key = descriptors_.KeyIndex();
  const std::string sql = BuildInsert(buffer);
  if (!sql.empty()) {
    if (!connection_) throw EmySQLException(DBIERR_INVALIDHNDL);
    if (!SendModification(connection_, sql)) {
      no_refresh_ = false;
      throw EmySQLException(connection_);
    }
    affected_rows_ = static_cast<std::int32_t>(connection_->Client().AffectedRows());
    last_insert_id_ = static_cast<std::int64_t>(connection_->Client().InsertId());
    nav_.SetState(TPositionState::AfterModification);
    if (!no_refresh_) {
      try {
        const bool flag = statement_flag_;
        Reexecute();
        statement_flag_ = flag;
        nav_.SetState(TPositionState::OnRecord);
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
  nav_.ReleaseLock();
}

void TNativeDataSet::ModifyRecord(const std::uint8_t* old_buffer, const std::uint8_t* new_buffer) {
  nav_.SetBuffer(nullptr);
  if (read_only_) throw EmySQLException(DBIERR_TABLEREADONLY);
  if (!old_buffer || !new_buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  TmySQLIndex* key = descriptors_.KeyIndex();
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
      const std::int64_t saved = nav_.Position();
      const TPositionState state = nav_.State();
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
      nav_.SetState(state);
    }
  }
  nav_.ReleaseLock();
}

void TNativeDataSet::DeleteRecord(const std::uint8_t* buffer) {
  if (read_only_) throw EmySQLException(DBIERR_TABLEREADONLY);
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  const std::string sql = BuildDelete(buffer);
  if (!sql.empty()) {
    if (!connection_) throw EmySQLException(DBIERR_INVALIDHNDL);
    if (!SendModification(connection_, sql)) throw EmySQLException(connection_);
    affected_rows_ = static_cast<std::int32_t>(connection_->Client().AffectedRows());
    nav_.SetState(TPositionState::AfterModification);
    if (!no_refresh_) {
      std::int64_t saved = nav_.Position();
      try {
        Reexecute();
        if (saved > RowCount() - 1) saved = RowCount() - 1;
        nav_.SetState(TPositionState::OnRecord);
        MoveToRow(saved);
        AfterMove(false);
      } catch (const EmySQLException&) {
        // The change is on the server; a refresh that fails keeps the old result.
      } catch (const rtl::Exception&) {
        // Likewise for a value that does not convert while finding the record.
      }
    }
  }
  nav_.ReleaseLock();
}

bool TNativeDataSet::LocateRecord(const std::uint8_t* buffer, TmySQLIndex* key_index) {
  std::vector<int> columns;
  std::vector<std::string> texts;
  const bool auto_id = last_insert_id_ > 0;
  if (statement_flag_ || !key_index) {
    for (int k = 1; k <= FieldCount(); ++k) {
      const TmySQLField& f = descriptors_.Described()[k - 1];
      if (f.FieldType() == fldBLOB || f.IsCalculated() || TRecordCodec::IsNull(buffer, f) ||
          f.NativeType() == MYSQL_TYPE_TIMESTAMP)
        continue;
      columns.push_back(k - 1);
      texts.push_back(f.FieldSubType() == fldstAUTOINC && auto_id
                          ? std::to_string(last_insert_id_)
                          : TStatementBuilder::Text(f, buffer));
    }
  } else {
    for (int i = 0; i < key_index->FldsInKey() && i < 16; ++i) {
      int k = key_index->KeyField(i);
      if (k <= 0) continue;
      const TmySQLField& f = descriptors_.Described()[k - 1];
      std::string text =
          TRecordCodec::IsNull(buffer, f) ? std::string() : TStatementBuilder::Text(f, buffer);
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
