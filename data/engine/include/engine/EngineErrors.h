// The exception classes of the data-access stack and the engine-internal
// failure.
//
// EMySQLAccessError and its descendants are public: the components raise
// EmySQLDatabaseError (built by TmySQLEngine::RaiseError) for every failed
// engine operation. EmySQLException never leaves an engine operation: the
// engine's failure handler turns it into a result code and the engine's
// last-error fields. All are plain values owning their message.
#pragma once

#include <cstdint>
#include <string>

#include "db/DBError.h"
#include "engine/EngineTypes.h"
#include "rtl/SysUtils.h"

namespace engine {

class TNativeConnect;

class EMySQLAccessError : public db::EDatabaseError {
 public:
  using db::EDatabaseError::EDatabaseError;
};

class EmySQLDatabaseError : public EMySQLAccessError {
 public:
  EmySQLDatabaseError(const std::string& message, DBIResult error_code, std::int32_t native_error)
      : EMySQLAccessError(message), error_code_(error_code), native_error_(native_error) {}

  DBIResult ErrorCode() const { return error_code_; }
  std::int32_t NativeError() const { return native_error_; }

 private:
  DBIResult error_code_;
  std::int32_t native_error_;
};

// A statement produced no result set to open as a cursor.
class ENoResultSet : public EMySQLAccessError {
 public:
  explicit ENoResultSet(int result_set_no);
  int ResultSetNo() const { return result_set_no_; }

 private:
  int result_set_no_;
};

class EMySQLMonitorError : public EMySQLAccessError {
 public:
  using EMySQLAccessError::EMySQLAccessError;
};

// Internal failure of an engine operation. Four ways of being made:
// an engine code; an engine code and a text; a connection (its client's last
// error); a connection and a text (engine code 1001, the text as message).
class EmySQLException : public rtl::EAbort {
 public:
  explicit EmySQLException(DBIResult engine_code);
  EmySQLException(DBIResult engine_code, const std::string& text);
  explicit EmySQLException(const TNativeConnect* connection);
  EmySQLException(const TNativeConnect* connection, const std::string& text);

  const TNativeConnect* Connection() const { return connection_; }
  std::uint16_t NativeError() const { return native_error_; }
  DBIResult EngineCode() const { return engine_code_; }
  bool EngineCodeGiven() const { return engine_code_given_; }

 private:
  const TNativeConnect* connection_ = nullptr;
  std::uint16_t native_error_ = 0;
  DBIResult engine_code_ = 0;
  bool engine_code_given_ = false;
};

}  // namespace engine
