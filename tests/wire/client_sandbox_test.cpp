// The wire client against the sandbox MariaDB: logins, statements, results,
// compression, TLS, local files, large values and lost connections.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>

#include "support/Sandbox.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire_test_support.h"

namespace {

using wire::TMysqlClient;
using wire::TMysqlResult;

using wiretest::kEngineFlags;

class WireSandbox : public support::SandboxTest {
 protected:
  // Connects c as the given account to the scratch database.
  bool Connect(TMysqlClient& c, const std::string& user, const std::string& password,
               bool compress = false, const std::string& db = kTestDatabase) {
    c.SetCompress(compress);
    std::uint32_t flags = kEngineFlags | (compress ? wire::CLIENT_COMPRESS : 0u);
    return c.ConnectToServer(Host(), user, password, db, Port(), "", true, flags);
  }
  // The agent's account holds every privilege (also KILL and SET GLOBAL).
  bool ConnectAdmin(TMysqlClient& c, bool compress = false) {
    return Connect(c, kAgentUser, kAgentPassword, compress);
  }
  // Runs a statement that must succeed without rows.
  void Exec(TMysqlClient& c, const std::string& sql) {
    bool ok = false;
    auto r = c.Query(sql, true, ok);
    ASSERT_TRUE(ok) << sql << ": " << c.ErrorNumber() << " " << c.ErrorMessage();
  }
  // The result of a query that must succeed (stored or streamed); null, and
  // the test failed, when it did not.
  std::unique_ptr<TMysqlResult> Rows(TMysqlClient& c, const std::string& sql, bool store = true) {
    bool ok = false;
    auto r = c.Query(sql, store, ok);
    EXPECT_TRUE(ok) << sql << ": " << c.ErrorMessage();
    return ok ? std::move(r) : nullptr;
  }
  // First value of the first row of a query.
  std::string Scalar(TMysqlClient& c, const std::string& sql) {
    auto r = Rows(c, sql);
    if (!r || r->RowCount() == 0 || !r->Value(0)) return "<none>";
    return std::string(r->Value(0), r->ValueLength(0));
  }
};

TEST_F(WireSandbox, LoginsWithEachKindOfAccountPlainAndCompressed) {
  struct Case {
    const char* user;
    const char* password;
  } cases[] = {{kAgentUser, kAgentPassword}, {kOldUser, kOldPassword}, {kEmptyUser, ""}};
  for (bool compress : {false, true}) {
    for (const Case& k : cases) {
      TMysqlClient c;
      c.SetOldPasswords(k.user == std::string(kOldUser));
      ASSERT_TRUE(Connect(c, k.user, k.password, compress))
          << k.user << " compress=" << compress << ": " << c.ErrorNumber() << " "
          << c.ErrorMessage();
      EXPECT_EQ(c.ErrorNumber(), 0);
      EXPECT_EQ(c.NetForTesting().Compress(), compress);
      EXPECT_EQ((c.ClientFlags() & wire::CLIENT_COMPRESS) != 0, compress);
      EXPECT_EQ(c.ServerCharset(), 8u);  // latin1
      EXPECT_NE(c.ThreadId(), 0u);
      EXPECT_EQ(c.ServerVersion().rfind("5.5.5-", 0), 0u) << c.ServerVersion();
      EXPECT_EQ(Scalar(c, "select current_user()").substr(0, std::string(k.user).size()), k.user);
      EXPECT_EQ(Scalar(c, "select database()"), kTestDatabase);
    }
  }
}

TEST_F(WireSandbox, LoginFlagsOfTheAgentSettings) {
  TMysqlClient c;
  ASSERT_TRUE(ConnectAdmin(c, true));
  // Base flags (local files stay off), compression, database, multi
  // statements and results, and login methods by name, which the server
  // offers.
  EXPECT_EQ(c.ClientFlags(), 0xBE22Du);
  EXPECT_EQ(c.AuthMethod(), "mysql_native_password");
}

TEST_F(WireSandbox, WrongPasswordGivesTheServersAccessDenied) {
  TMysqlClient c;
  EXPECT_FALSE(Connect(c, kAgentUser, "wrong"));
  EXPECT_EQ(c.ErrorNumber(), 1045);
  EXPECT_EQ(c.ErrorMessage(),
            "Access denied for user 'tolve536'@'127.0.0.1' (using password: YES)");
  EXPECT_FALSE(c.Connected());
  TMysqlClient old;
  old.SetOldPasswords(true);
  EXPECT_FALSE(Connect(old, kOldUser, "wrong"));
  EXPECT_EQ(old.ErrorNumber(), 1045);
}

TEST_F(WireSandbox, UnknownDatabaseFailsWithTheServersError) {
  TMysqlClient c;
  EXPECT_FALSE(Connect(c, kAgentUser, kAgentPassword, false, "no_such_db"));
  EXPECT_EQ(c.ErrorNumber(), 1049);
  EXPECT_EQ(c.ErrorMessage(), "Unknown database 'no_such_db'");
}

TEST_F(WireSandbox, TransportErrors) {
  TMysqlClient c;
  c.SetConnectTimeout(5);
  EXPECT_FALSE(c.ConnectToServer("no-such-host.invalid", "root", "x", "", Port(), "", true, 0));
  EXPECT_EQ(c.ErrorNumber(), wire::CR_UNKNOWN_HOST);
  EXPECT_EQ(c.ErrorMessage().rfind("Unknown MySQL Server Host 'no-such-host.invalid' (", 0), 0u)
      << c.ErrorMessage();

  // A port nobody listens on: find one by binding and closing.
  TMysqlClient d;
  d.SetConnectTimeout(5);
  EXPECT_FALSE(d.ConnectToServer("127.0.0.1", "root", "x", "", 1, "", true, 0));
  EXPECT_EQ(d.ErrorNumber(), wire::CR_CONN_HOST_ERROR);
  EXPECT_EQ(d.ErrorMessage().rfind("Can't connect to MySQL server on '127.0.0.1' (", 0), 0u)
      << d.ErrorMessage();
}

TEST_F(WireSandbox, SelectStoredAndStreamed) {
  TMysqlClient c;
  ASSERT_TRUE(ConnectAdmin(c));
  Exec(c, "drop table if exists w_sel");
  Exec(c,
       "create table w_sel (id int primary key, nome varchar(20), valor decimal(10,2), "
       "nota text null) character set latin1");
  Exec(c, "insert into w_sel values (1,'Ana',1.50,null),(2,'Jos\xE9',20.00,'x'),(3,'',0,'')");
  for (bool compress : {false, true}) {
    TMysqlClient k;
    ASSERT_TRUE(ConnectAdmin(k, compress));
    auto r = Rows(k, "select id, nome, valor, nota from w_sel order by id");
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->IsStored());
    EXPECT_EQ(r->RowCount(), 3u);
    EXPECT_EQ(k.AffectedRows(), 3u);
    ASSERT_EQ(r->ColumnCount(), 4u);
    EXPECT_EQ(r->Column(1)->name, "nome");
    EXPECT_EQ(r->Column(1)->table, "w_sel");
    EXPECT_EQ(r->Column(0)->type, wire::MYSQL_TYPE_LONG);
    EXPECT_TRUE(wire::IsPrimaryKey(r->Column(0)));
    EXPECT_TRUE(r->Column(0)->flags & wire::NUM_FLAG);
    EXPECT_EQ(r->Column(2)->type, wire::MYSQL_TYPE_NEWDECIMAL);
    EXPECT_EQ(r->Column(1)->maxLength, 4u);
    EXPECT_EQ(r->ColumnByName("NOME", false), r->Column(1));
    EXPECT_EQ(r->ColumnByName("NOME", true), nullptr);
    EXPECT_EQ(r->CurrentRow(), 0);
    EXPECT_STREQ(r->Value(1), "Ana");
    EXPECT_EQ(r->Value(3), nullptr);
    r->Next();
    EXPECT_STREQ(r->Value(1), "Jos\xE9");
    EXPECT_STREQ(r->Value(2), "20.00");
    r->Next();
    EXPECT_STREQ(r->Value(1), "");
    EXPECT_STREQ(r->Value(3), "");
    EXPECT_FALSE(r->AtEnd());
    r->Next();
    EXPECT_TRUE(r->AtEnd());

    auto s = Rows(k, "select id, nome from w_sel order by id", false);
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->IsStored());
    EXPECT_EQ(k.Status(), wire::TClientStatus::kStreaming);
    std::string seen;
    while (!s->AtEnd()) {
      seen += s->Value(0);
      s->Next();
    }
    EXPECT_EQ(seen, "123");
    EXPECT_EQ(s->RowCount(), 3u);
    EXPECT_EQ(s->ReadState(), 1);
    EXPECT_EQ(k.Status(), wire::TClientStatus::kReady);
    EXPECT_EQ(Scalar(k, "select 7"), "7");
  }
}

