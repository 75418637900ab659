// TmySQLDatabase: the component that stands for one connection to one MySQL
// database.
//
// It keeps the connection settings twice, as properties and as the Name=Value
// parameter list that the engine reads at connect ("Port", "TIMEOUT",
// "DatabaseName", "UID", "PWD", "Host"), and keeps both in step: every
// property setter writes its line, and no line may change while connected.
// It owns its engine object (created on first need), the native connection
// (null while disconnected), the parameter list and the statement cache.
// Datasets bound to it hold the connection while they need it and register
// as clients; closing the connection closes them, last registered first.
//
// One thread at a time. The server code page written at the end of every
// connect is one process-wide value: the connection opened (or failed) last
// decides it for every conversion.
//
// Naming in this layer: data members snake_case_ with the trailing
// underscore (row_count_), locals and parameters snake_case, functions and
// types in CamelCase.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/Component.h"
#include "db/Params.h"
#include "engine/MySQLEngine.h"
#include "rtl/Classes.h"

namespace components {

class TmySQLDatabase;
class TmySQLDataSet;

enum TTransIsolation { tiDirtyRead, tiReadCommitted, tiRepeatableRead };

using TConnectOptions = engine::TConnectOptions;
using engine::coCompress;
using engine::coFoundRows;
using engine::coIgnoreSpaces;
using engine::coInteractive;
using engine::coNoSchema;
using engine::coODBC;
using engine::coSSL;

using TConnectNotifyEvent = std::function<void(TmySQLDatabase& sender)>;
// Fills the login list ("UID", "PWD") in place of the login dialog.
using TBaseDatabaseLoginEvent = std::function<void(TmySQLDatabase& sender, rtl::TStrings& login)>;
// Told of a failed connect (with the error message) instead of raising.
using TConnectionFailureEvent =
    std::function<void(TmySQLDatabase& sender, const std::string& message)>;

// The platform's modal database login dialog (caption "Database Login"):
// shows the database name, starts with `user`, and answers false when the
// operator cancels. The windows install it; without one a login prompt
// counts as cancelled.
using TLoginDialog =
    std::function<bool(const std::string& database, std::string& user, std::string& password)>;
void SetLoginDialog(TLoginDialog dialog);

// One cached engine statement of Execute.
struct TStmtInfo {
  std::uint32_t hash = 0;
  engine::TNativeDataSet* stmt = nullptr;
  std::string sql;
};

class TmySQLDatabase : public db::TComponent {
 public:
  explicit TmySQLDatabase(db::TComponent* owner = nullptr);
  ~TmySQLDatabase() override;

  // --- connection state ----------------------------------------------------
  bool Connected() const { return handle_ != nullptr; }
  void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  // --- settings, each mirrored in Params -----------------------------------
  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(const std::string& value);
  const std::string& UserName() const { return user_name_; }
  void SetUserName(const std::string& value);
  const std::string& UserPassword() const { return user_password_; }
  void SetUserPassword(const std::string& value);
  const std::string& Host() const { return host_; }
  void SetHost(const std::string& value);
  std::uint32_t Port() const { return port_; }
  void SetPort(std::uint32_t value);
  std::uint32_t ConnectionTimeout() const { return connection_timeout_; }
  void SetConnectionTimeout(std::uint32_t value);
  rtl::TStringList& Params() { return params_; }
  // Replaces the parameter list by `value`'s lines (connection must be closed).
  void SetParams(const rtl::TStrings& value);

