// Editing: edit/cancel/post, insert and append, delete, the events in the
// framework's order, failed posts, required fields and read-only checks.
#include "framework_fixture.h"
#include "rtl/SysUtils.h"

namespace fwtest {
namespace {

using namespace db;
using Log = std::vector<std::string>;

TEST_F(CustomersTest, EditThenCancelRestoresValues) {
  ds.Open();
  ds.Next();
  ds.Edit();
  EXPECT_EQ(ds.State(), dsEdit);
  ds.FieldByName("nome").SetAsString("Mudado");
  ds.FieldByName("saldo").SetAsFloat(99);
  EXPECT_TRUE(ds.Modified());
  ds.Cancel();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Bruno");
  EXPECT_EQ(ds.FieldByName("saldo").AsFloat(), -3.25);
  EXPECT_EQ(ds.Stored(1, "nome").AsString(), "Bruno");
  EXPECT_EQ(ds.PostCount(), 0);
  EXPECT_EQ(ds.RecNo(), 2);
}

TEST_F(CustomersTest, PostWritesOnceAndStaysOnRecord) {
  ds.Open();
  ds.MoveBy(2);
  ds.Edit();
  ds.FieldByName("nome").SetAsString("Carla Souza");
  ds.Post();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.PostCount(), 1);
  EXPECT_EQ(ds.Stored(2, "nome").AsString(), "Carla Souza");
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Carla Souza");
}

TEST_F(CustomersTest, FailedPostKeepsEditStateAndEnteredValues) {
  ds.Open();
  ds.Edit();
  ds.FieldByName("nome").SetAsString("Ana Maria");
  ds.FailNextWrite("MySQL Error Code: (1062)\r\nDuplicate entry");
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "MySQL Error Code: (1062)\r\nDuplicate entry");
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Ana Maria");
  EXPECT_EQ(ds.Stored(0, "nome").AsString(), "Ana");
  // The caller may try again and succeed.
  ds.Post();
  EXPECT_EQ(ds.Stored(0, "nome").AsString(), "Ana Maria");
}

TEST_F(CustomersTest, FailedInsertKeepsInsertState) {
  ds.Open();
  ds.Append();
  ds.FieldByName("codcli").SetAsInteger(60);
  ds.FailNextWrite("lost connection");
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "lost connection");
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 60);
  EXPECT_EQ(ds.RowCount(), 5);
  ds.Cancel();
  EXPECT_EQ(ds.RecordCount(), 5);
}

TEST_F(CustomersTest, PostErrorHandlerCanRetryOrAbort) {
  ds.Open();
  int calls = 0;
  ds.OnPostError = [&](TDataSet&, EDatabaseError& e, TDataAction& action) {
    ++calls;
    EXPECT_EQ(e.Message(), "busy");
    action = daRetry;
  };
  ds.Edit();
  ds.FieldByName("saldo").SetAsFloat(1);
  ds.FailNextWrite("busy");
  ds.Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ds.State(), dsBrowse);

  ds.OnPostError = [](TDataSet&, EDatabaseError&, TDataAction& action) { action = daAbort; };
  ds.Edit();
  ds.FieldByName("saldo").SetAsFloat(2);
  ds.FailNextWrite("busy");
  EXPECT_THROW(ds.Post(), rtl::EAbort);
  EXPECT_EQ(ds.State(), dsEdit);
}

TEST_F(CustomersTest, EditAndDeleteErrorHandlersSeeTheFailure) {
  ds.Open();
  std::vector<std::string> seen;
  ds.OnDeleteError = [&](TDataSet&, EDatabaseError& e, TDataAction& action) {
    seen.push_back("delete: " + e.Message());
    action = daFail;
  };
  ds.FailNextWrite("row is referenced");
  EXPECT_EQ(ErrorOf([&] { ds.Delete(); }), "row is referenced");
  EXPECT_EQ(ds.RecordCount(), 5);
  EXPECT_EQ(ds.State(), dsBrowse);
  // A refused edit leaves the dataset browsing; retry runs it again.
  ds.OnEditError = [&](TDataSet&, EDatabaseError& e, TDataAction& action) {
    seen.push_back("edit: " + e.Message());
    action = seen.size() < 3 ? daFail : daRetry;
  };
  ds.FailNextWrite("locked");
  EXPECT_EQ(ErrorOf([&] { ds.Edit(); }), "locked");
  EXPECT_EQ(ds.State(), dsBrowse);
  ds.FailNextWrite("locked again");
  ds.Edit();
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_EQ(seen, (std::vector<std::string>{"delete: row is referenced", "edit: locked",
                                            "edit: locked again"}));
}

TEST_F(CustomersTest, RefreshKeepsTheCurrentRecord) {
  ds.Open();
  ds.MoveBy(3);
  ds.Refresh();
  EXPECT_EQ(ds.RecNo(), 4);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Davi");
}

