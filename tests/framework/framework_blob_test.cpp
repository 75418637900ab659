// Blob and memo fields through the dataset's blob streams.
#include "framework_fixture.h"

namespace fwtest {
namespace {

using namespace db;

class MemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.SetName("qryProdutos");
    ds.AddColumn("id", ftInteger);
    ds.AddColumn("obs", ftMemo);
    ds.AddRow({1, "primeira linha\r\nsegunda"});
    ds.AddRow({2, rtl::Variant::Null()});
    ds.Open();
    obs = &static_cast<TBlobField&>(ds.FieldByName("obs"));
  }
  MemoryDataSet ds;
  TBlobField* obs = nullptr;
};

TEST_F(MemoTest, ReadsTextSizeAndNull) {
  EXPECT_EQ(obs->DataType(), ftMemo);
  EXPECT_TRUE(obs->IsBlob());
  EXPECT_EQ(obs->AsString(), "primeira linha\r\nsegunda");
  EXPECT_EQ(obs->BlobSize(), 23);
  EXPECT_FALSE(obs->IsNull());
  std::string bytes;
  EXPECT_EQ(ds.GetBlobFieldData(obs->FieldNo(), bytes), 23);
  EXPECT_EQ(bytes, obs->AsString());
  ds.Next();
  EXPECT_TRUE(obs->IsNull());
  EXPECT_EQ(obs->AsString(), "");
  EXPECT_TRUE(obs->AsVariant().IsNull());
}

TEST_F(MemoTest, WritingNeedsEditState) {
  EXPECT_EQ(ErrorOf([&] { obs->SetAsString("x"); }),
            "qryProdutos: Dataset not in edit or insert mode");
  EXPECT_EQ(obs->AsString(), "primeira linha\r\nsegunda");
}

TEST_F(MemoTest, EditedValueShowsAtOnceAndCancelRestores) {
  int changes = 0;
  obs->SetOnChange([&](TField&) { ++changes; });
  ds.Edit();
  obs->SetAsString("novo");
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(obs->Modified());
  EXPECT_TRUE(ds.Modified());
  EXPECT_EQ(obs->AsString(), "novo");
  ds.Cancel();
  EXPECT_FALSE(obs->Modified());
  EXPECT_EQ(obs->AsString(), "primeira linha\r\nsegunda");
  ds.Edit();
  obs->SetAsString("gravado");
  ds.Post();
  EXPECT_EQ(ds.Stored(0, "obs").AsString(), "gravado");
}

TEST_F(MemoTest, WriteStreamTruncatesBeforeAnyByte) {
  ds.Edit();
  { auto stream = ds.CreateBlobStream(*obs, bmWrite); }
  EXPECT_TRUE(obs->IsNull());
  EXPECT_EQ(obs->BlobSize(), 0);
  rtl::TMemoryStream source("carregado");
  obs->LoadFromStream(source);
  rtl::TMemoryStream copy;
  obs->SaveToStream(copy);
  EXPECT_EQ(copy.DataString(), "carregado");
  obs->Clear();
  EXPECT_TRUE(obs->IsNull());
}

}  // namespace
}  // namespace fwtest
