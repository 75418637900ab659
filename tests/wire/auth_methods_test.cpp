// Login methods by name against scripted servers: caching_sha2_password's
// fast path, its full path over TLS, with a configured RSA key and with a
// requested one, its refusal without either (the password never leaves),
// and the method switch rules. The server's side follows the published
// protocol: the expected scrambles are computed here with OpenSSL, and the
// RSA answer is decrypted with the server's private key.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "support/FakeServer.h"
#include "wire/AuthCrypto.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire/MysqlProtocol.h"
#include "wire_test_support.h"

namespace {

using namespace wiretest;

const std::string kNonce = "Zq3#Lp0!xR7&mN2@cV5w";  // 20 bytes, as servers send it
const std::string kPassword = "s3nh@ forte";

Bytes Digest(const Bytes& data, const EVP_MD* method) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), out, &n, method, nullptr);
  return Bytes(reinterpret_cast<char*>(out), n);
}

Bytes Sha1(const Bytes& data) {
  return Digest(data, EVP_sha1());
}

Bytes Sha256(const Bytes& data) {
  return Digest(data, EVP_sha256());
}

Bytes Xor(Bytes a, const Bytes& b) {
  for (size_t i = 0; i < a.size(); ++i) a[i] ^= b[i % b.size()];
  return a;
}

// A 4.1 greeting with plugin authentication and a default method: the
// upper capability flags, the seed length and the method's name.
Bytes PluginGreeting(const std::string& method, bool withSsl = false) {
  const std::uint32_t caps = (withSsl ? 0xFFFFu : 0xF7FFu) | 0x30000u | wire::CLIENT_PLUGIN_AUTH;
  return support::Int1(10) + "8.0.36" + Bytes(1, '\0') + support::Int4(11) + kNonce.substr(0, 8) +
         Bytes(1, '\0') + support::Int2(caps & 0xFFFF) + support::Int1(255) + support::Int2(2) +
         support::Int2(caps >> 16) + support::Int1(21) + Bytes(10, '\0') + kNonce.substr(8) +
         Bytes(1, '\0') + method + Bytes(1, '\0');
}

// The server's switch to another method with a fresh nonce.
Bytes SwitchTo(const std::string& method, const std::string& nonce) {
  return "\xFE" + method + Bytes(1, '\0') + nonce + Bytes(1, '\0');
}

// The server's side up to its request for the full authentication (the
// password itself, 0x01 0x04) after a caching_sha2_password login.
FakeServer& ScriptFullAuthentication(FakeServer& s) {
  return s.SendPacket(PluginGreeting("caching_sha2_password"), 0)
      .ReadPacket()
      .SendPacket(Bytes("\x01\x04", 2), 2);
}

// The server's side of a login that the greeting's method does not finish:
// the greeting offering `from`, the login, the switch to `to` with a fresh
// nonce, and the client's answer to it (sequence 3).
FakeServer& ScriptSwitch(FakeServer& s, const std::string& from, const std::string& to,
                         const std::string& nonce) {
  return s.SendPacket(PluginGreeting(from), 0)
      .ReadPacket()
      .SendPacket(SwitchTo(to, nonce), 2)
      .ReadPacket();
}

// The login payload's parts after the fixed 32-byte header.
struct Login {
  std::uint32_t flags = 0;
  std::string user, auth, database, method;
};

Login ParseLogin(const Bytes& p) {
  Login l;
  if (p.size() < 33) return l;
  l.flags = static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8 |
            static_cast<unsigned char>(p[2]) << 16 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(p[3])) << 24;
  size_t i = 32;
  l.user = p.c_str() + i;
  i += l.user.size() + 1;
  const size_t n = static_cast<unsigned char>(p[i++]);
  l.auth = p.substr(i, n);
  i += n;
  if (l.flags & wire::CLIENT_CONNECT_WITH_DB) {
    l.database = p.c_str() + i;
    i += l.database.size() + 1;
  }
  if (i < p.size()) l.method = p.c_str() + i;
  return l;
}

bool ConnectTo(FakeServer& s, TMysqlClient& c, const std::string& password,
               const std::string& db = "tolvex_test") {
  c.SetConnectTimeout(5);
  c.SetCompress(false);
  return c.ConnectToServer(s.Host(), "caixa", password, db, s.Port(), "", true, kEngineFlags);
}

