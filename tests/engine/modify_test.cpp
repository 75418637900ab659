// Generated INSERT, UPDATE and DELETE statements, their literals and key
// choice, and where the cursor stands after the refresh.
#include "engine_fixture.h"
#include "rtl/FormatSettings.h"

namespace engine {
namespace {

class ModifyTest : public EngineTest {
 protected:
  // Reads record n of `c` into a fresh buffer.
  std::vector<std::uint8_t> Record(TNativeDataSet* c, int n) {
    auto b = Buffer(c);
    EXPECT_EQ(engine_.SetToRecordNumber(c, n), 0);
    EXPECT_EQ(engine_.GetRecord(c, 0, nullptr, b.data()), 0);
    // Later moves must not refill it.
    engine_.ReleaseRecordBuffer(c, b.data());
    return b;
  }
  void PutText(TNativeDataSet* c, int field, std::vector<std::uint8_t>& b, const std::string& v) {
    ASSERT_EQ(engine_.PutField(c, field, b.data(), v.c_str()), 0);
  }
  // Posting a new text for field `field` of record n: the UPDATE the cursor
  // builds for the change, and the engine's answer to it.
  struct Posted {
    std::string update;
    DBIResult result;
  };
  Posted PostText(TNativeDataSet* c, int n, int field, const std::string& text) {
    auto old_buffer = Record(c, n);
    auto new_buffer = old_buffer;
    PutText(c, field, new_buffer, text);
    return {c->BuildUpdate(old_buffer.data(), new_buffer.data()),
            engine_.ModifyRecord(c, old_buffer.data(), new_buffer.data())};
  }
};

TEST_F(ModifyTest, UpdateByPrimaryKeyEscapesText) {
  const std::string t =
      CreateTable("(codigo INT PRIMARY KEY, nome VARCHAR(30))", "(5,'Ana'),(7,'Beto')");
  TNativeDataSet* c = OpenTable(t);
  ASSERT_NE(c, nullptr);
  const Posted posted = PostText(c, 2, 2, "O'Neil");
  EXPECT_EQ(posted.update, "UPDATE `" + t + "` SET `nome`='O\\'Neil' WHERE `codigo`=7");
  ASSERT_EQ(posted.result, 0) << engine_.LastErrorMessage();
  EXPECT_EQ(engine_.GetIntProperty(c, stmtpropAffectedRows), 1);
  EXPECT_EQ(Column(c, 2), (std::vector<std::string>{"Ana", "O'Neil"}));
  // Setting the same value again still sends the UPDATE; no row changes,
  // so no refresh follows.
  const wire::TMysqlResult* before = c->Result();
  ASSERT_EQ(PostText(c, 2, 2, "O'Neil").result, 0);
  EXPECT_EQ(engine_.GetIntProperty(c, stmtpropAffectedRows), 0);
  EXPECT_EQ(c->Result(), before);
  // Nothing changed: no statement at all.
  const auto same = Record(c, 2);
  EXPECT_EQ(c->BuildUpdate(same.data(), same.data()), "");
}

TEST_F(ModifyTest, StatementsFollowTheSessionsBackslashMode) {
  const std::string t = CreateTable("(codigo INT PRIMARY KEY, nome VARCHAR(120))", "(7,'Beto')");
  Exec("SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES'");
  TNativeDataSet* c = OpenTable(t);
  ASSERT_NE(c, nullptr);
  const std::string hostile = "x\\' where 0;drop table " + t + ";#";
  const Posted posted = PostText(c, 1, 2, hostile);
  EXPECT_EQ(posted.update, "UPDATE `" + t + "` SET `nome`='x\\'' where 0;drop table " + t +
                               ";#' WHERE `codigo`=7");
  ASSERT_EQ(posted.result, 0) << engine_.LastErrorMessage();
  EXPECT_EQ(Column(c, 2), (std::vector<std::string>{hostile}));
  Exec("SET SESSION sql_mode = DEFAULT");
}

TEST_F(ModifyTest, AValueWithAZeroByteIsNotReadAsItsFirstPart) {
  const std::string t = CreateTable("(codigo INT PRIMARY KEY, nome VARCHAR(30), resto VARCHAR(30))",
                                    "(1, 'nul\\0byte\\0end', 'ok'), (2, 'inteiro', 'ok')");
  TNativeDataSet* c = OpenTable(t);
  ASSERT_NE(c, nullptr);
  auto b = Record(c, 1);
  std::vector<char> value(64, 0);
  bool is_null = false;
  EXPECT_EQ(engine_.GetField(c, 2, b.data(), value.data(), is_null), DBIERR_VALUECUT);
  // The other fields of the row, and the next row, read as usual.
  EXPECT_EQ(Text(c, 3, b), "ok");
  b = Record(c, 2);
  EXPECT_EQ(Text(c, 2, b), "inteiro");
  // A value put in its place is whole again.
  b = Record(c, 1);
  PutText(c, 2, b, "novo");
  EXPECT_EQ(Text(c, 2, b), "novo");
}

TEST_F(ModifyTest, TableWithoutKeysListsEveryColumn) {
  const std::string t =
      CreateTable("(a INT NOT NULL, b VARCHAR(10), c TEXT, d DATE, e ENUM('Y','N'))",
                  "(1, NULL, 'x', '2020-01-02', 'N')");
  TNativeDataSet* c = OpenTable(t);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->AssembleStatement(), "Select * from `" + t + "` ");
  auto b = Record(c, 1);
  EXPECT_EQ(c->BuildDelete(b.data()),
            "DELETE FROM `" + t + "` WHERE `a`=1 AND `b` IS NULL AND `d`='2020-01-02' AND `e`='n'");
  // A null NOT NULL column compares with the empty text.
  auto odd = b;
  ASSERT_EQ(engine_.PutField(c, 1, odd.data(), nullptr), 0);
  EXPECT_EQ(
      c->BuildDelete(odd.data()),
      "DELETE FROM `" + t + "` WHERE `a`='' AND `b` IS NULL AND `d`='2020-01-02' AND `e`='n'");
  auto changed = b;
  std::int16_t yes = 1;
  ASSERT_EQ(engine_.PutField(c, 5, changed.data(), &yes), 0);
  ASSERT_EQ(engine_.PutField(c, 2, changed.data(), nullptr), 0);
  EXPECT_EQ(c->BuildUpdate(b.data(), changed.data()),
            "UPDATE `" + t +
                "` SET `b`=NULL, `e`='y' WHERE `a`=1 AND `b` IS NULL AND `d`='2020-01-02' AND "
                "`e`='n'");
  ASSERT_EQ(engine_.ModifyRecord(c, b.data(), changed.data()), 0) << engine_.LastErrorMessage();
  EXPECT_EQ(Column(c, 5), std::vector<std::string>{"y"});
  // The field events: a renamed field and an excluded one.
  c->SetFieldNameEvent([](TNativeDataSet*, std::string& name) {
    if (name == "`a`") name = "t.`a`";
  });
  c->SetFieldCheckEvent(
      [](TNativeDataSet*, const std::string& name, bool& allow) { allow = name != "`d`"; });
  b = Record(c, 1);
  EXPECT_EQ(c->BuildDelete(b.data()),
            "DELETE FROM `" + t + "` WHERE t.`a`=1 AND `b` IS NULL AND `e`='y'");
}

TEST_F(ModifyTest, InsertLeavesNullsToTheServerAndFindsTheNewRow) {
  const std::string t = Table();
  Exec("CREATE TABLE " + t +
       " (codigo INT NOT NULL AUTO_INCREMENT PRIMARY KEY, nome VARCHAR(20), s SET('a','b','c'),"
       " preco DOUBLE)");
  Exec("INSERT INTO " + t + " (nome) VALUES ('x'),('y')");
  TNativeDataSet* c = OpenTable(t);
  ASSERT_NE(c, nullptr);
  auto b = Buffer(c);
  ASSERT_EQ(engine_.InitRecord(c, b.data()), 0);
  PutText(c, 2, b, "Bia");
  EXPECT_EQ(c->BuildInsert(b.data()), "INSERT INTO `" + t + "` (`nome`) VALUES ('Bia')");
  ASSERT_EQ(engine_.InsertRecord(c, 0, b.data()), 0) << engine_.LastErrorMessage();
  EXPECT_EQ(c->LastInsertId(), 3);
  auto cur = Buffer(c);
  ASSERT_EQ(engine_.GetRecord(c, 0, nullptr, cur.data()), 0);
  EXPECT_EQ(Plain(c, 1, cur), "3");
  EXPECT_EQ(Plain(c, 2, cur), "Bia");

  // A set is inserted as its member bitmask and updated as its text; a
  // float keeps its point whatever the process's decimal separator.
  auto old_buffer = Record(c, 1);
  auto new_buffer = old_buffer;
  ASSERT_EQ(engine_.InitRecord(c, b.data()), 0);
  PutText(c, 3, b, "a,c");
  double preco = 12.5;
  ASSERT_EQ(engine_.PutField(c, 4, b.data(), &preco), 0);
  rtl::TFormatSettings saved = rtl::FormatSettings();
  rtl::FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(c->BuildInsert(b.data()), "INSERT INTO `" + t + "` (`s`, `preco`) VALUES (5, 12.5)");
  PutText(c, 3, new_buffer, "a,c");
  EXPECT_EQ(c->BuildUpdate(old_buffer.data(), new_buffer.data()),
            "UPDATE `" + t + "` SET `s`='a,c' WHERE `codigo`=1");
  rtl::FormatSettings() = saved;
  ASSERT_EQ(engine_.InsertRecord(c, 0, b.data()), 0) << engine_.LastErrorMessage();
  ASSERT_EQ(engine_.GetRecord(c, 0, nullptr, cur.data()), 0);
  EXPECT_EQ(Plain(c, 3, cur), "a,c");

  // A duplicate key: the server's error, nothing else changes.
  ASSERT_EQ(engine_.InitRecord(c, b.data()), 0);
  std::int32_t one = 1;
  ASSERT_EQ(engine_.PutField(c, 1, b.data(), &one), 0);
  ASSERT_TRUE(engine_.SetBoolProperty(c, curpropNoRefresh, 1));
  EXPECT_EQ(engine_.InsertRecord(c, 0, b.data()), DBIERR_NATIVE);
  EXPECT_EQ(engine_.LastNativeError(), 1062);
  EXPECT_FALSE(c->NoRefresh());
}

TEST_F(ModifyTest, NoRefreshKeepsTheOldSnapshot) {
  const std::string t = CreateTable("(codigo INT PRIMARY KEY, nome VARCHAR(20))", "(1,'a')");
  TNativeDataSet* c = OpenTable(t);
  ASSERT_TRUE(engine_.SetBoolProperty(c, curpropNoRefresh, 1));
  auto b = Buffer(c);
  ASSERT_EQ(engine_.InitRecord(c, b.data()), 0);
  std::int32_t two = 2;
  ASSERT_EQ(engine_.PutField(c, 1, b.data(), &two), 0);
  ASSERT_EQ(engine_.InsertRecord(c, 0, b.data()), 0);
  int count = 0;
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(c->PositionStateForTesting(), TPositionState::AfterModification);
}

TEST_F(ModifyTest, ReadOnlyAndBlobLimit) {
  const std::string t = CreateTable("(codigo INT PRIMARY KEY, b TINYBLOB)");
  TNativeDataSet* c = OpenTable(t);
  auto b = Buffer(c);
  ASSERT_EQ(engine_.InitRecord(c, b.data()), 0);
  std::int32_t one = 1;
  ASSERT_EQ(engine_.PutField(c, 1, b.data(), &one), 0);
  std::string big(300, 'z');
  ASSERT_EQ(engine_.PutBlob(c, b.data(), 2, 0, static_cast<std::int32_t>(big.size()), big.data()),
            0);
  EXPECT_EQ(engine_.InsertRecord(c, 0, b.data()), DBIERR_NATIVE);
  EXPECT_EQ(engine_.LastErrorMessage(), "Data size exceeds maximum blob field size");
  ASSERT_EQ(engine_.PutBlob(c, b.data(), 2, 0, 3, "a'b"), 0);
  ASSERT_EQ(engine_.TruncateBlob(c, b.data(), 2, 3), 0);
  EXPECT_EQ(c->BuildInsert(b.data()),
            "INSERT INTO `" + t + "` (`codigo`, `b`) VALUES (1, 'a\\'b')");
  ASSERT_EQ(engine_.SetProperty(c, curpropReadOnly, 1), 0);
  EXPECT_EQ(engine_.InsertRecord(c, 0, b.data()), DBIERR_TABLEREADONLY);
  EXPECT_EQ(engine_.DeleteRecord(c, b.data()), DBIERR_TABLEREADONLY);
  ASSERT_EQ(engine_.SetProperty(c, curpropReadOnly, 0), 0);
  ASSERT_EQ(engine_.InsertRecord(c, 0, b.data()), 0) << engine_.LastErrorMessage();
  auto cur = Buffer(c);
  ASSERT_EQ(engine_.GetRecord(c, 0, nullptr, cur.data()), 0);
  std::uint32_t size = 0;
  ASSERT_EQ(engine_.GetBlobSize(c, cur.data(), 2, size), 0);
  EXPECT_EQ(size, 3u);
}

TEST_F(ModifyTest, FindingTheRecordAgainComparesNumbersByValue) {
  const std::string t =
      CreateTable("(preco DECIMAL(10,2), nome VARCHAR(10))", "(12.50,'b'),(1.00,'c')");
  TNativeDataSet* c = Open("SELECT preco, nome FROM " + t + " ORDER BY nome");
  ASSERT_NE(c, nullptr);
  const Posted posted = PostText(c, 1, 2, "z");
  EXPECT_EQ(posted.update, "UPDATE `" + t + "` SET `nome`='z' WHERE `preco`=12.5 AND `nome`='b'");
  ASSERT_EQ(posted.result, 0) << engine_.LastErrorMessage();
  // The row moved to the second place; the cursor followed it.
  auto cur = Buffer(c);
  ASSERT_EQ(engine_.GetRecord(c, 0, nullptr, cur.data()), 0);
  EXPECT_EQ(Plain(c, 2, cur), "z");
}

TEST_F(ModifyTest, UnsignedBigintKeys) {
  const std::string t = CreateTable("(k BIGINT UNSIGNED PRIMARY KEY, nome VARCHAR(10))",
                                    "(18446744073709551615,'max'),(1,'one')");
  TNativeDataSet* c = OpenTable(t);
  auto b = Record(c, 2);
  EXPECT_EQ(Plain(c, 1, b), "18446744073709551615");
  EXPECT_EQ(c->BuildDelete(b.data()), "DELETE FROM `" + t + "` WHERE `k`=18446744073709551615");
  // Key lookups find the value.
  ASSERT_EQ(engine_.SetToRecordNumber(c, 1), 0);
  auto found = Buffer(c);
  ASSERT_EQ(engine_.GetRecordForKey(c, false, 1, 0, b.data(), found.data()), 0)
      << engine_.LastErrorMessage();
  EXPECT_EQ(Plain(c, 2, found), "max");
  auto key = std::vector<std::uint8_t>(64, 0);
  ASSERT_EQ(engine_.ExtractKey(c, b.data(), key.data()), 0);
  EXPECT_EQ(key[0], 1);
  ASSERT_EQ(engine_.SetToRecordNumber(c, 1), 0);
  ASSERT_EQ(engine_.GetRecordForKey(c, true, 1, 9, key.data(), found.data()), 0);
  EXPECT_EQ(Plain(c, 2, found), "max");
  // Deleting the last row leaves the cursor on the new last row.
  ASSERT_EQ(engine_.DeleteRecord(c, b.data()), 0) << engine_.LastErrorMessage();
  ASSERT_EQ(engine_.GetRecord(c, 0, nullptr, found.data()), 0);
  EXPECT_EQ(Plain(c, 2, found), "one");
  int count = 0;
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace engine
