// TLS modes and certificate checks: every mode against a server with the
// right certificate, one for a wrong name, a self-signed one (pinned and
// not) and one without TLS; a refused server never gets a login packet.
// Then the real server: a verified link with compression on top, and the
// old-password account only on request.

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/FakeServer.h"
#include "support/FakeTlsServer.h"
#include "support/Sandbox.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire_test_support.h"

namespace {

using wire::TlsMode;
using wire::TMysqlClient;
using wire::TTlsOptions;

using wiretest::kEngineFlags;

wire::TFingerprint FingerprintOf(const std::string& file) {
  wire::TFingerprint digest{};
  std::unique_ptr<FILE, decltype(&fclose)> f(fopen(file.c_str(), "r"), fclose);
  if (!f) return digest;
  std::unique_ptr<X509, decltype(&X509_free)> cert(
      PEM_read_X509(f.get(), nullptr, nullptr, nullptr), X509_free);
  unsigned int length = 0;
  if (cert) X509_digest(cert.get(), EVP_sha256(), digest.data(), &length);
  return digest;
}

class TlsModes : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = support::TlsDirectory();
    if (dir_.empty()) GTEST_SKIP() << "MYSQL_TEST_TLS_DIR not set (run scripts/sandbox.sh start)";
  }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(TlsModes, EachModeAgainstEachKindOfServer) {
  support::FakeTlsServer valid(File("server.pem"), File("server-key.pem"));
  support::FakeTlsServer wrong(File("wrong.pem"), File("wrong-key.pem"));
  support::FakeTlsServer self(File("self.pem"), File("self-key.pem"));
  const wire::TFingerprint selfPin = FingerprintOf(File("self.pem"));

  struct Mode {
    const char* name;
    TTlsOptions options;
  };
  const Mode modes[] = {
      {"preferido", {TlsMode::Preferred, {}, {}}},
      {"exigido", {TlsMode::Required, {}, {}}},
      {"verificar-ca", {TlsMode::VerifyCa, File("ca.pem"), {}}},
      {"verificar-host", {TlsMode::VerifyHost, File("ca.pem"), {}}},
      {"pin", {TlsMode::VerifyHost, File("ca.pem"), selfPin}},
  };
  // Expected outcome per server: valid, wrong name, self-signed, no TLS.
  const char* expected[] = {"1111", "1110", "1100", "1000", "0010"};
  for (std::size_t m = 0; m < std::size(modes); ++m) {
    int server = 0;
    for (support::FakeTlsServer* s : {&valid, &wrong, &self}) {
      const int loginsBefore = s->Logins();
      TMysqlClient c;
      c.SetCompress(false);
      c.SetTlsOptions(modes[m].options);
      const bool ok = c.ConnectToServer(s->Host(), "u", "p", "", s->Port(), "", true, kEngineFlags);
      const bool want = expected[m][server] == '1';
      EXPECT_EQ(ok, want) << modes[m].name << " server " << server << ": " << c.ErrorMessage();
      if (ok) {
        EXPECT_EQ(c.NetForTesting().Kind(), wire::kVioTls);
        c.Disconnect();
      } else {
        EXPECT_EQ(c.ErrorNumber(), wire::CR_SSL_CONNECTION_ERROR);
        EXPECT_EQ(c.ErrorMessage().rfind("SSL connection error: ", 0), 0u) << c.ErrorMessage();
        EXPECT_LE(c.ErrorMessage().size(), std::string("SSL connection error: ").size() + 100);
        EXPECT_FALSE(c.Connected());
      }
      // A login is counted before its OK goes out; a refused certificate
      // never gets one.
      EXPECT_EQ(s->Logins() - loginsBefore, ok ? 1 : 0) << modes[m].name << " server " << server;
      ++server;
    }
    // The server without TLS: the greeting offers none.
    support::FakeServer plain;
    plain.SendPacket(support::GreetingPayload(support::Greeting()), 0);
    if (expected[m][3] == '1') {
      plain.ReadPacket().SendPacket(support::OkPayload(), 2);
    } else {
      plain.ReadUntilClosed();
    }
    TMysqlClient c;
    c.SetCompress(false);
    c.SetTlsOptions(modes[m].options);
    const bool ok =
        c.ConnectToServer(plain.Host(), "u", "p", "", plain.Port(), "", true, kEngineFlags);
    EXPECT_EQ(ok, expected[m][3] == '1') << modes[m].name << " without TLS";
    c.Disconnect();
    ASSERT_TRUE(plain.WaitIdle());
    if (!ok) {
      EXPECT_EQ(plain.Received(), "") << modes[m].name << " without TLS";
    }
  }
}

