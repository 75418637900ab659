// Filters, record search, bookmarks, record numbers, sorting and blob access
// against the sandbox.
#include <gtest/gtest.h>

#include "component_fixture.h"
#include "db/Consts.h"
#include "engine/EngineErrors.h"

namespace components::testing {
namespace {

class SearchTest : public ComponentTest {
 protected:
  // People 1..12: name, city (three cities), key on name.
  std::string People() {
    const char* cities[] = {"Recife", "Natal", "Belem"};
    std::string values;
    for (int i = 1; i <= 12; ++i) {
      if (i > 1) values += ",";
      values += "(" + std::to_string(i) + ",'Pessoa" + std::to_string(i) + "','" + cities[i % 3] +
                "','obs" + std::to_string(i) + "')";
    }
    return CreateTable(
        "(id INT PRIMARY KEY, nome VARCHAR(20), cidade VARCHAR(20), obs TEXT, KEY ix_nome (nome))",
        values);
  }

  // A query over People() in id order, not yet open.
  TmySQLQuery& PeopleById() { return Query("select * from " + People() + " order by id"); }
};

TEST_F(SearchTest, FilterShowsOnlyMatchingRowsAndCountsThem) {
  TmySQLQuery& q = PeopleById();
  q.SetFilter("cidade = 'Natal'");
  q.SetFiltered(true);
  q.Open();
  EXPECT_EQ(Ids(q), (std::vector<int>{1, 4, 7, 10}));
  EXPECT_EQ(q.RecordCount(), 4);
  EXPECT_FALSE(q.IsSequenced());
  // Changing the text of an active filter.
  q.SetFilter("cidade = 'Belem' and id > 5");
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 8);
  EXPECT_EQ(Ids(q), (std::vector<int>{8, 11}));
  // Switching Filtered always moves to the first record.
  q.Next();
  q.SetFiltered(true);
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 8);
  q.SetFiltered(false);
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 1);
  EXPECT_EQ(q.RecordCount(), 12);
}

TEST_F(SearchTest, FilterOptionsChangeHowTextsCompare) {
  TmySQLQuery& q = PeopleById();
  q.SetFilter("cidade = 'natal'");
  q.SetFiltered(true);
  q.Open();
  EXPECT_EQ(q.RecordCount(), 0);
  q.SetFilterOptions({db::foCaseInsensitive});
  EXPECT_EQ(q.RecordCount(), 4);
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 1);
  // A trailing star is a prefix match unless partial compares are off.
  q.SetFilter("cidade = 'Re*'");
  EXPECT_EQ(Ids(q), (std::vector<int>{3, 6, 9, 12}));
  q.SetFilterOptions({db::foNoPartialCompare});
  EXPECT_EQ(q.RecordCount(), 0);
  q.SetFilter("");
  EXPECT_EQ(q.RecordCount(), 12);
}

TEST_F(SearchTest, FilterRecordHandlerDecidesAndItsFailuresDoNotStopTheScan) {
  TmySQLQuery& q = PeopleById();
  std::vector<std::string> shown;
  db::SetExceptionDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
  q.SetOnFilterRecord([](db::TDataSet& d, bool& accept) {
    const int id = d.FieldByName("id").AsInteger();
    if (id == 3) throw rtl::Exception("falha no filtro");
    accept = id % 2 == 1;
  });
  q.SetFiltered(true);
  q.Open();
  // Record 3 raised before deciding: it keeps the flag's starting value.
  EXPECT_EQ(Ids(q), (std::vector<int>{1, 3, 5, 7, 9, 11}));
  EXPECT_FALSE(shown.empty());
  EXPECT_EQ(shown[0], "falha no filtro");
  db::SetExceptionDisplay(nullptr);
}

