// TMysqlClient: the login methods a server asks for by name once the login
// announced plugin authentication: its method switch (254, the method's
// name, its nonce) and the further rounds of caching_sha2_password.

#include <cstring>
#include <fstream>
#include <iterator>

#include "wire/AuthCrypto.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire/MysqlProtocol.h"

namespace wire {

namespace {

// A server gets this many switches and further rounds; one that keeps
// asking is not followed forever.
constexpr int kMaxAuthRounds = 4;

// caching_sha2_password: the server's "more data" packet and its codes, and
// the client's request for the server's public key.
constexpr std::uint8_t kMoreData = 0x01;
constexpr std::uint8_t kFastAuthOk = 3;
constexpr std::uint8_t kFullAuth = 4;
constexpr char kRequestPublicKey = 0x02;

// A public key file of more than this is not a PEM public key.
constexpr std::streamsize kMaxKeyFile = 64 * 1024;

// The methods whose nonce the server sends zero-terminated.
bool NonceIsText(const std::string& method) {
  return method == kAuthNative || method == kAuthCachingSha2 || method == kAuthOld;
}

bool ReadKeyFile(const std::string& path, std::string& pem) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  pem.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return !f.bad() && static_cast<std::streamsize>(pem.size()) <= kMaxKeyFile;
}

}  // namespace

bool TMysqlClient::FailAuthentication(const std::string& message) {
  net_->SetError(CR_SERVER_HANDSHAKE_ERR, message);
  net_->Close();
  return false;
}

bool TMysqlClient::AuthAnswer(const std::string& method, const std::string& nonce,
                              std::string& answer) {
  answer.clear();
  if (method == kAuthNative) {
    if (!password_.empty()) answer = ScrambleSha1(password_, nonce.substr(0, 20));
  } else if (method == kAuthCachingSha2) {
    if (!password_.empty()) answer = ScrambleSha256(password_, nonce.substr(0, 20));
  } else if (method == kAuthEd25519) {
    answer = Ed25519Sign(password_, nonce);
  } else if (method == kAuthOld) {
    // The pre-4.1 scramble is answered only where old passwords are allowed.
    if (!oldPasswords_) return FailOldPassword();
    answer = ScrambleOld(password_, nonce.substr(0, 8));
    answer += '\0';
  } else if (method == kAuthClearText) {
    // The password itself would cross the link.
    return FailAuthentication(FormatPrintf(
        "M\xE9todo de autentica\xE7\xE3o recusado: %-.64s (enviaria a senha sem cifra)", {method}));
  } else {
    return FailAuthentication(
        FormatPrintf("M\xE9todo de autentica\xE7\xE3o n\xE3o suportado: %-.64s", {method}));
  }
  return true;
}

bool TMysqlClient::FullSha2Answer(const std::string& nonce, std::string& answer) {
  if (net_->Kind() == kVioTls) {
    answer = password_;
    answer += '\0';
    return true;
  }
  std::string pem;
  if (!serverPublicKeyFile_.empty()) {
    if (!ReadKeyFile(serverPublicKeyFile_, pem)) {
      return FailAuthentication(
          FormatPrintf("N\xE3o foi poss\xEDvel ler a chave p\xFA"
                       "blica do servidor: %s",
                       {serverPublicKeyFile_}));
    }
  } else if (requestServerPublicKey_) {
    if (net_->WritePacket(&kRequestPublicKey, 1) != 0 || net_->Flush() != 0) {
      net_->SetError(CR_SERVER_LOST, FormatClientError(CR_SERVER_LOST));
      net_->Close();
      return false;
    }
    const long n = net_->SafeRead(clientFlags_);
    if (n < 0) {
      net_->Close();
      return false;
    }
    const std::uint8_t* p = net_->ReadPos();
    if (n < 2 || p[0] != kMoreData) return FailMalformed();
    pem.assign(reinterpret_cast<const char*>(p + 1), static_cast<std::size_t>(n - 1));
  } else {
    // Without TLS the password may only go encrypted with a key we trust;
    // nothing is sent.
    return FailAuthentication(
        "caching_sha2_password pediu a senha sem TLS e n\xE3o h\xE1 chave p\xFA"
        "blica do servidor: use TLS, chave_publica=ARQUIVO ou obter_chave_publica=sim");
  }
  if (!EncryptPasswordRsa(password_, nonce.substr(0, 20), pem, answer)) {
    return FailAuthentication(
        "A chave p\xFA"
        "blica do servidor n\xE3o \xE9 uma chave RSA utiliz\xE1vel");
  }
  return true;
}

bool TMysqlClient::ContinueAuthentication(const std::uint8_t* p, long n) {
  std::string nonce = seed_;
  for (int round = 0;; ++round) {
    if (n >= 1 && p[0] == 0) return true;
    if (round == kMaxAuthRounds) return FailMalformed();
    std::string answer;
    if (n > 1 && p[0] == 254) {
      // Method switch: the method's name, zero-terminated, then its nonce.
      const auto* name = reinterpret_cast<const char*>(p + 1);
      const std::size_t room = static_cast<std::size_t>(n - 1);
      const std::size_t length = strnlen(name, room);
      if (length == room) return FailMalformed();
      authMethod_.assign(name, length);
      nonce.assign(name + length + 1, room - length - 1);
      if (NonceIsText(authMethod_) && !nonce.empty() && nonce.back() == '\0') nonce.pop_back();
      if (!AuthAnswer(authMethod_, nonce, answer)) return false;
    } else if (n == 2 && p[0] == kMoreData && authMethod_ == kAuthCachingSha2 &&
               p[1] == kFastAuthOk) {
      // The server had the password's hash cached: its OK follows.
      n = net_->SafeRead(clientFlags_);
      if (n < 0) {
        net_->Close();
        return false;
      }
      p = net_->ReadPos();
      continue;
    } else if (n == 2 && p[0] == kMoreData && authMethod_ == kAuthCachingSha2 &&
               p[1] == kFullAuth) {
      if (!FullSha2Answer(nonce, answer)) return false;
    } else {
      return FailAuthentication(FormatClientError(CR_SERVER_HANDSHAKE_ERR));
    }
    if (!SendAuthAnswer(answer, n, p)) return false;
  }
}

}  // namespace wire
