// TmySQLEngine: the flat, procedural engine interface the data-access
// components call.
//
// Every operation takes plain handles (TNativeConnect*, TNativeDataSet*),
// buffers and numbers and answers with a 16-bit result code (0 = success).
// No EmySQLException ever leaves an operation: the failure handler turns it
// into the code and records its native error and message on the engine,
// where RaiseError/Check build the EmySQLDatabaseError the components raise.
// Other exceptions (conversion errors, out of memory) pass through.
//
// One engine per connection component; the component owns it. The engine
// owns nothing but its error state: connections are freed by CloseDatabase,
// cursors by CloseCursor/FreeStatement. One thread at a time per engine; the
// buffer conversions take a process-wide lock per direction.
//
// Naming in this layer: data members snake_case_ with the trailing
// underscore (row_count_), locals and parameters snake_case, functions and
// types in CamelCase.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/EngineErrors.h"
#include "engine/EngineTypes.h"
#include "engine/NativeConnect.h"
#include "engine/NativeDataSet.h"
#include "engine/SqlText.h"
#include "wire/MysqlTls.h"

namespace engine {

// Process-wide server code page: the code page of the connection that
// opened (or failed) last anywhere in the process. The conversions of an
// engine use its own connection's code page (ConnectionCodePage); this
// value is kept for callers that read it.
void SetServerCodePage(int identifier);
int ServerCodePage();
// Workstation code page identifier (Windows-1252).
int ClientCodePage();

class TmySQLEngine {
 public:
  TmySQLEngine();

  // --- connections ----------------------------------------------------------------
  DBIResult OpenDatabase(TConnectOptions options, const std::vector<std::string>& params,
                         TNativeConnect*& connection);
  DBIResult CloseDatabase(TNativeConnect*& connection);
  DBIResult OpenTable(TNativeConnect* connection, const std::string& table_name,
                      const std::string& index_name, int row_limit, int row_offset,
                      TNativeDataSet*& cursor, bool read_only = false, bool exclusive = false,
                      int open_mode = 0, bool default_index = true);

  // --- navigation -------------------------------------------------------------------
  DBIResult GetNextRecord(TNativeDataSet* cursor, int lock, RecordProperties* props,
                          std::uint8_t* buffer);
  DBIResult SetToBookmark(TNativeDataSet* cursor, const std::uint8_t* bookmark);
  DBIResult CompareBookmarks(TNativeDataSet* cursor, const std::uint8_t* bookmark1,
                             const std::uint8_t* bookmark2, int& comparison);
  DBIResult GetRecord(TNativeDataSet* cursor, int lock, RecordProperties* props,
                      std::uint8_t* buffer);
  DBIResult GetPriorRecord(TNativeDataSet* cursor, int lock, RecordProperties* props,
                           std::uint8_t* buffer);
  DBIResult GetBookmark(TNativeDataSet* cursor, std::uint8_t* bookmark);
  DBIResult GetRecordCount(TNativeDataSet* cursor, int& count);
  DBIResult ForceReread(TNativeDataSet* cursor);
  DBIResult ForceRecordReread(TNativeDataSet* cursor, std::uint8_t* buffer);
  DBIResult GetField(TNativeDataSet* cursor, int field_no, const std::uint8_t* buffer, void* value,
                     bool& is_null);
  DBIResult CloseCursor(TNativeDataSet*& cursor);
  DBIResult PutField(TNativeDataSet* cursor, int field_no, std::uint8_t* buffer, const void* value);

