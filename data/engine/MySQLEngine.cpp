#include "engine/MySQLEngine.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "rtl/SysUtils.h"
#include "wire/CodePages.h"

namespace engine {

namespace {

std::atomic<int> g_server_code_page{0};
std::mutex g_to_native_lock;
std::mutex g_to_ansi_lock;

// What wire::Convert does to each byte between two code pages, taken from it
// once per thread and pair: the conversion decides byte by byte, so the
// table gives the same text without searching the code-page tables for
// every character of every value.
struct ByteMap {
  int from = -1;
  int to = -1;
  bool identity = false;
  unsigned char map[256] = {};
};

void ConvertText(const char* source, char* destination, size_t count, int from, int to) {
  thread_local ByteMap m;
  if (m.from != from || m.to != to) {
    m.identity = true;
    for (int b = 0; b < 256; ++b) {
      const char in = static_cast<char>(b);
      char out = in;
      wire::Convert(&in, &out, 1, from, to);
      m.map[b] = static_cast<unsigned char>(out);
      if (m.map[b] != b) m.identity = false;
    }
    m.from = from;
    m.to = to;
  }
  if (source != destination) std::memcpy(destination, source, count);
  if (m.identity) return;
  // Like wire::Convert, the conversion ends at the first zero byte.
  for (size_t i = 0; i < count; ++i) {
    const auto b = static_cast<unsigned char>(destination[i]);
    if (b == 0) break;
    destination[i] = static_cast<char>(m.map[b]);
  }
}

}  // namespace

void SetServerCodePage(int identifier) {
  g_server_code_page = identifier;
}
int ServerCodePage() {
  return g_server_code_page;
}
int ClientCodePage() {
  return wire::WorkstationCodePage();
}

TmySQLEngine::TmySQLEngine() : current_handle_(this) {}

// Runs an operation body: an EmySQLException becomes the result code and the
// engine's last-error fields; anything else passes through.
template <typename Body>
DBIResult TmySQLEngine::Guard(Body&& body) {
  try {
    body();
    return DBIERR_NONE;
  } catch (const EmySQLException& e) {
    DBIResult code;
    if (e.EngineCodeGiven()) {
      code = e.EngineCode();
    } else {
      last_native_error_ = e.NativeError();
      code = DBIERR_NATIVE;
    }
    last_error_message_ = e.Message();
    return code;
  }
}

void TmySQLEngine::Validate(const void* handle) {
  current_handle_ = handle;
  if (!handle) throw EmySQLException(DBIERR_INVALIDHNDL);
}

// An operation on a handle: the body runs as above once the handle is
// validated.
template <typename Body>
DBIResult TmySQLEngine::Guard(const void* handle, Body&& body) {
  return Guard([&] {
    Validate(handle);
    body();
  });
}

// --- connections -------------------------------------------------------------------

DBIResult TmySQLEngine::OpenDatabase(TConnectOptions options,
                                     const std::vector<std::string>& params,
                                     TNativeConnect*& connection) {
  return Guard([&] {
    auto conn = std::make_unique<TNativeConnect>(options);
    conn->Client().SetThreadSafe(multi_threaded_);
    conn->SetSslKey(ssl_key_);
    conn->SetSslCert(ssl_cert_);
    conn->Client().SetTlsOptions(tls_options_);
    conn->Client().SetOldPasswords(old_passwords_);
    conn->ReadParams(params);
    conn->Connect();
    connection = conn.release();
    current_handle_ = connection;
  });
}

DBIResult TmySQLEngine::CloseDatabase(TNativeConnect*& connection) {
  return Guard(connection, [&] {
    std::unique_ptr<TNativeConnect> owned(connection);
    connection = nullptr;
    current_handle_ = nullptr;
  });
}

DBIResult TmySQLEngine::OpenTable(TNativeConnect* connection, const std::string& table_name,
                                  const std::string& index_name, int row_limit, int row_offset,
                                  TNativeDataSet*& cursor, bool, bool, int, bool) {
  return Guard(connection, [&] {
    connection->Connect();
    auto made =
        std::make_unique<TNativeDataSet>(connection, table_name, index_name, row_limit, row_offset);
    made->Open();
    cursor = made.release();
  });
}

// --- navigation ---------------------------------------------------------------------

DBIResult TmySQLEngine::GetNextRecord(TNativeDataSet* cursor, int lock, RecordProperties* props,
                                      std::uint8_t* buffer) {
  return Guard(cursor, [&] { cursor->GetNextRecord(lock, props, buffer); });
}

DBIResult TmySQLEngine::SetToBookmark(TNativeDataSet* cursor, const std::uint8_t* bookmark) {
  return Guard(cursor, [&] { cursor->SetToBookmark(bookmark); });
}

DBIResult TmySQLEngine::CompareBookmarks(TNativeDataSet* cursor, const std::uint8_t* bookmark1,
                                         const std::uint8_t* bookmark2, int& comparison) {
  return Guard(cursor, [&] { comparison = cursor->CompareBookmarks(bookmark1, bookmark2); });
}

DBIResult TmySQLEngine::GetRecord(TNativeDataSet* cursor, int lock, RecordProperties* props,
                                  std::uint8_t* buffer) {
  return Guard(cursor, [&] { cursor->GetRecord(lock, props, buffer); });
}

DBIResult TmySQLEngine::GetPriorRecord(TNativeDataSet* cursor, int lock, RecordProperties* props,
                                       std::uint8_t* buffer) {
  DBIResult r = Guard(cursor, [&] { cursor->GetPriorRecord(lock, props, buffer); });
  return r == DBIERR_EOF ? static_cast<DBIResult>(DBIERR_BOF) : r;
}

DBIResult TmySQLEngine::GetBookmark(TNativeDataSet* cursor, std::uint8_t* bookmark) {
  return Guard(cursor, [&] { cursor->GetBookmark(bookmark); });
}

DBIResult TmySQLEngine::GetRecordCount(TNativeDataSet* cursor, int& count) {
  return Guard(cursor, [&] { count = cursor->GetRecordCount(); });
}

DBIResult TmySQLEngine::ForceReread(TNativeDataSet* cursor) {
  return Guard(cursor, [&] { cursor->ForceReread(); });
}

DBIResult TmySQLEngine::ForceRecordReread(TNativeDataSet* cursor, std::uint8_t* buffer) {
  return Guard(cursor, [&] { cursor->ForceRecordReread(buffer); });
}

DBIResult TmySQLEngine::GetField(TNativeDataSet* cursor, int field_no, const std::uint8_t* buffer,
                                 void* value, bool& is_null) {
  return Guard(cursor, [&] { cursor->GetField(field_no, buffer, value, is_null); });
}

DBIResult TmySQLEngine::CloseCursor(TNativeDataSet*& cursor) {
  return Guard(cursor, [&] {
    std::unique_ptr<TNativeDataSet> owned(cursor);
    cursor = nullptr;
  });
}

DBIResult TmySQLEngine::PutField(TNativeDataSet* cursor, int field_no, std::uint8_t* buffer,
                                 const void* value) {
  return Guard(cursor, [&] { cursor->PutField(field_no, buffer, value); });
}

// --- blobs -----------------------------------------------------------------------------

DBIResult TmySQLEngine::OpenBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no, int) {
  return Guard(cursor, [&] { cursor->OpenBlob(buffer, field_no); });
}