// Connects c through the script and waits until the script has run.
::testing::AssertionResult LogsIn(FakeServer& s, TMysqlClient& c, const std::string& password,
                                  const std::string& db = "tolvex_test") {
  if (!ConnectTo(s, c, password, db)) return ::testing::AssertionFailure() << c.ErrorMessage();
  if (!s.WaitIdle()) return ::testing::AssertionFailure() << "the script did not finish";
  return ::testing::AssertionSuccess();
}

// An RSA key pair: the private key for the server's side, the public one as
// PEM.
struct RsaKey {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{EVP_RSA_gen(2048), EVP_PKEY_free};
  std::string PublicPem() const {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_PUBKEY(bio.get(), key.get());
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(n));
  }
  Bytes Decrypt(const Bytes& in) const {
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
    EVP_PKEY_decrypt_init(ctx.get());
    EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING);
    size_t n = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    if (EVP_PKEY_decrypt(ctx.get(), nullptr, &n, p, in.size()) <= 0) return "<undecryptable>";
    Bytes out(n, '\0');
    if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &n, p,
                         in.size()) <= 0)
      return "<undecryptable>";
    out.resize(n);
    return out;
  }
};

std::string TempFile(const std::string& name, const std::string& content) {
  auto path =
      std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()) + ".pem");
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

TEST(CachingSha2, FastPathAnswersTheGreetingsDefaultInTheLogin) {
  FakeServer s;
  s.SendPacket(PluginGreeting("caching_sha2_password"), 0)
      .ReadPacket()
      .SendPacket(Bytes("\x01\x03", 2), 2)
      .SendPacket(support::OkPayload(), 3);
  TMysqlClient c;
  ASSERT_TRUE(LogsIn(s, c, kPassword));
  const Login l = ParseLogin(PayloadOf(s.Frames()[0]));
  EXPECT_TRUE(l.flags & wire::CLIENT_PLUGIN_AUTH);
  EXPECT_EQ(l.user, "caixa");
  EXPECT_EQ(l.database, "tolvex_test");
  EXPECT_EQ(l.method, "caching_sha2_password");
  const Bytes stage1 = Sha256(kPassword);
  EXPECT_EQ(Hex(l.auth), Hex(Xor(stage1, Sha256(Sha256(stage1) + kNonce))));
  EXPECT_EQ(Hex(l.auth), Hex(wire::ScrambleSha256(kPassword, kNonce)));
  // One client packet: the login is still one exchange.
  EXPECT_EQ(s.Frames().size(), 1u);
  EXPECT_EQ(c.AuthMethod(), "caching_sha2_password");
}

TEST(CachingSha2, EmptyPasswordSendsAnEmptyAnswer) {
  FakeServer s;
  s.SendPacket(PluginGreeting("caching_sha2_password"), 0)
      .ReadPacket()
      .SendPacket(support::OkPayload(), 2);
  TMysqlClient c;
  ASSERT_TRUE(LogsIn(s, c, "", ""));
  const Login l = ParseLogin(PayloadOf(s.Frames()[0]));
  EXPECT_EQ(l.auth, "");
  EXPECT_EQ(l.database, "");
  EXPECT_FALSE(l.flags & wire::CLIENT_CONNECT_WITH_DB);
  EXPECT_EQ(l.method, "caching_sha2_password");
}

TEST(CachingSha2, SwitchFromNativeTakesTheNewNonce) {
  // A MySQL 8 whose default is still the native method, for an account of
  // caching_sha2_password: the switch carries a fresh nonce.
  const std::string fresh = "0123456789abcdefghij";
  FakeServer s;
  ScriptSwitch(s, "mysql_native_password", "caching_sha2_password", fresh)
      .SendPacket(Bytes("\x01\x03", 2), 4)
      .SendPacket(support::OkPayload(), 5);
  TMysqlClient c;
  ASSERT_TRUE(LogsIn(s, c, kPassword));
  const Login l = ParseLogin(PayloadOf(s.Frames()[0]));
  EXPECT_EQ(l.method, "mysql_native_password");
  EXPECT_EQ(Hex(l.auth), Hex(wire::ScrambleSha1(kPassword, kNonce)));
  const Bytes stage1 = Sha256(kPassword);
  EXPECT_EQ(Hex(PayloadOf(s.Frames()[1])), Hex(Xor(stage1, Sha256(Sha256(stage1) + fresh))));
  EXPECT_EQ(support::SequenceOf(s.Frames()[1]), 3);
}

