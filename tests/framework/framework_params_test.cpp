// Parameter lists and the marker rule that turns ":name" into "?".
#include "db/Params.h"
#include "framework_fixture.h"

namespace fwtest {
namespace {

using namespace db;

TEST(ParseSqlTest, MarkersOutsideQuotesBecomePlaceholders) {
  struct Case {
    const char* sql;
    const char* parsed;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"select * from t where id=:id", "select * from t where id=?", {"id"}},
      {"update t set s='a:b' where id = :id", "update t set s='a:b' where id = ?", {"id"}},
      {"select 'x::y', `c:d`, \"e:f\" from t", "select 'x::y', `c:d`, \"e:f\" from t", {}},
      {"select a::b from t", "select a:b from t", {}},
      {"insert into t values (:a,:b);", "insert into t values (?,?);", {"a", "b"}},
      {"where x = :a or y = :a", "where x = ? or y = ?", {"a", "a"}},
      {"where x = :\"nome composto\" and y=1", "where x = ? and y=1", {"nome composto"}},
      {"where x=:a\r\nand y=:b\n", "where x=?\r\nand y=?\n", {"a", "b"}},
      {"select :p)", "select ?)", {"p"}},
      {"set @v=:v", "set @v=?", {"v"}},
      {"ends with :", "ends with ?", {""}},
  };
  for (const Case& c : cases) {
    TParams params;
    EXPECT_EQ(params.ParseSQL(c.sql, true), c.parsed) << c.sql;
    std::vector<std::string> names;
    for (int i = 0; i < params.Count(); ++i) names.push_back(params[i].Name());
    EXPECT_EQ(names, c.names) << c.sql;
    TParams none;
    EXPECT_EQ(none.ParseSQL(c.sql, false), c.parsed);
    EXPECT_EQ(none.Count(), 0);
  }
}

TEST(ParamsTest, ValuesTypesAndLookups) {
  TComponent owner;
  owner.SetName("qryInsertPDV");
  TParams params(&owner);
  params.ParseSQL("insert into produto values (:cod, :preco, :quando, :ativo)", true);
  params.ParamByName("COD").SetAsInteger(7);
  params.ParamByName("preco").SetAsFloat(2.5);
  params.ParamByName("quando").SetAsDate(rtl::EncodeDate(2024, 1, 2));
  EXPECT_EQ(params[0].DataType(), ftInteger);
  EXPECT_EQ(params[1].DataType(), ftFloat);
  EXPECT_EQ(params[2].DataType(), ftDate);
  EXPECT_TRUE(params[0].Bound());
  EXPECT_TRUE(params[3].IsNull());
  EXPECT_FALSE(params[3].Bound());
  EXPECT_EQ(params[0].AsString(), "7");
  EXPECT_EQ(params[1].AsString(), "2,5");
  EXPECT_EQ(params.ParamNames(), "cod;preco;quando;ativo");
  EXPECT_EQ(ErrorOf([&] { params.ParamByName("x"); }), "qryInsertPDV: Parameter 'x' not found");
  EXPECT_EQ(params.FindParam("x"), nullptr);
}

TEST(ParamsTest, AssignValuesKeepsSameNamedValuesOnly) {
  TParams old_params;
  old_params.ParseSQL(":a :b", true);
  old_params.ParamByName("a").SetAsString("A");
  old_params.ParamByName("b").SetAsInteger(2);
  TParams fresh;
  fresh.ParseSQL(":b :c", true);
  fresh.AssignValues(old_params);
  EXPECT_EQ(fresh.ParamByName("b").AsInteger(), 2);
  EXPECT_EQ(fresh.ParamByName("b").DataType(), ftInteger);
  EXPECT_TRUE(fresh.ParamByName("c").IsNull());
  EXPECT_EQ(fresh.Count(), 2);
  TParams copy = fresh;
  EXPECT_TRUE(copy.IsEqual(fresh));
  copy[0].SetAsInteger(3);
  EXPECT_FALSE(copy.IsEqual(fresh));
}

TEST_F(CustomersTest, ParamTakesFieldTypeAndValue) {
  ds.Open();
  TParam p;
  p.AssignField(ds.FieldByName("saldo"));
  EXPECT_EQ(p.Name(), "saldo");
  EXPECT_EQ(p.DataType(), ftFloat);
  EXPECT_EQ(p.AsFloat(), 12.5);
  ds.SetRecNo(3);
  p.AssignField(ds.FieldByName("nascimento"));
  EXPECT_TRUE(p.IsNull());
  EXPECT_EQ(p.DataType(), ftDate);
}

}  // namespace
}  // namespace fwtest