DBIResult TmySQLEngine::GetBlobSize(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no,
                                    std::uint32_t& size) {
  return Guard(cursor, [&] { size = cursor->GetBlobSize(buffer, field_no); });
}

DBIResult TmySQLEngine::GetBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no,
                                std::uint32_t offset, std::int32_t length, void* destination,
                                std::uint32_t& read) {
  return Guard(cursor,
               [&] { read = cursor->GetBlob(buffer, field_no, offset, length, destination); });
}

DBIResult TmySQLEngine::PutBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no,
                                std::uint32_t offset, std::int32_t length, const void* source) {
  return Guard(cursor, [&] { cursor->PutBlob(buffer, field_no, offset, length, source); });
}

DBIResult TmySQLEngine::TruncateBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no,
                                     std::uint32_t length) {
  return Guard(cursor, [&] { cursor->TruncateBlob(buffer, field_no, length); });
}

DBIResult TmySQLEngine::FreeBlob(TNativeDataSet* cursor, std::uint8_t* buffer, int field_no) {
  return Guard(cursor, [&] { cursor->FreeBlob(buffer, field_no); });
}

// --- transactions -------------------------------------------------------------------------

DBIResult TmySQLEngine::BeginTransaction(TNativeConnect* connection, int isolation_level,
                                         TNativeConnect*& transaction) {
  return Guard(connection, [&] {
    if (connection->InTransaction()) return;
    transaction = connection;
    connection->BeginTransaction(isolation_level);
  });
}

