// Navigation over the record-buffer ring: Eof/Bof, RecNo, MoveBy, the ring
// sizes the data links ask for, and the closed-dataset checks.
#include "db/DataSource.h"
#include "framework_fixture.h"

namespace fwtest {
namespace {

using namespace db;

TEST_F(CustomersTest, OpenPositionsOnFirstRowWithCountKnown) {
  ds.Open();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.RecordCount(), 5);
  EXPECT_FALSE(ds.Eof());
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 10);
  EXPECT_EQ(ds.FieldCount(), 5);
  EXPECT_TRUE(ds.DefaultFields());
}

TEST_F(CustomersTest, EofOnlyAfterNextOnLastRow) {
  ds.Open();
  std::vector<int> recnos;
  while (!ds.Eof()) {
    recnos.push_back(ds.RecNo());
    ds.Next();
  }
  EXPECT_EQ(recnos, (std::vector<int>{1, 2, 3, 4, 5}));
  // Next on the last row leaves it current and sets Eof.
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 50);
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 50);
}

TEST_F(CustomersTest, FirstAfterIterationResetsRecNo) {
  ds.Open();
  ds.MoveBy(3);
  EXPECT_EQ(ds.RecNo(), 4);
  ds.First();
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_TRUE(ds.Bof());
  ds.Next();
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_FALSE(ds.Bof());
}

TEST_F(CustomersTest, BackwardNavigation) {
  ds.Open();
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 5);
  std::vector<int> codes;
  while (!ds.Bof()) {
    codes.push_back(ds.FieldByName("codcli").AsInteger());
    ds.Prior();
  }
  EXPECT_EQ(codes, (std::vector<int>{50, 40, 30, 20, 10}));
  EXPECT_EQ(ds.RecNo(), 1);
}

TEST_F(CustomersTest, MoveByReportsDistanceActuallyMoved) {
  ds.Open();
  struct Case {
    int distance, moved, recno;
    bool eof, bof;
  };
  const Case cases[] = {{2, 2, 3, false, false},
                        {10, 2, 5, true, false},
                        {-1, -1, 4, false, false},
                        {-10, -3, 1, false, true},
                        {0, 0, 1, false, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(ds.MoveBy(c.distance), c.moved) << c.distance;
    EXPECT_EQ(ds.RecNo(), c.recno) << c.distance;
    EXPECT_EQ(ds.Eof(), c.eof) << c.distance;
    EXPECT_EQ(ds.Bof(), c.bof) << c.distance;
  }
}

TEST_F(CustomersTest, EmptyResultIsBofAndEof) {
  MemoryDataSet empty;
  empty.AddColumn("id", ftInteger);
  empty.Open();
  EXPECT_TRUE(empty.Eof());
  EXPECT_TRUE(empty.Bof());
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.RecordCount(), 0);
  EXPECT_TRUE(empty.FieldByName("id").IsNull());
  EXPECT_EQ(empty.FieldByName("id").AsString(), "");
  empty.Next();
  EXPECT_TRUE(empty.Eof());
}

TEST_F(CustomersTest, ClosedDatasetRefusesCountAndNavigation) {
  EXPECT_EQ(ErrorOf([&] { ds.RecordCount(); }),
            "qryClientes: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { ds.Next(); }),
            "qryClientes: Cannot perform this operation on a closed dataset");
  ds.Open();
  ds.Close();
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_EQ(ds.FieldCount(), 0) << "default fields go with the cursor";
}

TEST_F(CustomersTest, ReopenStartsAtFirstRow) {
  ds.Open();
  ds.Last();
  ds.Close();
  ds.Open();
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Ana");
}

TEST_F(CustomersTest, SetRecNoMovesAndIgnoresUnknownNumbers) {
  ds.Open();
  ds.SetRecNo(4);
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 40);
  ds.SetRecNo(99);
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 40);
}

// A link that wants a window of records, like a grid, makes the ring larger;
// navigation must still visit every row once, in order, in both directions.
class WindowLink : public TDataLink {
 public:
  explicit WindowLink(int rows) { SetBufferCount(rows); }
};

TEST_F(CustomersTest, RingLargerThanOneKeepsOrder) {
  for (int window : {2, 3, 4, 7}) {
    TDataSource source;
    source.SetDataSet(&ds);
    WindowLink link(window);
    link.SetDataSource(&source);
    ds.Open();
    EXPECT_EQ(ds.BufferCount(), window);
    EXPECT_EQ(Codes(), (std::vector<int>{10, 20, 30, 40, 50})) << window;
    std::vector<int> back;
    for (ds.Last(); !ds.Bof(); ds.Prior()) back.push_back(ds.FieldByName("codcli").AsInteger());
    EXPECT_EQ(back, (std::vector<int>{50, 40, 30, 20, 10})) << window;
    ds.First();
    ds.MoveBy(3);
    EXPECT_EQ(ds.RecNo(), 4) << window;
    ds.Close();
  }
}

TEST_F(CustomersTest, ShrinkingTheRingKeepsTheCurrentRecord) {
  TDataSource source;
  source.SetDataSet(&ds);
  WindowLink link(4);
  link.SetDataSource(&source);
  ds.Open();
  ds.MoveBy(3);
  ASSERT_EQ(ds.FieldByName("codcli").AsInteger(), 40);
  link.SetBufferCount(1);
  EXPECT_EQ(ds.BufferCount(), 1);
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 40);
  ds.Next();
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 50);
}

// Editing inside a ring of several buffers must keep the ring and the
// cursor in step: every step checks the current record and the full order.
TEST(RingEditTest, EditingInsideLargerRings) {
  for (int window : {1, 2, 3, 6}) {
    MemoryDataSet ds;
    FillCustomers(ds);
    TDataSource source;
    source.SetDataSet(&ds);
    WindowLink link(window);
    link.SetDataSource(&source);
    auto code = [&] { return ds.FieldByName("codcli").AsInteger(); };
    ds.Open();
    ds.MoveBy(2);  // Carla
    ds.Insert();
    ds.FieldByName("codcli").SetAsInteger(25);
    ds.Post();
    EXPECT_EQ(code(), 25) << window;
    ds.Next();
    EXPECT_EQ(code(), 30) << window;
    ds.Insert();
    ds.Cancel();
    EXPECT_EQ(code(), 30) << window;
    ds.Last();
    ds.Delete();
    EXPECT_EQ(code(), 40) << window;
    ds.Append();
    ds.FieldByName("codcli").SetAsInteger(60);
    ds.Post();
    ds.Prior();
    EXPECT_EQ(code(), 40) << window;
    ds.First();
    ds.Delete();
    EXPECT_EQ(code(), 20) << window;
    std::vector<int> forward, back;
    for (ds.First(); !ds.Eof(); ds.Next()) forward.push_back(code());
    for (ds.Last(); !ds.Bof(); ds.Prior()) back.push_back(code());
    EXPECT_EQ(forward, (std::vector<int>{20, 25, 30, 40, 60})) << window;
    EXPECT_EQ(back, (std::vector<int>{60, 40, 30, 25, 20})) << window;
  }
}

}  // namespace
}  // namespace fwtest
