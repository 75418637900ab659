// Data sources and links: the notices a control receives, the field link of
// data-aware controls, master/detail and the circular-link check.
#include "db/DataSource.h"
#include "framework_fixture.h"

namespace fwtest {
namespace {

using namespace db;
using Log = std::vector<std::string>;

class RecordingLink : public TDataLink {
 public:
  Log log;

 protected:
  void ActiveChanged() override { log.push_back(Active() ? "active" : "inactive"); }
  void DataSetChanged() override { log.push_back("changed"); }
  void DataSetScrolled(int) override { log.push_back("scrolled"); }
  void EditingChanged() override { log.push_back(Editing() ? "editing" : "not editing"); }
  void RecordChanged(TField* field) override {
    log.push_back(field != nullptr ? "record " + field->FieldName() : "record");
  }
  void UpdateData() override { log.push_back("update data"); }
  void CheckBrowseMode() override { log.push_back("check browse"); }
};

// A source over a dataset and a link recording what it hears through it.
struct Listener {
  explicit Listener(TDataSet& ds) : ds(ds) {
    source.SetDataSet(&ds);
    link.SetDataSource(&source);
  }
  // Opens the dataset and disables its controls, the notices of the open
  // taken out of the log.
  void OpenWithControlsDisabled() {
    ds.Open();
    link.log.clear();
    ds.DisableControls();
  }
  TDataSet& ds;
  TDataSource source;
  RecordingLink link;
};

TEST_F(CustomersTest, LinkNoticesFollowTheDataset) {
  Listener listener(ds);
  RecordingLink& link = listener.link;
  const std::vector<LoggedStep> steps = {
      {"open", [&] { ds.Open(); }, {"active"}},
      {"next", [&] { ds.Next(); }, {"check browse", "scrolled"}},
      {"first", [&] { ds.First(); }, {"check browse", "changed"}},
      {"edit", [&] { ds.Edit(); }, {"check browse", "editing", "record"}},
      {"set field", [&] { ds.FieldByName("nome").SetAsString("Z"); }, {"record nome"}},
      {"post", [&] { ds.Post(); }, {"update data", "check browse", "not editing", "changed"}},
      {"close", [&] { ds.Close(); }, {"inactive"}},
  };
  ExpectSteps(steps, link.log);
}

TEST_F(CustomersTest, DisabledControlsHearOneChangeAtTheEnd) {
  Listener listener(ds);
  RecordingLink& link = listener.link;
  listener.OpenWithControlsDisabled();
  ds.DisableControls();
  for (ds.First(); !ds.Eof(); ds.Next()) {
  }
  ds.EnableControls();
  EXPECT_TRUE(link.log.empty());
  ds.EnableControls();
  EXPECT_EQ(link.log, (Log{"changed"}));
  EXPECT_FALSE(ds.ControlsDisabled());
}

TEST_F(CustomersTest, StateChangeWhileDisabledIsDeliveredOnEnable) {
  Listener listener(ds);
  TDataSource& source = listener.source;
  RecordingLink& link = listener.link;
  listener.OpenWithControlsDisabled();
  ds.Close();
  EXPECT_TRUE(link.log.empty());
  EXPECT_EQ(source.State(), dsBrowse) << "the source has not heard yet";
  ds.EnableControls();
  EXPECT_EQ(link.log, (Log{"inactive"}));
  EXPECT_EQ(source.State(), dsInactive);
}

TEST_F(CustomersTest, DataSourceStateAndEvents) {
  TDataSource source;
  Log log;
  source.OnStateChange = [&](TDataSource& s) {
    log.push_back("state " + std::to_string(s.State()));
  };
  source.OnDataChange = [&](TDataSource&, TField* f) {
    log.push_back(f ? "data " + f->FieldName() : "data");
  };
  source.SetDataSet(&ds);
  EXPECT_EQ(source.State(), dsInactive);
  ds.Open();
  EXPECT_EQ(log, (Log{"state 1", "data"}));
  source.SetEnabled(false);
  EXPECT_EQ(source.State(), dsInactive);
  source.SetEnabled(true);
  log.clear();
  source.Edit();  // AutoEdit puts the dataset into edit state
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_EQ(log, (Log{"state 2", "data"}));
  ds.Cancel();
  source.SetAutoEdit(false);
  source.Edit();
  EXPECT_EQ(ds.State(), dsBrowse);
}

// The data-aware label and edit of the settings dialog: the label shows the
// field's text, the edit writes it back when the record is posted.
TEST(FieldDataLinkTest, LabelAndEditOverTimeField) {
  MemoryDataSet tbl;
  tbl.SetName("tblParametos");
  tbl.AddColumn("tempoatualizacaoPDV", ftTime);
  tbl.AddRow({rtl::Variant::FromDateTime(rtl::EncodeTime(0, 5, 0, 0))});
  TDataSource ds_parametos;
  ds_parametos.SetDataSet(&tbl);

  std::string label_text;
  TFieldDataLink label;
  label.OnDataChange = [&] { label_text = label.Field() ? label.Field()->DisplayText() : ""; };
  label.SetDataSource(&ds_parametos);
  label.SetFieldName("tempoatualizacaoPDV");

  std::string edit_text;
  TFieldDataLink edit;
  edit.OnDataChange = [&] { edit_text = edit.Field() ? edit.Field()->Text() : ""; };
  edit.OnUpdateData = [&] { edit.Field()->SetText(edit_text); };
  edit.SetDataSource(&ds_parametos);
  edit.SetFieldName("tempoatualizacaoPDV");

  EXPECT_EQ(label.Field(), nullptr);
  tbl.Open();
  EXPECT_EQ(label_text, "00:05:00");
  EXPECT_EQ(edit_text, "00:05:00");
  EXPECT_TRUE(edit.CanModify());
  EXPECT_TRUE(edit.Edit());
  EXPECT_EQ(tbl.State(), dsEdit);
  edit_text = "00:00:45";
  edit.Modified();
  tbl.Post();
  EXPECT_EQ(label_text, "00:00:45");
  EXPECT_DOUBLE_EQ(tbl.Stored(0, "tempoatualizacaoPDV").AsDateTime(), 45.0 / 86400);
  tbl.Close();
  EXPECT_EQ(label.Field(), nullptr);
  EXPECT_EQ(label_text, "");
}

TEST(FieldDataLinkTest, ControlLetsGoOfADestroyedField) {
  MemoryDataSet tbl;
  tbl.AddColumn("a", ftInteger);
  tbl.AddRow({1});
  TComponent window;
  auto* field = new TIntegerField(&window);
  field->SetFieldName("a");
  field->SetDataSet(&tbl);
  TDataSource src;
  src.SetDataSet(&tbl);
  TFieldDataLink link;
  link.SetDataSource(&src);
  link.SetFieldName("a");
  tbl.Open();
  EXPECT_EQ(link.Field(), field);
  window.DestroyComponent(field);
  EXPECT_EQ(link.Field(), nullptr);
  EXPECT_EQ(tbl.FieldCount(), 0);
}

TEST(FieldDataLinkTest, UnknownFieldNameRaises) {
  MemoryDataSet tbl;
  tbl.SetName("tblParametos");
  tbl.AddColumn("a", ftInteger);
  TDataSource src;
  src.SetDataSet(&tbl);
  TFieldDataLink link;
  link.SetDataSource(&src);
  link.SetFieldName("b");
  EXPECT_EQ(ErrorOf([&] { tbl.Open(); }), "tblParametos: Field 'b' not found");
}

class MasterDetailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master.SetName("qryClientes");
    FillCustomers(master);
    detail.SetName("qryPedidos");
    detail.AddColumn("pedido", ftInteger);
    detail.AddColumn("codcli", ftInteger);
    for (auto [pedido, cliente] : {std::pair{1, 10}, {2, 20}, {3, 10}, {4, 30}, {5, 10}})
      detail.AddRow({pedido, cliente});
    source.SetDataSet(&master);
    detail.SetMasterSource(&source);
    detail.SetMasterFields("codcli");
    detail.SetDetailFields("codcli");
  }
  std::vector<int> Orders() {
    std::vector<int> orders;
    for (detail.First(); !detail.Eof(); detail.Next())
      orders.push_back(detail.FieldByName("pedido").AsInteger());
    return orders;
  }
  MemoryDataSet master, detail;
  TDataSource source;
};