TEST(CachingSha2, FullPathWithAConfiguredKeyOrARequestedOne) {
  RsaKey server;
  const std::string pem = server.PublicPem();
  const std::string file = TempFile("chave_publica", pem);
  for (bool request : {false, true}) {
    FakeServer s;
    ScriptFullAuthentication(s);
    if (request) s.ReadPacket().SendPacket("\x01" + pem, 4);
    s.ReadPacket().SendPacket(support::OkPayload(), request ? 6 : 4);
    TMysqlClient c;
    if (request) {
      c.SetRequestServerPublicKey(true);
    } else {
      c.SetServerPublicKeyFile(file);
    }
    ASSERT_TRUE(LogsIn(s, c, kPassword)) << request;
    auto frames = s.Frames();
    ASSERT_EQ(frames.size(), request ? 3u : 2u);
    if (request) {
      EXPECT_EQ(PayloadOf(frames[1]), "\x02");
    }
    // What the server decrypts is the password, zero-terminated, XORed with
    // the nonce.
    EXPECT_EQ(Hex(server.Decrypt(PayloadOf(frames.back()))),
              Hex(Xor(kPassword + Bytes(1, '\0'), kNonce)));
  }
  std::filesystem::remove(file);
}

TEST(CachingSha2, FullPathWithoutTlsOrKeySendsNothingAndSaysWhy) {
  // A man in the middle strips TLS and asks for the full authentication,
  // ready to hand over a key of its own: the client neither asks for a key
  // nor sends the password.
  FakeServer s;
  ScriptFullAuthentication(s).ReadUntilClosed();
  TMysqlClient c;
  EXPECT_FALSE(ConnectTo(s, c, kPassword));
  EXPECT_EQ(c.ErrorNumber(), wire::CR_SERVER_HANDSHAKE_ERR);
  EXPECT_NE(c.ErrorMessage().find("caching_sha2_password pediu a senha sem TLS"), std::string::npos)
      << c.ErrorMessage();
  EXPECT_FALSE(c.Connected());
  ASSERT_TRUE(s.WaitIdle());
  auto frames = s.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1], "");  // nothing after the login
  // A key file that is not an RSA public key fails the same way.
  const std::string file = TempFile("chave_ruim", "-----BEGIN PUBLIC KEY-----\nxx\n");
  FakeServer s2;
  ScriptFullAuthentication(s2).ReadUntilClosed();
  TMysqlClient c2;
  c2.SetServerPublicKeyFile(file);
  EXPECT_FALSE(ConnectTo(s2, c2, kPassword));
  EXPECT_EQ(c2.ErrorNumber(), wire::CR_SERVER_HANDSHAKE_ERR);
  ASSERT_TRUE(s2.WaitIdle());
  EXPECT_EQ(s2.Frames().back(), "");
  std::filesystem::remove(file);
}

// A throw-away certificate for the server's side of TLS.
struct Certificate {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{EVP_RSA_gen(2048), EVP_PKEY_free};
  std::unique_ptr<X509, decltype(&X509_free)> cert{X509_new(), X509_free};
  Certificate() {
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509_sign(cert.get(), key.get(), EVP_sha256());
  }
};

