// Character sets without a code page of ours, against the second sandbox
// (server character set utf8mb4): the session speaks latin1, the server
// converts to and from its utf8mb4 columns byte-exactly, what Windows-1252
// cannot hold comes back as '?', and a reconnect keeps the session latin1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/MySQLEngine.h"
#include "support/Hex.h"
#include "support/Sandbox.h"

namespace engine {
namespace {

// Windows-1252 text and the same text in UTF-8, as the server stores it in
// a utf8mb4 column.
const std::string kAnsi = "JOS\xC9 CONCEI\xC7\xC3O \x80 \x8C \xE7 D'\xC1VILA \"Z\xC9\"";
const std::string kUtf8 = "JOSÉ CONCEIÇÃO € Œ ç D'ÁVILA \"ZÉ\"";

class Utf8mb4ServerTest : public ::testing::Test, public support::SandboxAccounts {
 protected:
  void SetUp() override {
    const char* host = std::getenv("MYSQL_UTF8MB4_TEST_HOST");
    const char* port = std::getenv("MYSQL_UTF8MB4_TEST_PORT");
    if (!host || !*host || !port || !*port)
      GTEST_SKIP() << "no utf8mb4 sandbox: MYSQL_UTF8MB4_TEST_HOST/PORT not set (scripts/test.sh "
                      "starts one; by hand: SANDBOX_CHARSET=utf8mb4 scripts/sandbox.sh start DIR)";
    host_ = host;
    port_ = std::atoi(port);
  }
  void TearDown() override {
    if (conn_) {
      if (!table_.empty()) engine_.ExecuteDirect(conn_, "DROP TABLE IF EXISTS " + table_, nullptr);
      engine_.CloseDatabase(conn_);
    }
  }

  void Connect(const std::string& database) {
    const std::vector<std::string> params = {
        "Port=" + std::to_string(port_),      "TIMEOUT=10",
        "DatabaseName=" + database,           "UID=" + std::string(kAgentUser),
        "PWD=" + std::string(kAgentPassword), "Host=" + host_};
    ASSERT_EQ(engine_.OpenDatabase(ConnectOptionBit(coCompress), params, conn_), 0)
        << engine_.LastErrorMessage();
    table_ = "cs_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             std::to_string(getpid());
  }

  void Exec(const std::string& sql) {
    ASSERT_EQ(engine_.ExecuteDirect(conn_, sql, nullptr), 0) << sql << engine_.LastErrorMessage();
  }

  // The first column of the first row, as the session receives it.
  std::string Value(const std::string& sql) {
    bool ok = false;
    auto result = conn_->Client().Query(sql, true, ok);
    EXPECT_TRUE(ok && result) << sql << ": " << conn_->Client().ErrorMessage();
    if (!result || result->First()) return "<none>";
    const char* v = result->Value(0);
    return v ? v : "<null>";
  }

  std::string SessionCharsets() {
    return Value(
        "select concat_ws(',',@@character_set_client,@@character_set_connection,"
        "@@character_set_results)");
  }

  // Ends this session from another connection; the next command reconnects.
  void KillSession() {
    const std::string id = Value("select connection_id()");
    TNativeConnect* other = nullptr;
    const std::vector<std::string> params = {"Port=" + std::to_string(port_), "TIMEOUT=10",
                                             "UID=" + std::string(kRootUser),
                                             "PWD=" + std::string(kRootPassword), "Host=" + host_};
    ASSERT_EQ(engine_.OpenDatabase(0, params, other), 0) << engine_.LastErrorMessage();
    engine_.ExecuteDirect(other, "KILL " + id, nullptr);
    engine_.CloseDatabase(other);
    EXPECT_NE(Value("select connection_id()"), id);
  }

  std::string host_;
  int port_ = 0;
  TmySQLEngine engine_;
  TNativeConnect* conn_ = nullptr;
  std::string table_;
};

TEST_F(Utf8mb4ServerTest, Utf8mb4DatabaseSpeaksLatin1AndTheServerConverts) {
  Connect("tolvex_utf8");
  int code_page = -1;
  ASSERT_EQ(engine_.GetServerCharacterSet(conn_, code_page), 0);
  EXPECT_EQ(code_page, 1);
  EXPECT_EQ(SessionCharsets(), "latin1,latin1,latin1");

  Exec("create table " + table_ + " (id int, s varchar(80)) default charset=utf8mb4");
  Exec("insert into " + table_ + " values (1,'" +
       wire::EscapeString(kAnsi, conn_->Client().NoBackslashEscapes()) + "')");
  // Stored as the UTF-8 of the text, and read back as the same bytes.
  EXPECT_EQ(Value("select hex(s) from " + table_ + " where id=1"), support::ServerHex(kUtf8));
  EXPECT_EQ(Value("select s from " + table_ + " where id=1"), kAnsi);
  // A character Windows-1252 has no place for arrives as '?'.
  Exec("insert into " + table_ + " values (2,concat('ANA ',convert(X'F09F9880' using utf8mb4)))");
  EXPECT_EQ(Value("select s from " + table_ + " where id=2"), "ANA ?");

  KillSession();
  EXPECT_EQ(SessionCharsets(), "latin1,latin1,latin1");
  EXPECT_EQ(Value("select s from " + table_ + " where id=1"), kAnsi);
}

TEST_F(Utf8mb4ServerTest, Latin1DatabaseOnAUtf8mb4ServerStaysLatin1AfterAReconnect) {
  Connect(kTestDatabase);
  int code_page = -1;
  ASSERT_EQ(engine_.GetServerCharacterSet(conn_, code_page), 0);
  EXPECT_EQ(code_page, 1);
  EXPECT_EQ(SessionCharsets(), "latin1,latin1,latin1");
  KillSession();
  EXPECT_EQ(SessionCharsets(), "latin1,latin1,latin1");
  Exec("create table " + table_ + " (s varchar(80)) default charset=latin1");
  Exec("insert into " + table_ + " values ('" +
       wire::EscapeString(kAnsi, conn_->Client().NoBackslashEscapes()) + "')");
  EXPECT_EQ(Value("select hex(s) from " + table_), support::ServerHex(kAnsi));
}

}  // namespace
}  // namespace engine