TEST_F(SearchTest, FindUsesTheFilterOnlyForTheSearch) {
  TmySQLQuery& q = PeopleById();
  q.SetFilter("cidade = 'Recife'");
  q.Open();
  EXPECT_EQ(q.RecordCount(), 12);
  EXPECT_TRUE(q.FindFirst());
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 3);
  EXPECT_TRUE(q.FindNext());
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 6);
  EXPECT_TRUE(q.FindLast());
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 12);
  EXPECT_TRUE(q.FindPrior());
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 9);
  // Outside the search the filter is not applied.
  q.Next();
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 10);
}

TEST_F(SearchTest, LocateChoosesACursorAndFindsTheRow) {
  TmySQLTable& t = TableComponent(People());
  t.Open();
  // Key of the current (primary) index: the table's own cursor.
  ASSERT_TRUE(t.Locate("id", 7, {}));
  EXPECT_EQ(t.FieldByName("nome").AsString(), "Pessoa7");
  // An indexed column: a lookup cursor on ix_nome.
  ASSERT_TRUE(t.Locate("nome", "Pessoa9", {}));
  EXPECT_EQ(t.FieldByName("id").AsInteger(), 9);
  // The same fields again, then a column without an index: the filter.
  ASSERT_TRUE(t.Locate("nome", "Pessoa2", {}));
  EXPECT_EQ(t.FieldByName("id").AsInteger(), 2);
  ASSERT_TRUE(t.Locate("cidade;id", rtl::Variant({"Belem", 5}), {}));
  EXPECT_EQ(t.FieldByName("id").AsInteger(), 5);
  ASSERT_TRUE(t.Locate("cidade", "bel", {db::loCaseInsensitive, db::loPartialKey}));
  EXPECT_EQ(t.FieldByName("cidade").AsString(), "Belem");
  // Not found: the current record stays.
  const int current = t.FieldByName("id").AsInteger();
  EXPECT_FALSE(t.Locate("nome", "Ninguem", {}));
  EXPECT_FALSE(t.Locate("cidade", "Manaus", {}));
  EXPECT_EQ(t.FieldByName("id").AsInteger(), current);
}

TEST_F(SearchTest, LocateOnAQueryUsesATemporaryFilter) {
  TmySQLQuery& q = PeopleById();
  q.Open();
  ASSERT_TRUE(q.Locate("nome", "Pessoa11", {}));
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 11);
  EXPECT_EQ(q.RecNo(), 11);
  ASSERT_TRUE(q.Locate("nome", "pessoa1", {db::loCaseInsensitive}));
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 1);
  // The temporary filter is gone afterwards.
  EXPECT_EQ(q.RecordCount(), 12);
}

TEST_F(SearchTest, LookupReturnsValuesWithoutMoving) {
  TmySQLTable& t = TableComponent(People());
  t.Open();
  t.Next();
  rtl::Variant v = t.Lookup("id", 8, "nome");
  EXPECT_EQ(v.AsString(), "Pessoa8");
  rtl::Variant both = t.Lookup("nome", "Pessoa4", "id;cidade");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both.Item(0).AsInteger(), 4);
  EXPECT_EQ(both.Item(1).AsString(), "Natal");
  EXPECT_TRUE(t.Lookup("id", 99, "nome").IsNull());
  EXPECT_EQ(t.FieldByName("id").AsInteger(), 2);
}

TEST_F(SearchTest, BookmarksRecordNumbersAndSorting) {
  TmySQLQuery& q = PeopleById();
  q.Open();
  q.MoveBy(4);
  const db::TBookmark mark = q.GetBookmark();
  EXPECT_TRUE(q.BookmarkValid(mark));
  q.Last();
  EXPECT_EQ(q.CompareBookmarks(mark, q.GetBookmark()), -1);
  EXPECT_EQ(q.CompareBookmarks(mark, mark), 0);
  EXPECT_EQ(q.CompareBookmarks(mark, db::TBookmark()), -1);
  EXPECT_EQ(q.CompareBookmarks(db::TBookmark(), mark), 1);
  q.GotoBookmark(mark);
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 5);
  q.SetRecNo(9);
  EXPECT_EQ(q.RecNo(), 9);
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 9);
  q.Next();
  q.SetSortFieldNames("cidade DESC, id");
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 3);
  std::vector<int> ids = Ids(q);
  EXPECT_EQ(ids, (std::vector<int>{3, 6, 9, 12, 1, 4, 7, 10, 2, 5, 8, 11}));
}