TEST_F(MasterDetailTest, DetailFollowsMasterRecord) {
  master.Open();
  detail.Open();
  EXPECT_EQ(Orders(), (std::vector<int>{1, 3, 5}));
  master.Next();
  EXPECT_EQ(detail.FieldByName("pedido").AsInteger(), 2) << "refreshed at once";
  EXPECT_EQ(Orders(), (std::vector<int>{2}));
  master.Next();
  EXPECT_EQ(Orders(), (std::vector<int>{4}));
  master.Next();
  EXPECT_EQ(Orders(), (std::vector<int>{}));
  EXPECT_TRUE(detail.IsEmpty());
  // Editing another master field does not touch the detail; the link field does.
  master.First();
  master.Edit();
  int changes = detail.MasterChanges();
  master.FieldByName("nome").SetAsString("Ana B");
  EXPECT_EQ(detail.MasterChanges(), changes);
  master.FieldByName("codcli").SetAsInteger(30);
  EXPECT_EQ(detail.MasterChanges(), changes + 1);
  EXPECT_EQ(Orders(), (std::vector<int>{4}));
  master.Cancel();
  master.Close();
  EXPECT_EQ(Orders(), (std::vector<int>{1, 2, 3, 4, 5})) << "master gone: no range";
}

TEST_F(MasterDetailTest, DetailEditIsPostedWhenMasterMoves) {
  master.Open();
  detail.Open();
  detail.Edit();
  detail.FieldByName("pedido").SetAsInteger(11);
  master.Next();
  EXPECT_EQ(detail.State(), dsBrowse);
  EXPECT_EQ(detail.Stored(0, "pedido").AsInteger(), 11);
}

