// TMysqlClient: object state, option setters and the connect (greeting,
// capability negotiation, login, TLS, authentication, initial database).

#include <openssl/err.h>

#include "ClientGuard.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire/MysqlProtocol.h"

namespace wire {

TMysqlClient::TMysqlClient() : net_(std::make_unique<TMysqlNet>()) {}

TMysqlClient::~TMysqlClient() {
  {
    Guard g(*this);
    Disconnect();
  }
  lock_.reset();
}

// ------------------------------------------------------------------ options

void TMysqlClient::SetSslMode(bool on) {
  if (sslMode_ == on) return;
  sslMode_ = on;
  if (Connected()) Disconnect();
}

void TMysqlClient::SetSslCertificate(const std::string& file) {
  if (sslCert_ == file) return;
  sslCert_ = file;
  if (sslMode_ && Connected()) Disconnect();
}

void TMysqlClient::SetSslKey(const std::string& file) {
  if (sslKey_ == file) return;
  sslKey_ = file;
  if (sslMode_ && Connected()) Disconnect();
}

void TMysqlClient::SetTlsOptions(const TTlsOptions& options) {
  if (tlsOptions_ == options) return;
  tlsOptions_ = options;
  if (Connected()) Disconnect();
}

void TMysqlClient::SetOldPasswords(bool on) {
  if (oldPasswords_ == on) return;
  oldPasswords_ = on;
  if (Connected()) Disconnect();
}

void TMysqlClient::SetCompress(bool on) {
  if (compressOption_ == on) return;
  compressOption_ = on;
  if (Connected()) Disconnect();
}

void TMysqlClient::SetClientFlags(std::uint32_t flags) {
  if (clientFlags_ == flags) return;
  clientFlags_ = flags;
  if (Connected()) Disconnect();
}

void TMysqlClient::SetMultiStatements(bool on) {
  constexpr std::uint32_t multi = CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS;
  SetClientFlags(on ? (clientFlags_ | multi) : (clientFlags_ & ~multi));
}

void TMysqlClient::SetLocalFiles(bool on) {
  if (localFiles_ == on) return;
  localFiles_ = on;
  if (Connected()) Disconnect();
}

void TMysqlClient::SetThreadSafe(bool on) {
  if (on) {
    if (!lock_) lock_ = std::make_unique<std::recursive_mutex>();
  } else if (lock_) {
    lock_->lock();
    lock_->unlock();
    lock_.reset();
  }
}

// ------------------------------------------------------------------ connect

bool TMysqlClient::ConnectToServer(const std::string& host, const std::string& user,
                                   const std::string& password, const std::string& database,
                                   int port, const std::string& pipeName, bool pipeFallback,
                                   std::uint32_t clientFlags) {
  Guard g(*this);
  // Copies: Reconnect passes the stored values themselves.
  return ConnectLocked(std::string(host), std::string(user), std::string(password),
                       std::string(database), port, std::string(pipeName), pipeFallback,
                       clientFlags);
}

bool TMysqlClient::Reconnect() {
  if (!ConnectToServer(host_, user_, password_, database_, port_, pipeName_, pipeFallback_,
                       clientFlags_)) {
    return false;
  }
  if (quotedFor_ >= 0 && NoBackslashEscapes() != (quotedFor_ == 1)) {
    // The new session reads string literals otherwise than the one the
    // statement on its way was quoted for.
    net_->SetError(CR_UNKNOWN_ERROR,
                   FormatPrintf("Statement not sent: the server's backslash escaping changed "
                                "on reconnect"));
    return false;
  }
  return true;
}

bool TMysqlClient::ConnectLocked(const std::string& host, const std::string& user,
                                 const std::string& password, const std::string& database, int port,
                                 const std::string& pipeName, bool pipeFallback,
                                 std::uint32_t clientFlags) {
  if (net_->IsConnected()) return true;
  if (host.empty() && host_.empty()) {
    // Nothing to connect to: say so, so that callers that only look at the
    // error number do not take this for success.
    net_->SetError(CR_UNKNOWN_HOST, FormatClientError(CR_UNKNOWN_HOST, {"", 0}));
    return false;
  }
  if (!host.empty()) host_ = host;
  user_ = user;
  password_ = password;
  database_ = database;
  port_ = port;
  pipeName_ = pipeName;
  clientFlags_ = clientFlags;
  pipeFallback_ = pipeFallback;

  if (namedPipe_) {
    net_->Open(kVioNamedPipe, host_, pipeFallback_, connectTimeout_, port_, pipeName_);
    if (net_->Kind() == kVioNamedPipe) {
      host_ = ".";
      pipeName_ = "MySQL";
    } else if (net_->Kind() == kVioTcp) {
      namedPipe_ = false;
      pipeName_.clear();
    }
  } else {
    net_->Open(kVioTcp, host_, true, connectTimeout_, port_, pipeName_);
    pipeName_.clear();
  }
  if (!net_->IsConnected()) return false;

  long n = net_->SafeRead(clientFlags_);
  if (n < 0) {
    net_->Close();
    return false;
  }
  const int protocol = net_->ReadPos()[0];
  net_->SetProtocolVersion(protocol);
  if (protocol != 10 && protocol != 9) {
    net_->SetError(CR_VERSION_ERROR, FormatClientError(CR_VERSION_ERROR, {protocol, 10}));
    net_->Close();
    return false;
  }
  {
    TScopedFlag connecting(connecting_, true);
    if (!Login(net_->ReadPos(), n)) return false;
  }

  net_->SetCompress((clientFlags_ & CLIENT_COMPRESS) != 0);
  status_ = TClientStatus::kReady;
  if (!database_.empty() && !(serverCapabilities_ & CLIENT_CONNECT_WITH_DB)) {
    TScopedFlag connecting(connecting_, true);
    if (!SelectDatabase(database_)) {
      net_->Close();
      return false;
    }
  }
  return true;
}

bool TMysqlClient::FailMalformed() {
  net_->Close();
  net_->SetError(CR_SERVER_LOST, FormatClientError(CR_SERVER_LOST));
  return false;
}

bool TMysqlClient::Login(const std::uint8_t* data, long length) {
  TMysqlGreeting greeting;
  if (!ParseGreeting(data, static_cast<std::size_t>(length), greeting)) return FailMalformed();
  TakeGreeting(greeting);
  const std::uint32_t given = clientFlags_;
  std::uint32_t flags = NegotiateFlags(greeting);
  // TLS asked for in any way must be had: a greeting without it (a server
  // without TLS, or a man in the middle who cleared the bit) ends the
  // connect before any login byte is sent. Only Preferred goes on in clear.
  TTlsOptions tls = tlsOptions_;
  if ((sslMode_ || (given & CLIENT_SSL)) && tls.mode < TlsMode::Required)
    tls.mode = TlsMode::Required;
  tls.mode = EffectiveTlsMode(tls);
  if ((serverCapabilities_ & CLIENT_SSL) && tls.mode != TlsMode::Off) {
    flags |= CLIENT_SSL;
  } else {
    if (tls.mode >= TlsMode::Required) return FailTls("the server does not offer TLS");
    flags &= ~CLIENT_SSL;
  }
  clientFlags_ = flags;
  // A greeting without 4.1 authentication gets the pre-4.1 scramble in the
  // login packet: only with old passwords allowed.
  if (!password_.empty() && !oldPasswords_ && !(serverCapabilities_ & CLIENT_SECURE_CONNECTION))
    return FailOldPassword();
  return SendLogin(tls);
}

void TMysqlClient::TakeGreeting(const TMysqlGreeting& greeting) {
  serverVersion_ = greeting.serverVersion;
  threadId_ = greeting.threadId;
  seed_ = greeting.seed;
  serverCapabilities_ = greeting.capabilities;
  serverIs410_ = greeting.is410;
  if (greeting.hasCharsetAndStatus) {
    serverCharset_ = greeting.charset;
    serverStatus_ = greeting.status;
    warningCount_ = 0;
  }
}

std::uint32_t TMysqlClient::NegotiateFlags(const TMysqlGreeting& greeting) {
  // Capability flags, in this order.
  const std::uint32_t given = clientFlags_;
  const std::uint32_t caps = serverCapabilities_;
  std::uint32_t flags = given | kClientBaseFlags;
  // Local-file loading is the caller's choice for this client alone, never
  // a flag left over in the given flags.
  auto setIf = [&flags](bool on, std::uint32_t flag) { flags = on ? flags | flag : flags & ~flag; };
  setIf(localFiles_, CLIENT_LOCAL_FILES);
  if (sslMode_) flags |= CLIENT_SSL;
  if (!database_.empty()) flags |= CLIENT_CONNECT_WITH_DB;
  setIf((caps & CLIENT_COMPRESS) && (compressOption_ || (given & CLIENT_COMPRESS)),
        CLIENT_COMPRESS);
  // A server without any of the 4.1 flags gets the older login, without
  // the 4.1 flags and multi-statements.
  constexpr std::uint32_t k41Flags = CLIENT_PROTOCOL_41 | CLIENT_RESERVED |
                                     CLIENT_SECURE_CONNECTION | CLIENT_MULTI_STATEMENTS |
                                     CLIENT_MULTI_RESULTS;
  static_assert(k41Flags == 0x3C200);
  if ((flags & CLIENT_PROTOCOL_41) &&
      !(caps & (CLIENT_RESERVED | CLIENT_SECURE_CONNECTION | CLIENT_MULTI_RESULTS))) {
    flags &= ~k41Flags;
  }
  // Login methods by name where the 4.1 login can carry them.
  authMethod_.clear();
  if (greeting.pluginAuth && (flags & CLIENT_SECURE_CONNECTION) && (flags & CLIENT_RESERVED)) {
    flags |= CLIENT_PLUGIN_AUTH;
    authMethod_ = greeting.authMethod == kAuthCachingSha2 ? kAuthCachingSha2 : kAuthNative;
  }
  return flags;
}

bool TMysqlClient::SendLogin(const TTlsOptions& tls) {
  TLoginRequest request;
  request.clientFlags = clientFlags_;
  request.serverCapabilities = serverCapabilities_;
  request.serverCharset = loginCharset_ != 0 ? loginCharset_ : serverCharset_;
  request.serverIs410 = serverIs410_;
  request.user = user_;
  request.password = password_;
  request.database = database_;
  request.seed = seed_;
  request.authMethod = authMethod_;
  std::size_t headerLength = 0;
  const std::string login = BuildLoginPacket(request, headerLength);

  auto writeFailed = [&] {
    if (net_->ErrorNumber() == 0) {
      net_->SetError(CR_SERVER_LOST, FormatClientError(CR_SERVER_LOST));
    }
    net_->Close();
    return false;
  };

  if (clientFlags_ & CLIENT_SSL) {
    if (net_->WritePacket(login.data(), headerLength) != 0 || net_->Flush() != 0) {
      return writeFailed();
    }
    ERR_clear_error();
    net_->Vio().SetTlsVerification(tls, host_);
    net_->StartTls(sslKey_, sslCert_, caFile_, caPath_, cipher_, connectTimeout_);
    if (net_->Kind() != kVioTls) {
      clientFlags_ &= ~CLIENT_SSL;
      sslMode_ = false;
      return FailTls(net_->Vio().TlsFailure());
    }
  }
  if (net_->WritePacket(login.data(), login.size()) != 0 || net_->Flush() != 0) {
    return writeFailed();
  }
  return ReadAuthResult();
}

bool TMysqlClient::FailTls(const std::string& reason) {
  net_->Close();
  net_->SetError(CR_SSL_CONNECTION_ERROR, FormatClientError(CR_SSL_CONNECTION_ERROR, {reason}));
  return false;
}

bool TMysqlClient::FailOldPassword() {
  net_->Close();
  net_->SetError(CR_SECURE_AUTH, FormatClientError(CR_SECURE_AUTH));
  return false;
}

bool TMysqlClient::SendAuthAnswer(const std::string& answer, long& n, const std::uint8_t*& p) {
  if (net_->WritePacket(answer.data(), answer.size()) != 0 || net_->Flush() != 0) {
    net_->SetError(CR_SERVER_LOST, FormatClientError(CR_SERVER_LOST));
    net_->Close();
    return false;
  }
  n = net_->SafeRead(clientFlags_);
  if (n < 0) {
    net_->Close();
    return false;
  }
  p = net_->ReadPos();
  return true;
}

bool TMysqlClient::ReadAuthResult() {
  long n = net_->SafeRead(clientFlags_);
  if (n < 0) {
    net_->Close();
    return false;
  }
  const std::uint8_t* p = net_->ReadPos();
  if (!authMethod_.empty() && n > 0 && (p[0] == 1 || (p[0] == 254 && n > 1)))
    return ContinueAuthentication(p, n);
  std::string answer;
  if (serverIs410_) {
    if ((serverCapabilities_ & CLIENT_SECURE_CONNECTION) && n == 24 && p[0] != 0) {
      // '*' asks for the pre-4.1 scramble of the password.
      if (p[0] == '*' && !oldPasswords_) return FailOldPassword();
      answer = Scramble410Answer(password_, p);
    }
  } else if (n == 1 && p[0] == 254 && (serverCapabilities_ & CLIENT_SECURE_CONNECTION)) {
    // The account has an old-style password: answer with the pre-4.1
    // scramble and its zero byte, when old passwords are allowed. The
    // request may come from anyone on the path, and the answer can be
    // tested against guesses offline.
    if (!oldPasswords_) return FailOldPassword();
    answer = ScrambleOld(password_, seed_.substr(0, 8));
    answer += '\0';
  }
  if (!answer.empty()) {
    if (!SendAuthAnswer(answer, n, p)) return false;
  }
  if (p[0] != 0) {
    // Anything but OK here (an authentication method this client does not
    // speak) would leave the session half open.
    net_->SetError(CR_SERVER_HANDSHAKE_ERR, FormatClientError(CR_SERVER_HANDSHAKE_ERR));
    net_->Close();
    return false;
  }
  return true;
}

}  // namespace wire