TEST_F(SearchTest, BlobStreamForWritingTruncatesAtOnce) {
  const std::string name = People();
  TmySQLTable& t = TableComponent(name);
  t.Open();
  db::TField& obs = t.FieldByName("obs");
  EXPECT_EQ(obs.DataType(), db::ftMemo);
  EXPECT_EQ(obs.AsString(), "obs1");
  EXPECT_EQ(MessageOf([&] { t.CreateBlobStream(obs, db::bmWrite); }),
            "tbl1: Dataset not in edit or insert mode");
  t.Edit();
  {
    auto stream = t.CreateBlobStream(obs, db::bmWrite);
    EXPECT_EQ(stream->Size(), 0);
    auto reader = t.CreateBlobStream(obs, db::bmRead);
    char buffer[8];
    EXPECT_EQ(reader->Read(buffer, sizeof buffer), 0);
  }
  t.Post();
  EXPECT_EQ(Value("select coalesce(length(obs), 0) from " + name + " where id=1"), "0");
  t.Edit();
  {
    auto stream = t.CreateBlobStream(obs, db::bmWrite);
    stream->WriteBuffer("novo texto", 10);
  }
  t.Post();
  EXPECT_EQ(Value("select obs from " + name + " where id=1"), "novo texto");
  std::string data;
  EXPECT_EQ(t.GetBlobFieldData(obs.FieldNo(), data), 10);
  EXPECT_EQ(data, "novo texto");
}

TEST_F(SearchTest, MemoTextIsConvertedBetweenServerAndWorkstationCodePages) {
  const std::string database = "cmp_latin2_memo";
  Exec("DROP DATABASE IF EXISTS " + database);
  Exec("CREATE DATABASE " + database + " CHARACTER SET latin2");
  struct Drop {
    TmySQLDatabase* helper;
    std::string name;
    ~Drop() {
      try {
        helper->Execute("DROP DATABASE IF EXISTS " + name);
        // The helper's connect gives the process its code page back.
        helper->Close();
        helper->Open();
      } catch (...) {
        // A destructor must not throw; the failed test already says why.
      }
    }
  } drop{helper_.get(), database};
  auto d = MakeDatabase("dbLatin2", database);
  d->Open();
  d->Execute("CREATE TABLE notas (id INT PRIMARY KEY, obs TEXT, nome VARCHAR(20))");
  d->Execute("INSERT INTO notas VALUES (1, '', '')");
  TmySQLTable t;
  t.SetName("tblNotas");
  t.SetDatabase(d.get());
  t.SetTableName("notas");
  t.Open();
  t.Edit();
  // Windows-1252 text whose letters with carons sit elsewhere in ISO 8859-2.
  const std::string text =
      "\x8A"
      "a\x9A"
      "a \x8E\x9E \xE7";
  t.FieldByName("obs").SetAsString(text);
  t.FieldByName("nome").SetAsString(text);
  t.Post();
  // Stored in the database's own character set (8a->a9, 9a->b9, 8e->ae, 9e->be).
  EXPECT_EQ(Value("select cast(hex(obs) as char(60)) from " + database + ".notas"),
            "A961B96120AEBE20E7");
  EXPECT_EQ(Value("select cast(hex(nome) as char(60)) from " + database + ".notas"),
            "A961B96120AEBE20E7");
  TmySQLQuery q;
  q.SetDatabase(d.get());
  q.SQL().Add("select obs, nome from notas");
  q.Open();
  EXPECT_EQ(q.FieldByName("obs").AsString(), text);
  EXPECT_EQ(q.FieldByName("nome").AsString(), text);
  q.Close();
  t.Close();
}

}  // namespace
}  // namespace components::testing
