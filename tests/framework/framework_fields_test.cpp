// Field objects: text forms, native layouts, conversions and their errors,
// persistent-field binding, calculated and lookup fields, old/new values.
#include <cmath>
#include <cstring>

#include "db/Consts.h"
#include "framework_fixture.h"
#include "rtl/SysUtils.h"

namespace fwtest {
namespace {

using namespace db;

TEST_F(CustomersTest, AsStringOfEachKind) {
  ds.Open();
  struct Row {
    int recno;
    const char *codcli, *nome, *saldo, *nascimento, *ativo;
  };
  const Row rows[] = {
      {1, "10", "Ana", "12,5", "31/01/1980", "True"},
      {2, "20", "Bruno", "-3,25", "01/06/1975", "False"},
      {3, "30", "Carla", "0", "", "True"},
      {4, "40", "Davi", "1E20", "25/12/2001", "True"},
      {5, "50", "Elisa", "", "28/02/1999", "False"},
  };
  for (const Row& r : rows) {
    ds.SetRecNo(r.recno);
    EXPECT_EQ(ds.FieldByName("codcli").AsString(), r.codcli);
    EXPECT_EQ(ds.FieldByName("nome").AsString(), r.nome);
    EXPECT_EQ(ds.FieldByName("saldo").AsString(), r.saldo);
    EXPECT_EQ(ds.FieldByName("nascimento").AsString(), r.nascimento);
    EXPECT_EQ(ds.FieldByName("ativo").AsString(), r.ativo);
  }
}

TEST_F(CustomersTest, DecimalSeparatorFollowsSettings) {
  ds.Open();
  rtl::FormatSettings().DecimalSeparator = '.';
  EXPECT_EQ(ds.FieldByName("saldo").AsString(), "12.5");
  rtl::FormatSettings() = rtl::TFormatSettings::Brazilian();
}

TEST_F(CustomersTest, NullValuesReadAsEmptyAndZero) {
  ds.Open();
  ds.SetRecNo(3);
  TField& nascimento = ds.FieldByName("nascimento");
  EXPECT_TRUE(nascimento.IsNull());
  EXPECT_EQ(nascimento.AsDateTime(), 0.0);
  EXPECT_TRUE(nascimento.AsVariant().IsNull());
  ds.SetRecNo(5);
  EXPECT_EQ(ds.FieldByName("saldo").AsFloat(), 0.0);
  EXPECT_EQ(ds.FieldByName("saldo").AsInteger(), 0);
}

TEST(NativeLayoutTest, DatesTimesAndDateTimesAsTheCursorStoresThem) {
  MemoryDataSet ds;
  ds.AddColumn("d", ftDate);
  ds.AddColumn("t", ftTime);
  ds.AddColumn("dt", ftDateTime);
  ds.AddColumn("s", ftSmallint);
  ds.AddColumn("b", ftBoolean);
  ds.AddColumn("big", ftLargeint);
  ds.AddRow({});
  ds.Open();
  ds.Edit();
  ds.FieldByName("d").SetAsDateTime(rtl::EncodeDate(1899, 12, 30));
  ds.FieldByName("t").SetAsDateTime(rtl::EncodeTime(0, 5, 0, 0));
  ds.FieldByName("dt").SetAsDateTime(rtl::EncodeDate(1900, 1, 1) + 0.5);
  ds.FieldByName("s").SetAsInteger(-2);
  ds.FieldByName("b").SetAsBoolean(true);
  ds.FieldByName("big").SetAsLargeInt(int64_t{1} << 40);
  int32_t day = 0, ms = 0;
  double dtms = 0;
  int16_t small = 0, flag = 0;
  int64_t big = 0;
  ASSERT_TRUE(ds.FieldByName("d").GetData(&day));
  ASSERT_TRUE(ds.FieldByName("t").GetData(&ms));
  ASSERT_TRUE(ds.FieldByName("dt").GetData(&dtms));
  ASSERT_TRUE(ds.FieldByName("s").GetData(&small));
  ASSERT_TRUE(ds.FieldByName("b").GetData(&flag));
  ASSERT_TRUE(ds.FieldByName("big").GetData(&big));
  EXPECT_EQ(day, 693594);
  EXPECT_EQ(ms, 300000);
  EXPECT_EQ(dtms, 693596.0 * 86400000 + 43200000);
  EXPECT_EQ(small, -2);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(big, int64_t{1} << 40);
  ds.Post();
  EXPECT_EQ(ds.FieldByName("t").AsString(), "00:05:00");
  EXPECT_DOUBLE_EQ(ds.FieldByName("t").AsDateTime(), 300.0 / 86400);
  EXPECT_EQ(ds.FieldByName("dt").AsString(), "01/01/1900 12:00:00");
  EXPECT_EQ(ds.FieldByName("d").AsDateTime(), 0.0);
  EXPECT_EQ(ds.FieldByName("big").AsString(), "1099511627776");
}

TEST(NativeLayoutTest, ConversionHelpersRoundTrip) {
  struct Case {
    rtl::TDateTime value;
    int32_t date;
    int32_t time;
  };
  const Case cases[] = {{0.0, 693594, 0},
                        {1.25, 693595, 6 * 3600000},
                        {rtl::EncodeDate(1, 1, 1), 1, 0},
                        {rtl::EncodeDate(2024, 2, 29) + 0.75, 693594 + 45351, 18 * 3600000}};
  for (const Case& c : cases) {
    EXPECT_EQ(DateTimeToNativeDate(c.value), c.date) << c.value;
    EXPECT_EQ(DateTimeToNativeTime(c.value), c.time) << c.value;
    EXPECT_DOUBLE_EQ(NativeDateTimeToDateTime(DateTimeToNativeDateTime(c.value)), c.value);
    EXPECT_DOUBLE_EQ(NativeDateToDateTime(c.date), std::floor(c.value));
  }
}

TEST_F(CustomersTest, ConversionErrorsNameTheFieldAndValue) {
  ds.Open();
  ds.Edit();
  struct Case {
    const char* field;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"codcli", "abc", "'abc' is not a valid integer value for field 'codcli'"},
      {"saldo", "1.2.3", "'1.2.3' is not a valid floating point value for field 'saldo'"},
      {"ativo", "talvez", "'talvez' is not a valid boolean value for field 'ativo'"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ErrorOf([&] { ds.FieldByName(c.field).SetAsString(c.text); }), c.message);
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("nascimento").AsInteger(); }),
            "Cannot access field 'nascimento' as type Integer");
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("ativo").SetAsFloat(1); }),
            "Cannot access field 'ativo' as type Float");
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 10) << "a refused value changes nothing";
}