TEST_F(TlsModes, ReasonsNameWhatFailed) {
  support::FakeTlsServer wrong(File("wrong.pem"), File("wrong-key.pem"));
  support::FakeTlsServer self(File("self.pem"), File("self-key.pem"));
  auto failure = [](support::FakeTlsServer& s, const TTlsOptions& o, const std::string& host) {
    TMysqlClient c;
    c.SetTlsOptions(o);
    EXPECT_FALSE(c.ConnectToServer(host, "u", "p", "", s.Port(), "", true, kEngineFlags));
    return c.ErrorMessage();
  };
  EXPECT_NE(failure(self, {TlsMode::VerifyCa, File("ca.pem"), {}}, "127.0.0.1").find("self"),
            std::string::npos);
  // By name as well as by address.
  const std::string mismatch =
      failure(wrong, {TlsMode::VerifyHost, File("ca.pem"), {}}, "localhost");
  EXPECT_NE(mismatch.find("certificate verify failed"), std::string::npos) << mismatch;
  EXPECT_NE(mismatch.find("mismatch"), std::string::npos) << mismatch;
  const std::string pinned =
      failure(wrong, {TlsMode::Required, {}, FingerprintOf(File("self.pem"))}, "127.0.0.1");
  EXPECT_EQ(pinned,
            "SSL connection error: " +
                ("server certificate " + wire::FormatFingerprint(FingerprintOf(File("wrong.pem"))))
                    .substr(0, 100));
  // A CA file that cannot be read never falls back to the system's store.
  EXPECT_EQ(failure(self, {TlsMode::VerifyCa, "/nonexistent/ca.pem", {}}, "127.0.0.1"),
            "SSL connection error: cannot load the CA file /nonexistent/ca.pem");
}

TEST(TlsFingerprint, FormatAndParse) {
  wire::TFingerprint d{};
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(i * 7 + 0x9F);
  const std::string text = wire::FormatFingerprint(d);
  EXPECT_EQ(text.substr(0, 16), "sha256:9F:A6:AD:");
  EXPECT_EQ(text.size(), 7 + 32 * 3 - 1);
  EXPECT_EQ(wire::ParseFingerprint(text), d);
  std::string lower = text;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  EXPECT_EQ(wire::ParseFingerprint(lower), d);
  std::string bare = "SHA256:";
  for (char ch : text.substr(7))
    if (ch != ':') bare += ch;
  EXPECT_EQ(wire::ParseFingerprint(bare), d);
  for (const std::string& bad : std::vector<std::string>{
           text.substr(0, text.size() - 1), text + ":00", text + ":", "sha1:" + text.substr(7),
           text.substr(7), "sha256:", "sha256:" + std::string(64, 'g')})
    EXPECT_FALSE(wire::ParseFingerprint(bad)) << bad;
}

class TlsSandbox : public support::SandboxTest {};

TEST_F(TlsSandbox, VerifiedLinkToTheRealServerWithCompressionOnTop) {
  const std::string dir = support::TlsDirectory();
  if (dir.empty()) GTEST_SKIP() << "MYSQL_TEST_TLS_DIR not set";
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    TMysqlClient c;
    c.SetCompress(true);
    c.SetTlsOptions({TlsMode::VerifyHost, dir + "/ca.pem", {}});
    ASSERT_TRUE(c.ConnectToServer(host, kAgentUser, kAgentPassword, kTestDatabase, Port(), "", true,
                                  kEngineFlags | wire::CLIENT_COMPRESS))
        << host << ": " << c.ErrorMessage();
    EXPECT_EQ(c.NetForTesting().Kind(), wire::kVioTls);
    EXPECT_TRUE(c.NetForTesting().Compress());
    const std::string version = c.NetForTesting().Vio().TlsVersion();
    EXPECT_TRUE(version == "TLSv1.2" || version == "TLSv1.3") << version;
    EXPECT_EQ(c.NetForTesting().Vio().PeerCertificate().fingerprint,
              FingerprintOf(dir + "/server.pem"));
    EXPECT_NE(c.NetForTesting().Vio().PeerCertificate().names.find("IP:127.0.0.1"),
              std::string::npos);
    bool ok = false;
    auto r = c.Query("show session status like 'Ssl_version'", true, ok);
    ASSERT_TRUE(r && r->RowCount() == 1);
    EXPECT_EQ(std::string(r->Value(1)), version);
    auto big = c.Query("select repeat('t', 300000)", true, ok);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->ValueLength(0), 300000u);
  }
  // The sandbox's certificate is not for a wrong name: a pin of another
  // certificate is refused.
  TMysqlClient c;
  c.SetTlsOptions({TlsMode::Required, {}, FingerprintOf(dir + "/self.pem")});
  EXPECT_FALSE(c.ConnectToServer(Host(), kAgentUser, kAgentPassword, kTestDatabase, Port(), "",
                                 true, kEngineFlags));
  EXPECT_EQ(c.ErrorNumber(), wire::CR_SSL_CONNECTION_ERROR);
}

TEST_F(TlsSandbox, OldPasswordAccountOnlyOnRequest) {
  TMysqlClient c;
  EXPECT_FALSE(c.ConnectToServer(Host(), kOldUser, kOldPassword, kTestDatabase, Port(), "", true,
                                 kEngineFlags));
  EXPECT_EQ(c.ErrorNumber(), wire::CR_SECURE_AUTH);
  c.SetOldPasswords(true);
  EXPECT_TRUE(c.ConnectToServer(Host(), kOldUser, kOldPassword, kTestDatabase, Port(), "", true,
                                kEngineFlags))
      << c.ErrorMessage();
}

}  // namespace