TEST_F(CustomersTest, EventsFireInFrameworkOrder) {
  Log log;
  ds.LogEvents(&log);
  const std::vector<LoggedStep> steps = {
      {"open", [&] { ds.Open(); }, {"BeforeOpen", "AfterOpen", "AfterScroll"}},
      {"next", [&] { ds.Next(); }, {"BeforeScroll", "AfterScroll"}},
      {"edit", [&] { ds.Edit(); }, {"BeforeEdit", "AfterEdit"}},
      {"post",
       [&] {
         ds.FieldByName("nome").SetAsString("B");
         ds.Post();
       },
       {"BeforePost", "AfterPost"}},
      {"insert", [&] { ds.Insert(); }, {"BeforeInsert", "OnNewRecord", "AfterInsert"}},
      {"cancel insert",
       [&] { ds.Cancel(); },
       {"BeforeCancel", "BeforeScroll", "AfterCancel", "AfterScroll"}},
      {"edit+cancel",
       [&] {
         ds.Edit();
         ds.Cancel();
       },
       {"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}},
      {"delete",
       [&] { ds.Delete(); },
       {"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}},
      {"modified edit posted by scrolling",
       [&] {
         ds.Edit();
         ds.FieldByName("nome").SetAsString("X");
         ds.Next();
       },
       {"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost", "BeforeScroll", "AfterScroll"}},
      {"refresh", [&] { ds.Refresh(); }, {"BeforeRefresh", "AfterRefresh"}},
      {"close", [&] { ds.Close(); }, {"BeforeClose", "AfterClose"}},
  };
  ExpectSteps(steps, log);
}

TEST_F(CustomersTest, UnmodifiedEditIsCancelledByScrolling) {
  Log log;
  ds.Open();
  ds.LogEvents(&log);
  ds.Edit();
  ds.Next();
  EXPECT_EQ(log, (Log{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel", "BeforeScroll",
                      "AfterScroll"}));
  EXPECT_EQ(ds.PostCount(), 0);
}

TEST_F(CustomersTest, InsertGoesBeforeCurrentAndAppendAtEnd) {
  ds.Open();
  ds.MoveBy(1);
  ds.Insert();
  ds.FieldByName("codcli").SetAsInteger(15);
  ds.Post();
  ds.Append();
  ds.FieldByName("codcli").SetAsInteger(99);
  ds.Post();
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 99);
  EXPECT_EQ(Codes(), (std::vector<int>{10, 15, 20, 30, 40, 50, 99}));
  EXPECT_EQ(ds.RecordCount(), 7);
}

TEST_F(CustomersTest, InsertIntoEmptyDataset) {
  MemoryDataSet empty;
  empty.AddColumn("id", ftInteger);
  empty.Open();
  empty.Insert();
  empty.FieldByName("id").SetAsInteger(1);
  empty.Post();
  empty.Edit();  // Edit on an empty dataset inserts instead
  EXPECT_EQ(empty.State(), dsEdit);
  empty.Cancel();
  EXPECT_EQ(empty.RecordCount(), 1);
  MemoryDataSet empty2;
  empty2.AddColumn("id", ftInteger);
  empty2.Open();
  empty2.Edit();
  EXPECT_EQ(empty2.State(), dsInsert);
}

TEST_F(CustomersTest, InsertRecordAndAppendRecordPostAtOnce) {
  ds.Open();
  ds.AppendRecord({60, "Fabio", 5.5});
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Fabio");
  ds.First();
  ds.InsertRecord({5, "Zeca", rtl::Variant(), rtl::Variant::Null(), true});
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 5);
  EXPECT_TRUE(ds.FieldByName("saldo").IsNull());
  EXPECT_EQ(Codes(), (std::vector<int>{5, 10, 20, 30, 40, 50, 60}));
}

TEST_F(CustomersTest, DeleteMovesToNextThenToPrior) {
  ds.Open();
  ds.MoveBy(3);
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 50);
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 30);
  EXPECT_EQ(ds.RecordCount(), 3);
  while (!ds.IsEmpty()) ds.Delete();
  EXPECT_EQ(ErrorOf([&] { ds.Delete(); }),
            "qryClientes: Cannot perform this operation on an empty dataset");
}

TEST_F(CustomersTest, RequiredFieldMustHaveValue) {
  ds.Open();
  ds.Append();
  ds.FieldByName("nome").SetAsString("Sem codigo");
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "Field 'codcli' must have a value");
  EXPECT_EQ(ds.State(), dsInsert);
  ds.FieldByName("codcli").SetAsInteger(70);
  ds.Post();
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(CustomersTest, WriteChecksWordedExactly) {
  ds.Open();
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("nome").SetAsString("x"); }),
            "qryClientes: Dataset not in edit or insert mode");
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "qryClientes: Dataset not in edit or insert mode");
  EXPECT_EQ(ErrorOf([&] { ds.SetFields({1}); }), "qryClientes: Dataset not in edit or insert mode");
  ds.Close();
  // The settings dialog after its table was closed by a reconnect.
  EXPECT_EQ(ErrorOf([&] { ds.Post(); }), "qryClientes: Dataset not in edit or insert mode");
  EXPECT_EQ(ErrorOf([&] { ds.Edit(); }),
            "qryClientes: Cannot perform this operation on a closed dataset");
  ds.Cancel();  // nothing to cancel: no error
  ds.SetReadOnly(true);
  ds.Open();
  EXPECT_EQ(ErrorOf([&] { ds.Edit(); }), "qryClientes: Cannot modify a read-only dataset");
  EXPECT_EQ(ErrorOf([&] { ds.Append(); }), "qryClientes: Cannot modify a read-only dataset");
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST(DataSetWriteTest, ReadOnlyFieldCannotBeModified) {
  MemoryDataSet ds;
  ds.AddColumn("id", ftInteger, 0, false, true);
  ds.AddRow({1});
  ds.Open();
  ds.Edit();
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("id").SetAsInteger(2); }),
            "Field 'id' cannot be modified");
  EXPECT_FALSE(ds.FieldByName("id").CanModify());
}

TEST_F(CustomersTest, ActiveDatasetRefusesStructuralChanges) {
  ds.Open();
  TIntegerField extra;
  extra.SetFieldName("extra");
  EXPECT_EQ(ErrorOf([&] { extra.SetDataSet(&ds); }),
            "qryClientes: Cannot perform this operation on an open dataset");
}

}  // namespace
}  // namespace fwtest