TEST_F(CustomersTest, TextInputIsParsedPerKind) {
  ds.Open();
  ds.Edit();
  ds.FieldByName("saldo").SetAsString("1234,5");
  ds.FieldByName("ativo").SetAsString("f");
  ds.FieldByName("nascimento").SetAsString("02/03/2004");
  ds.FieldByName("codcli").SetAsString("-7");
  ds.FieldByName("nome").SetAsString(std::string(40, 'x'));
  EXPECT_EQ(ds.FieldByName("saldo").AsFloat(), 1234.5);
  EXPECT_FALSE(ds.FieldByName("ativo").AsBoolean());
  EXPECT_EQ(ds.FieldByName("nascimento").AsDateTime(), rtl::EncodeDate(2004, 3, 2));
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), -7);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), std::string(30, 'x')) << "cut at the size";
  ds.FieldByName("saldo").SetAsString("");
  EXPECT_TRUE(ds.FieldByName("saldo").IsNull());
  ds.FieldByName("codcli").SetAsVariant(rtl::Variant::Null());
  EXPECT_TRUE(ds.FieldByName("codcli").IsNull());
  ds.FieldByName("codcli").SetAsVariant(rtl::Variant("12"));
  EXPECT_EQ(ds.FieldByName("codcli").AsInteger(), 12);
}

