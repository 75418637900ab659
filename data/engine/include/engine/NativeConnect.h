// TNativeConnect: one open connection of the engine to a MySQL server.
//
// Made by TmySQLEngine::OpenDatabase from the connection component's
// Name=Value parameter list; owns its wire client and the table cursors
// opened on it that are still registered (freed when the connection is
// freed). Statement cursors only refer to it and must be closed first.
// Failures raise EmySQLException, which the engine turns into result codes.
// One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/EngineTypes.h"
#include "wire/MysqlClient.h"

namespace engine {

class TNativeDataSet;

// The table cursors registered on a connection; owns those still in it.
class TContainer {
 public:
  TContainer() = default;
  ~TContainer();
  TContainer(const TContainer&) = delete;
  TContainer& operator=(const TContainer&) = delete;

  void Add(TNativeDataSet* cursor);
  bool Contains(const TNativeDataSet* cursor) const;
  // Takes the cursor out without freeing it.
  void Remove(const TNativeDataSet* cursor);
  // Frees every cursor still in the list.
  void Clear();
  const std::vector<TNativeDataSet*>& Items() const { return items_; }

 private:
  std::vector<TNativeDataSet*> items_;
};

class TNativeConnect {
 public:
  explicit TNativeConnect(TConnectOptions options);
  ~TNativeConnect();
  TNativeConnect(const TNativeConnect&) = delete;
  TNativeConnect& operator=(const TNativeConnect&) = delete;

  // Reads "UID", "PWD", "DatabaseName", "Port", "Host", "TIMEOUT" from
  // Name=Value lines. A missing or non-numeric Port raises rtl::EConvertError.
  // "ServerPublicKey" (a PEM file) and "GetServerPublicKey" ("1") say how a
  // caching_sha2_password login without TLS may send the password.
  void ReadParams(const std::vector<std::string>& lines);
  // Connects unless connected; raises EmySQLException on failure.
  void Connect();
  // The client flags the options ask for (without the multi-statement bits).
  static std::uint32_t OptionFlags(TConnectOptions options);

  // Runs a text and drains every result; returns the affected rows of the
  // last one. Does nothing (returns false) when not connected.
  bool ExecuteDirect(const std::string& sql, std::uint64_t& affected_rows);
  // Code-page identifier of the database character set (sends
  // SET CHARACTER SET when database and server sets differ). A set that
  // maps to no code page on a 4.1 or later server switches the session to
  // latin1 with SET NAMES and gives latin1's code page; a latin1 session
  // stays latin1 across the client's reconnects.
  int GetServerCharacterSet();
  // Tables (and views when asked) of the current database.
  std::vector<std::string> TableList(const std::string& pattern, bool with_views);
  // Raises 10024 with the name as message when the table does not exist.
  void CheckTableExists(const std::string& name);
  void BeginTransaction(int isolation_level);
  void EndTransaction(int end_mode);

  // Raises the client's last error as EmySQLException (form 3).
  [[noreturn]] void RaiseClientError() const;

  wire::TMysqlClient& Client() { return *client_; }
  const wire::TMysqlClient& Client() const { return *client_; }
  TConnectOptions Options() const { return options_; }
  std::int32_t ServerVersion() const { return server_version_; }
  bool Connected() const { return connected_; }
  int InTransaction() const { return in_transaction_; }
  int IsolationLevel() const { return isolation_level_; }
  TContainer& OpenCursors() { return open_cursors_; }

  const std::string& User() const { return user_; }
  const std::string& Password() const { return password_; }
  const std::string& Database() const { return database_; }
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }
  int Timeout() const { return timeout_; }

  void SetSslKey(const std::string& key) { ssl_key_ = key; }
  void SetSslCert(const std::string& cert) { ssl_cert_ = cert; }

 private:
  std::unique_ptr<wire::TMysqlClient> client_;
  TConnectOptions options_;
  std::string ssl_key_, ssl_cert_;
  std::int32_t server_version_ = 0;
  int in_transaction_ = 0;
  int isolation_level_ = 0;
  TContainer open_cursors_;
  bool connected_ = false;
  std::string user_, password_, database_;
  int port_ = 0;
  std::string host_ = "localhost";
  int timeout_ = 30;
  std::string server_public_key_;
  bool get_server_public_key_ = false;
};

}  // namespace engine
