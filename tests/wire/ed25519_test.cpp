// client_ed25519: the signature against OpenSSL's own Ed25519 (for a 32-byte
// secret MariaDB's key derivation is the standard one), and the login of an
// ed25519 account of the real sandbox, plain and compressed.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "support/FakeServer.h"
#include "support/Sandbox.h"
#include "wire/AuthCrypto.h"
#include "wire/MysqlClient.h"
#include "wire_test_support.h"

namespace {

using wire::TMysqlClient;

std::string OpenSslSign(const std::string& seed, const std::string& message) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr,
                                   reinterpret_cast<const unsigned char*>(seed.data()),
                                   seed.size()),
      EVP_PKEY_free);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  unsigned char sig[64];
  size_t n = sizeof sig;
  EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get());
  EVP_DigestSign(ctx.get(), sig, &n, reinterpret_cast<const unsigned char*>(message.data()),
                 message.size());
  return std::string(reinterpret_cast<char*>(sig), n);
}

TEST(Ed25519, SignatureOfA32ByteSecretIsTheStandardOne) {
  const std::string seeds[] = {std::string(32, '\0'), std::string(32, '\xFF'),
                               "0123456789abcdef0123456789abcdef",
                               support::FromHex("9d61b19deffd5a60ba844af492ec2cc4"
                                                "4449c5697b326919703bac031cae7f60")};
  const std::string messages[] = {"", "x", std::string(32, '\0'),
                                  "a 32-byte scramble of the server", std::string(1000, 'm')};
  for (const auto& seed : seeds)
    for (const auto& message : messages)
      EXPECT_EQ(support::Hex(wire::Ed25519Sign(seed, message)),
                support::Hex(OpenSslSign(seed, message)))
          << support::Hex(seed) << " / " << message.size();
}

class Ed25519Sandbox : public support::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    if (IsSkipped()) return;
    const char* on = std::getenv("MYSQL_TEST_ED25519");
    if (!on || std::string(on) != "1")
      GTEST_SKIP() << "the sandbox has no ed25519 plugin (scripts/ed25519-plugin.sh)";
  }
  bool Connect(TMysqlClient& c, const std::string& password, bool compress) {
    c.SetConnectTimeout(10);
    c.SetCompress(compress);
    return c.ConnectToServer(Host(), "edpw", password, kTestDatabase, Port(), "", true,
                             wiretest::kEngineFlags | (compress ? wire::CLIENT_COMPRESS : 0u));
  }
};

TEST_F(Ed25519Sandbox, LoginPlainAndCompressedAndWrongPasswordRefused) {
  for (bool compress : {false, true}) {
    TMysqlClient c;
    ASSERT_TRUE(Connect(c, "chave ed 25519", compress))
        << compress << ": " << c.ErrorNumber() << " " << c.ErrorMessage();
    EXPECT_EQ(c.AuthMethod(), "client_ed25519");
    EXPECT_EQ(c.NetForTesting().Compress(), compress);
    bool ok = false;
    auto r = c.Query("select current_user()", true, ok);
    ASSERT_TRUE(ok && r && r->RowCount() == 1) << c.ErrorMessage();
    r->First();
    EXPECT_EQ(std::string(r->Value(0)), "edpw@%");
  }
  TMysqlClient wrong;
  EXPECT_FALSE(Connect(wrong, "chave ed 25518", false));
  EXPECT_EQ(wrong.ErrorNumber(), 1045);
  EXPECT_FALSE(wrong.Connected());
}

}  // namespace