TEST(IntegerFieldTest, FieldWithoutDatasetHasNoValue) {
  TIntegerField field;
  field.SetFieldName("codcli");
  EXPECT_EQ(ErrorOf([&] { field.AsInteger(); }), "Field 'codcli' has no dataset");
  EXPECT_EQ(ErrorOf([&] { field.OldValue(); }), "Field 'codcli' has no dataset");
}

TEST(IntegerFieldTest, RangeOfEachWidth) {
  MemoryDataSet ds;
  ds.AddColumn("s", ftSmallint);
  ds.AddColumn("w", ftWord);
  ds.AddRow({});
  ds.Open();
  ds.Edit();
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("s").SetAsInteger(40000); }),
            "40000 is not a valid value for field 's'. The allowed range is -32768 to 32767");
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("w").SetAsInteger(-1); }),
            "-1 is not a valid value for field 'w'. The allowed range is 0 to 65535");
  ds.FieldByName("w").SetAsInteger(65535);
  EXPECT_EQ(ds.FieldByName("w").AsInteger(), 65535);
  EXPECT_EQ(ds.FieldByName("w").AsVariant().VarType(), rtl::varWord);
}

// --- persistent fields ---------------------------------------------------------

class PersistentFieldsTest : public CustomersTest {
 protected:
  // A persistent field of class F for the column `name` of `dataset`, owned
  // by the window.
  template <typename F>
  F* Persistent(const std::string& name, TDataSet& dataset) {
    auto* field = new F(&window);
    field->SetFieldName(name);
    field->SetDataSet(&dataset);
    return field;
  }
  TComponent window;
};

TEST_F(PersistentFieldsTest, OnlyPersistentFieldsAreBoundByName) {
  auto* codcli = new TIntegerField(&window);
  codcli->SetName("qryClientescodcli");
  codcli->SetFieldName("codcli");
  codcli->SetDataSet(&ds);
  auto* nome = Persistent<TStringField>("NOME", ds);
  ds.Open();
  EXPECT_FALSE(ds.DefaultFields());
  EXPECT_EQ(ds.FieldCount(), 2);
  EXPECT_EQ(codcli->FieldNo(), 1);
  EXPECT_EQ(nome->FieldNo(), 2);
  EXPECT_EQ(nome->Size(), 30) << "takes the column's size";
  ds.Next();
  EXPECT_EQ(codcli->AsInteger(), 20);
  EXPECT_EQ(nome->AsString(), "Bruno");
  ds.Close();
  EXPECT_EQ(ds.FieldCount(), 2) << "persistent fields stay";
  EXPECT_EQ(codcli->FieldNo(), 0);
  ds.Open();
  EXPECT_EQ(codcli->AsInteger(), 10);
}

TEST_F(PersistentFieldsTest, BindingErrorsCarryExactMessages) {
  struct Case {
    std::function<TField*(TComponent*)> make;
    const char* name;
    const char* message;
  };
  const Case cases[] = {
      {[](TComponent* o) { return new TStringField(o); }, "codcli",
       "qryClientes: Type mismatch for field 'codcli', expecting: String actual: Integer"},
      {[](TComponent* o) { return new TLargeintField(o); }, "codcli",
       "qryClientes: Type mismatch for field 'codcli', expecting: LargeInt actual: Integer"},
      {[](TComponent* o) { return new TTimeField(o); }, "nome",
       "qryClientes: Type mismatch for field 'nome', expecting: Time actual: String"},
      {[](TComponent* o) { return new TIntegerField(o); }, "naoexiste",
       "qryClientes: Field 'naoexiste' not found"},
  };
  for (const Case& c : cases) {
    TField* field = c.make(&window);
    field->SetFieldName(c.name);
    field->SetDataSet(&ds);
    EXPECT_EQ(ErrorOf([&] { ds.Open(); }), c.message);
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.State(), dsInactive);
    window.DestroyComponent(field);
    EXPECT_EQ(ds.FieldCount(), 0);
  }
}