DBIResult TmySQLEngine::EndTransaction(TNativeConnect* connection, TNativeConnect*, int end_mode) {
  return Guard(connection, [&] { connection->EndTransaction(end_mode); });
}

DBIResult TmySQLEngine::GetTransactionInfo(TNativeConnect* connection, TNativeConnect*,
                                           TransactionInfo& info) {
  return Guard(connection, [&] {
    info.eXState = connection->InTransaction() ? 1 : 0;
    info.eXIL = connection->IsolationLevel();
  });
}

// --- properties and descriptors ----------------------------------------------------------------

DBIResult TmySQLEngine::GetProperty(TNativeDataSet* object, std::uint32_t property_id, void* value,
                                    std::uint32_t size, std::uint32_t& length) {
  if (!object) return DBIERR_INVALIDPARAM;
  return Guard([&] { object->GetProperty(property_id, value, size, length); });
}

DBIResult TmySQLEngine::SetProperty(TNativeDataSet* object, std::uint32_t property_id,
                                    std::int64_t value) {
  if (!object) return DBIERR_INVALIDPARAM;
  return Guard([&] { object->SetProperty(property_id, value); });
}

DBIResult TmySQLEngine::GetValidityDescriptor(TNativeDataSet* cursor, int field_no,
                                              ValidityDescriptor& descriptor) {
  return Guard(cursor, [&] { cursor->GetValidityDescriptor(field_no, descriptor); });
}

DBIResult TmySQLEngine::GetCursorProperties(TNativeDataSet* cursor, CursorProperties& props) {
  return Guard(cursor, [&] { cursor->GetCursorProperties(props); });
}

DBIResult TmySQLEngine::GetFieldDescriptors(TNativeDataSet* cursor, FieldDescriptor* descriptors) {
  return Guard(cursor, [&] { cursor->GetFieldDescriptors(descriptors); });
}

DBIResult TmySQLEngine::SetToBegin(TNativeDataSet* cursor) {
  if (cursor) cursor->SetToBegin();
  return DBIERR_NONE;
}

DBIResult TmySQLEngine::SetToEnd(TNativeDataSet* cursor) {
  if (cursor) cursor->SetToEnd();
  return DBIERR_NONE;
}

DBIResult TmySQLEngine::ReleaseRecordLock(TNativeDataSet* cursor, bool) {
  return Guard(cursor, [&] { cursor->ReleaseRecordLock(); });
}

DBIResult TmySQLEngine::InitRecord(TNativeDataSet* cursor, std::uint8_t* buffer) {
  return Guard(cursor, [&] { cursor->InitRecord(buffer); });
}

// --- modifications ---------------------------------------------------------------------------

DBIResult TmySQLEngine::InsertRecord(TNativeDataSet* cursor, int lock, std::uint8_t* buffer) {
  return Guard(cursor, [&] { cursor->InsertRecord(lock, buffer); });
}

DBIResult TmySQLEngine::AppendRecord(TNativeDataSet* cursor, std::uint8_t* buffer) {
  return InsertRecord(cursor, 0, buffer);
}

