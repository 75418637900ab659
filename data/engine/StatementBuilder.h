// TStatementBuilder: the INSERT, UPDATE and DELETE texts a cursor's
// modifications send, and the literals and texts of field values in them.
//
// It writes from record buffers laid out by the cursor's descriptors: the
// target table (the cursor's table, or the table a statement cursor reads
// from), each field's statement name (backquoted on servers that take it,
// as the OnGetSQLFldName event leaves it; OnCheckSQLField may leave a field
// out), values escaped for the session's backslash mode, and WHERE
// conditions from the key index's fields or from all fields but blobs and
// calculated ones. It owns nothing and sends nothing: made on the spot by
// TNativeDataSet over itself, which keeps the events, the connection and the
// changed blob data it reads. Failures raise EmySQLException.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Descriptors.h"

namespace engine {

class TNativeDataSet;

class TStatementBuilder {
 public:
  explicit TStatementBuilder(TNativeDataSet& cursor) : cursor_(cursor) {}

  // The statements (empty: nothing to send).
  std::string Insert(const std::uint8_t* buffer);
  std::string Update(const std::uint8_t* old_buffer, const std::uint8_t* new_buffer);
  std::string Delete(const std::uint8_t* buffer);
  // A field's value in a buffer as INSERT (`for_insert`) and UPDATE write it.
  std::string Literal(int field_no, const std::uint8_t* buffer, bool for_insert);
  // The same without quotes, the text rows are compared with (empty for a
  // blob).
  static std::string Text(const TmySQLField& field, const std::uint8_t* buffer);

 private:
  // Table name for statements (backquoted as the server wants).
  std::string TargetTable();
  std::string SqlName(const TmySQLField& field);
  bool Allowed(const TmySQLField& field);
  // WHERE conditions from a buffer (key fields, or all fields without a key).
  std::string Conditions(const std::uint8_t* buffer, TmySQLIndex* key_index);

  TNativeDataSet& cursor_;
};

}  // namespace engine
