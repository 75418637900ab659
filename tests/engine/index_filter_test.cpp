// Ranges, client-side sorting, filters, blobs, clones and the can-modify
// check.
#include "db/FilterExpr.h"
#include "engine_fixture.h"

namespace engine {
namespace {

class IndexFilterTest : public EngineTest {
 protected:
  // Table `codigo INT PRIMARY KEY, nome VARCHAR(20)` with codigo 1..30 and
  // nome cycling through three names.
  std::string Numbers() {
    std::string values;
    const char* names[] = {"carla", "ana", "bruno"};
    for (int i = 1; i <= 30; ++i)
      values += (i > 1 ? "," : "") + std::string("(") + std::to_string(i) + ",'" + names[i % 3] +
                "','obs" + std::to_string(i) + "')";
    return CreateTable("(codigo INT PRIMARY KEY, nome VARCHAR(20), obs TEXT)", values);
  }
  std::vector<std::uint8_t> KeyRecord(TNativeDataSet* c, std::int32_t codigo) {
    auto b = Buffer(c);
    EXPECT_EQ(engine_.InitRecord(c, b.data()), 0);
    engine_.ReleaseRecordBuffer(c, b.data());
    EXPECT_EQ(engine_.PutField(c, 1, b.data(), &codigo), 0);
    return b;
  }
};

TEST_F(IndexFilterTest, RangesChangeTheStatement) {
  const std::string t = Numbers();
  TNativeDataSet* c = OpenTable(t);
  ASSERT_NE(c, nullptr);
  auto low = KeyRecord(c, 10);
  auto high = KeyRecord(c, 20);
  ASSERT_EQ(engine_.SetRange(c, false, 1, 0, low.data(), true, 1, 0, high.data(), false), 0)
      << engine_.LastErrorMessage();
  EXPECT_EQ(c->AssembleStatement(),
            "Select * from `" + t + "` where codigo>=10 and codigo<20 ORDER BY  `codigo` ");
  int count = 0;
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  EXPECT_EQ(count, 10);
  // Exclusive low, inclusive high, given as key buffers.
  std::vector<std::uint8_t> k1(16, 0), k2(16, 0);
  ASSERT_EQ(engine_.ExtractKey(c, low.data(), k1.data()), 0);
  ASSERT_EQ(engine_.ExtractKey(c, high.data(), k2.data()), 0);
  ASSERT_EQ(engine_.SetRange(c, true, 1, 5, k1.data(), false, 1, 5, k2.data(), true), 0);
  EXPECT_EQ(c->AssembleStatement(),
            "Select * from `" + t + "` where codigo>10 and codigo<=20 ORDER BY  `codigo` ");
  // A null key field gives no rows.
  auto null_key = KeyRecord(c, 0);
  ASSERT_EQ(engine_.PutField(c, 1, null_key.data(), nullptr), 0);
  ASSERT_EQ(engine_.SetRange(c, false, 1, 0, null_key.data(), true, 1, 0, high.data(), true), 0);
  EXPECT_EQ(c->AssembleStatement(), "Select * from `" + t + "` WHERE 1=0 ORDER BY  `codigo` ");
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(engine_.ResetRange(c), 0);
  EXPECT_EQ(c->AssembleStatement(), "Select * from `" + t + "` ORDER BY  `codigo` ");
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  EXPECT_EQ(count, 30);
  // Key lookup and 8710 for a missing key.
  auto found = Buffer(c);
  ASSERT_EQ(engine_.GetRecordForKey(c, false, 1, 0, high.data(), found.data()), 0);
  EXPECT_EQ(Plain(c, 2, found), "bruno");
  auto missing = KeyRecord(c, 99);
  EXPECT_EQ(engine_.GetRecordForKey(c, false, 1, 0, missing.data(), found.data()),
            DBIERR_RECNOTFOUND);
}

TEST_F(IndexFilterTest, SortFieldNames) {
  const std::string t = Numbers();
  TNativeDataSet* c = Open("SELECT codigo, nome FROM " + t + " WHERE codigo <= 6");
  ASSERT_NE(c, nullptr);
  c->SetSortFieldNames("nome DESC,\tcodigo");
  EXPECT_EQ(Column(c, 1), (std::vector<std::string>{"3", "6", "2", "5", "1", "4"}));
  c->SetSortFieldNames("codigo DESC");
  EXPECT_EQ(Column(c, 1), (std::vector<std::string>{"6", "5", "4", "3", "2", "1"}));
  // The sort survives a refresh.
  ASSERT_EQ(engine_.ForceReread(c), 0);
  EXPECT_EQ(Column(c, 1), (std::vector<std::string>{"6", "5", "4", "3", "2", "1"}));
  try {
    c->SetSortFieldNames("nome, idade ASC");
    FAIL();
  } catch (const rtl::Exception& e) {
    EXPECT_EQ(e.Message(), "Field \"idade\" is not found in current dataset");
  }
  c->SetSortFieldNames("");
  EXPECT_EQ(Column(c, 1), (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
  // Duplicate column names: name_1 is the second column called name.
  TNativeDataSet* d = Open("SELECT 2 AS x, 1 AS x UNION ALL SELECT 1, 2");
  d->SetSortFieldNames("x_1");
  EXPECT_EQ(Column(d, 2), (std::vector<std::string>{"1", "2"}));
}

TEST_F(IndexFilterTest, FiltersAndTheMessagePump) {
  const std::string t = Numbers();
  TNativeDataSet* c = Open("SELECT codigo, nome FROM " + t + " ORDER BY codigo");
  ASSERT_NE(c, nullptr);
  auto b = Buffer(c);
  TmySQLFilter* reject = nullptr;
  ASSERT_EQ(engine_.AddFilter(
                c, nullptr, nullptr, [](const std::uint8_t*) { return false; }, reject),
            0);
  ASSERT_EQ(engine_.ActivateFilter(c, reject), 0);
  engine_.SetToBegin(c);
  EXPECT_EQ(engine_.GetNextRecord(c, 0, nullptr, b.data()), DBIERR_EOF);
  int count = -1;
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(engine_.DropFilter(c, reject), 0);
  EXPECT_FALSE(c->Filtering());

  db::TFilterExpr expr = db::TFilterExpr::Parse("nome = 'ana' and codigo > 10");
  TmySQLFilter* f = nullptr;
  ASSERT_EQ(engine_.AddFilter(c, nullptr, &expr, nullptr, f), 0);
  ASSERT_EQ(engine_.ActivateFilter(c, nullptr), 0);
  EXPECT_EQ(Column(c, 1), (std::vector<std::string>{"13", "16", "19", "22", "25", "28"}));
  // Backwards too.
  engine_.SetToEnd(c);
  ASSERT_EQ(engine_.GetPriorRecord(c, 0, nullptr, b.data()), 0);
  EXPECT_EQ(Plain(c, 1, b), "28");

  // Counting with a filter pumps messages every 16 records.
  ASSERT_EQ(engine_.DeactivateFilter(c, f), 0);
  TmySQLFilter* all = nullptr;
  ASSERT_EQ(engine_.AddFilter(
                c, nullptr, nullptr, [](const std::uint8_t*) { return true; }, all),
            0);
  ASSERT_EQ(engine_.ActivateFilter(c, all), 0);
  int pumps = 0;
  SetProcessMessagesHook([&] { ++pumps; });
  ASSERT_EQ(engine_.GetRecordCount(c, count), 0);
  SetProcessMessagesHook(nullptr);
  EXPECT_EQ(count, 30);
  EXPECT_EQ(pumps, 1);
  CursorProperties props;
  ASSERT_EQ(engine_.GetCursorProperties(c, props), 0);
  EXPECT_EQ(Packed(props.iFilters), 2);
}

TEST_F(IndexFilterTest, BlobsClonesAndCanModify) {
  const std::string t = Numbers();
  TNativeDataSet* c = OpenTable(t);
  auto b = Buffer(c);
  ASSERT_EQ(engine_.SetToRecordNumber(c, 12), 0);
  ASSERT_EQ(engine_.GetRecord(c, 0, nullptr, b.data()), 0);
  std::uint32_t size = 0;
  ASSERT_EQ(engine_.GetBlobSize(c, b.data(), 3, size), 0);
  EXPECT_EQ(size, 5u);  // "obs12"
  char out[16] = {};
  std::uint32_t read = 0;
  ASSERT_EQ(engine_.GetBlob(c, b.data(), 3, 3, 10, out, read), 0);
  EXPECT_EQ(read, 2u);
  EXPECT_STREQ(out, "12");
  // The buffer's own row is read even when the cursor moved on.
  ASSERT_EQ(engine_.SetToRecordNumber(c, 2), 0);
  engine_.ReleaseRecordBuffer(c, b.data());
  ASSERT_EQ(engine_.GetBlob(c, b.data(), 3, 0, 10, out, read), 0);
  EXPECT_EQ(std::string(out, read), "obs2");
  ASSERT_EQ(engine_.PutBlob(c, b.data(), 3, 0, 3, "xyz"), 0);
  ASSERT_EQ(engine_.GetBlobSize(c, b.data(), 3, size), 0);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(engine_.GetBlobSize(c, b.data(), 2, size), DBIERR_NOTABLOB);
  ASSERT_EQ(engine_.FreeBlob(c, b.data(), 3), 0);

  TNativeDataSet* clone = nullptr;
  ASSERT_EQ(engine_.CloneCursor(c, false, false, clone), 0);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->MasterCursor(), c);
  ASSERT_EQ(engine_.SetToCursor(c, clone), 0);  // a clone's position is not copied
  TNativeDataSet* other = OpenTable(t);
  ASSERT_EQ(engine_.SetToRecordNumber(other, 7), 0);
  ASSERT_EQ(engine_.SetToCursor(clone, other), 0);
  auto cb = Buffer(clone);
  ASSERT_EQ(engine_.GetRecord(clone, 0, nullptr, cb.data()), 0);
  EXPECT_EQ(Plain(clone, 1, cb), "7");
  EXPECT_TRUE(c->CanModify());
  EXPECT_TRUE(Open("SELECT codigo, nome FROM " + t)->CanModify());
  EXPECT_FALSE(Open("SELECT codigo, 1 + 1 FROM " + t)->CanModify());
  const std::string plain = Table("_p");
  Exec("CREATE TABLE " + plain + " (a INT)");
  EXPECT_FALSE(Open("SELECT a FROM " + plain)->CanModify());
}

}  // namespace
}  // namespace engine