TEST_F(WireSandbox, EmptyResultAndCommandsOutOfSync) {
  TMysqlClient c;
  ASSERT_TRUE(ConnectAdmin(c));
  auto r = Rows(c, "select 1 from dual where 1=0");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->RowCount(), 0u);
  EXPECT_TRUE(r->AtEnd());
  EXPECT_EQ(r->CurrentRow(), -1);
  EXPECT_EQ(r->Value(0), nullptr);

  bool ok = false;
  auto s = c.Query("select 1 union select 2 union select 3", false, ok);
  ASSERT_TRUE(s);
  auto t = c.Query("select 4", true, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(c.ErrorNumber(), wire::CR_COMMANDS_OUT_OF_SYNC);
  EXPECT_EQ(c.ErrorMessage(), "Commands out of sync;  You can't run this command now");
  s.reset();  // reads and drops the rest of the stream
  EXPECT_EQ(Scalar(c, "select 4"), "4");
}

TEST_F(WireSandbox, UpdateInsertAndServerErrors) {
  TMysqlClient c;
  ASSERT_TRUE(ConnectAdmin(c, true));
  Exec(c, "drop table if exists w_upd");
  Exec(c, "create table w_upd (id int auto_increment primary key, v int)");
  Exec(c, "insert into w_upd (v) values (1),(1),(1),(2)");
  bool ok = false;
  auto r = c.Query("update w_upd set v = 5 where v = 1", true, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(c.AffectedRows(), 3u);
  EXPECT_EQ(c.Info(), "Rows matched: 3  Changed: 3  Warnings: 0");

  Exec(c, "alter table w_upd auto_increment = 20000000");
  c.Query("insert into w_upd (v) values (9)", true, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(c.InsertId(), 20000000u);
  EXPECT_EQ(c.AffectedRows(), 1u);

  c.Query("insert into w_upd (id, v) values (1, 1)", true, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.ErrorNumber(), 1062);
  EXPECT_EQ(c.ErrorMessage(), "Duplicate entry '1' for key 'PRIMARY'");
  EXPECT_TRUE(c.Connected());
  c.Query("selec 1", true, ok);
  EXPECT_EQ(c.ErrorNumber(), 1064);
  EXPECT_EQ(Scalar(c, "select count(*) from w_upd"), "5");
}

TEST_F(WireSandbox, MultiStatementResults) {
  TMysqlClient c;
  ASSERT_TRUE(ConnectAdmin(c));
  auto r = Rows(c, "select 1 as a; select 'x' as b, 'y' as c; set @z = 1");
  ASSERT_TRUE(r);
  EXPECT_STREQ(r->Value(0), "1");
  EXPECT_TRUE(c.MoreResults());
  bool ok = false;
  auto s = c.NextResult(true, ok);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->ColumnCount(), 2u);
  EXPECT_STREQ(s->Value(1), "y");
  EXPECT_TRUE(c.MoreResults());
  auto t = c.NextResult(true, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(t, nullptr);
  EXPECT_FALSE(c.MoreResults());
  EXPECT_EQ(c.NextResult(true, ok), nullptr);
  EXPECT_EQ(Scalar(c, "select 2"), "2");

  // An error in a later statement surfaces at its NextResult.
  r = c.Query("select 1; select * from no_such_table", true, ok);
  ASSERT_TRUE(r);
  s = c.NextResult(true, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.ErrorNumber(), 1146);
  EXPECT_FALSE(c.MoreResults());
  EXPECT_EQ(Scalar(c, "select 3"), "3");
}

TEST_F(WireSandbox, HostileValuesStayValuesInBothBackslashModes) {
  std::string every;
  for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
  const std::string values[] = {
      "'",
      "\\",
      "\\'",
      "''",
      "O'Brien \\",
      "' where 0;drop table w_canary;#",
      "\\' where 0;drop table w_canary;#",
      "x -- y",
      "/* z",
      "#",
      ":name",
      std::string("nul\0byte\0end", 12),
      every,
  };
  for (bool noBackslash : {false, true}) {
    SCOPED_TRACE(noBackslash ? "NO_BACKSLASH_ESCAPES" : "backslash escapes");
    TMysqlClient c;
    ASSERT_TRUE(ConnectAdmin(c));
    Exec(c, "drop table if exists w_hostile");
    Exec(c, "create table if not exists w_canary (id int)");
    Exec(c, "create table w_hostile (id int primary key, v varbinary(600))");
    Exec(c, noBackslash ? "set session sql_mode = 'NO_BACKSLASH_ESCAPES'"
                        : "set session sql_mode = ''");
    // The mode comes with the server status of every reply.
    ASSERT_EQ(c.NoBackslashEscapes(), noBackslash);
    int id = 0;
    for (const std::string& v : values) {
      ++id;
      Exec(c, "insert into w_hostile values (" + std::to_string(id) + ", '" +
                  wire::EscapeString(v, c.NoBackslashEscapes()) + "')");
      EXPECT_EQ(Scalar(c, "select v from w_hostile where id = " + std::to_string(id)), v) << id;
    }
    EXPECT_EQ(Scalar(c, "select count(*) from w_hostile"), std::to_string(id));
    EXPECT_EQ(Scalar(c,
                     "select count(*) from information_schema.tables where table_schema = "
                     "database() and table_name = 'w_canary'"),
              "1");
  }
}

TEST_F(WireSandbox, WithoutMultiStatementsASecondStatementNeverRuns) {
  TMysqlClient c;
  c.SetCompress(false);
  ASSERT_TRUE(
      c.ConnectToServer(Host(), kAgentUser, kAgentPassword, kTestDatabase, Port(), "", true, 0));
  EXPECT_EQ(c.ClientFlags() & (wire::CLIENT_MULTI_STATEMENTS | wire::CLIENT_MULTI_RESULTS), 0u);
  Exec(c, "create table if not exists w_canary (id int)");
  bool ok = true;
  c.Query("update w_canary set id = 1 where 0;drop table w_canary;#", true, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.ErrorNumber(), 1064);  // a syntax error: the text is one statement
  EXPECT_EQ(Scalar(c,
                   "select count(*) from information_schema.tables where table_schema = "
                   "database() and table_name = 'w_canary'"),
            "1");
}

TEST_F(WireSandbox, SelectDatabaseAndPing) {
  TMysqlClient c;
  ASSERT_TRUE(ConnectAdmin(c));
  EXPECT_TRUE(c.Ping());
  EXPECT_TRUE(c.SelectDatabase(kPdvDatabase));
  EXPECT_EQ(c.Database(), kPdvDatabase);
  EXPECT_EQ(Scalar(c, "select database()"), kPdvDatabase);
  EXPECT_FALSE(c.SelectDatabase("no_such_db"));
  EXPECT_EQ(c.ErrorNumber(), 1049);
  EXPECT_EQ(c.Database(), kPdvDatabase);
  c.Disconnect();
  EXPECT_FALSE(c.Connected());
  EXPECT_EQ(c.ThreadId(), 0u);
  EXPECT_EQ(c.ServerStatus(), 2u);
  // The next command reconnects with the stored values.
  EXPECT_EQ(Scalar(c, "select database()"), kPdvDatabase);
}

TEST_F(WireSandbox, LocalFileTransfer) {
  TMysqlClient c;
  c.SetLocalFiles(true);
  ASSERT_TRUE(ConnectAdmin(c, true));
  Exec(c, "set global local_infile = 1");
  Exec(c, "drop table if exists w_load");
  Exec(c, "create table w_load (id int, nome varchar(80))");
  const std::string path = "/tmp/wire_load_" + std::to_string(::getpid()) + ".txt";
  {
    std::ofstream f(path, std::ios::binary);
    // More than one 61440-byte block.
    for (int i = 0; i < 5000; ++i) f << i << "\tlinha numero " << i << " de teste\n";
  }
  bool ok = false;
  c.Query("load data local infile '" + path + "' into table w_load", true, ok);
  EXPECT_TRUE(ok) << c.ErrorNumber() << " " << c.ErrorMessage();
  EXPECT_EQ(c.AffectedRows(), 5000u);
  EXPECT_EQ(Scalar(c, "select nome from w_load where id = 4999"), "linha numero 4999 de teste");
  std::remove(path.c_str());

  c.Query("load data local infile '/nonexistent/file.txt' into table w_load", true, ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(c.ErrorNumber(), 0);
  EXPECT_EQ(c.ErrorMessage(), "File '/nonexistent/file.txt' not found (Errcode: 2)");
  EXPECT_EQ(Scalar(c, "select count(*) from w_load"), "5000");
}

TEST_F(WireSandbox, LocalFilesOffLoadNothing) {
  TMysqlClient admin;
  ASSERT_TRUE(ConnectAdmin(admin));
  Exec(admin, "set global local_infile = 1");
  Exec(admin, "drop table if exists w_noload");
  Exec(admin, "create table w_noload (linha varchar(200))");
  const std::string path = "/tmp/wire_noload_" + std::to_string(::getpid()) + ".txt";
  std::ofstream(path, std::ios::binary) << "nao deve chegar\n";
  TMysqlClient c;
  ASSERT_TRUE(ConnectAdmin(c));
  EXPECT_EQ(c.ClientFlags() & wire::CLIENT_LOCAL_FILES, 0u);
  bool ok = true;
  c.Query("load data local infile '" + path + "' into table w_noload", true, ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(c.ErrorNumber(), 0);
  EXPECT_EQ(Scalar(admin, "select count(*) from w_noload"), "0");
  std::remove(path.c_str());
}

TEST_F(WireSandbox, LargeValueGrowsTheBufferAndShrinksAfter) {
  for (bool compress : {false, true}) {
    TMysqlClient c;
    ASSERT_TRUE(ConnectAdmin(c, compress));
    auto r = Rows(c, "select repeat('ab', 5000000) as v, 'tail' as t");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->ValueLength(0), 10000000u);
    EXPECT_EQ(std::string(r->Value(0), 6), "ababab");
    EXPECT_STREQ(r->Value(1), "tail");
    // Given back after the result was read.
    EXPECT_EQ(c.NetForTesting().BufferSize(), wire::kNetBufferLength);
    // Streamed: grows while the row is read, shrinks when the stream ends.
    auto s = Rows(c, "select repeat('z', 3000000)", false);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ValueLength(0), 3000000u);
    EXPECT_GT(c.NetForTesting().BufferSize(), 3000000u);
    s->Next();
    EXPECT_TRUE(s->AtEnd());
    EXPECT_EQ(c.NetForTesting().BufferSize(), wire::kNetBufferLength);
  }
}

TEST_F(WireSandbox, PacketPastTheLimitIsReported) {
  TMysqlClient c;
  ASSERT_TRUE(ConnectAdmin(c));
  // The server must be willing to send more than 16 MiB; the setting is
  // shared, so it is put back as it was.
  const std::string before = Scalar(c, "select @@global.max_allowed_packet");
  const bool raise = std::stoull(before) < 33554432;
  if (raise) Exec(c, "set global max_allowed_packet = 33554432");
  TMysqlClient big;
  ASSERT_TRUE(ConnectAdmin(big));
  bool ok = false;
  auto r = big.Query("select repeat('q', 17000000)", true, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(big.ErrorNumber(), wire::CR_NET_PACKET_TOO_LARGE);
  EXPECT_EQ(big.ErrorMessage(), "Got packet bigger than 'max_allowed_packet'");
  // The next command reconnects.
  EXPECT_EQ(Scalar(big, "select 5"), "5");
  if (raise) Exec(c, "set global max_allowed_packet = " + before);

  // A statement that cannot be sent at all leaves the connection usable.
  std::string huge = "select '" + std::string(0xFFFFFF, 'a') + "'";
  big.Query(huge, true, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(big.ErrorNumber(), wire::CR_NET_PACKET_TOO_LARGE);
  EXPECT_EQ(Scalar(big, "select 6"), "6");
}

TEST_F(WireSandbox, TlsIsNegotiatedAndCarriesQueries) {
  for (bool compress : {false, true}) {
    TMysqlClient c;
    c.SetSslMode(true);
    ASSERT_TRUE(Connect(c, kAgentUser, kAgentPassword, compress))
        << c.ErrorNumber() << " " << c.ErrorMessage();
    EXPECT_TRUE(c.ClientFlags() & wire::CLIENT_SSL);
    EXPECT_EQ(c.NetForTesting().Kind(), wire::kVioTls);
    EXPECT_FALSE(c.Cipher().empty());
    EXPECT_NE(Scalar(c, "show session status like 'Ssl_version'"), "<none>");
    bool ok = false;
    auto r = c.Query("show session status like 'Ssl_cipher'", true, ok);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::string(r->Value(1)), c.Cipher());
    auto big = c.Query("select repeat('t', 200000)", true, ok);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->ValueLength(0), 200000u);
  }
}

TEST_F(WireSandbox, KilledConnectionIsReconnectedOnTheNextQuery) {
  TMysqlClient victim, killer;
  ASSERT_TRUE(ConnectAdmin(victim, true));
  ASSERT_TRUE(ConnectAdmin(killer));
  const std::uint32_t first = victim.ThreadId();
  Exec(killer, "kill " + std::to_string(first));
  EXPECT_EQ(Scalar(victim, "select 11"), "11");
  EXPECT_NE(victim.ThreadId(), first);
  EXPECT_EQ(victim.ErrorNumber(), 0);
  EXPECT_EQ(Scalar(victim, "select database()"), kTestDatabase);
}

TEST_F(WireSandbox, ReplyCutInTheMiddleIsALostConnection) {
  TMysqlClient victim, killer;
  ASSERT_TRUE(ConnectAdmin(victim));
  ASSERT_TRUE(ConnectAdmin(killer));
  bool ok = false;
  // A long streamed result: the server is still sending when it is killed.
  auto s = victim.Query("select seq, repeat('r', 100) from seq_1_to_2000000", false, ok);
  ASSERT_TRUE(s) << victim.ErrorMessage();
  Exec(killer, "kill " + std::to_string(victim.ThreadId()));
  while (!s->AtEnd()) s->Next();
  EXPECT_EQ(s->ReadState(), -1);
  EXPECT_TRUE(victim.ErrorNumber() == wire::CR_SERVER_LOST || victim.ErrorNumber() == 1927 ||
              victim.ErrorNumber() == 1317)
      << victim.ErrorNumber() << " " << victim.ErrorMessage();
  s.reset();
  EXPECT_EQ(Scalar(victim, "select 12"), "12");
}

TEST_F(WireSandbox, ThreadSafeClientSerialisesCommands) {
  TMysqlClient c;
  c.SetThreadSafe(true);
  ASSERT_TRUE(ConnectAdmin(c, true));
  std::atomic<int> wrong{0};
  auto work = [&](int base) {
    for (int i = 0; i < 40; ++i) {
      bool ok = false;
      const std::string n = std::to_string(base + i);
      auto r = c.Query("select " + n + ", repeat('v', 3000)", true, ok);
      if (!ok || !r || !r->Value(0) || n != r->Value(0)) ++wrong;
    }
  };
  std::thread a(work, 1000), b(work, 2000);
  a.join();
  b.join();
  EXPECT_EQ(wrong.load(), 0);
  c.SetThreadSafe(false);
  EXPECT_FALSE(c.ThreadSafe());
  EXPECT_EQ(Scalar(c, "select 1"), "1");
}

TEST_F(WireSandbox, ConnectionLostInsideATransactionIsReportedOnce) {
  TMysqlClient victim, killer;
  ASSERT_TRUE(ConnectAdmin(victim));
  ASSERT_TRUE(ConnectAdmin(killer));
  Exec(victim, "start transaction");
  ASSERT_TRUE(victim.ServerStatus() & wire::SERVER_STATUS_IN_TRANS);
  Exec(killer, "kill " + std::to_string(victim.ThreadId()));
  bool ok = true;
  victim.Query("select 1", true, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(victim.ErrorNumber(), wire::CR_SERVER_LOST);
  // The next command starts a new session.
  EXPECT_EQ(Scalar(victim, "select 13"), "13");
}

TEST_F(WireSandbox, TlsGoesOnWhenTheClientCertificateCannotBeLoaded) {
  TMysqlClient c;
  c.SetSslMode(true);
  c.SetSslCertificate("/nonexistent/client-cert.pem");
  c.SetSslKey("/nonexistent/client-key.pem");
  ASSERT_TRUE(ConnectAdmin(c)) << c.ErrorNumber() << " " << c.ErrorMessage();
  EXPECT_EQ(c.NetForTesting().Kind(), wire::kVioTls);
  EXPECT_EQ(Scalar(c, "select 14"), "14");
  // Switching TLS off closes the connection; a reconnect repeats the TLS
  // request it made, a new connect without it is plain.
  c.SetSslMode(false);
  EXPECT_FALSE(c.Connected());
  EXPECT_TRUE(c.Reconnect());
  EXPECT_EQ(c.NetForTesting().Kind(), wire::kVioTls);
  c.Disconnect();
  ASSERT_TRUE(ConnectAdmin(c));
  EXPECT_EQ(c.NetForTesting().Kind(), wire::kVioTcp);
}

}  // namespace
