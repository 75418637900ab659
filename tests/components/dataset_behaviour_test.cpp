// Dataset behaviour beyond the agent's surface: the query's master link,
// live results, update objects and modification hooks, cached-update
// values, block reading and the lifetime links between connection and
// datasets.
#include <gtest/gtest.h>

#include <climits>

#include "component_fixture.h"
#include "db/Consts.h"
#include "db/DataSource.h"
#include "engine/EngineErrors.h"

namespace components::testing {
namespace {

class DataSetBehaviourTest : public ComponentTest {
 protected:
  std::string Orders() {
    return CreateTable("(id INT PRIMARY KEY, cliente INT, valor DECIMAL(10,2))",
                       "(1,1,10),(2,1,20),(3,2,30),(4,3,40),(5,3,50),(6,3,60)");
  }
};

TEST_F(DataSetBehaviourTest, DetailQueryTakesItsParametersFromTheMaster) {
  const std::string orders = Orders();
  TmySQLQuery& master = Query("select 1 as cliente union all select 2 union all select 3");
  db::TDataSource source;
  source.SetDataSet(&master);
  TmySQLQuery& detail = Query("select count(*) as n, sum(valor) as total from " + orders +
                              " where cliente = :cliente");
  detail.SetDataSource(&source);
  master.Open();
  detail.Open();
  EXPECT_EQ(detail.FieldByName("n").AsInteger(), 2);
  master.Next();
  EXPECT_EQ(detail.FieldByName("n").AsInteger(), 1);
  EXPECT_DOUBLE_EQ(detail.FieldByName("total").AsFloat(), 30.0);
  master.Next();
  EXPECT_EQ(detail.FieldByName("n").AsInteger(), 3);
  EXPECT_FALSE(detail.ParamByName("cliente").Bound());
  std::vector<db::TField*> m, d;
  detail.GetDetailLinkFields(m, d);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0]->FieldName(), "cliente");
  detail.Close();
  detail.SetDataSource(nullptr);
}

TEST_F(DataSetBehaviourTest, LiveResultsNeedRequestLiveAndAnUpdatableStatement) {
  const std::string orders = Orders();
  TmySQLQuery& plain = OpenQuery("select * from " + orders);
  EXPECT_FALSE(plain.CanModify());

  TmySQLQuery& live = Query("select * from " + orders + " order by id");
  live.SetRequestLive(true);
  live.Open();
  EXPECT_TRUE(live.CanModify());
  live.Edit();
  live.FieldByName("valor").SetAsFloat(11.5);
  live.Post();
  EXPECT_EQ(Value("select cast(valor as char) from " + orders + " where id=1"), "11.50");

  TmySQLQuery& computed = Query("select cliente, sum(valor) from " + orders + " group by cliente");
  computed.SetRequestLive(true);
  computed.Open();
  EXPECT_FALSE(computed.CanModify());
}

class RecordingUpdateObject : public TmySQLSQLUpdateObject {
 public:
  using TmySQLSQLUpdateObject::TmySQLSQLUpdateObject;
  void Apply(db::TUpdateKind kind) override { kinds.push_back(kind); }
  std::vector<db::TUpdateKind> kinds;
};

TEST_F(DataSetBehaviourTest, UpdateObjectTakesOverPostsAndDeletes) {
  const std::string orders = Orders();
  TmySQLQuery& q = Query("select * from " + orders + " order by id");
  RecordingUpdateObject updater;
  q.SetUpdateObject(&updater);
  EXPECT_EQ(updater.DataSet(), &q);
  q.Open();
  EXPECT_TRUE(q.CanModify());
  const int updates = SessionUpdates();
  q.Edit();
  q.FieldByName("valor").SetAsFloat(99);
  q.Post();
  q.Delete();
  EXPECT_EQ(updater.kinds, (std::vector<db::TUpdateKind>{db::ukModify, db::ukDelete}));
  EXPECT_EQ(SessionUpdates(), updates);
  EXPECT_EQ(Value("select count(*) from " + orders), "6");
  // Assigning another object detaches the first.
  RecordingUpdateObject other;
  q.SetUpdateObject(&other);
  EXPECT_EQ(updater.DataSet(), nullptr);
  q.SetUpdateObject(nullptr);
  EXPECT_EQ(other.DataSet(), nullptr);
}

