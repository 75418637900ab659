#include "engine/NativeConnect.h"

#include "EngineMonitor.h"
#include "engine/EngineErrors.h"
#include "engine/NativeDataSet.h"
#include "engine/SqlText.h"
#include "rtl/SysUtils.h"
#include "wire/CodePages.h"

namespace engine {

// --- TContainer ---------------------------------------------------------------

TContainer::~TContainer() {
  Clear();
}

void TContainer::Add(TNativeDataSet* cursor) {
  if (cursor && !Contains(cursor)) items_.push_back(cursor);
}

bool TContainer::Contains(const TNativeDataSet* cursor) const {
  for (auto* c : items_)
    if (c == cursor) return true;
  return false;
}

void TContainer::Remove(const TNativeDataSet* cursor) {
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (*it == cursor) {
      items_.erase(it);
      return;
    }
  }
}

void TContainer::Clear() {
  // A cursor unregisters itself while it is destroyed, so take each out
  // first and free it afterwards.
  while (!items_.empty()) {
    TNativeDataSet* cursor = items_.back();
    items_.pop_back();
    delete cursor;  // the container owns registered cursors
  }
}

// --- TNativeConnect ---------------------------------------------------------------

TNativeConnect::TNativeConnect(TConnectOptions options)
    : client_(std::make_unique<wire::TMysqlClient>()), options_(options) {}

TNativeConnect::~TNativeConnect() {
  open_cursors_.Clear();
  client_.reset();
  if (connected_) {
    connected_ = false;
    MonitorDisconnect(*this);
  }
}

void TNativeConnect::ReadParams(const std::vector<std::string>& lines) {
  auto value = [&](const char* name, bool& present) {
    present = false;
    for (const auto& line : lines) {
      size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      if (rtl::SameText(line.substr(0, eq), name)) {
        present = true;
        return line.substr(eq + 1);
      }
    }
    return std::string();
  };
  bool present = false;
  user_ = value("UID", present);
  password_ = value("PWD", present);
  database_ = value("DatabaseName", present);
  port_ = rtl::StrToInt(value("Port", present));
  host_ = value("Host", present);
  if (host_.empty()) host_ = "localhost";
  std::string timeout = value("TIMEOUT", present);
  timeout_ = present && !timeout.empty() ? rtl::StrToInt(timeout) : 30;
  server_public_key_ = value("ServerPublicKey", present);
  get_server_public_key_ = value("GetServerPublicKey", present) == "1";
}

std::uint32_t TNativeConnect::OptionFlags(TConnectOptions options) {
  std::uint32_t flags = 0;
  if (options & ConnectOptionBit(coSSL)) flags |= 0x800;
  if (options & ConnectOptionBit(coCompress)) flags |= 0x20;
  if (options & ConnectOptionBit(coFoundRows)) flags |= 0x2;
  if (options & ConnectOptionBit(coIgnoreSpaces)) flags |= 0x100;
  if (options & ConnectOptionBit(coInteractive)) flags |= 0x400;
  if (options & ConnectOptionBit(coNoSchema)) flags |= 0x10;
  if (options & ConnectOptionBit(coODBC)) flags |= 0x40;
  return flags;
}

void TNativeConnect::Connect() {
  if (connected_) return;
  wire::TMysqlClient& c = *client_;
  c.SetConnectTimeout(timeout_);
  c.SetSslMode((options_ & ConnectOptionBit(coSSL)) != 0);
  c.SetSslKey(ssl_key_);
  c.SetSslCertificate(ssl_cert_);
  c.SetServerPublicKeyFile(server_public_key_);
  c.SetRequestServerPublicKey(get_server_public_key_);
  std::uint32_t flags = OptionFlags(options_);
  c.SetCompress((options_ & ConnectOptionBit(coCompress)) != 0);
  c.SetLocalFiles((options_ & ConnectOptionBit(coLocalFiles)) != 0);
  // OpenSSL is linked in, so the library is always available here.
  const bool multi = (options_ & ConnectOptionBit(coSingleStatements)) == 0;
  c.SetMultiStatements(multi);
  if (multi) flags |= wire::kMultiStatementFlags;
  c.ConnectToServer(host_, user_, password_, database_, port_, std::string(), false, flags);
  MonitorConnect(*this, c.ErrorNumber() == 0);
  if (c.ErrorNumber() != 0) throw EmySQLException(this, c.ErrorMessage());
  connected_ = true;
  server_version_ = ServerVersionNumber(c.ServerVersion());
}

void TNativeConnect::RaiseClientError() const {
  throw EmySQLException(this);
}

