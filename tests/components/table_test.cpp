// Table component against the sandbox: opening, editing and posting, row
// limits, index order, ranges and master/detail.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "component_fixture.h"
#include "db/Consts.h"
#include "db/DataSource.h"
#include "engine/EngineErrors.h"

namespace components::testing {
namespace {

class TableTest : public ComponentTest {
 protected:
  // Items 1..30 with a code, a name and a group (1..3).
  std::string Items() {
    std::string values;
    for (int i = 1; i <= 30; ++i) {
      if (i > 1) values += ",";
      values += "(" + std::to_string(i) + ",'C" + std::to_string(100 + i) + "','Nome " +
                std::string(1, static_cast<char>('z' - (i % 26))) + std::to_string(i) + "'," +
                std::to_string(1 + i % 3) + ")";
    }
    return CreateTable(
        "(id INT PRIMARY KEY, codigo VARCHAR(10), nome VARCHAR(30), grupo INT, "
        "KEY ix_nome (nome), KEY ix_grupo (grupo))",
        values);
  }
};

TEST_F(TableTest, MissingTableNameRaisesWithTheComponentName) {
  TmySQLTable& t = TableComponent("");
  EXPECT_EQ(MessageOf([&] { t.Open(); }), "tbl1: Missing TableName property");
}

TEST_F(TableTest, EditAndPostSendOneUpdateOfTheChangedColumnKeyedOnThePrimaryKey) {
  TmySQLTable& t = TableComponent(Items());
  t.Open();
  EXPECT_EQ(t.FieldByName("id").AsInteger(), 1);
  const int count = t.RecordCount();
  const int updates = SessionUpdates();
  t.Edit();
  t.FieldByName("nome").SetAsString("Alterado");
  // Another session changes a column the edit did not touch: an UPDATE that
  // set every column, or that compared every old value, would undo it or
  // miss the row.
  Exec("update " + t.TableName() + " set codigo='OUTRO' where id=1");
  t.Post();
  EXPECT_EQ(SessionUpdates() - updates, 1);
  EXPECT_EQ(Value("select concat(codigo,'/',nome) from " + t.TableName() + " where id=1"),
            "OUTRO/Alterado");
  EXPECT_EQ(t.RecordCount(), count);
  EXPECT_EQ(t.FieldByName("nome").AsString(), "Alterado");
}

TEST_F(TableTest, EditThenCancelSendsNothing) {
  TmySQLTable& t = TableComponent(Items());
  t.Open();
  const int updates = SessionUpdates();
  t.Edit();
  t.FieldByName("nome").SetAsString("Descartado");
  t.Cancel();
  EXPECT_EQ(SessionUpdates(), updates);
  EXPECT_EQ(t.FieldByName("nome").AsString(),
            Value("select nome from " + t.TableName() + " where id=1"));
}

TEST_F(TableTest, PostingHooksCanSkipTheEngine) {
  TmySQLTable& t = TableComponent(Items());
  int asked = 0;
  t.OnPosting = [&](TmySQLDataSet&, bool& allow) {
    ++asked;
    allow = false;
  };
  t.Open();
  const int updates = SessionUpdates();
  t.Edit();
  t.FieldByName("nome").SetAsString("Nunca");
  t.Post();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(t.State(), db::dsBrowse);
  EXPECT_EQ(SessionUpdates(), updates);
}

TEST_F(TableTest, InsertAndDeleteGoThroughTheEngine) {
  TmySQLTable& t = TableComponent(Items());
  t.Open();
  t.Append();
  t.FieldByName("id").SetAsInteger(99);
  t.FieldByName("nome").SetAsString("Novo");
  t.Post();
  EXPECT_EQ(Value("select nome from " + t.TableName() + " where id=99"), "Novo");
  ASSERT_TRUE(t.Locate("id", 99, {}));
  t.Delete();
  EXPECT_EQ(Value("select count(*) from " + t.TableName() + " where id=99"), "0");
  EXPECT_EQ(t.RecordCount(), 30);
}

TEST_F(TableTest, FailedPostKeepsTheEditAndCanBeRetried) {
  TmySQLTable& t = TableComponent(Items());
  t.Open();
  t.Edit();
  t.FieldByName("id").SetAsInteger(2);  // duplicate key
  EXPECT_THROW(t.Post(), engine::EmySQLDatabaseError);
  EXPECT_EQ(t.State(), db::dsEdit);
  t.FieldByName("id").SetAsInteger(77);
  t.Post();
  EXPECT_EQ(Value("select count(*) from " + t.TableName() + " where id=77"), "1");
  EXPECT_EQ(Value("select count(*) from " + t.TableName() + " where id=1"), "0");
}

TEST_F(TableTest, LimitAndOffsetCutTheOrderedTable) {
  TmySQLTable& t = TableComponent(Items());
  t.SetLimit(10);
  t.SetOffset(20);
  t.Open();
  EXPECT_EQ(t.RecordCount(), 10);
  std::vector<int> expected;
  for (int i = 21; i <= 30; ++i) expected.push_back(i);
  EXPECT_EQ(Ids(t), expected);
}

TEST_F(TableTest, IndexFieldNamesOrderTheTable) {
  TmySQLTable& t = TableComponent(Items());
  t.SetIndexFieldNames("nome");
  t.Open();
  std::vector<std::string> names;
  while (!t.Eof()) {
    names.push_back(t.FieldByName("nome").AsString());
    t.Next();
  }
  ASSERT_EQ(names.size(), 30u);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_EQ(t.IndexName(), "");
  // Switching to the group index while open, then back to the primary key
  // (the index without a name).
  t.SetIndexName("ix_grupo");
  EXPECT_EQ(t.IndexFieldNames(), "");
  std::vector<int> ids = Ids(t);
  EXPECT_EQ(ids.size(), 30u);
  EXPECT_EQ(t.IndexFieldCount(), 1);
  EXPECT_EQ(t.IndexFields(0).FieldName(), "grupo");
  t.SetIndexFieldNames("id");
  EXPECT_EQ(Ids(t).front(), 1);
  t.Close();
  t.SetIndexFieldNames("codigo");
  EXPECT_EQ(MessageOf([&] { t.Open(); }), "tbl1: No index for fields 'codigo'");
}

TEST_F(TableTest, ReadOnlyTableCannotBeEdited) {
  TmySQLTable& t = TableComponent(Items());
  t.SetReadOnly(true);
  t.Open();
  EXPECT_FALSE(t.CanModify());
  EXPECT_EQ(MessageOf([&] { t.Edit(); }), "tbl1: Cannot modify a read-only dataset");
  EXPECT_EQ(MessageOf([&] { t.SetReadOnly(false); }),
            "tbl1: Cannot perform this operation on an open dataset");
}

TEST_F(TableTest, FieldAndIndexDefinitionsWhileClosed) {
  TmySQLTable& t = TableComponent(Items());
  t.FieldDefs().Update();
  ASSERT_EQ(t.FieldDefs().Count(), 4);
  EXPECT_EQ(t.FieldDefs()[2].Name(), "nome");
  EXPECT_EQ(t.FieldDefs()[2].DataType(), db::ftString);
  EXPECT_EQ(t.FieldDefs()[2].Size(), 30);
  t.IndexDefs().Update();
  ASSERT_GE(t.IndexDefs().Count(), 3);
  // The primary key is the index without a name.
  const db::TIndexDef& primary = t.IndexDefs()[0];
  EXPECT_EQ(primary.Name(), "");
  EXPECT_TRUE(primary.Options().Contains(db::ixPrimary));
  EXPECT_TRUE(primary.Options().Contains(db::ixUnique));
  EXPECT_EQ(primary.Fields(), "id");
  EXPECT_FALSE(t.IndexDefs().Find("ix_nome").Options().Contains(db::ixUnique));
  EXPECT_EQ(t.IndexDefs().Find("ix_grupo").Fields(), "grupo");
  EXPECT_FALSE(t.Active());
  EXPECT_TRUE(t.Exists());
  TmySQLTable& missing = TableComponent("cmp_nao_existe");
  EXPECT_FALSE(missing.Exists());
}

TEST_F(TableTest, RangesOnTheCurrentIndex) {
  TmySQLTable& t = TableComponent(Items());
  t.Open();
  t.SetRangeStart();
  t.FieldByName("id").SetAsInteger(5);
  t.SetRangeEnd();
  t.FieldByName("id").SetAsInteger(8);
  t.ApplyRange();
  EXPECT_EQ(Ids(t), (std::vector<int>{5, 6, 7, 8}));
  // Only fields of the current index may be set in set-key state.
  t.SetRangeStart();
  EXPECT_EQ(MessageOf([&] { t.FieldByName("nome").SetAsString("x"); }),
            "tbl1: Field \"nome\" is not indexed by current index and cannot be modified");
  t.Cancel();
  EXPECT_EQ(t.State(), db::dsBrowse);
  EXPECT_EQ(Ids(t), (std::vector<int>{5, 6, 7, 8}));
  t.CancelRange();
  EXPECT_EQ(t.RecordCount(), 30);
  EXPECT_EQ(MessageOf([&] { t.IndexFields(1); }), "tbl1: Field index out of range");
}

TEST_F(TableTest, RangesWithValuesExclusiveEndsAndIndexChanges) {
  TmySQLTable& t = TableComponent(Items());
  t.SetIndexFieldNames("grupo");
  t.Open();
  t.SetRange({2}, {2});
  EXPECT_EQ(t.RecordCount(), 10);
  t.First();
  while (!t.Eof()) {
    EXPECT_EQ(t.FieldByName("grupo").AsInteger(), 2);
    t.Next();
  }
  // Widen the end of the range, excluding the end key itself.
  t.EditRangeEnd();
  t.FieldByName("grupo").SetAsInteger(3);
  t.SetKeyExclusive(true);
  t.ApplyRange();
  EXPECT_EQ(t.RecordCount(), 10);
  t.EditRangeEnd();
  t.SetKeyExclusive(false);
  t.ApplyRange();
  EXPECT_EQ(t.RecordCount(), 20);
  // Changing the index drops the range.
  t.SetIndexFieldNames("id");
  EXPECT_EQ(t.RecordCount(), 30);
  EXPECT_EQ(t.FieldByName("id").AsInteger(), 1);
}

TEST_F(TableTest, DetailFollowsTheMasterThroughRanges) {
  const std::string items = Items();
  const std::string groups = Table("_g");
  Exec("CREATE TABLE " + groups + " (grupo INT PRIMARY KEY, titulo VARCHAR(10))");
  Exec("INSERT INTO " + groups + " VALUES (1,'um'),(2,'dois'),(3,'tres')");
  TmySQLTable& master = TableComponent(groups);
  db::TDataSource source;
  source.SetDataSet(&master);
  TmySQLTable& detail = DetailTable(items, source, "grupo");
  master.Open();
  detail.Open();
  auto groups_seen = [&] {
    std::set<int> seen;
    int n = 0;
    detail.First();
    while (!detail.Eof()) {
      seen.insert(detail.FieldByName("grupo").AsInteger());
      ++n;
      detail.Next();
    }
    return std::make_pair(seen, n);
  };
  EXPECT_EQ(groups_seen(), std::make_pair(std::set<int>{1}, 10));
  master.Next();
  EXPECT_EQ(groups_seen(), std::make_pair(std::set<int>{2}, 10));
  master.Last();
  EXPECT_EQ(groups_seen(), std::make_pair(std::set<int>{3}, 10));
  detail.Close();
  source.SetDataSet(nullptr);
}

}  // namespace
}  // namespace components::testing
