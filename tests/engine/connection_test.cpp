// The native connection against the sandbox: connect failures and their
// messages, server version and character set, direct execution,
// transactions and the table check.
#include "engine_fixture.h"

namespace engine {
namespace {

using ConnectionTest = EngineTest;

TEST_F(ConnectionTest, VersionAndCharacterSet) {
  EXPECT_TRUE(conn_->Connected());
  // MariaDB announces itself as 5.5.5-10.x.
  EXPECT_EQ(conn_->ServerVersion(), 50505);
  EXPECT_EQ(conn_->Host(), Host());
  int code_page = -1;
  ASSERT_EQ(engine_.GetServerCharacterSet(conn_, code_page), 0);
  EXPECT_EQ(code_page, 1);  // latin1
  EXPECT_EQ(conn_->Client().CompressOption(), true);
}

TEST_F(ConnectionTest, WrongPasswordGivesTheServerNumberAndText) {
  TNativeConnect* other = nullptr;
  DBIResult r = engine_.OpenDatabase(0, Params(kAgentUser, "wrong"), other);
  EXPECT_EQ(r, DBIERR_NATIVE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(engine_.LastNativeError(), 1045);
  try {
    engine_.Check(r);
    FAIL();
  } catch (const EmySQLDatabaseError& e) {
    const std::string m = e.what();
    EXPECT_EQ(m.rfind("MySQL Error Code: (1045)\r\nAccess denied for user 'tolve536'", 0), 0u) << m;
    EXPECT_EQ(e.NativeError(), 1045);
    EXPECT_EQ(e.ErrorCode(), DBIERR_NATIVE);
  }
  // A later engine-code failure keeps the old native number and so the
  // "MySQL Error Code" form.
  EXPECT_EQ(engine_.CheckTableExists(conn_, "no_such_table_here"), DBIERR_NOSUCHTABLE);
  EXPECT_EQ(engine_.LastErrorMessage(), "no_such_table_here");
  EXPECT_EQ(engine_.ErrorMessageFor(DBIERR_NOSUCHTABLE).rfind("MySQL Error Code: (1045)\r\n", 0),
            0u);
}

TEST_F(ConnectionTest, TableMissingUsesTheDbiFormWithoutEarlierNativeError) {
  EXPECT_EQ(engine_.CheckTableExists(conn_, "no_such_table_here"), DBIERR_NOSUCHTABLE);
  EXPECT_EQ(engine_.ErrorMessageFor(DBIERR_NOSUCHTABLE),
            "DBI Error Code: (10024)\r\nno_such_table_here \r\nTable does not exist.");
  const std::string t = CreateTable("(a INT)");
  EXPECT_EQ(engine_.CheckTableExists(conn_, rtl::UpperCase(t)), 0);
}

TEST_F(ConnectionTest, ExecuteDirectDrainsEveryResult) {
  const std::string t = CreateTable("(a INT)", "(1),(2),(3),(4),(5)");
  std::uint64_t affected = 99;
  ASSERT_EQ(
      engine_.ExecuteDirect(
          conn_, "UPDATE " + t + " SET a=a+10 WHERE a<4; UPDATE " + t + " SET a=a+10 WHERE a=4",
          &affected),
      0)
      << engine_.LastErrorMessage();
  EXPECT_EQ(affected, 1u);
  // The connection is usable afterwards, and a server error comes back as
  // DBIERR_NATIVE with the server's number.
  EXPECT_EQ(engine_.ExecuteDirect(conn_, "SELEC 1", &affected), DBIERR_NATIVE);
  EXPECT_EQ(engine_.LastNativeError(), 1064);
  EXPECT_EQ(engine_.ExecuteDirect(conn_, "SELECT 1; SELECT 2", &affected), 0);
  TNativeDataSet* c = Open("SELECT SUM(a) FROM " + t);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Column(c, 1), std::vector<std::string>{"55"});
}

TEST_F(ConnectionTest, TransactionsNestOnlyOnce) {
  const std::string t = CreateTable("(a INT) ENGINE=InnoDB");
  TNativeConnect* tx = nullptr;
  ASSERT_EQ(engine_.BeginTransaction(conn_, 1, tx), 0);
  EXPECT_EQ(tx, conn_);
  TNativeConnect* tx2 = nullptr;
  ASSERT_EQ(engine_.BeginTransaction(conn_, 2, tx2), 0);
  EXPECT_EQ(tx2, nullptr);  // the second begin is ignored
  TransactionInfo info{};
  ASSERT_EQ(engine_.GetTransactionInfo(conn_, tx, info), 0);
  EXPECT_EQ(info.eXState, 1);
  EXPECT_EQ(info.eXIL, 1);
  Exec("INSERT INTO " + t + " VALUES (1)");
  ASSERT_EQ(engine_.EndTransaction(conn_, tx, 1), 0);  // rollback
  ASSERT_EQ(engine_.GetTransactionInfo(conn_, tx, info), 0);
  EXPECT_EQ(info.eXState, 0);
  TNativeDataSet* c = Open("SELECT COUNT(*) FROM " + t);
  EXPECT_EQ(Column(c, 1), std::vector<std::string>{"0"});

  ASSERT_EQ(engine_.BeginTransaction(conn_, 1, tx), 0);
  Exec("INSERT INTO " + t + " VALUES (1)");
  ASSERT_EQ(engine_.EndTransaction(conn_, tx, 0), 0);  // commit
  c = Open("SELECT COUNT(*) FROM " + t);
  EXPECT_EQ(Column(c, 1), std::vector<std::string>{"1"});
}

TEST_F(ConnectionTest, CloseDatabaseFreesRegisteredTableCursors) {
  const std::string t = CreateTable("(a INT PRIMARY KEY)");
  TNativeConnect* other = nullptr;
  ASSERT_EQ(engine_.OpenDatabase(0, Params(kAgentUser, kAgentPassword), other), 0);
  TNativeDataSet* cursor = nullptr;
  ASSERT_EQ(engine_.OpenTable(other, t, "", -1, 0, cursor), 0) << engine_.LastErrorMessage();
  EXPECT_EQ(other->OpenCursors().Items().size(), 1u);
  EXPECT_EQ(engine_.CloseDatabase(other), 0);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(engine_.CurrentHandle(), nullptr);
  EXPECT_EQ(engine_.CloseDatabase(other), DBIERR_INVALIDHNDL);
}

TEST_F(ConnectionTest, FieldAndIndexLists) {
  const std::string t =
      CreateTable("(a INT NOT NULL, b VARCHAR(10), c INT, PRIMARY KEY (a, b), UNIQUE KEY u (c))");
  TNativeDataSet* list = nullptr;
  ASSERT_EQ(engine_.OpenFieldList(conn_, t, list), 0) << engine_.LastErrorMessage();
  int count = 0;
  ASSERT_EQ(engine_.GetRecordCount(list, count), 0);
  EXPECT_EQ(count, 3);
  FieldDescriptor fd{};
  ASSERT_EQ(engine_.GetNextRecord(list, 0, nullptr, reinterpret_cast<std::uint8_t*>(&fd)), 0);
  EXPECT_STREQ(fd.szName, "a");
  ASSERT_EQ(engine_.GetNextRecord(list, 0, nullptr, reinterpret_cast<std::uint8_t*>(&fd)), 0);
  ASSERT_EQ(engine_.GetNextRecord(list, 0, nullptr, reinterpret_cast<std::uint8_t*>(&fd)), 0);
  EXPECT_STREQ(fd.szName, "c");
  EXPECT_EQ(engine_.GetNextRecord(list, 0, nullptr, reinterpret_cast<std::uint8_t*>(&fd)),
            DBIERR_EOF);
  engine_.CloseCursor(list);

  ASSERT_EQ(engine_.OpenIndexList(conn_, t, list), 0) << engine_.LastErrorMessage();
  ASSERT_EQ(engine_.GetRecordCount(list, count), 0);
  EXPECT_EQ(count, 2);
  IndexDescriptor id{};
  ASSERT_EQ(engine_.GetNextRecord(list, 0, nullptr, reinterpret_cast<std::uint8_t*>(&id)), 0);
  EXPECT_STREQ(id.szName, "");
  EXPECT_NE(Packed(id.bPrimary), 0);
  EXPECT_NE(Packed(id.bUnique), 0);
  EXPECT_EQ(Packed(id.iFldsInKey), 2);
  EXPECT_EQ(Packed(id.aiKeyFld[0]), 1);
  EXPECT_EQ(Packed(id.aiKeyFld[1]), 2);
  EXPECT_EQ(Packed(id.iBlockSize), 4 + 11);
  EXPECT_EQ(Packed(id.iKeyLen), 4 + 11 + 2);
  ASSERT_EQ(engine_.GetNextRecord(list, 0, nullptr, reinterpret_cast<std::uint8_t*>(&id)), 0);
  EXPECT_STREQ(id.szName, "u");
  EXPECT_EQ(Packed(id.iIndexId), 2);
  EXPECT_EQ(Packed(id.bPrimary), 0);
  engine_.CloseCursor(list);
}

}  // namespace
}  // namespace engine
