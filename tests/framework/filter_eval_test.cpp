#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>
#include "db/FilterExpr.h"

#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"

namespace {

using db::TFilterExpr;
using rtl::Variant;

// A record holding field values by name (case-insensitive), as the in-memory
// datasets of the tests hold them.
class MapRecord : public db::TFilterRecord {
 public:
  MapRecord(std::initializer_list<std::pair<std::string, Variant>> fields) : fields_(fields) {}

  bool GetFieldValue(int /*ref*/, std::string_view name, Variant& value) const override {
    for (const auto& [field, v] : fields_) {
      if (rtl::SameText(field, name)) {
        value = v;
        return true;
      }
    }
    return false;
  }

 private:
  std::vector<std::pair<std::string, Variant>> fields_;
};

MapRecord Customer() {
  return MapRecord{
      {"Nome", Variant("Jo\xE3o")},
      {"Cidade", Variant("Fortaleza")},
      {"Total", Variant(150.25)},
      {"Qtd", Variant(3)},
      {"Codigo", Variant(int64_t{9000000000})},
      {"Limite", Variant::FromCurrency(15000)},  // 1.5
      {"Ativo", Variant(true)},
      {"Emissao", Variant::FromDateTime(rtl::EncodeDate(2024, 2, 9))},
      {"Hora", Variant::FromDateTime(rtl::EncodeDateTime(2024, 2, 9, 13, 45, 0, 0))},
      {"Obs", Variant::Null()},
      {"Apelido", Variant("O'Brien")},
      {"Data de Emiss\xE3o", Variant::FromDateTime(rtl::EncodeDate(2023, 12, 31))},
      {"Flag", Variant("S")},
  };
}

struct Case {
  const char* filter;
  bool passes;
  db::TFilterOptions options = {};
};

void Check(const MapRecord& record, std::initializer_list<Case> cases) {
  for (const Case& c : cases)
    EXPECT_EQ(TFilterExpr::Parse(c.filter, c.options).Evaluate(record), c.passes) << c.filter;
}

TEST(FilterEval, TextComparisons) {
  const db::TFilterOptions ci = {db::foCaseInsensitive};
  const db::TFilterOptions exact = {db::foNoPartialCompare};
  Check(Customer(), {
                        {"Nome = 'Jo\xE3o'", true},
                        {"Nome = 'jo\xE3o'", false},
                        {"Nome = 'JO\xC3O'", true, ci},
                        {"Nome = \"Jo\xE3o\"", true},
                        {"Nome <> 'Maria'", true},
                        {"Nome > 'Ana' AND Nome < 'Pedro'", true},
                        {"Nome >= 'jo'", false},  // byte order: 'J' < 'j'
                        {"Nome >= 'jo'", true, ci},
                        {"Apelido = 'O''Brien'", true},
                        {"Cidade = Nome", false},
                        {"Cidade <> Nome", true},
                        // A trailing star is a prefix match unless told otherwise.
                        {"Nome = 'Jo*'", true},
                        {"Nome = 'jo*'", true, ci},
                        {"Nome = 'Jo*'", false, exact},
                        {"Nome <> 'Jo*'", false},
                        {"Nome = '*'", true},
                        {"Nome = 'Joao*'", false},
                        {"Obs = 'x*'", false},
                    });
}

TEST(FilterEval, LikePatterns) {
  const db::TFilterOptions ci = {db::foCaseInsensitive};
  Check(Customer(), {
                        {"Nome LIKE 'J%'", true},
                        {"Nome LIKE '%o'", true},
                        {"Nome LIKE 'J?\xE3o'", true},
                        {"Nome LIKE 'J?o'", false},
                        {"Nome LIKE 'j%'", false},
                        {"Nome LIKE 'j%'", true, ci},
                        {"Nome LIKE 'J\xC3%'", false, {}},
                        {"Nome LIKE 'jO\xC3%'", true, ci},
                        {"Nome LIKE '%'", true},
                        {"Nome LIKE '%%%o%'", true},
                        {"Cidade LIKE 'F%a%a'", true},
                        {"Cidade LIKE 'F%z'", false},
                        {"Nome NOT LIKE '%x%'", true},
                        {"Nome LIKE 'Jo'", false},
                        {"Qtd LIKE '3'", true},  // other values by their text
                        {"Obs LIKE '%'", false},
                        {"Obs NOT LIKE '%'", false},
                    });
}

TEST(FilterEval, NumbersDatesAndBooleans) {
  Check(Customer(), {
                        {"Total >= 100.5", true},
                        {"Total = 150.25", true},
                        {"Total = '150,25'", true},
                        {"Total = '150.25'", true},
                        {"Qtd = 3 AND Total < 200", true},
                        {"Qtd = 3.0", true},
                        {"Qtd > 2.5", true},
                        {"Qtd = '3'", true},
                        {"Qtd = 'three'", false},
                        {"NOT (Qtd = 'three')", false},
                        {"Qtd > -1", true},
                        {"Codigo = 9000000000", true},
                        {"Codigo > 8999999999", true},
                        {"Limite = 1.5", true},
                        {"Limite < Total", true},
                        {"Ativo", true},
                        {"NOT Ativo", false},
                        {"Ativo = TRUE", true},
                        {"Ativo = 'T'", true},
                        {"Ativo <> FALSE", true},
                        {"Flag", true},
                        {"TRUE", true},
                        {"FALSE", false},
                        {"Emissao = '2024-02-09'", true},
                        {"Emissao = '09/02/2024'", true},
                        {"Emissao > '08/02/2024' AND Emissao < '2024-02-10'", true},
                        {"Emissao < '2024-02-09'", false},
                        {"Emissao = 'not a date'", false},
                        {"NOT (Emissao = 'not a date')", false},
                        {"Hora = '2024-02-09 13:45'", true},
                        {"Hora > '09/02/2024'", true},
                        {"Emissao > [Data de Emiss\xE3o]", true},
                        {"Emissao = 45331", true},
                    });
}

TEST(FilterEval, NullsFollowThreeValuedLogic) {
  Check(Customer(), {
                        {"Obs IS NULL", true},
                        {"Obs IS NOT NULL", false},
                        {"Nome IS NOT NULL", true},
                        {"Obs = NULL", true},
                        {"Obs <> NULL", false},
                        {"Obs = 'x'", false},
                        {"Obs <> 'x'", false},
                        {"NOT (Obs = 'x')", false},
                        {"Obs = 'x' OR Qtd = 3", true},
                        {"Obs = 'x' AND Qtd = 3", false},
                        {"NOT (Obs = 'x' AND Qtd = 4)", true},  // unknown AND false is false
                        {"NOT (Obs = 'x' OR Qtd = 4)", false},
                        {"Obs > NULL", false},
                        // A field the record does not have cannot be evaluated.
                        {"Missing = 1", false},
                        {"NOT (Missing = 1)", false},
                        {"Missing IS NULL", false},
                        {"Missing = 1 OR Qtd = 3", true},
                    });
}

TEST(FilterEval, KeywordsAndNamesIgnoreCase) {
  Check(Customer(), {
                        {"qtd = 3 and not ativo", false},
                        {"QTD = 3 Or NoT AtIvO", true},
                        {"[data de emiss\xC3o] = '2023-12-31'", true},
                        {"", true},
                    });
}

TEST(FilterEval, KeyFiltersForRecordSearch) {
  const MapRecord r = Customer();
  struct KeyCase {
    std::vector<std::string> fields;
    std::vector<Variant> values;
    bool ci, partial, passes;
  } cases[] = {
      {{"Nome", "Qtd"}, {Variant("Jo\xE3o"), Variant(3)}, false, false, true},
      {{"Nome", "Qtd"}, {Variant("Jo\xE3o"), Variant(4)}, false, false, false},
      {{"Nome"}, {Variant("jo\xE3o")}, false, false, false},
      {{"Nome"}, {Variant("jo\xE3o")}, true, false, true},
      {{"Nome"}, {Variant("Jo")}, false, false, false},
      {{"Nome"}, {Variant("Jo")}, false, true, true},
      {{"Nome"}, {Variant("JO")}, true, true, true},
      {{"Nome"}, {Variant("Jo*")}, false, false, false},  // a star in a key is text
      {{"Obs"}, {Variant::Null()}, false, false, true},
      {{"Qtd"}, {Variant::Null()}, false, false, false},
      {{"Total"}, {Variant("150,25")}, false, true, true},
      {{}, {}, false, false, true},
  };
  for (const KeyCase& c : cases) {
    const TFilterExpr e = TFilterExpr::KeyFilter(c.fields, c.values, c.ci, c.partial);
    EXPECT_EQ(e.Evaluate(r), c.passes) << e.ToText();
  }
  EXPECT_EQ(TFilterExpr::KeyFilter({"Nome", "Qtd"}, {Variant("Jo"), Variant::Null()}, false, true)
                .ToText(),
            "(([Nome] = 'Jo*') AND ([Qtd] IS NULL))");
}

// An accessor that answers by reference only, as the engine does after
// mapping the expression's names to its columns once.
class ColumnRecord : public db::TFilterRecord {
 public:
  explicit ColumnRecord(std::vector<Variant> columns) : columns_(std::move(columns)) {}
  bool GetFieldValue(int ref, std::string_view, Variant& value) const override {
    if (ref < 0 || ref >= static_cast<int>(columns_.size())) return false;
    value = columns_[ref];
    return true;
  }

 private:
  std::vector<Variant> columns_;
};

TEST(FilterEval, ReferencesIndexTheFieldList) {
  const TFilterExpr e = TFilterExpr::Parse("b = 'x' and (A > 1 or a < -1) and c is null");
  ASSERT_EQ(e.FieldNames(), (std::vector<std::string>{"b", "A", "c"}));
  EXPECT_TRUE(e.Evaluate(ColumnRecord({Variant("x"), Variant(2), Variant::Null()})));
  EXPECT_TRUE(e.Evaluate(ColumnRecord({Variant("x"), Variant(-2), Variant::Null()})));
  EXPECT_FALSE(e.Evaluate(ColumnRecord({Variant("x"), Variant(0), Variant::Null()})));
  EXPECT_FALSE(e.Evaluate(ColumnRecord({Variant("x"), Variant(2), Variant(1)})));
  EXPECT_FALSE(e.Evaluate(ColumnRecord({Variant("x"), Variant(2)})));
  // Copies share the tree and evaluate alike.
  const TFilterExpr copy = e;
  EXPECT_EQ(copy.Root(), e.Root());
  EXPECT_TRUE(copy.Evaluate(ColumnRecord({Variant("x"), Variant(2), Variant::Null()})));
}

}  // namespace
