// Query component against the sandbox: field definitions, fetching, the
// record count, executing and opening texts without rows, parameters.
#include <gtest/gtest.h>

#include "component_fixture.h"
#include "db/Consts.h"
#include "engine/EngineErrors.h"
#include "rtl/FormatSettings.h"

namespace components::testing {
namespace {

using QueryTest = ComponentTest;

TEST_F(QueryTest, FieldDefinitionsFollowTheColumnTypes) {
  const std::string t = CreateTable(
      "(i INT, b BIGINT, v VARCHAR(80), d DATE, tm TIME, dt DATETIME, tx TEXT, "
      "dc DECIMAL(10,2))",
      "(7, 9000000000, 'abc', '2024-01-31', '10:20:30', '2024-01-31 10:20:30', "
      "'memo', 12.5)");
  TmySQLQuery& q = OpenQuery("select * from " + t);
  struct Expect {
    const char* name;
    db::TFieldType type;
    int size;
  };
  const Expect expected[] = {{"i", db::ftInteger, 0}, {"b", db::ftLargeint, 0},
                             {"v", db::ftString, 80}, {"d", db::ftDate, 0},
                             {"tm", db::ftTime, 0},   {"dt", db::ftDateTime, 0},
                             {"tx", db::ftMemo, -1},  {"dc", db::ftFloat, 0}};
  ASSERT_EQ(q.FieldDefs().Count(), 8);
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(q.FieldDefs()[i].Name(), expected[i].name);
    EXPECT_EQ(q.FieldDefs()[i].DataType(), expected[i].type);
    EXPECT_EQ(q.FieldDefs()[i].FieldNo(), i + 1);
    if (expected[i].size >= 0) {
      EXPECT_EQ(q.FieldDefs()[i].Size(), expected[i].size);
    }
  }
  EXPECT_EQ(q.FieldByName("i").AsString(), "7");
  EXPECT_EQ(q.FieldByName("b").AsString(), "9000000000");
  EXPECT_EQ(q.FieldByName("v").AsString(), "abc");
  EXPECT_DOUBLE_EQ(q.FieldByName("d").AsDateTime(), 45322.0);
  EXPECT_NEAR(q.FieldByName("tm").AsDateTime(), (10 * 3600 + 20 * 60 + 30) / 86400.0, 1e-9);
  EXPECT_NEAR(q.FieldByName("dt").AsDateTime(), 45322.0 + (10 * 3600 + 20 * 60 + 30) / 86400.0,
              1e-9);
  EXPECT_EQ(q.FieldByName("tx").AsString(), "memo");
  EXPECT_DOUBLE_EQ(q.FieldByName("dc").AsFloat(), 12.5);
}

TEST_F(QueryTest, RepeatedColumnNamesGetANumberedSuffix) {
  TmySQLQuery& q = OpenQuery("select 1 as id, 2 as id, 3 as id");
  ASSERT_EQ(q.FieldCount(), 3);
  EXPECT_EQ(q.Fields()[0].FieldName(), "id");
  EXPECT_EQ(q.Fields()[1].FieldName(), "id_1");
  EXPECT_EQ(q.Fields()[2].FieldName(), "id_2");
  EXPECT_EQ(q.FieldByName("id_1").AsInteger(), 2);
}

TEST_F(QueryTest, RecordCountIsCompleteBeforeAnyNextAndRecNoCounts) {
  const std::string t = CreateTable("(n INT, bloqueado CHAR(1), importado CHAR(1))",
                                    "(1,'N','N'),(2,'N','S'),(3,'S','N'),(4,'N','N'),(5,'N','N')");
  TmySQLQuery& q = OpenQuery("select * from " + t + " where bloqueado='N' and importado='N'");
  EXPECT_EQ(q.RecordCount(), 3);
  EXPECT_FALSE(q.Eof());
  std::vector<int> seen, recnos;
  while (!q.Eof()) {
    seen.push_back(q.FieldByName("n").AsInteger());
    recnos.push_back(q.RecNo());
    q.Next();
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 4, 5}));
  EXPECT_EQ(recnos, (std::vector<int>{1, 2, 3}));
  q.First();
  EXPECT_EQ(q.RecNo(), 1);
  q.Close();
  EXPECT_THROW(q.RecordCount(), db::EDatabaseError);
}

