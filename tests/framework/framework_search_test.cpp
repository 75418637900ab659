// Filters, find operations, Locate and Lookup, bookmarks and block reading.
#include "db/Component.h"
#include "db/FilterExpr.h"
#include "framework_fixture.h"

namespace fwtest {
namespace {

using namespace db;
using Log = std::vector<std::string>;

TEST_F(CustomersTest, FilterShowsOnlyMatchingRows) {
  ds.Open();
  struct Case {
    const char* filter;
    TFilterOptions options;
    std::vector<int> codes;
  };
  const Case cases[] = {
      {"nome = 'Carla'", {}, {30}},
      {"nome = 'carla'", {}, {}},
      {"nome = 'carla'", {foCaseInsensitive}, {30}},
      {"nome = 'B*'", {}, {20}},
      {"nome = 'B*'", {foNoPartialCompare}, {}},
      {"saldo > 0", {}, {10, 40}},
      {"saldo IS NULL OR NOT ativo", {}, {20, 50}},
      {"nascimento < '1990-01-01'", {}, {10, 20}},
      {"", {}, {10, 20, 30, 40, 50}},
  };
  ds.SetFiltered(true);
  for (const Case& c : cases) {
    ds.SetFilterOptions(c.options);
    ds.SetFilter(c.filter);
    EXPECT_EQ(Codes(), c.codes) << c.filter;
    EXPECT_EQ(ds.RecordCount(), static_cast<int>(c.codes.size())) << c.filter;
  }
  ds.SetFiltered(false);
  EXPECT_EQ(ds.RecordCount(), 5);
}

TEST_F(CustomersTest, SwitchingFilteredAlwaysGoesToFirstRecord) {
  ds.SetFilter("ativo");
  ds.Open();
  ds.MoveBy(2);
  ds.SetFiltered(false);  // unchanged value
  EXPECT_EQ(ds.RecNo(), 1);
  ds.MoveBy(3);
  ds.SetFiltered(true);
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 10);
  ds.Next();
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 30);
}

TEST_F(CustomersTest, FilterRecordHandlerRunsInFilterState) {
  std::vector<TDataSetState> states;
  ds.SetOnFilterRecord([&](TDataSet& d, bool& accept) {
    states.push_back(d.State());
    accept = d.FieldByName("codcli").AsInteger() % 20 == 0;
  });
  ds.SetFiltered(true);
  ds.Open();
  EXPECT_EQ(Codes(), (std::vector<int>{20, 40}));
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.front(), dsFilter);
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(CustomersTest, FailingFilterHandlerIsShownAndScanGoesOn) {
  std::vector<std::string> shown;
  SetExceptionDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
  ds.SetOnFilterRecord([](TDataSet& d, bool& accept) {
    if (d.FieldByName("codcli").AsInteger() == 20) {
      accept = false;
      throw EDatabaseError("falhou");
    }
  });
  ds.SetFiltered(true);
  ds.Open();
  EXPECT_EQ(Codes(), (std::vector<int>{10, 30, 40, 50}));
  EXPECT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), "falhou");
  SetExceptionDisplay(nullptr);
}

TEST_F(CustomersTest, BadFilterTextRaisesFilterError) {
  ds.SetFiltered(true);
  ds.SetFilter("nome = ");
  EXPECT_THROW(ds.Open(), EFilterError);
  EXPECT_FALSE(ds.Active());
}

TEST_F(CustomersTest, FindOperationsUseTheFilterWithoutFiltering) {
  ds.SetFilter("ativo");
  ds.Open();
  EXPECT_TRUE(ds.FindLast());
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 40);
  EXPECT_TRUE(ds.FindPrior());
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 30);
  EXPECT_TRUE(ds.FindFirst());
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 10);
  EXPECT_TRUE(ds.FindNext());
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 30);
  EXPECT_TRUE(ds.FindNext());
  EXPECT_FALSE(ds.FindNext());
  EXPECT_FALSE(ds.Found());
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 40) << "a failed find stays put";
  EXPECT_EQ(ds.RecordCount(), 5);
}