DBIResult TmySQLEngine::ModifyRecord(TNativeDataSet* cursor, std::uint8_t* old_buffer,
                                     std::uint8_t* new_buffer) {
  return Guard(cursor, [&] { cursor->ModifyRecord(old_buffer, new_buffer); });
}

DBIResult TmySQLEngine::DeleteRecord(TNativeDataSet* cursor, std::uint8_t* buffer) {
  return Guard(cursor, [&] { cursor->DeleteRecord(buffer); });
}

DBIResult TmySQLEngine::SetToRecordNumber(TNativeDataSet* cursor, int record_number) {
  return Guard(cursor, [&] { cursor->SetToRecordNumber(record_number); });
}

// --- filters ----------------------------------------------------------------------------------

DBIResult TmySQLEngine::AddFilter(TNativeDataSet* cursor, void* dataset,
                                  const db::TFilterExpr* expression, TFilterCallback callback,
                                  TmySQLFilter*& filter) {
  return Guard(cursor,
               [&] { filter = cursor->AddFilter(dataset, expression, std::move(callback)); });
}

DBIResult TmySQLEngine::DropFilter(TNativeDataSet* cursor, TmySQLFilter* filter) {
  return Guard(cursor, [&] { cursor->DropFilter(filter); });
}

DBIResult TmySQLEngine::ActivateFilter(TNativeDataSet* cursor, TmySQLFilter* filter) {
  return Guard(cursor, [&] { cursor->ActivateFilter(filter); });
}

DBIResult TmySQLEngine::DeactivateFilter(TNativeDataSet* cursor, TmySQLFilter* filter) {
  return Guard(cursor, [&] { cursor->DeactivateFilter(filter); });
}

// --- character conversion ------------------------------------------------------------------------

DBIResult TmySQLEngine::AnsiToNative(char* destination, const char* source, int length) {
  if (length > 0)
    ConvertText(source, destination, static_cast<size_t>(length), ClientCodePage(),
                connection_code_page_);
  return DBIERR_NONE;
}

DBIResult TmySQLEngine::NativeToAnsi(char* destination, const char* source, int length) {
  if (length > 0)
    ConvertText(source, destination, static_cast<size_t>(length), connection_code_page_,
                ClientCodePage());
  return DBIERR_NONE;
}

// --- statements --------------------------------------------------------------------------------

DBIResult TmySQLEngine::ExecuteDirect(TNativeConnect* connection, const std::string& sql,
                                      std::uint64_t* affected_rows) {
  return Guard(connection, [&] {
    std::uint64_t affected = 0;
    if (connection->ExecuteDirect(sql, affected) && affected_rows) *affected_rows = affected;
  });
}

DBIResult TmySQLEngine::AllocateStatement(TNativeConnect* connection, TNativeDataSet*& cursor) {
  return Guard(connection, [&] { cursor = new TNativeDataSet(connection); });
}

DBIResult TmySQLEngine::PrepareStatement(TNativeDataSet* cursor, const std::string& sql) {
  return Guard(cursor, [&] { cursor->PrepareStatement(sql); });
}

DBIResult TmySQLEngine::ExecuteStatement(TNativeDataSet* cursor, TNativeDataSet** result) {
  return Guard(cursor, [&] {
    if (!result) {
      cursor->ExecuteCommand();
      return;
    }
    *result = nullptr;
    cursor->Open();
    if (cursor->IsOpen()) *result = cursor;
  });
}

DBIResult TmySQLEngine::FreeStatement(TNativeDataSet*& cursor) {
  DBIResult r = CloseCursor(cursor);
  cursor = nullptr;
  return r;
}

DBIResult TmySQLEngine::SetStatementParameters(TNativeDataSet* cursor,
                                               const std::vector<TEngineParam>& params,
                                               const std::string& sql) {
  return Guard(cursor, [&] { cursor->SetStatementParameters(params, sql); });
}

DBIResult TmySQLEngine::GetServerCharacterSet(TNativeConnect* connection, int& code_page) {
  return Guard(connection, [&] { code_page = connection->GetServerCharacterSet(); });
}