TEST_F(PersistentFieldsTest, CompatibleKindsBind) {
  // Integers with integers, dates with times, floats with currency.
  MemoryDataSet params;
  params.SetName("tblParametos");
  params.AddColumn("id", ftSmallint);
  params.AddColumn("tempoatualizacaoPDV", ftTime);
  params.AddColumn("valor", ftCurrency);
  params.AddColumn("quando", ftDateTime);
  params.AddRow({1, rtl::Variant::FromDateTime(rtl::EncodeTime(0, 5, 0, 0)), 2.5,
                 rtl::Variant::FromDateTime(rtl::EncodeDate(2020, 5, 1))});
  auto* id = Persistent<TIntegerField>("id", params);
  auto* tempo = new TTimeField(&window);
  tempo->SetName("tblParametostempoatualizacaoPDV");
  tempo->SetFieldName("tempoatualizacaoPDV");
  tempo->SetEditMask("!90:00:00;1;_");
  tempo->SetDataSet(&params);
  auto* valor = Persistent<TFloatField>("valor", params);
  Persistent<TDateField>("quando", params);
  params.Open();
  EXPECT_EQ(tempo->AsString(), "00:05:00");
  EXPECT_EQ(tempo->EditMask(), "!90:00:00;1;_");
  EXPECT_EQ(valor->AsFloat(), 2.5);
  EXPECT_EQ(id->AsInteger(), 1);
  params.Edit();
  tempo->SetAsString(" 1:00:00");
  EXPECT_EQ(tempo->AsString(), "01:00:00");
  tempo->SetAsString("00:00:45");
  params.Post();
  EXPECT_DOUBLE_EQ(params.Stored(0, "tempoatualizacaoPDV").AsDateTime(), 45.0 / 86400);
}

TEST_F(PersistentFieldsTest, OwnerFreesFieldsAndDatasetForgetsThem) {
  {
    TComponent form;
    auto* f = new TIntegerField(&form);
    f->SetFieldName("codcli");
    f->SetDataSet(&ds);
    EXPECT_EQ(ds.FieldCount(), 1);
  }
  EXPECT_EQ(ds.FieldCount(), 0);
  ds.Open();
  EXPECT_TRUE(ds.DefaultFields());
}

TEST_F(PersistentFieldsTest, DuplicateFieldNameIsRefused) {
  Persistent<TIntegerField>("codcli", ds);
  auto* b = new TIntegerField(&window);
  b->SetFieldName("CODCLI");
  EXPECT_EQ(ErrorOf([&] { b->SetDataSet(&ds); }), "qryClientes: Duplicate field name 'CODCLI'");
}

// --- calculated and lookup fields ----------------------------------------------

TEST_F(PersistentFieldsTest, CalculatedFieldsFollowEachRecord) {
  Persistent<TIntegerField>("codcli", ds);
  Persistent<TStringField>("nome", ds);
  Persistent<TFloatField>("saldo", ds);
  auto* dobro = new TFloatField(&window);
  dobro->SetFieldName("dobro");
  dobro->SetFieldKind(fkCalculated);
  dobro->SetDataSet(&ds);
  int runs = 0;
  ds.OnCalcFields = [&](TDataSet& d) {
    ++runs;
    EXPECT_EQ(d.State(), dsCalcFields);
    if (!d.FieldByName("saldo").IsNull())
      d.FieldByName("dobro").SetAsFloat(d.FieldByName("saldo").AsFloat() * 2);
  };
  ds.Open();
  std::vector<std::string> seen;
  for (; !ds.Eof(); ds.Next()) seen.push_back(dobro->AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"25", "-6,5", "0", "2E20", ""}));
  EXPECT_GT(runs, 0);
  // A change of a data field recomputes at once.
  ds.First();
  ds.Edit();
  ds.FieldByName("saldo").SetAsFloat(4);
  EXPECT_EQ(dobro->AsFloat(), 8);
  ds.Cancel();
  EXPECT_EQ(dobro->AsFloat(), 25);
  // Writing a data field while calculating is refused.
  ds.OnCalcFields = [](TDataSet& d) { d.FieldByName("saldo").SetAsFloat(1); };
  EXPECT_EQ(ErrorOf([&] { ds.Refresh(); }), "Dataset not in edit or insert mode");
}