bool TNativeConnect::ExecuteDirect(const std::string& sql, std::uint64_t& affected_rows) {
  if (!connected_) return false;
  wire::TMysqlClient& c = *client_;
  bool ok = false;
  std::unique_ptr<wire::TMysqlResult> result = c.Query(sql, true, ok);
  result.reset();
  while (c.MoreResults()) {
    result = c.NextResult(true, ok);
    result.reset();
  }
  MonitorExecuteText(this, sql, ok);
  if (ok) affected_rows = c.AffectedRows();
  if (c.ErrorNumber() != 0) throw EmySQLException(this, c.ErrorMessage());
  return true;
}

namespace {

// The code page of "latin1" and the server's number of latin1_swedish_ci.
constexpr int kLatin1CodePage = 1;
constexpr std::uint8_t kLatin1CharsetNumber = 8;

// Second column of the first row, from the current one on, whose first
// column (lower-cased) is `name`.
std::string FindVariable(wire::TMysqlResult& result, const std::string& name) {
  while (!result.AtEnd() && result.CurrentRow() >= 0) {
    const char* key = result.Value(0);
    if (key && rtl::LowerCase(key) == name) {
      const char* value = result.Value(1);
      return value ? value : std::string();
    }
    result.Next();
  }
  return std::string();
}

}  // namespace

int TNativeConnect::GetServerCharacterSet() {
  wire::TMysqlClient& c = *client_;
  bool ok = false;
  std::unique_ptr<wire::TMysqlResult> result = c.Query("SHOW VARIABLES", true, ok);
  if (!result) {
    if (c.ErrorNumber() != 0) throw EmySQLException(this, c.ErrorMessage());
    return 0;
  }
  const bool modern = server_version_ >= 40101;
  result->First();
  std::string database_set =
      FindVariable(*result, modern ? "character_set_database" : "character_set");
  if (modern) {
    result->First();
    std::string server_set = FindVariable(*result, "character_set_server");
    if (!rtl::SameText(database_set, server_set)) {
      bool ignored = false;
      c.Query(rtl::Format("SET CHARACTER SET %s", database_set.c_str()), true, ignored);
    }
  }
  result.reset();
  int code_page = wire::ServerCodePage(database_set);
  if (modern && code_page == 0) {
    // A character set with no code page of ours (utf8mb4, utf8, ucs2...):
    // the session speaks latin1, which is the server's name for
    // Windows-1252, and the server converts to and from its columns; what
    // Windows-1252 cannot hold arrives as the server's '?'.
    bool ok_names = false;
    c.Query("SET NAMES latin1", true, ok_names);
    if (ok_names) code_page = kLatin1CodePage;
  }
  // A reconnect of the client would lose the statements above; logging in
  // with latin1 keeps the session in it.
  if (modern && code_page == kLatin1CodePage) c.SetLoginCharset(kLatin1CharsetNumber);
  return code_page;
}

std::vector<std::string> TNativeConnect::TableList(const std::string& pattern, bool with_views) {
  Connect();
  std::string sql = server_version_ >= 50002 ? "SHOW FULL TABLES" : "SHOW TABLES";
  if (!pattern.empty()) sql += " LIKE '" + pattern + "'";
  bool ok = false;
  std::unique_ptr<wire::TMysqlResult> result = client_->Query(sql, true, ok);
  if (!ok || !result) RaiseClientError();
  std::vector<std::string> names;
  for (bool end = result->First(); !end && !result->AtEnd(); result->Next()) {
    const char* name = result->Value(0);
    if (!name) continue;
    if (server_version_ < 50001) {
      names.push_back(name);
      continue;
    }
    const char* kind = result->Value(1);
    bool is_view = kind && rtl::SameText(kind, "VIEW");
    if (!is_view || with_views) names.push_back(name);
  }
  return names;
}

void TNativeConnect::CheckTableExists(const std::string& name) {
  for (const auto& table : TableList(std::string(), true))
    if (rtl::SameText(table, name)) return;
  throw EmySQLException(DBIERR_NOSUCHTABLE, name);
}

void TNativeConnect::BeginTransaction(int isolation_level) {
  if (in_transaction_) return;
  in_transaction_ = 1;
  isolation_level_ = isolation_level;
  bool ok = false;
  client_->Query("START TRANSACTION", false, ok);
  MonitorStartTransaction(*this, ok);
}

void TNativeConnect::EndTransaction(int end_mode) {
  bool ok = false;
  client_->Query(end_mode != 0 ? "ROLLBACK" : "COMMIT", false, ok);
  MonitorEndTransaction(*this, end_mode != 0, ok);
  in_transaction_ = 0;
}

}  // namespace engine
