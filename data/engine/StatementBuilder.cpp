// INSERT, UPDATE and DELETE texts from record buffers.
#include "StatementBuilder.h"

#include "RecordCodec.h"
#include "ValueRender.h"
#include "engine/EngineErrors.h"
#include "engine/NativeConnect.h"
#include "engine/NativeDataSet.h"
#include "engine/SqlText.h"
#include "rtl/SysUtils.h"
#include "wire/MysqlClient.h"

namespace engine {

namespace {

std::int32_t ServerVersion(const TNativeDataSet& cursor) {
  return cursor.Connection() ? cursor.Connection()->ServerVersion() : 0;
}

// The field's name, backquoted on servers that take backquotes.
std::string QuotedName(const TNativeDataSet& cursor, const TmySQLField& field) {
  std::string name = field.FieldName();
  if (ServerVersion(cursor) >= kBackquoteVersion) name = "`" + name + "`";
  return name;
}

// "a, b, " without its last separator.
std::string WithoutLastSeparator(std::string list) {
  if (list.size() >= 2) list.resize(list.size() - 2);
  return list;
}

}  // namespace

std::string TStatementBuilder::TargetTable() {
  const std::int32_t version = ServerVersion(cursor_);
  std::string name =
      cursor_.IsStatement() ? FindFromTable(cursor_.StatementText(), version) : cursor_.TableName();
  return QuoteTableName(name, version);
}

std::string TStatementBuilder::SqlName(const TmySQLField& field) {
  std::string name = QuotedName(cursor_, field);
  cursor_.NameForStatement(name);
  return name;
}

bool TStatementBuilder::Allowed(const TmySQLField& field) {
  if (!cursor_.on_field_check_) return true;
  bool allow = true;
  cursor_.on_field_check_(&cursor_, QuotedName(cursor_, field), allow);
  return allow;
}

std::string TStatementBuilder::Literal(int field_no, const std::uint8_t* buffer, bool for_insert) {
  TmySQLField& f = cursor_.Fields().Field(field_no);
  const bool no_backslash = NoBackslashEscapes(cursor_.Connection());
  if (f.FieldType() == fldBLOB) {
    std::string* stream = cursor_.BlobStream(buffer, f);
    if (!stream || stream->empty()) return "''";
    if (stream->size() > f.NativeSize())
      throw EmySQLException(cursor_.Connection(), "Data size exceeds maximum blob field size");
    return "'" + wire::EscapeString(*stream, no_backslash) + "'";
  }
  return RenderValue(f, TRecordCodec::Value(buffer, f), true, for_insert, no_backslash);
}

std::string TStatementBuilder::Text(const TmySQLField& field, const std::uint8_t* buffer) {
  if (field.FieldType() == fldBLOB) return std::string();
  return RenderValue(field, TRecordCodec::Value(buffer, field), false, false, false);
}

std::string TStatementBuilder::Conditions(const std::uint8_t* buffer, TmySQLIndex* key_index) {
  std::vector<int> numbers;
  if (key_index) {
    for (int i = 0; i < key_index->FldsInKey() && i < 16; ++i)
      if (key_index->KeyField(i) > 0) numbers.push_back(key_index->KeyField(i));
  } else {
    for (int k = 1; k <= cursor_.FieldCount(); ++k) {
      const TmySQLField& f = cursor_.Fields()[k - 1];
      if (f.FieldType() != fldBLOB && !f.IsCalculated()) numbers.push_back(k);
    }
  }
  const wire::TMysqlResult* result = cursor_.Result();
  std::string conditions;
  for (int k : numbers) {
    TmySQLField& f = cursor_.Fields().Field(k);
    if (!Allowed(f)) continue;
    std::string name = SqlName(f);
    std::string condition;
    if (TRecordCodec::IsNull(buffer, f)) {
      const wire::TMysqlColumn* col = result ? result->Column(k - 1) : nullptr;
      bool not_null = col ? (col->flags & NOT_NULL_FLAG) != 0 : f.IsRequired();
      condition = name + (not_null ? "=''" : " IS NULL");
    } else {
      condition = name + "=" + Literal(k, buffer, false);
    }
    if (!conditions.empty()) conditions += " AND ";
    conditions += condition;
  }
  return conditions;
}

std::string TStatementBuilder::Insert(const std::uint8_t* buffer) {
  std::string columns, values;
  for (int k = 1; k <= cursor_.FieldCount(); ++k) {
    const TmySQLField& f = cursor_.Fields()[k - 1];
    if (TRecordCodec::NullFlagged(buffer, f) || !Allowed(f)) continue;
    columns += SqlName(f) + ", ";
    values += Literal(k, buffer, true) + ", ";
  }
  columns = WithoutLastSeparator(columns);
  values = WithoutLastSeparator(values);
  if (columns.empty() || values.empty()) return std::string();
  return "INSERT INTO " + TargetTable() + " (" + columns + ") VALUES (" + values + ")";
}

std::string TStatementBuilder::Update(const std::uint8_t* old_buffer,
                                      const std::uint8_t* new_buffer) {
  std::string conditions = Conditions(old_buffer, cursor_.descriptors_.KeyIndex());
  std::string where = conditions.empty() ? std::string() : " WHERE " + conditions;
  std::string set;
  for (int k = 1; k <= cursor_.FieldCount(); ++k) {
    const TmySQLField& f = cursor_.Fields()[k - 1];
    if (!TRecordCodec::Changed(new_buffer, f) || !Allowed(f)) continue;
    if (TRecordCodec::NullFlagged(new_buffer, f))
      set += SqlName(f) + "=NULL, ";
    else
      set += SqlName(f) + "=" + Literal(k, new_buffer, false) + ", ";
  }
  set = WithoutLastSeparator(set);
  if (set.empty()) return std::string();
  return "UPDATE " + TargetTable() + " SET " + rtl::Trim(set) + where;
}

std::string TStatementBuilder::Delete(const std::uint8_t* buffer) {
  std::string conditions = Conditions(buffer, cursor_.descriptors_.KeyIndex());
  if (conditions.empty()) return std::string();
  return "DELETE FROM " + TargetTable() + " WHERE " + conditions;
}

}  // namespace engine