namespace {

// The registered table cursor of `connection` on `table_name`, or null.
TNativeDataSet* FindTableCursor(TNativeConnect* connection, const std::string& table_name) {
  try {
    const std::string name = table_name.substr(0, 260);
    const auto& items = connection->OpenCursors().Items();
    if (items.empty()) throw EmySQLException(DBIERR_INVALIDPARAM);
    for (TNativeDataSet* c : items)
      if (rtl::SameText(c->TableName(), name)) return c;
    throw EmySQLException(DBIERR_NOSUCHTABLE, name);
  } catch (const EmySQLException&) {
    return nullptr;
  }
}

// Runs `use` on an open cursor over `table_name`: the connection's own open
// table cursor when there is one, else a temporary one opened for the call.
template <typename Use>
void WithTableCursor(TNativeConnect* connection, const std::string& table_name, Use&& use) {
  if (TNativeDataSet* found = FindTableCursor(connection, table_name)) {
    use(found);
    return;
  }
  connection->Connect();
  auto temp = std::make_unique<TNativeDataSet>(connection, table_name, std::string(), -1, 0);
  temp->Open();
  use(temp.get());
}

}  // namespace

DBIResult TmySQLEngine::OpenFieldList(TNativeConnect* connection, const std::string& table_name,
                                      TNativeDataSet*& list) {
  return Guard(connection, [&] {
    std::vector<FieldDescriptor> items;
    auto collect = [&](TNativeDataSet* c) {
      items.resize(static_cast<size_t>(c->FieldCount()));
      if (!items.empty()) c->GetFieldDescriptors(items.data());
    };
    WithTableCursor(connection, table_name, collect);
    list = new TFieldList(connection, std::move(items));
  });
}

DBIResult TmySQLEngine::OpenIndexList(TNativeConnect* connection, const std::string& table_name,
                                      TNativeDataSet*& list) {
  return Guard(connection, [&] {
    std::vector<IndexDescriptor> items;
    auto collect = [&](TNativeDataSet* c) {
      CursorProperties props;
      c->GetCursorProperties(props);
      items.resize(props.iIndexes);
      if (!items.empty()) c->GetIndexDescriptors(items.data());
    };
    WithTableCursor(connection, table_name, collect);
    list = new TIndexList(connection, std::move(items));
  });
}

// --- indexes and keys
// -------------------------------------------------------------------------------

DBIResult TmySQLEngine::SetRange(TNativeDataSet* cursor, bool key_itself, int field_count1,
                                 int key_length1, const std::uint8_t* key1, bool inclusive1,
                                 int field_count2, int key_length2, const std::uint8_t* key2,
                                 bool inclusive2) {
  return Guard(cursor, [&] {
    cursor->SetRange(key_itself, field_count1, key_length1, key1, inclusive1, field_count2,
                     key_length2, key2, inclusive2);
  });
}

DBIResult TmySQLEngine::ResetRange(TNativeDataSet* cursor) {
  return Guard(cursor, [&] { cursor->ResetRange(); });
}

DBIResult TmySQLEngine::SwitchToIndex(TNativeDataSet* cursor, const char* index_name,
                                      const char* tag_name, int index_no, bool) {
  return Guard(cursor, [&] { cursor->SwitchToIndex(index_name, tag_name, index_no); });
}

DBIResult TmySQLEngine::ExtractKey(TNativeDataSet* cursor, const std::uint8_t* buffer,
                                   std::uint8_t* key) {
  return Guard(cursor, [&] { cursor->ExtractKey(buffer, key); });
}

DBIResult TmySQLEngine::GetRecordForKey(TNativeDataSet* cursor, bool key_itself, int field_count,
                                        int key_length, const std::uint8_t* key,
                                        std::uint8_t* buffer) {
  return Guard(cursor,
               [&] { cursor->GetRecordForKey(key_itself, field_count, key_length, key, buffer); });
}

DBIResult TmySQLEngine::GetIndexDescriptor(TNativeDataSet* cursor, int index_no,
                                           IndexDescriptor& descriptor) {
  return Guard(cursor, [&] { cursor->GetIndexDescriptor(index_no, descriptor); });
}