TEST_F(PersistentFieldsTest, LookupFieldReadsTheOtherDataset) {
  MemoryDataSet cities;
  cities.AddColumn("id", ftInteger);
  cities.AddColumn("nome", ftString, 20);
  cities.AddRow({10, "Recife"});
  cities.AddRow({30, "Natal"});
  cities.Open();
  Persistent<TIntegerField>("codcli", ds);
  auto* city = new TStringField(&window);
  city->SetFieldName("cidade");
  city->SetFieldKind(fkLookup);
  city->SetDataSet(&ds);
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }),
            "qryClientes: Lookup information for field 'cidade' is incomplete");
  city->SetLookupDataSet(&cities);
  city->SetKeyFields("codcli");
  city->SetLookupKeyFields("id");
  city->SetLookupResultField("nome");
  ds.Open();
  std::vector<std::string> seen;
  for (; !ds.Eof(); ds.Next()) seen.push_back(city->AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"Recife", "", "Natal", "", ""}));
  EXPECT_EQ(cities.FieldByName("id").AsInteger(), 10) << "lookups leave the other dataset's row";
}

// --- old, new and current values -------------------------------------------------

TEST_F(CustomersTest, OldNewAndCurrentValuesNeedCachedUpdates) {
  ds.Open();
  ds.Edit();
  ds.FieldByName("nome").SetAsString("Ana Paula");
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("nome").OldValue(); }),
            "qryClientes: Not in cached update mode");
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("nome").NewValue(); }),
            "qryClientes: Not in cached update mode");
  ds.Cancel();
  ds.SetCachedUpdates(true);
  EXPECT_EQ(ds.RecNo(), 1);
  ds.Next();
  ds.SetCachedUpdates(false);
  ds.SetCachedUpdates(true);
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Bruno") << "switching keeps the record";
  ds.Edit();
  ds.FieldByName("nome").SetAsString("Bruna");
  EXPECT_EQ(ds.FieldByName("nome").OldValue().AsString(), "Bruno");
  EXPECT_EQ(ds.FieldByName("nome").CurValue().AsString(), "Bruno");
  EXPECT_EQ(ds.FieldByName("nome").NewValue().AsString(), "Bruna");
  ds.FieldByName("nome").SetNewValue(rtl::Variant("Bia"));
  EXPECT_EQ(ds.FieldByName("nome").AsString(), "Bia");
  EXPECT_EQ(ds.State(), dsEdit);
  ds.Post();
  EXPECT_EQ(ds.UpdateStatus(), usModified);
  EXPECT_EQ(ds.FieldByName("nome").OldValue().AsString(), "Bia");
}

// --- validation and change notices ----------------------------------------------

TEST_F(CustomersTest, ValidateSeesNewValueAndCanRefuseIt) {
  ds.Open();
  TField& saldo = ds.FieldByName("saldo");
  std::vector<std::string> seen;
  saldo.SetOnValidate([&](TField& f) {
    seen.push_back(f.AsString());
    if (f.AsFloat() < 0) throw EDatabaseError("saldo negativo");
  });
  int changes = 0;
  saldo.SetOnChange([&](TField&) { ++changes; });
  ds.Edit();
  saldo.SetAsFloat(7);
  EXPECT_EQ(ErrorOf([&] { saldo.SetAsFloat(-1); }), "saldo negativo");
  EXPECT_EQ(saldo.AsFloat(), 7);
  EXPECT_EQ(seen, (std::vector<std::string>{"7", "-1"}));
  EXPECT_EQ(changes, 1);
}