TEST_F(MasterDetailTest, CircularLinksAreRefused) {
  TDataSource detail_source;
  detail_source.SetName("dsPedidos");
  detail_source.SetDataSet(&detail);
  // detail_source -> detail -> source -> master: leads back to both.
  EXPECT_TRUE(master.IsLinkedTo(&detail_source));
  EXPECT_TRUE(detail.IsLinkedTo(&detail_source));
  TDataSource unrelated;
  EXPECT_FALSE(master.IsLinkedTo(&unrelated));
  EXPECT_EQ(ErrorOf([&] { master.SetMasterSource(&detail_source); }),
            "qryClientes: Circular datalinks are not allowed");
  EXPECT_EQ(ErrorOf([&] { detail.SetMasterSource(&detail_source); }),
            "qryPedidos: Circular datalinks are not allowed");
  TDataSource other;
  other.SetName("dsOutro");
  MemoryDataSet third;
  third.SetMasterSource(&detail_source);
  other.SetDataSet(&third);
  EXPECT_EQ(ErrorOf([&] { master.SetMasterSource(&other); }),
            "qryClientes: Circular datalinks are not allowed");
  EXPECT_EQ(master.DataSource(), nullptr);
}

TEST_F(MasterDetailTest, SourceCannotShowItsOwnDetail) {
  source.SetName("dsClientes");
  EXPECT_EQ(ErrorOf([&] { source.SetDataSet(&detail); }),
            "dsClientes: Circular datalinks are not allowed");
  EXPECT_EQ(source.DataSet(), &master);
}

TEST_F(MasterDetailTest, DestroyingTheMasterLeavesTheDetailUsable) {
  {
    MemoryDataSet temporary;
    temporary.AddColumn("codcli", ftInteger);
    temporary.AddRow({20});
    source.SetDataSet(&temporary);
    temporary.Open();
    detail.Open();
    EXPECT_EQ(Orders(), (std::vector<int>{2}));
  }
  EXPECT_EQ(source.DataSet(), nullptr);
  EXPECT_EQ(source.State(), dsInactive);
  EXPECT_EQ(Orders(), (std::vector<int>{1, 2, 3, 4, 5}));
}

}  // namespace
}  // namespace fwtest