TEST(CachingSha2, FullPathOverTlsSendsThePasswordZeroTerminated) {
  Certificate certificate;
  Bytes answer;
  FakeServer s;
  s.SendPacket(PluginGreeting("caching_sha2_password", true), 0).ReadPacket();  // TLS request
  s.Do(
      [&](FakeServer::Session& session) {
        std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_server_method()),
                                                              SSL_CTX_free);
        SSL_CTX_use_certificate(ctx.get(), certificate.cert.get());
        SSL_CTX_use_PrivateKey(ctx.get(), certificate.key.get());
        std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
        SSL_set_fd(ssl.get(), session.Socket());
        if (SSL_accept(ssl.get()) != 1) return false;
        auto read = [&](Bytes& payload) {
          unsigned char h[4];
          if (SSL_read(ssl.get(), h, 4) != 4) return false;
          payload.assign(h[0] | h[1] << 8 | h[2] << 16, '\0');
          return payload.empty() ||
                 SSL_read(ssl.get(), payload.data(), static_cast<int>(payload.size())) ==
                     static_cast<int>(payload.size());
        };
        auto send = [&](const Bytes& payload, std::uint8_t seq) {
          const Bytes p = support::Packet(payload, seq);
          return SSL_write(ssl.get(), p.data(), static_cast<int>(p.size())) ==
                 static_cast<int>(p.size());
        };
        Bytes login;
        if (!read(login) || ParseLogin(login).method != "caching_sha2_password") return false;
        if (!send(Bytes("\x01\x04", 2), 3) || !read(answer)) return false;
        // The OK, then the client's quit when it disconnects.
        Bytes quit;
        return send(support::OkPayload(), 5) && read(quit);
      },
      "TLS server side");
  TMysqlClient c;
  c.SetSslMode(true);
  ASSERT_TRUE(ConnectTo(s, c, kPassword)) << c.ErrorMessage();
  c.Disconnect();
  ASSERT_TRUE(s.WaitIdle());
  EXPECT_EQ(s.Error(), "");
  EXPECT_EQ(answer, kPassword + Bytes(1, '\0'));
}

TEST(MethodSwitch, UnknownAndClearTextMethodsFailNamingThemAndSendNothing) {
  struct Case {
    std::string method;
    std::string message;
  } cases[] = {
      {"dialog", "M\xE9todo de autentica\xE7\xE3o n\xE3o suportado: dialog"},
      {"mysql_clear_password",
       "M\xE9todo de autentica\xE7\xE3o recusado: mysql_clear_password (enviaria a senha sem "
       "cifra)"},
  };
  for (const Case& k : cases) {
    FakeServer s;
    s.SendPacket(PluginGreeting("mysql_native_password"), 0)
        .ReadPacket()
        .SendPacket("\xFE" + k.method + Bytes(1, '\0') + kNonce, 2)
        .ReadUntilClosed();
    TMysqlClient c;
    EXPECT_FALSE(ConnectTo(s, c, kPassword));
    EXPECT_EQ(c.ErrorNumber(), wire::CR_SERVER_HANDSHAKE_ERR);
    EXPECT_EQ(c.ErrorMessage(), k.message);
    ASSERT_TRUE(s.WaitIdle());
    EXPECT_EQ(s.Frames().back(), "") << k.method;
  }
}

TEST(MethodSwitch, NativeAfterASwitchUsesTheNewScramble) {
  const std::string fresh = "ZYXWVUTSRQponmlkjihg";
  FakeServer s;
  ScriptSwitch(s, "caching_sha2_password", "mysql_native_password", fresh)
      .SendPacket(support::OkPayload(), 4);
  TMysqlClient c;
  ASSERT_TRUE(LogsIn(s, c, kPassword));
  const Bytes stage1 = Sha1(kPassword);
  EXPECT_EQ(Hex(PayloadOf(s.Frames()[1])), Hex(Xor(Sha1(fresh + Sha1(stage1)), stage1)));
  EXPECT_EQ(c.AuthMethod(), "mysql_native_password");
}

TEST(MethodSwitch, AServerThatKeepsSwitchingIsNotFollowedForever) {
  FakeServer s;
  s.SendPacket(PluginGreeting("mysql_native_password"), 0);
  for (std::uint8_t seq = 2; seq < 20; seq += 2) {
    s.ReadPacket().SendPacket("\xFE" + Bytes("mysql_native_password") + Bytes(1, '\0') + kNonce,
                              seq);
  }
  TMysqlClient c;
  EXPECT_FALSE(ConnectTo(s, c, kPassword));
  EXPECT_EQ(c.ErrorNumber(), wire::CR_SERVER_LOST);
  EXPECT_FALSE(c.Connected());
}

}  // namespace