TEST_F(DataSetBehaviourTest, InsertingAndDeletingHooksCanSkipTheEngine) {
  const std::string orders = Orders();
  TmySQLTable& t = TableComponent(orders);
  int inserting = 0, deleting = 0;
  t.OnInserting = [&](TmySQLDataSet&, bool& allow) {
    ++inserting;
    allow = false;
  };
  t.OnDeleting = [&](TmySQLDataSet&, bool& allow) {
    ++deleting;
    allow = false;
  };
  t.Open();
  t.Insert();
  t.FieldByName("id").SetAsInteger(50);
  t.Post();
  t.Delete();
  EXPECT_EQ(inserting, 1);
  EXPECT_EQ(deleting, 1);
  EXPECT_EQ(Value("select count(*) from " + orders), "6");
}

TEST_F(DataSetBehaviourTest, OldValuesNeedCachedUpdates) {
  const std::string orders = Orders();
  TmySQLTable& t = TableComponent(orders);
  t.Open();
  EXPECT_EQ(MessageOf([&] { t.FieldByName("valor").OldValue(); }),
            "tbl1: Not in cached update mode");
  t.SetCachedUpdates(true);
  t.Edit();
  t.FieldByName("valor").SetAsFloat(77);
  EXPECT_DOUBLE_EQ(t.FieldByName("valor").OldValue().AsDouble(), 10.0);
  EXPECT_DOUBLE_EQ(t.FieldByName("valor").AsFloat(), 77.0);
  t.Cancel();
}

TEST_F(DataSetBehaviourTest, BlockReadingWalksTheRowsInBlocks) {
  const std::string orders = Orders();
  TmySQLQuery& q = OpenQuery("select * from " + orders + " order by id");
  q.SetBlockReadSize(4);
  EXPECT_EQ(q.State(), db::dsBlockRead);
  std::vector<int> ids;
  while (!q.Eof()) {
    ids.push_back(q.FieldByName("id").AsInteger());
    q.Next();
  }
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  q.SetBlockReadSize(0);
  EXPECT_EQ(q.State(), db::dsBrowse);
  // The largest size reads 65536 bytes' worth of records at a time.
  q.First();
  q.SetBlockReadSize(INT_MAX);
  ids.clear();
  while (!q.Eof()) {
    ids.push_back(q.FieldByName("id").AsInteger());
    q.Next();
  }
  EXPECT_EQ(ids.size(), 6u);
  q.SetBlockReadSize(0);
}

TEST_F(DataSetBehaviourTest, DestroyingTheConnectionClosesAndForgetsItsDatasets) {
  TmySQLQuery& q = OpenQuery("select 1");
  auto* d = db_.get();
  EXPECT_EQ(q.Database(), d);
  db_.reset();
  EXPECT_FALSE(q.Active());
  EXPECT_EQ(q.Database(), nullptr);
  EXPECT_EQ(MessageOf([&] { q.Open(); }), "(qry1) property Database is not set!");
}

TEST_F(DataSetBehaviourTest, ChangingTheDatabaseClosesTheDataset) {
  TmySQLQuery& q = OpenQuery("select 1");
  q.SetDatabase(helper_.get());
  EXPECT_FALSE(q.Active());
  EXPECT_EQ(db_->DataSetCount(), 0);
  q.Open();
  EXPECT_EQ(helper_->DataSetCount(), 1);
  EXPECT_EQ(q.Fields()[0].AsInteger(), 1);
}

TEST_F(DataSetBehaviourTest, AtDesignTimeAChangeDisconnectsInsteadOfRaising) {
  db_->Open();
  db_->SetDesigning(true);
  db_->SetDatabaseName(kPdvDatabase);
  EXPECT_FALSE(db_->Connected());
  EXPECT_EQ(db_->Params().Values("DatabaseName"), kPdvDatabase);
}

TEST_F(DataSetBehaviourTest, ConnectedWhileLoadingWaitsForTheEndOfLoading) {
  db_->BeginLoading();
  db_->SetConnected(true);
  EXPECT_FALSE(db_->Connected());
  db_->EndLoading();
  EXPECT_TRUE(db_->Connected());
}