  TConnectOptions ConnectOptions() const { return connect_options_; }
  void SetConnectOptions(TConnectOptions value) { connect_options_ = value; }
  bool KeepConnection() const { return keep_connection_; }
  void SetKeepConnection(bool value) { keep_connection_ = value; }
  bool LoginPrompt() const { return login_prompt_; }
  void SetLoginPrompt(bool value) { login_prompt_ = value; }
  TTransIsolation TransIsolation() const { return trans_isolation_; }
  void SetTransIsolation(TTransIsolation value) { trans_isolation_ = value; }
  bool MultiThreaded() const { return multi_threaded_; }
  void SetMultiThreaded(bool value) { multi_threaded_ = value; }
  const std::string& SSLKey() const { return ssl_key_; }
  void SetSSLKey(const std::string& value) { ssl_key_ = value; }
  const std::string& SSLCert() const { return ssl_cert_; }
  void SetSSLCert(const std::string& value) { ssl_cert_ = value; }
  // What TLS must give the connection (wire/MysqlTls.h); coSSL asks at
  // least for TLS required. Takes effect at the next connect.
  const wire::TTlsOptions& TLSOptions() const { return tls_options_; }
  void SetTLSOptions(const wire::TTlsOptions& value) { tls_options_ = value; }
  // Whether a server's request for the pre-4.1 password scramble is
  // answered (off: the connect fails).
  bool OldPasswords() const { return old_passwords_; }
  void SetOldPasswords(bool value) { old_passwords_ = value; }
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value) { exclusive_ = value; }
  bool HandleShared() const { return handle_shared_; }
  void SetHandleShared(bool value) { handle_shared_ = value; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  // The open connection's session reads a backslash in a string literal as
  // a plain character (NO_BACKSLASH_ESCAPES), as its server last reported;
  // false while closed. A statement text built from values for this
  // connection quotes them for that mode (wire::EscapeString).
  bool NoBackslashEscapes() const;

  // --- events --------------------------------------------------------------
  TConnectNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
  TBaseDatabaseLoginEvent OnLogin;
  TConnectionFailureEvent OnConnectionFailure;

  // --- statements and transactions -----------------------------------------
  // Runs `sql`; with parameters through an engine statement (kept in the
  // statement cache when `cache`), else directly. Returns the affected rows.
  std::int32_t Execute(const std::string& sql, const db::TParams* params = nullptr,
                       bool cache = false);
  void StartTransaction();
  // 0 commits, 2 rolls back.
  void FinishTransaction(int end_mode);
  void Commit() { FinishTransaction(0); }
  void Rollback() { FinishTransaction(2); }
  bool InTransaction();
  void ClearStatements();
  int CachedStatementCount() const { return static_cast<int>(statements_.size()); }

  // --- used by the datasets --------------------------------------------------
  // The engine object, created on first need. Every field read asks for it,
  // so the common case stays inline.
  engine::TmySQLEngine& Engine() {
    if (!engine_) CreateEngine();
    return *engine_;
  }
  // The native connection, connecting first when needed.
  engine::TNativeConnect* Handle();
  int HoldCount() const { return hold_count_; }
  // A dataset gains its first / loses its last reason to hold the connection.
  void AcquireHold(TmySQLDataSet* dataset);
  void ReleaseHold(TmySQLDataSet* dataset);
  void RegisterClient(TmySQLDataSet* dataset);
  void UnRegisterClient(TmySQLDataSet* dataset);
  int DataSetCount() const { return static_cast<int>(clients_.size()); }
  // Datasets whose Database is this component (told when it goes away).
  void AttachDataSet(TmySQLDataSet* dataset);
  void DetachDataSet(TmySQLDataSet* dataset);
  TmySQLDataSet* DataSets(int index) const { return clients_.at(index); }

 protected:
  void Loaded() override;
  void Notification(db::TComponent* component, db::TOperation operation) override;
  virtual void DoConnect();
  virtual void DoDisconnect();

 private:
  void CheckInactive();
  void ParamsChanging();
  void SendConnectEvent(bool connecting);
  void CreateEngine();
  void WriteParam(const char* name, const std::string& value);
  TStmtInfo* FindStatement(const std::string& sql, std::uint32_t hash);

  std::unique_ptr<engine::TmySQLEngine> engine_;
  engine::TNativeConnect* handle_ = nullptr;
  std::vector<TStmtInfo> statements_;
  int hold_count_ = 0;
  std::vector<TmySQLDataSet*> clients_;
  std::vector<TmySQLDataSet*> bound_;
  bool streamed_connected_ = false;

  rtl::TStringList params_;
  std::string database_name_, user_name_, user_password_, host_;
  std::uint32_t port_ = 0;
  std::uint32_t connection_timeout_ = 0;
  TConnectOptions connect_options_ = engine::ConnectOptionBit(engine::coCompress);
  bool keep_connection_ = true;
  bool login_prompt_ = false;
  TTransIsolation trans_isolation_ = tiReadCommitted;
  bool multi_threaded_ = false;
  std::string ssl_key_, ssl_cert_;
  wire::TTlsOptions tls_options_;
  bool old_passwords_ = false;
  bool exclusive_ = false, handle_shared_ = false, read_only_ = false;
};

// The engine's parameter form of a framework parameter list.
std::vector<engine::TEngineParam> EngineParams(const db::TParams& params);

}  // namespace components
