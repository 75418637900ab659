// TMysqlClient: one connection to a MySQL server.
//
// Connects (greeting of protocol 9 or 10, capability negotiation, the 4.1 and
// the older login layouts, SHA-1 and pre-4.1 password scrambles, optional TLS,
// initial database), runs the commands query, init-database, ping and quit,
// and reads OK, error and result-set replies into stored or streamed
// TMysqlResult objects. A lost connection is reconnected before the next
// command. A ping or a database switch whose reply was lost is tried once
// more on a new connection, and so is a query whose leading ping got no
// reply; a query whose own reply was lost is not (it may have run) and fails
// with 2013.
//
// Failures are reported by return values; the last error number and message
// stay on the client (0 = none; server numbers pass through, client-side
// failures use 2000-2020).
//
// Ownership: the client owns its packet layer (which owns the transport) and
// the column descriptors of a result being read. A stored result returned by
// Query/NextResult is independent of the client; a streamed one is tied to it
// until its end and must not outlive it. Concurrency: one thread at a time.
// With thread-safe mode on, ConnectToServer, Query (after its ping), Ping,
// SelectDatabase and Disconnect serialise on the client's re-entrant lock;
// result navigation and NextResult do not take it.
//
// Naming in this layer: data members camelCase_ with the trailing underscore
// (serverStatus_), locals and parameters camelCase, functions and types in
// CamelCase; the protocol's own numbers keep the protocol's upper-case names
// (Protocol.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "wire/MysqlNet.h"
#include "wire/MysqlResult.h"
#include "wire/MysqlTls.h"
#include "wire/Protocol.h"

namespace wire {

struct TMysqlGreeting;

// Where the client stands between commands. Ready: a command may be sent.
// A query or NextResult that reads a result header moves to ResultHeader;
// storing the rows returns to Ready, streaming moves to Streaming until the
// streamed result reaches its end or is destroyed, then Ready. Any command
// while not Ready fails with 2014.
enum class TClientStatus : std::uint8_t {
  kReady = 0,
  kResultHeader = 1,
  kStreaming = 2,
};

class TMysqlClient {
 public:
  TMysqlClient();
  ~TMysqlClient();
  TMysqlClient(const TMysqlClient&) = delete;
  TMysqlClient& operator=(const TMysqlClient&) = delete;

  // Opens the channel, reads the greeting, logs in (TLS first when asked),
  // selects the database. True when connected (also when already connected).
  bool ConnectToServer(const std::string& host, const std::string& user,
                       const std::string& password, const std::string& database, int port,
                       const std::string& pipeName, bool pipeFallback, std::uint32_t clientFlags);
  // ConnectToServer again with the stored values.
  bool Reconnect();
  // COM_QUIT and close; clears the greeting and reply fields.
  void Disconnect();
  bool Connected() const { return net_->IsConnected(); }

  // Runs one statement. Returns the result (stored when store is set,
  // otherwise streamed) or null for statements without rows and on failure;
  // ok is true when no error was left.
  std::unique_ptr<TMysqlResult> Query(const std::string& sql, bool store, bool& ok);
  // Next result of a multi-statement or multi-result reply (null when none).
  std::unique_ptr<TMysqlResult> NextResult(bool store, bool& ok);
  bool MoreResults() const { return (serverStatus_ & SERVER_MORE_RESULTS_EXISTS) != 0; }
  // COM_INIT_DB; on success the stored database becomes name.
  bool SelectDatabase(const std::string& name);
  bool Ping();

  // Option setters; a change closes an open connection so that it takes
  // effect at the next connect.
  void SetSslMode(bool on);
  void SetSslCertificate(const std::string& file);
  void SetSslKey(const std::string& file);
  void SetCompress(bool on);
  void SetClientFlags(std::uint32_t flags);
  // Adds or removes CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS.
  void SetMultiStatements(bool on);
  // Local-file loading (off by default). Only with it on does the login
  // offer CLIENT_LOCAL_FILES, and even then a file goes to the server only
  // when the statement itself named it (LOAD DATA LOCAL INFILE 'name'). Any
  // other request is answered with an empty transfer and fails the
  // statement; nothing of the file leaves the machine.
  void SetLocalFiles(bool on);
  bool LocalFiles() const { return localFiles_; }
  void SetConnectTimeout(int seconds) { connectTimeout_ = seconds; }
  void SetThreadSafe(bool on);
  void SetNamedPipeMode(bool on) { namedPipe_ = on; }
  void SetReconnect(bool on) { reconnect_ = on; }
  // Character-set number the login packet asks for in place of the
  // greeting's (0 = the greeting's); taken by every later connect.
  void SetLoginCharset(std::uint8_t number) { loginCharset_ = number; }
  // caching_sha2_password without TLS sends the password encrypted with the
  // server's RSA public key: the key from this PEM file, or, only when asking
  // is allowed, the key the server hands over (off by default: whoever sits
  // on the link could hand over its own). With neither the login fails and
  // the password is not sent.
  void SetServerPublicKeyFile(const std::string& file) { serverPublicKeyFile_ = file; }
  void SetRequestServerPublicKey(bool on) { requestServerPublicKey_ = on; }
  const std::string& ServerPublicKeyFile() const { return serverPublicKeyFile_; }
  bool RequestServerPublicKey() const { return requestServerPublicKey_; }
  // The login method of the last connect (empty for a server without plugin
  // authentication).
  const std::string& AuthMethod() const { return authMethod_; }
  // What TLS must give this connection (MysqlTls.h). SSL mode, or
  // CLIENT_SSL in the connect's flags, asks at least for Required.
  void SetTlsOptions(const TTlsOptions& options);
  // Answer a server's request for the pre-4.1 scramble (off: such a request
  // fails the connect with 2049 before the scramble is sent).
  void SetOldPasswords(bool on);