TEST_F(DataSetBehaviourTest, ProviderStatementsRunOnTheConnection) {
  const std::string orders = Orders();
  TmySQLQuery& q = Query("select 1");
  EXPECT_TRUE(q.PSIsSQLBased());
  EXPECT_EQ(q.PSGetQuoteChar(), '"');
  EXPECT_EQ(q.PSExecuteStatement("delete from " + orders + " where id > 4", nullptr, nullptr), 2);
  db::TParams params;
  params.CreateParam(db::ftInteger, "c", db::ptInput).SetAsInteger(1);
  EXPECT_EQ(q.PSExecuteStatement("delete from " + orders + " where cliente = :c", &params, nullptr),
            2);
  EXPECT_EQ(Value("select count(*) from " + orders), "2");
  q.SQL().SetText("select * from " + orders + " order by valor");
  EXPECT_EQ(q.PSGetDefaultOrder(), "valor");
  engine::EmySQLDatabaseError error("MySQL Error Code: (1062)\r\nDuplicado", 1001, 1062);
  auto update_error = q.PSGetUpdateException(error, nullptr);
  ASSERT_NE(update_error, nullptr);
  EXPECT_EQ(std::string(update_error->what()), "MySQL Error Code: (1062)\r\nDuplicado");
  EXPECT_EQ(update_error->ErrorCode(), engine::DBIERR_NATIVE);
}

TEST_F(DataSetBehaviourTest, RequiredFlagsFollowNotNullColumnsWithoutDefaults) {
  const std::string t = CreateTable(
      "(id INT AUTO_INCREMENT PRIMARY KEY, nome VARCHAR(10) NOT NULL, "
      "cidade VARCHAR(10) NOT NULL DEFAULT 'x', obs VARCHAR(10))");
  TmySQLQuery& q = OpenQuery("select * from " + t);
  struct Expect {
    const char* name;
    bool required;
    db::TFieldType type;
  } expected[] = {{"id", false, db::ftAutoInc},
                  {"nome", true, db::ftString},
                  {"cidade", false, db::ftString},
                  {"obs", false, db::ftString}};
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.name);
    const db::TFieldDef* def = q.FieldDefs().FindDef(e.name);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->Required(), e.required);
    EXPECT_EQ(def->DataType(), e.type);
  }
}

TEST_F(DataSetBehaviourTest, NewDetailRecordsTakeTheMasterValues) {
  const std::string orders = Orders();
  TmySQLQuery& master = Query("select 3 as cliente");
  db::TDataSource source;
  source.SetDataSet(&master);
  TmySQLTable& detail = DetailTable(orders, source, "cliente");
  Exec("ALTER TABLE " + orders + " ADD KEY ix_cliente (cliente)");
  master.Open();
  detail.Open();
  EXPECT_EQ(detail.RecordCount(), 3);
  detail.Append();
  EXPECT_EQ(detail.FieldByName("cliente").AsInteger(), 3);
  detail.FieldByName("id").SetAsInteger(70);
  detail.Post();
  EXPECT_EQ(Value("select cliente from " + orders + " where id=70"), "3");
  detail.Close();
  source.SetDataSet(nullptr);
}

TEST_F(DataSetBehaviourTest, BlobStreamsAreRefusedInsideAFilter) {
  const std::string t = CreateTable("(id INT PRIMARY KEY, obs TEXT)", "(1,'a'),(2,'b')");
  TmySQLQuery& q = Query("select * from " + t);
  q.SetName("qryNotas");
  std::vector<std::string> shown;
  db::SetExceptionDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
  q.SetOnFilterRecord([](db::TDataSet& d, bool& accept) {
    accept = true;
    d.CreateBlobStream(d.FieldByName("obs"), db::bmRead);
  });
  q.SetFiltered(true);
  q.Open();
  EXPECT_EQ(q.RecordCount(), 2);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0], "qryNotas: Cannot access field 'obs' in a filter");
  db::SetExceptionDisplay(nullptr);
}

}  // namespace
}  // namespace components::testing
