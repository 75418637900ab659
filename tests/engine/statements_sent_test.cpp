// What the engine sends on its own, counted with the server's own statement
// counter of the session: the first open of a table cursor, index switches,
// repeated commands, and the character set of a database that differs from
// the server's.
#include "engine_fixture.h"

namespace engine {
namespace {

class StatementsSentTest : public EngineTest {
 protected:
  // Statements the server has run for this session, not counting this
  // question itself.
  long Questions() {
    bool ok = false;
    auto r = conn_->Client().Query("SHOW SESSION STATUS LIKE 'Questions'", true, ok);
    EXPECT_TRUE(ok && r && r->RowCount() == 1);
    if (!r || r->RowCount() == 0) return -1;
    r->First();
    return std::atol(r->Value(1)) - ++asked_;
  }
  long asked_ = 0;
};

TEST_F(StatementsSentTest, FirstOpenOfATableCursorCostsThreeStatements) {
  const std::string t = Table();
  Exec("CREATE TABLE " + t +
       " (codigo INT AUTO_INCREMENT PRIMARY KEY, nome VARCHAR(20), KEY n (nome))");
  Exec("INSERT INTO " + t + " (nome) VALUES ('b'),('a')");
  const long before = Questions();
  TNativeDataSet* c = OpenTable(t);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Questions() - before, 3);  // probe with limit 0, SHOW INDEX, ordered select
  // The index in force again: nothing; another index: one select; the same
  // one again: nothing.
  long mark = Questions();
  ASSERT_EQ(engine_.SwitchToIndex(c, "", nullptr, 1), 0);
  EXPECT_EQ(Questions() - mark, 0);
  ASSERT_EQ(engine_.SwitchToIndex(c, "n", nullptr, 0), 0);
  EXPECT_EQ(Questions() - mark, 1);
  ASSERT_EQ(engine_.SwitchToIndex(c, "n", nullptr, 0), 0);
  EXPECT_EQ(Questions() - mark, 1);
  // Walking, counting and key lookups stay in memory.
  mark = Questions();
  EXPECT_EQ(Column(c, 2), (std::vector<std::string>{"a", "b"}));
  int count = 0;
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  EXPECT_EQ(Questions() - mark, 0);
  // A refresh runs the select once more.
  ASSERT_EQ(engine_.ForceReread(c), 0);
  EXPECT_EQ(Questions() - mark, 1);
}

TEST_F(StatementsSentTest, RepeatedCommandIsSentOnce) {
  const std::string t = CreateTable("(a INT)");
  TNativeDataSet* stmt = nullptr;
  ASSERT_EQ(engine_.AllocateStatement(conn_, stmt), 0);
  cursors_.push_back(stmt);
  ASSERT_EQ(engine_.PrepareStatement(stmt, "INSERT INTO " + t + " VALUES (1)"), 0);
  const long before = Questions();
  ASSERT_EQ(engine_.ExecuteStatement(stmt), 0);
  ASSERT_EQ(engine_.ExecuteStatement(stmt), 0);
  EXPECT_EQ(Questions() - before, 1);
}

TEST_F(StatementsSentTest, DatabaseCharacterSetDifferingFromTheServers) {
  const std::string db = "eng_cs_utf8_" + std::to_string(getpid());
  Exec("DROP DATABASE IF EXISTS " + db);
  Exec("CREATE DATABASE " + db + " CHARACTER SET utf8mb4");
  TNativeConnect* other = nullptr;
  ASSERT_EQ(engine_.OpenDatabase(0, Params(kAgentUser, kAgentPassword, db), other), 0)
      << engine_.LastErrorMessage();
  int code_page = -1;
  ASSERT_EQ(engine_.GetServerCharacterSet(other, code_page), 0);
  // No single-byte table for utf8mb4: after SET CHARACTER SET utf8mb4 the
  // session is switched to latin1.
  EXPECT_EQ(code_page, 1);
  bool ok = false;
  auto r =
      other->Client().Query("SELECT @@character_set_client, @@character_set_results", true, ok);
  ASSERT_TRUE(ok && r);
  r->First();
  EXPECT_STREQ(r->Value(0), "latin1");
  EXPECT_STREQ(r->Value(1), "latin1");
  r.reset();
  engine_.CloseDatabase(other);
  Exec("DROP DATABASE " + db);
}

}  // namespace
}  // namespace engine