TEST_F(QueryTest, EmptyResultHasNoRecordsAndIsAtEof) {
  TmySQLQuery& q = OpenQuery("select 1 from dual where 1=0");
  EXPECT_EQ(q.RecordCount(), 0);
  EXPECT_TRUE(q.Eof());
}

TEST_F(QueryTest, ExpressionsOverBlobsAreFieldsLikeTheOthers) {
  const std::string t = CreateTable("(blobcol BLOB)", "('AB')");
  TmySQLQuery& q = OpenQuery("select hex(blobcol) as h, 1 as one from " + t);
  ASSERT_EQ(q.FieldCount(), 2);
  EXPECT_EQ(q.FieldByName("h").AsString(), "4142");
  EXPECT_EQ(q.FieldByName("one").AsString(), "1");
}

TEST_F(QueryTest, NullReadsAsNoValue) {
  TmySQLQuery& q = OpenQuery(
      "select cast(null as date) as d, cast(null as char(5)) as s, "
      "cast(null as signed) as n");
  for (const char* name : {"d", "s", "n"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(q.FieldByName(name).IsNull());
    EXPECT_EQ(q.FieldByName(name).AsString(), "");
  }
  EXPECT_EQ(q.FieldByName("d").AsDateTime(), 0.0);
}

TEST_F(QueryTest, AsStringGivesTheAgentsTextForms) {
  TmySQLQuery& q = OpenQuery(
      "select -5 as i, cast(-9000000000 as signed) as b, 1234567.125e0 as f, "
      "0.1e0 + 0.2e0 as g, 1.5e20 as e, cast(null as double) as n, "
      "cast(null as char(10000)) as m, cast('10:20:30' as time) as t");
  const std::string sep(1, rtl::FormatSettings().DecimalSeparator);
  EXPECT_EQ(q.FieldByName("i").AsString(), "-5");
  EXPECT_EQ(q.FieldByName("b").AsString(), "-9000000000");
  // General format: no thousands separator, at most 15 significant digits.
  EXPECT_EQ(q.FieldByName("f").AsString(), "1234567" + sep + "125");
  EXPECT_EQ(q.FieldByName("g").AsString(), "0" + sep + "3");
  EXPECT_EQ(q.FieldByName("e").AsString(), "1" + sep + "5E20");
  EXPECT_EQ(q.FieldByName("n").AsString(), "");
  EXPECT_EQ(q.FieldByName("m").DataType(), db::ftMemo);
  EXPECT_EQ(q.FieldByName("m").AsString(), "");
  EXPECT_NEAR(q.FieldByName("t").AsDateTime(), (10 * 3600 + 20 * 60 + 30) / 86400.0, 1e-9);
  EXPECT_EQ(MessageOf([&] { q.FieldByName("nenhum"); }), "qry1: Field 'nenhum' not found");
}

TEST_F(QueryTest, ExecuteOfAnUpdateReportsAffectedRowsAndLeavesTheQueryClosed) {
  const std::string t = CreateTable("(n INT, flag CHAR(1))", "(1,'N'),(2,'N'),(3,'N'),(4,'S')");
  TmySQLQuery& q = Query("update " + t + " set flag='S' where flag='N'");
  q.Execute();
  EXPECT_FALSE(q.Active());
  EXPECT_FALSE(q.Prepared());
  EXPECT_EQ(q.AffectedRowCount(), 3);
  EXPECT_EQ(Value("select count(*) from " + t + " where flag='S'"), "4");
  // New text, no Close in between.
  q.SQL().Clear();
  q.SQL().Add("delete from " + t + " where n > 2");
  q.Execute();
  EXPECT_EQ(q.AffectedRowCount(), 2);
}

TEST_F(QueryTest, OpenOfAnInsertInsertsAndRaisesEachTime) {
  const std::string t = CreateTable("(n INT)");
  TmySQLQuery& q = Query("insert into " + t + " values (1)");
  for (int round = 1; round <= 2; ++round) {
    EXPECT_EQ(MessageOf<engine::ENoResultSet>([&] { q.Open(); }),
              "Error creating cursor handle (MultiResultsetNo=0)");
    EXPECT_FALSE(q.Active());
    EXPECT_FALSE(q.Prepared());
    EXPECT_EQ(Value("select count(*) from " + t), std::to_string(round));
  }
}

TEST_F(QueryTest, DuplicateKeyRaisesTheServerNumberInTheMessage) {
  const std::string t = CreateTable("(id INT PRIMARY KEY)", "(1)");
  TmySQLQuery& q = Query("insert into " + t + " values (1)");
  const std::string m = MessageOf<engine::EmySQLDatabaseError>([&] { q.Execute(); });
  EXPECT_EQ(m.rfind("MySQL Error Code: (1062)\r\n", 0), 0u) << m;
  EXPECT_NE(m.find("Duplicate entry '1'"), std::string::npos) << m;
  EXPECT_FALSE(q.Active());
  // The connection stays usable.
  q.SQL().Clear();
  q.SQL().Add("insert into " + t + " values (2)");
  q.Execute();
  EXPECT_EQ(q.AffectedRowCount(), 1);
}

TEST_F(QueryTest, ParametersAreSubstitutedIntoTheText) {
  const std::string t = CreateTable("(id INT, nome VARCHAR(20), d DATE)");
  TmySQLQuery& q = Query("insert into " + t + " values (:id, :nome, :d)");
  ASSERT_EQ(q.Params().Count(), 3);
  q.ParamByName("id").SetAsInteger(5);
  q.ParamByName("nome").SetAsString("O'Brien");
  q.ParamByName("d").SetAsDate(45322.0);
  q.Execute();
  TmySQLQuery& r = Query("select nome, d from " + t + " where id = :id");
  r.ParamByName("id").SetAsInteger(5);
  r.Open();
  EXPECT_EQ(r.RecordCount(), 1);
  EXPECT_EQ(r.FieldByName("nome").AsString(), "O'Brien");
  EXPECT_DOUBLE_EQ(r.FieldByName("d").AsDateTime(), 45322.0);
}

TEST_F(QueryTest, AssigningTheSameTextKeepsTheQueryOpen) {
  TmySQLQuery& q = OpenQuery("select 1 as um");
  rtl::TStringList same;
  same.Add("select 1 as um");
  q.SetSQL(same);
  EXPECT_TRUE(q.Active());
  rtl::TStringList other;
  other.Add("select :a as um");
  q.SetSQL(other);
  EXPECT_FALSE(q.Active());
  EXPECT_FALSE(q.Prepared());
  ASSERT_EQ(q.Params().Count(), 1);
  EXPECT_EQ(q.Text(), "select ? as um\r\n");
}

TEST_F(QueryTest, NegativeMultiResultsetNoClosesAndKeepsTheOldValue) {
  TmySQLQuery& q = OpenQuery("select 1");
  q.SetMultiResultsetNo(-1);
  EXPECT_FALSE(q.Active());
  EXPECT_EQ(q.MultiResultsetNo(), 0);
}

TEST_F(QueryTest, ExecuteOnAnOpenQueryAndWithoutDatabaseRaise) {
  TmySQLQuery& q = OpenQuery("select 1");
  EXPECT_EQ(MessageOf([&] { q.Execute(); }),
            "qry1: Cannot perform this operation on an open dataset");
  TmySQLQuery lone;
  lone.SetName("qryLone");
  lone.SQL().Add("select 1");
  EXPECT_EQ(MessageOf([&] { lone.Execute(); }), "(qryLone) property Database is not set!");
  EXPECT_EQ(MessageOf([&] { lone.Open(); }), "(qryLone) property Database is not set!");
}

TEST_F(QueryTest, TextsWithoutStatementRaise) {
  TmySQLQuery& q = Query();
  EXPECT_EQ(MessageOf([&] { q.Execute(); }), "qry1: No SQL statement available");
  // A text of remarks only reaches the server as an empty line.
  q.SQL().Add("-- only a remark");
  EXPECT_EQ(q.Text(), "\r\n");
  EXPECT_EQ(MessageOf<engine::EmySQLDatabaseError>([&] { q.Open(); }),
            "MySQL Error Code: (1065)\r\nQuery was empty");
}

}  // namespace
}  // namespace components::testing