DBIResult TmySQLEngine::GetIndexDescriptors(TNativeDataSet* cursor, IndexDescriptor* descriptors) {
  return Guard(cursor, [&] { cursor->GetIndexDescriptors(descriptors); });
}

DBIResult TmySQLEngine::CheckTableExists(TNativeConnect* connection,
                                         const std::string& table_name) {
  return Guard(connection, [&] { connection->CheckTableExists(table_name); });
}

DBIResult TmySQLEngine::CloneCursor(TNativeDataSet* cursor, bool, bool, TNativeDataSet*& clone) {
  return Guard(cursor, [&] { clone = cursor->CloneCursor(); });
}

DBIResult TmySQLEngine::SetToCursor(TNativeDataSet* target, TNativeDataSet* source) {
  return Guard(target, [&] {
    Validate(source);
    target->SetToCursor(source);
  });
}

DBIResult TmySQLEngine::ReadBlock(TNativeDataSet* cursor, int& count, std::uint8_t* buffer) {
  return Guard(cursor, [&] { cursor->ReadBlock(count, buffer); });
}

DBIResult TmySQLEngine::ReleaseRecordBuffer(TNativeDataSet* cursor, std::uint8_t* buffer) {
  if (cursor) cursor->ReleaseRecordBuffer(buffer);
  return DBIERR_NONE;
}

// --- convenience
// ---------------------------------------------------------------------------------------

void TmySQLEngine::AnsiToNativeBuf(const char* source, char* destination, int length) {
  if (length < 1) return;
  std::lock_guard<std::mutex> lock(g_to_native_lock);
  AnsiToNative(destination, source, length);
}

void TmySQLEngine::NativeToAnsiBuf(const char* source, char* destination, int length) {
  if (length < 1) return;
  std::lock_guard<std::mutex> lock(g_to_ansi_lock);
  NativeToAnsi(destination, source, length);
}

char* TmySQLEngine::AnsiToNativeText(const std::string& text, char* destination, int length) {
  int n = std::min<int>(static_cast<int>(text.size()), length);
  if (n > 0) AnsiToNativeBuf(text.data(), destination, n);
  destination[n < 0 ? 0 : n] = 0;
  return destination;
}

std::string TmySQLEngine::NativeToAnsiText(const char* text) {
  if (!text) return std::string();
  std::string out(std::strlen(text), '\0');
  NativeToAnsiBuf(text, out.data(), static_cast<int>(out.size()));
  return out;
}

std::string TmySQLEngine::ErrorMessageFor(DBIResult code) const {
  if (!last_error_message_.empty() && last_native_error_ > 0)
    return rtl::Format("MySQL Error Code: (%s)", std::to_string(last_native_error_).c_str()) +
           "\r\n" + last_error_message_;
  return rtl::Format("DBI Error Code: (%s)\r\n%s \r\n%s", std::to_string(code).c_str(),
                     last_error_message_.c_str(), ResultCodeDescription(code).c_str());
}

void TmySQLEngine::RaiseError(DBIResult code) {
  const bool native = !last_error_message_.empty() && last_native_error_ > 0;
  throw EmySQLDatabaseError(ErrorMessageFor(code), code, native ? last_native_error_ : 0);
}

void TmySQLEngine::Check(std::uint32_t code) {
  if (code & 0xFFFF) RaiseError(static_cast<DBIResult>(code & 0xFFFF));
}

std::int32_t TmySQLEngine::GetIntProperty(TNativeDataSet* object, std::uint32_t property_id) {
  std::int32_t value = 0;
  std::uint32_t length = 0;
  if (GetProperty(object, property_id, &value, sizeof value, length) != DBIERR_NONE) return 0;
  return value;
}

bool TmySQLEngine::SetBoolProperty(TNativeDataSet* object, std::uint32_t property_id,
                                   std::int64_t value) {
  return SetProperty(object, property_id, std::llabs(value)) == DBIERR_NONE;
}

}  // namespace engine