  bool SslMode() const { return sslMode_; }
  const TTlsOptions& TlsOptions() const { return tlsOptions_; }
  bool OldPasswords() const { return oldPasswords_; }
  bool CompressOption() const { return compressOption_; }
  bool ThreadSafe() const { return lock_ != nullptr; }
  int ConnectTimeout() const { return connectTimeout_; }
  bool ReconnectEnabled() const { return reconnect_; }

  // Last error (number 0 = none).
  int ErrorNumber() const { return net_->ErrorNumber(); }
  const std::string& ErrorMessage() const { return net_->ErrorMessage(); }

  std::uint64_t AffectedRows() const { return affectedRows_; }
  std::uint64_t InsertId() const { return insertId_; }
  std::uint32_t WarningCount() const { return warningCount_; }
  std::uint32_t ServerStatus() const { return serverStatus_; }
  const std::string& Info() const { return info_; }
  // The server's session reads backslashes in string literals as plain
  // characters (NO_BACKSLASH_ESCAPES), as its last greeting, OK or
  // end-of-data packet said: texts quoted for this connection must be
  // escaped with EscapeString(text, NoBackslashEscapes()).
  bool NoBackslashEscapes() const {
    return (serverStatus_ & SERVER_STATUS_NO_BACKSLASH_ESCAPES) != 0;
  }
  std::uint64_t ExtraInfo() const { return extraInfo_; }
  TClientStatus Status() const { return status_; }

  const std::string& Host() const { return host_; }
  const std::string& User() const { return user_; }
  const std::string& Password() const { return password_; }
  const std::string& Database() const { return database_; }
  const std::string& PipeName() const { return pipeName_; }
  int Port() const { return port_; }
  std::uint32_t ClientFlags() const { return clientFlags_; }
  const std::string& ServerVersion() const { return serverVersion_; }
  std::uint32_t ServerCapabilities() const { return serverCapabilities_; }
  std::uint32_t ServerCharset() const { return serverCharset_; }
  std::uint32_t ThreadId() const { return threadId_; }
  const std::string& ScrambleSeed() const { return seed_; }
  bool ServerIs410() const { return serverIs410_; }
  const std::string& Cipher() const { return cipher_; }
  int ProtocolVersion() const { return net_->ProtocolVersion(); }

  // Only for tests and benchmarks: the link under the client, to read its
  // state or put a scripted transport beneath it.
  TMysqlNet& NetForTesting() { return *net_; }
  const TMysqlNet& NetForTesting() const { return *net_; }

 private:
  friend class TMysqlResult;
  class Guard;

