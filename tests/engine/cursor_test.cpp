// Statement and table cursors: navigation states, bookmarks, record
// numbers, multi-result texts, parameters, commands, the statements a table
// cursor sends and its index descriptors.
#include "engine_fixture.h"

namespace engine {
namespace {

using CursorTest = EngineTest;

TEST_F(CursorTest, EmptyResultAndPositionStates) {
  const std::string t = CreateTable("(a INT)");
  TNativeDataSet* c = Open("SELECT * FROM " + t);
  ASSERT_NE(c, nullptr);
  auto b = Buffer(c);
  // Right after opening there is no current record.
  EXPECT_EQ(engine_.GetRecord(c, 0, nullptr, b.data()), DBIERR_NOCURRREC);
  engine_.SetToBegin(c);
  EXPECT_EQ(engine_.GetRecord(c, 0, nullptr, b.data()), DBIERR_BOF);
  EXPECT_EQ(engine_.GetNextRecord(c, 0, nullptr, b.data()), DBIERR_EOF);
  engine_.SetToEnd(c);
  EXPECT_EQ(engine_.GetRecord(c, 0, nullptr, b.data()), DBIERR_EOF);
  EXPECT_EQ(engine_.GetPriorRecord(c, 0, nullptr, b.data()), DBIERR_BOF);
  int count = -1;
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(CursorTest, WalkingBothWaysAndBookmarks) {
  const std::string t = CreateTable("(a INT)", "(10),(20),(30)");
  TNativeDataSet* c = Open("SELECT a FROM " + t + " ORDER BY a");
  ASSERT_NE(c, nullptr);
  auto b = Buffer(c);
  EXPECT_EQ(Column(c, 1), (std::vector<std::string>{"10", "20", "30"}));
  // From the end backwards; running off the beginning is 8705.
  engine_.SetToEnd(c);
  RecordProperties rp{};
  ASSERT_EQ(engine_.GetPriorRecord(c, 0, &rp, b.data()), 0);
  EXPECT_EQ(Plain(c, 1, b), "30");
  EXPECT_EQ(rp.iSeqNum, 3);
  ASSERT_EQ(engine_.GetPriorRecord(c, 0, &rp, b.data()), 0);
  ASSERT_EQ(engine_.GetPriorRecord(c, 0, &rp, b.data()), 0);
  EXPECT_EQ(Plain(c, 1, b), "10");
  EXPECT_EQ(engine_.GetPriorRecord(c, 0, &rp, b.data()), DBIERR_BOF);
  // Bookmarks.
  std::uint8_t first[8], second[8];
  ASSERT_EQ(engine_.GetBookmark(c, first), 0);
  ASSERT_EQ(engine_.GetNextRecord(c, 0, nullptr, b.data()), 0);
  ASSERT_EQ(engine_.GetBookmark(c, second), 0);
  int cmp = 7;
  ASSERT_EQ(engine_.CompareBookmarks(c, first, second, cmp), 0);
  EXPECT_EQ(cmp, -1);
  ASSERT_EQ(engine_.CompareBookmarks(c, second, first, cmp), 0);
  EXPECT_EQ(cmp, 1);
  ASSERT_EQ(engine_.CompareBookmarks(c, first, first, cmp), 0);
  EXPECT_EQ(cmp, 0);
  const std::uint8_t none[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(engine_.CompareBookmarks(c, none, first, cmp), 0);
  EXPECT_EQ(cmp, 1);
  ASSERT_EQ(engine_.SetToBookmark(c, first), 0);
  ASSERT_EQ(engine_.GetRecord(c, 0, nullptr, b.data()), 0);
  EXPECT_EQ(Plain(c, 1, b), "10");
  EXPECT_EQ(engine_.SetToBookmark(c, nullptr), DBIERR_INVALIDPARAM);
  // Record numbers are 1-based.
  ASSERT_EQ(engine_.SetToRecordNumber(c, 3), 0);
  ASSERT_EQ(engine_.GetRecord(c, 0, &rp, b.data()), 0);
  EXPECT_EQ(Plain(c, 1, b), "30");
  EXPECT_EQ(rp.iPhyRecNum, 3);
  EXPECT_EQ(engine_.SetToRecordNumber(c, 4), DBIERR_EOF);
  // After a modification mark the next GetRecord moves on.
  ASSERT_EQ(engine_.SetToRecordNumber(c, 2), 0);
  ASSERT_EQ(engine_.SetProperty(c, curpropMarkModified, 1), 0);
  EXPECT_EQ(c->PositionStateForTesting(), TPositionState::AfterModification);
  ASSERT_EQ(engine_.GetRecord(c, 0, nullptr, b.data()), 0);
  EXPECT_EQ(Plain(c, 1, b), "30");
  // ReadBlock stops at the end with 8706 and the count read.
  engine_.SetToBegin(c);
  std::vector<std::uint8_t> block(c->RecordSize() * 5);
  int n = 5;
  EXPECT_EQ(engine_.ReadBlock(c, n, block.data()), DBIERR_EOF);
  EXPECT_EQ(n, 3);
}

TEST_F(CursorTest, MultiResultTexts) {
  const std::string sql = "SELECT 1 AS a; SELECT 2 AS a; SELECT 3 AS a";
  TNativeDataSet* c = Open(sql, 1);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Column(c, 1), std::vector<std::string>{"2"});
  EXPECT_EQ(c->ResultSetCount(), 3);
  // Asking for a result set that is not there opens nothing, without error.
  TNativeDataSet* none = Open(sql, 5);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(cursors_.back()->ResultSetCount(), 3);
  // The connection is in step afterwards.
  EXPECT_EQ(Column(Open("SELECT 4"), 1), std::vector<std::string>{"4"});
  // A failing statement: 1001, the cursor stays closed.
  TNativeDataSet* stmt = nullptr;
  ASSERT_EQ(engine_.AllocateStatement(conn_, stmt), 0);
  cursors_.push_back(stmt);
  ASSERT_EQ(engine_.PrepareStatement(stmt, "SELECT * FROM no_such_table_x"), 0);
  TNativeDataSet* result = stmt;
  EXPECT_EQ(engine_.ExecuteStatement(stmt, &result), DBIERR_NATIVE);
  EXPECT_EQ(engine_.LastNativeError(), 1146);
  EXPECT_FALSE(stmt->IsOpen());
  // An empty statement.
  ASSERT_EQ(engine_.PrepareStatement(stmt, ""), 0);
  EXPECT_EQ(engine_.ExecuteStatement(stmt, &result), DBIERR_QRYEMPTY);
}

TEST_F(CursorTest, ParametersAndCommands) {
  const std::string t = CreateTable("(id INT, nome VARCHAR(30))");
  TNativeDataSet* stmt = nullptr;
  ASSERT_EQ(engine_.AllocateStatement(conn_, stmt), 0);
  cursors_.push_back(stmt);
  TEngineParam id;
  id.name = "id";
  id.kind = TEngineParam::Integer;
  id.int_value = 7;
  TEngineParam nome;
  nome.name = "nome";
  nome.kind = TEngineParam::Text;
  nome.text = "O'Neil";
  ASSERT_EQ(engine_.SetStatementParameters(stmt, {id, nome},
                                           "INSERT INTO " + t + " (id, nome) VALUES (:id, :nome)"),
            0);
  EXPECT_EQ(stmt->StatementText(), "INSERT INTO " + t + " (id, nome) VALUES (7, 'O\\'Neil')");
  ASSERT_EQ(engine_.ExecuteStatement(stmt), 0) << engine_.LastErrorMessage();
  EXPECT_EQ(engine_.GetIntProperty(stmt, stmtpropAffectedRows), 1);
  // A second execution without a new text sends nothing.
  ASSERT_EQ(engine_.ExecuteStatement(stmt), 0);
  EXPECT_EQ(engine_.GetIntProperty(stmt, stmtpropAffectedRows), 0);
  TNativeDataSet* c = Open("SELECT nome FROM " + t);
  EXPECT_EQ(Column(c, 1), std::vector<std::string>{"O'Neil"});
  // Property answers.
  std::int16_t version = 0;
  std::uint32_t length = 0;
  ASSERT_EQ(engine_.GetProperty(c, curpropVersion, &version, 2, length), 0);
  EXPECT_EQ(version, 23);
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(engine_.GetIntProperty(c, curpropFieldCount), 1);
  EXPECT_TRUE(engine_.SetBoolProperty(c, curpropNoRefresh, 1));
  EXPECT_TRUE(c->NoRefresh());
}

TEST_F(CursorTest, TableCursorStatements) {
  const std::string keyed = Table("_k");
  const std::string plain = Table("_p");
  Exec("CREATE TABLE " + keyed +
       " (codigo INT PRIMARY KEY, nome VARCHAR(20), KEY porNome (nome DESC))");
  Exec("CREATE TABLE " + plain + " (codigo INT, nome VARCHAR(20))");
  Exec("INSERT INTO " + keyed + " VALUES (3,'c'),(1,'a'),(2,'b')");
  Exec("INSERT INTO " + plain + " VALUES (3,'c'),(1,'a'),(2,'b')");

  TNativeDataSet* k = OpenTable(keyed);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->AssembleStatement(), "Select * from `" + keyed + "` ORDER BY  `codigo` ");
  EXPECT_EQ(Column(k, 1), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(k->PrimaryIndexNumber(), 1);
  CursorProperties props;
  ASSERT_EQ(engine_.GetCursorProperties(k, props), 0);
  EXPECT_EQ(Packed(props.iIndexes), 2);
  EXPECT_EQ(Packed(props.iKeySize), 5);
  EXPECT_STREQ(props.szName, keyed.c_str());

  TNativeDataSet* p = OpenTable(plain);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->AssembleStatement(), "Select * from `" + plain + "` ");
  IndexDescriptor id;
  EXPECT_EQ(engine_.GetIndexDescriptor(p, 0, id), DBIERR_NOASSOCINDEX);

  // Limit and offset lines; an index named at open orders by it.
  TNativeDataSet* l = OpenTable(keyed, "porNome", 2, 1);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->AssembleStatement(),
            "Select * from `" + keyed + "` ORDER BY  `nome` DESC limit 1, 2 ");
  EXPECT_EQ(Column(l, 2), (std::vector<std::string>{"b", "a"}));
  TNativeDataSet* o = OpenTable(plain, "", -1, 1);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(Column(o, 1).size(), 2u);