TEST_F(CustomersTest, DisplayTextUsesFormatOrHandler) {
  ds.Open();
  TField& nascimento = ds.FieldByName("nascimento");
  nascimento.SetDisplayFormat("yyyymmdd");
  EXPECT_EQ(nascimento.DisplayText(), "19800131");
  EXPECT_EQ(nascimento.Text(), "31/01/1980");
  ds.FieldByName("nome").SetOnGetText([](TField& f, std::string& text, bool display) {
    text = display ? "<" + f.AsString() + ">" : "raw";
  });
  EXPECT_EQ(ds.FieldByName("nome").DisplayText(), "<Ana>");
  EXPECT_EQ(ds.FieldByName("nome").Text(), "raw");
}

// --- definitions --------------------------------------------------------------------

TEST(DefinitionsTest, LookupsAndTheirErrors) {
  MemoryDataSet ds;
  ds.SetName("tblProdutos");
  TIndexDefs indexes(&ds);
  indexes.Add("PRIMARY", "codprod", {ixPrimary, ixUnique});
  indexes.Add("idx_nome", "nome;marca", {ixCaseInsensitive});
  EXPECT_EQ(indexes.FindIndexForFields("CODPROD").Name(), "PRIMARY");
  EXPECT_EQ(indexes.FindIndexForFields("nome; marca").Name(), "idx_nome");
  EXPECT_EQ(indexes.GetIndexForFields("nome", true), nullptr);
  EXPECT_EQ(indexes.GetIndexForFields("nome", true, true)->Name(), "idx_nome");
  EXPECT_EQ(ErrorOf([&] { indexes.FindIndexForFields("preco"); }),
            "tblProdutos: No index for fields 'preco'");
  EXPECT_EQ(ErrorOf([&] { indexes.Find("idx_x"); }), "tblProdutos: Index 'idx_x' not found");
  TFieldDefs defs(&ds);
  defs.Add("codprod", ftInteger, 0, true);
  defs.Add("nome", ftString, 60);
  EXPECT_EQ(defs.Find("NOME").FieldNo(), 2);
  EXPECT_TRUE(defs[0].Required());
  EXPECT_EQ(ErrorOf([&] { defs.Find("preco"); }), "tblProdutos: Field 'preco' not found");
  EXPECT_EQ(SplitFieldNames(" a ;b;;c "), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(DefinitionsTest, DefaultFieldClassesFollowTheDefinitions) {
  struct Case {
    TFieldType type;
    int size;
    int data_size;
  };
  const Case cases[] = {{ftString, 80, 81}, {ftSmallint, 0, 2}, {ftWord, 0, 2},
                        {ftInteger, 0, 4},  {ftAutoInc, 0, 4},  {ftLargeint, 0, 8},
                        {ftBoolean, 0, 2},  {ftFloat, 0, 8},    {ftCurrency, 0, 8},
                        {ftDate, 0, 4},     {ftTime, 0, 4},     {ftDateTime, 0, 8},
                        {ftBytes, 5, 5},    {ftVarBytes, 5, 7}, {ftMemo, 0, 0}};
  for (const Case& c : cases) {
    MemoryDataSet ds;
    TFieldDef def("x", c.type, c.size, false, 1);
    TField* f = def.CreateField(&ds, &ds);
    ASSERT_NE(f, nullptr) << FieldTypeName(c.type);
    EXPECT_EQ(f->DataType(), c.type);
    EXPECT_EQ(f->DataSize(), c.data_size) << FieldTypeName(c.type);
    EXPECT_EQ(ds.FindField("x"), f);
  }
  EXPECT_STREQ(FieldTypeName(ftLargeint), "LargeInt");
  EXPECT_STREQ(FieldTypeName(ftTimeStamp), "TimeStamp");
  EXPECT_TRUE(FieldTypesCompatible(ftWord, ftAutoInc));
  EXPECT_TRUE(FieldTypesCompatible(ftGuid, ftFixedChar));
  EXPECT_TRUE(FieldTypesCompatible(ftMemo, ftGraphic));
  EXPECT_FALSE(FieldTypesCompatible(ftLargeint, ftInteger));
  EXPECT_FALSE(FieldTypesCompatible(ftBCD, ftFloat));
}

}  // namespace
}  // namespace fwtest