  bool ConnectLocked(const std::string& host, const std::string& user, const std::string& password,
                     const std::string& database, int port, const std::string& pipeName,
                     bool pipeFallback, std::uint32_t clientFlags);
  // The login after the greeting: its fields, the capability flags, the
  // TLS decision, then the login packet (TLS started between its header
  // and the whole) and the server's answer.
  bool Login(const std::uint8_t* greeting, long length);
  void TakeGreeting(const TMysqlGreeting& greeting);
  // The login's capability flags from the given ones and the greeting's,
  // TLS aside; sets the login method.
  std::uint32_t NegotiateFlags(const TMysqlGreeting& greeting);
  bool SendLogin(const TTlsOptions& tls);
  bool ReadAuthResult();
  // Sends one answer of the login exchange and reads the server's next
  // packet into n and p; on failure the connection is closed and false.
  bool SendAuthAnswer(const std::string& answer, long& n, const std::uint8_t*& p);
  // Plugin authentication: method switches and further rounds, from the
  // first reply after the login on (AuthMethods.cpp).
  bool ContinueAuthentication(const std::uint8_t* packet, long length);
  bool AuthAnswer(const std::string& method, const std::string& nonce, std::string& answer);
  bool FullSha2Answer(const std::string& nonce, std::string& answer);
  // Sets 2012 with the message and closes; false.
  bool FailAuthentication(const std::string& message);
  // Ends the connect with 2026 and the reason; nothing more is sent.
  bool FailTls(const std::string& reason);
  // Ends the connect with 2049: the server wants the pre-4.1 scramble and
  // old passwords are not allowed.
  bool FailOldPassword();
  // A reply that does not parse: the connection is closed (2013).
  bool FailMalformed();
  bool SimpleCommand(std::uint8_t command, const std::string& argument, bool skipReply,
                     bool mayRetry);
  // Before a command: reconnects a closed channel when it may, refuses while
  // a result is pending, clears the last error and reply fields.
  bool ReadyForCommand(bool canReconnect);
  // Runs `write`; when it fails, closes, reconnects when it may and runs it
  // once more (2006 when that fails too).
  bool SendOrReconnect(const std::function<int()>& write, bool canReconnect);
  // After a failed reply: a lost connection is dropped; true when the
  // command may then be tried once more on a new one.
  bool RetryAfterLostReply(bool mayRetry, bool canReconnect);
  // COM_PING and COM_QUERY in one write; reads the ping's reply and leaves
  // the statement's for the caller. Failures as for the ping alone.
  bool PingAndSend(const std::string& sql, bool mayRetry);
  bool ReadQueryResult();
  bool ReadOk(const std::uint8_t* data, long length);
  bool SendLocalFile(const std::string& name);
  bool RefuseLocalFile(const std::string& name);
  bool ReadColumns(std::uint32_t count);
  bool ReadRows(TMysqlRowSet& rows, std::vector<TMysqlColumn>* maxLengths);
  // A result header was read and its descriptors wait; false without
  // descriptors, and with 2014 when the client is not at a header.
  bool HeaderPending();
  void DropColumns();
  // Out of memory while reading a reply: closes (2008); false.
  bool FailOutOfMemory();
  std::unique_ptr<TMysqlResult> StoreResult();
  std::unique_ptr<TMysqlResult> UseResult();
  std::unique_ptr<TMysqlResult> TakeResult(bool store, bool& ok);
  void EndOfData(const std::uint8_t* data, long length);
  void StreamEnded(std::uint64_t rowCount);

  std::unique_ptr<TMysqlNet> net_;
  std::string host_, user_, password_, pipeName_, database_;
  int port_ = 3306;
  std::string seed_;
  std::uint32_t threadId_ = 0;
  std::uint64_t affectedRows_ = 0;
  std::uint64_t insertId_ = 0;
  TClientStatus status_ = TClientStatus::kReady;
  bool reconnect_ = true;
  bool namedPipe_ = false;
  bool pipeFallback_ = false;
  int connectTimeout_ = 30;
  bool compressOption_ = true;
  std::uint32_t clientFlags_ = kClientBaseFlags;
  std::string serverVersion_;
  std::uint32_t serverCapabilities_ = 0;
  std::uint32_t serverStatus_ = SERVER_STATUS_AUTOCOMMIT;
  std::uint32_t serverCharset_ = 0;
  std::uint8_t loginCharset_ = 0;
  std::string authMethod_;
  std::string serverPublicKeyFile_;
  bool requestServerPublicKey_ = false;
  std::uint64_t extraInfo_ = 0;
  std::string info_;
  std::uint32_t columnCount_ = 0;
  std::vector<TMysqlColumn> columns_;
  bool haveColumns_ = false;
  TMysqlResult* streamed_ = nullptr;
  bool sslMode_ = false;
  bool serverIs410_ = false;
  std::unique_ptr<std::recursive_mutex> lock_;
  std::string sslKey_, sslCert_, cipher_, caFile_, caPath_;
  TTlsOptions tlsOptions_;
  bool oldPasswords_ = false;
  std::uint32_t warningCount_ = 0;
  bool localFiles_ = false;
  // The local files the running statement named (with local files on).
  std::vector<std::string> namedFiles_;
  // While a statement is on its way: the backslash mode it was quoted for
  // (1 without backslash escapes, 0 with them); -1 otherwise.
  int quotedFor_ = -1;
  // Set while the connect itself sends commands: no reconnect from inside.
  bool connecting_ = false;
};

// Escapes a text for use inside a single-quoted SQL literal the way the
// server will read it. Normally NUL, tab, LF, CR, double quote, single quote
// and backslash get a backslash. When the session has NO_BACKSLASH_ESCAPES
// (TMysqlClient::NoBackslashEscapes) a backslash is an ordinary character:
// single quotes are doubled and every other byte, backslash and NUL
// included, is copied as it is.
std::string EscapeString(const std::string& text, bool noBackslashEscapes);
// The same, appended to `out`.
void AppendEscaped(std::string& out, std::string_view text, bool noBackslashEscapes);

}  // namespace wire