TEST_F(CustomersTest, LocateMovesToTheMatchingRecord) {
  ds.Open();
  struct Case {
    const char* fields;
    rtl::Variant values;
    TLocateOptions options;
    int code;  // 0: not found
  };
  const Case cases[] = {
      {"nome", "Davi", {}, 40},
      {"nome", "davi", {}, 0},
      {"nome", "davi", {loCaseInsensitive}, 40},
      {"nome", "Bru", {}, 0},
      {"nome", "Bru", {loPartialKey}, 20},
      {"nome", "el", {loPartialKey, loCaseInsensitive}, 50},
      {"codcli", 30, {}, 30},
      {"codcli", "30", {}, 30},
      {"ativo;saldo", rtl::Variant({false, -3.25}), {}, 20},
      {"ativo;saldo", rtl::Variant({true, -3.25}), {}, 0},
      {"nascimento", rtl::Variant::Null(), {}, 30},
      {"saldo", 1e20, {}, 40},
  };
  for (const Case& c : cases) {
    ds.First();
    ds.Next();
    bool found = ds.Locate(c.fields, c.values, c.options);
    EXPECT_EQ(found, c.code != 0) << c.fields << " " << c.values.AsString();
    EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), c.code != 0 ? c.code : 20)
        << c.fields << " " << c.values.AsString();
  }
  EXPECT_EQ(ErrorOf([&] { ds.Locate("cidade", "x", {}); }),
            "qryClientes: Field 'cidade' not found");
}

TEST_F(CustomersTest, LocateFiresScrollEventsOnlyWhenFound) {
  Log log;
  ds.Open();
  ds.LogEvents(&log);
  EXPECT_FALSE(ds.Locate("nome", "Zeca", {}));
  EXPECT_EQ(log, (Log{"BeforeScroll"}));
  log.clear();
  EXPECT_TRUE(ds.Locate("nome", "Elisa", {}));
  EXPECT_EQ(log, (Log{"BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(ds.RecNo(), 5);
}

TEST_F(CustomersTest, LookupReadsWithoutMoving) {
  ds.Open();
  ds.Next();
  EXPECT_EQ(ds.Lookup("codcli", 40, "nome").AsString(), "Davi");
  rtl::Variant both = ds.Lookup("nome", "Ana", "codcli;saldo");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both.Item(0).AsInteger(), 10);
  EXPECT_EQ(both.Item(1).AsDouble(), 12.5);
  EXPECT_TRUE(ds.Lookup("codcli", 99, "nome").IsNull());
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Bruno");
  ds.Next();
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Carla") << "cursor back in step";
}

TEST_F(CustomersTest, BookmarksReturnToTheRecord) {
  ds.Open();
  ds.MoveBy(2);
  TBookmark carla = ds.Bookmark();
  ASSERT_FALSE(carla.empty());
  ds.Last();
  TBookmark elisa = ds.Bookmark();
  EXPECT_EQ(ds.CompareBookmarks(carla, elisa), -1);
  EXPECT_EQ(ds.CompareBookmarks(elisa, carla), 1);
  EXPECT_EQ(ds.CompareBookmarks(carla, carla), 0);
  EXPECT_EQ(ds.CompareBookmarks({}, {}), 0);
  ds.GotoBookmark(carla);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Carla");
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_TRUE(ds.BookmarkValid(elisa));
  ds.GotoBookmark(elisa);
  ds.Delete();
  EXPECT_FALSE(ds.BookmarkValid(elisa));
  EXPECT_EQ(ErrorOf([&] { ds.GotoBookmark(elisa); }), "qryClientes: Record not found");
  ds.Insert();
  EXPECT_TRUE(ds.Bookmark().empty()) << "a record being inserted has no bookmark";
  ds.Cancel();
}

TEST_F(CustomersTest, BlockReadingWalksTheRowsInItsOwnState) {
  ds.Open();
  ds.SetBlockReadSize(3);
  EXPECT_EQ(ds.State(), dsBlockRead);
  std::vector<int> codes;
  while (!ds.Eof()) {
    codes.push_back(ds.FieldByName("codcli").AsInteger());
    ds.Next();
  }
  EXPECT_EQ(codes, (std::vector<int>{10, 20, 30, 40, 50}));
  ds.SetBlockReadSize(0);
  EXPECT_EQ(ds.State(), dsBrowse);
  ds.SetBlockReadSize(5);
  ds.Close();
  EXPECT_EQ(ds.BlockReadSize(), 0);
  EXPECT_EQ(ErrorOf([&] { ds.SetBlockReadSize(2); }),
            "qryClientes: Cannot perform this operation on a closed dataset");
}

TEST_F(CustomersTest, ProviderErrorsBecomeUpdateErrors) {
  EDatabaseError failure("MySQL Error Code: (1062)\r\nDuplicate entry '1' for key 'PRIMARY'");
  auto first = ds.PSGetUpdateException(failure, nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Message(), failure.Message());
  EXPECT_EQ(first->PreviousError(), 0);
  EXPECT_EQ(ds.PSGetUpdateException(std::runtime_error("x"), nullptr), nullptr);
  EXPECT_EQ(ds.PSGetQuoteChar(), '"');
}

}  // namespace
}  // namespace fwtest