  // --- blobs ------------------------------------------------------------------------
  DBIResult OpenBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no, int open_mode = 0);
  DBIResult GetBlobSize(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no,
                        std::uint32_t& size);
  DBIResult GetBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no,
                    std::uint32_t offset, std::int32_t length, void* destination,
                    std::uint32_t& read);
  DBIResult PutBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no,
                    std::uint32_t offset, std::int32_t length, const void* source);
  DBIResult TruncateBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no,
                         std::uint32_t length);
  DBIResult FreeBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no);

  // --- transactions ------------------------------------------------------------------
  DBIResult BeginTransaction(TNativeConnect* connection, int isolation_level,
                             TNativeConnect*& transaction);
  DBIResult EndTransaction(TNativeConnect* connection, TNativeConnect* transaction, int end_mode);
  DBIResult GetTransactionInfo(TNativeConnect* connection, TNativeConnect* transaction,
                               TransactionInfo& info);

  // --- properties and descriptors ------------------------------------------------------
  DBIResult GetProperty(TNativeDataSet* object, std::uint32_t property_id, void* value,
                        std::uint32_t size, std::uint32_t& length);
  DBIResult SetProperty(TNativeDataSet* object, std::uint32_t property_id, std::int64_t value);
  DBIResult GetValidityDescriptor(TNativeDataSet* cursor, int field_no,
                                  ValidityDescriptor& descriptor);
  DBIResult GetCursorProperties(TNativeDataSet* cursor, CursorProperties& props);
  DBIResult GetFieldDescriptors(TNativeDataSet* cursor, FieldDescriptor* descriptors);
  DBIResult SetToBegin(TNativeDataSet* cursor);
  DBIResult SetToEnd(TNativeDataSet* cursor);
  DBIResult ReleaseRecordLock(TNativeDataSet* cursor, bool all = false);
  DBIResult InitRecord(TNativeDataSet* cursor, std::uint8_t* buffer);

  // --- modifications -------------------------------------------------------------------
  DBIResult InsertRecord(TNativeDataSet* cursor, int lock, std::uint8_t* buffer);
  DBIResult AppendRecord(TNativeDataSet* cursor, std::uint8_t* buffer);
  DBIResult ModifyRecord(TNativeDataSet* cursor, std::uint8_t* old_buffer,
                         std::uint8_t* new_buffer);
  DBIResult DeleteRecord(TNativeDataSet* cursor, std::uint8_t* buffer);
  DBIResult SetToRecordNumber(TNativeDataSet* cursor, int record_number);

  // --- filters ---------------------------------------------------------------------------
  DBIResult AddFilter(TNativeDataSet* cursor, void* dataset, const db::TFilterExpr* expression,
                      TFilterCallback callback, TmySQLFilter*& filter);
  DBIResult DropFilter(TNativeDataSet* cursor, TmySQLFilter* filter);
  DBIResult ActivateFilter(TNativeDataSet* cursor, TmySQLFilter* filter);
  DBIResult DeactivateFilter(TNativeDataSet* cursor, TmySQLFilter* filter);

  // --- character conversion -------------------------------------------------------------
  DBIResult AnsiToNative(char* destination, const char* source, int length);
  DBIResult NativeToAnsi(char* destination, const char* source, int length);

  // --- statements -----------------------------------------------------------------------
  DBIResult ExecuteDirect(TNativeConnect* connection, const std::string& sql,
                          std::uint64_t* affected_rows);
  DBIResult AllocateStatement(TNativeConnect* connection, TNativeDataSet*& cursor);
  DBIResult PrepareStatement(TNativeDataSet* cursor, const std::string& sql);
  // Without `result`: runs the statement as a command. With one: opens the
  // cursor and answers it when a result set came back, else null.
  DBIResult ExecuteStatement(TNativeDataSet* cursor, TNativeDataSet** result = nullptr);
  DBIResult FreeStatement(TNativeDataSet*& cursor);
  DBIResult SetStatementParameters(TNativeDataSet* cursor, const std::vector<TEngineParam>& params,
                                   const std::string& sql);
  DBIResult GetServerCharacterSet(TNativeConnect* connection, int& code_page);
  DBIResult OpenFieldList(TNativeConnect* connection, const std::string& table_name,
                          TNativeDataSet*& list);
  DBIResult OpenIndexList(TNativeConnect* connection, const std::string& table_name,
                          TNativeDataSet*& list);

  // --- indexes and keys -------------------------------------------------------------------
  DBIResult SetRange(TNativeDataSet* cursor, bool key_itself, int field_count1, int key_length1,
                     const std::uint8_t* key1, bool inclusive1, int field_count2, int key_length2,
                     const std::uint8_t* key2, bool inclusive2);
  DBIResult ResetRange(TNativeDataSet* cursor);
  DBIResult SwitchToIndex(TNativeDataSet* cursor, const char* index_name, const char* tag_name,
                          int index_no, bool current_record = false);
  DBIResult ExtractKey(TNativeDataSet* cursor, const std::uint8_t* buffer, std::uint8_t* key);
  DBIResult GetRecordForKey(TNativeDataSet* cursor, bool key_itself, int field_count,
                            int key_length, const std::uint8_t* key, std::uint8_t* buffer);
  DBIResult GetIndexDescriptor(TNativeDataSet* cursor, int index_no, IndexDescriptor& descriptor);
  DBIResult GetIndexDescriptors(TNativeDataSet* cursor, IndexDescriptor* descriptors);
  DBIResult CheckTableExists(TNativeConnect* connection, const std::string& table_name);
  DBIResult CloneCursor(TNativeDataSet* cursor, bool read_only, bool unique,
                        TNativeDataSet*& clone);
  DBIResult SetToCursor(TNativeDataSet* target, TNativeDataSet* source);
  DBIResult ReadBlock(TNativeDataSet* cursor, int& count, std::uint8_t* buffer);
  DBIResult ReleaseRecordBuffer(TNativeDataSet* cursor, std::uint8_t* buffer);

  // --- convenience (these may throw) --------------------------------------------------------
  void AnsiToNativeBuf(const char* source, char* destination, int length);
  void NativeToAnsiBuf(const char* source, char* destination, int length);
  char* AnsiToNativeText(const std::string& text, char* destination, int length);
  std::string NativeToAnsiText(const char* text);
  [[noreturn]] void RaiseError(DBIResult code);
  void Check(std::uint32_t code);
  std::int32_t GetIntProperty(TNativeDataSet* object, std::uint32_t property_id);
  bool SetBoolProperty(TNativeDataSet* object, std::uint32_t property_id, std::int64_t value);

  // --- engine state ----------------------------------------------------------------------------
  const void* CurrentHandle() const { return current_handle_; }
  std::int32_t LastNativeError() const { return last_native_error_; }
  const std::string& LastErrorMessage() const { return last_error_message_; }
  bool MultiThreaded() const { return multi_threaded_; }
  void SetMultiThreaded(bool value) { multi_threaded_ = value; }
  const std::string& SSLKey() const { return ssl_key_; }
  void SetSSLKey(const std::string& key) { ssl_key_ = key; }
  const std::string& SSLCert() const { return ssl_cert_; }
  void SetSSLCert(const std::string& cert) { ssl_cert_ = cert; }
  // Server code page of this engine's connection, the one AnsiToNative and
  // NativeToAnsi convert with (set by the connection component after every
  // connect, 0 while there is none).
  int ConnectionCodePage() const { return connection_code_page_; }
  void SetConnectionCodePage(int identifier) { connection_code_page_ = identifier; }
  // TLS and old-password settings handed to each connection opened here.
  const wire::TTlsOptions& TLSOptions() const { return tls_options_; }
  void SetTLSOptions(const wire::TTlsOptions& options) { tls_options_ = options; }
  bool OldPasswords() const { return old_passwords_; }
  void SetOldPasswords(bool value) { old_passwords_ = value; }

  // The message RaiseError would give for `code` in the current state.
  std::string ErrorMessageFor(DBIResult code) const;

 private:
  template <typename Body>
  DBIResult Guard(Body&& body);
  template <typename Body>
  DBIResult Guard(const void* handle, Body&& body);
  // Makes `handle` the current one; raises DBIERR_INVALIDHNDL when null.
  void Validate(const void* handle);

  const void* current_handle_;
  std::int32_t last_native_error_ = 0;
  std::string last_error_message_;
  bool multi_threaded_ = false;
  std::string ssl_key_;
  std::string ssl_cert_;
  int connection_code_page_ = 0;
  wire::TTlsOptions tls_options_;
  bool old_passwords_ = false;
};

}  // namespace engine