  // Switching to the index in force sends nothing; another index
  // re-executes with its order.
  const wire::TMysqlResult* before = k->Result();
  ASSERT_EQ(engine_.SwitchToIndex(k, "", nullptr, 1), 0);
  EXPECT_EQ(k->Result(), before);
  ASSERT_EQ(engine_.SwitchToIndex(k, "porNome", nullptr, 0), 0);
  EXPECT_EQ(k->AssembleStatement(), "Select * from `" + keyed + "` ORDER BY  `nome` DESC ");
  EXPECT_EQ(Column(k, 2), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(engine_.SwitchToIndex(k, "nope", nullptr, 0), DBIERR_NOSUCHINDEX);
  ASSERT_EQ(engine_.GetIndexDescriptor(k, 0, id), 0);
  EXPECT_STREQ(id.szName, "porNome");
  EXPECT_EQ(engine_.GetIndexDescriptor(k, 3, id), DBIERR_NOSUCHINDEX);
  // Statement cursors have no index.
  TNativeDataSet* s = Open("SELECT * FROM " + keyed);
  EXPECT_EQ(engine_.GetIndexDescriptor(s, 0, id), DBIERR_NOASSOCINDEX);
}

TEST_F(CursorTest, OpenTableFailures) {
  TNativeDataSet* c = reinterpret_cast<TNativeDataSet*>(this);
  EXPECT_EQ(engine_.OpenTable(conn_, "no_such_table_y", "", -1, 0, c), DBIERR_NATIVE);
  EXPECT_EQ(engine_.LastNativeError(), 1146);
  EXPECT_EQ(c, reinterpret_cast<TNativeDataSet*>(this));  // not written
  EXPECT_TRUE(conn_->OpenCursors().Items().empty());
  EXPECT_EQ(engine_.OpenTable(nullptr, "x", "", -1, 0, c), DBIERR_INVALIDHNDL);
}

TEST_F(CursorTest, RefreshReturnsToTheSameRecordNumber) {
  const std::string t = CreateTable("(a INT)", "(1),(2),(3)");
  TNativeDataSet* c = Open("SELECT a FROM " + t + " ORDER BY a");
  auto b = Buffer(c);
  ASSERT_EQ(engine_.SetToRecordNumber(c, 2), 0);
  Exec("INSERT INTO " + t + " VALUES (0)");
  ASSERT_EQ(engine_.ForceRecordReread(c, b.data()), 0);
  int count = 0;
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(Plain(c, 1, b), "1");  // record 2 of the new snapshot
}

}  // namespace
}  // namespace engine
