#include <gtest/gtest.h>

#include <string>

#include "db/FilterExpr.h"
#include "support/TextCase.h"

namespace {

using db::EFilterError;
using db::TFilterExpr;

TEST(FilterParse, ReportsWhereTheTextGoesWrong) {
  struct Case {
    const char* text;
    const char* what;
    int position;
  } cases[] = {
      {"Nome = ", "operand expected", 8},
      {"Nome = 'abc", "unterminated text", 8},
      {"(Qtd = 1", "')' expected", 9},
      {"Qtd = 1)", "unexpected ')'", 8},
      {"Qtd = 1 Total", "operator expected", 9},
      {"[Nome = 1", "unterminated field name", 1},
      {"[ ] = 1", "empty field name", 1},
      {"Obs IS 1", "NULL expected", 8},
      {"Obs IS NOT", "NULL expected", 11},
      {"Qtd = 12abc", "invalid number", 7},
      {"Qtd # 1", "invalid character '#'", 5},
      {"Qtd ; 1", "invalid character ';'", 5},
      {"Nome NOT 'a'", "LIKE expected", 10},
      {"Qtd = -Total", "number expected", 8},
      {"AND = 1", "operand expected instead of 'AND'", 1},
      {"Qtd = 1 AND", "operand expected", 12},
      {"()", "operand expected instead of ')'", 2},
      {"Qtd = = 1", "operand expected instead of '='", 7},
      {"NOT", "operand expected", 4},
  };
  for (const Case& c : cases) {
    try {
      TFilterExpr::Parse(c.text);
      ADD_FAILURE() << "parsed: " << c.text;
    } catch (const EFilterError& e) {
      EXPECT_EQ(e.Position(), c.position) << c.text;
      EXPECT_EQ(e.Message(), std::string("Invalid filter expression: ") + c.what + " at position " +
                                 std::to_string(c.position))
          << c.text;
    }
  }
}

TEST(FilterParse, ErrorsAreDatabaseErrors) {
  EXPECT_THROW(TFilterExpr::Parse("a ="), db::EDatabaseError);
  // Deep nesting is refused instead of exhausting the stack.
  EXPECT_THROW(TFilterExpr::Parse(std::string(5000, '(') + "a"), EFilterError);
  std::string nots;
  for (int i = 0; i < 3000; ++i) nots += "NOT ";
  EXPECT_THROW(TFilterExpr::Parse(nots + "a"), EFilterError);
  EXPECT_NO_THROW(TFilterExpr::Parse(std::string(100, '(') + "a" + std::string(100, ')')));
}

TEST(FilterParse, CanonicalTextShowsTheTree) {
  const support::TextCase cases[] = {
      {"", ""},
      {"   ", ""},
      {"a=1", "([a] = 1)"},
      {"a = 1 and b <> 'x' or not c", "((([a] = 1) AND ([b] <> 'x')) OR (NOT [c]))"},
      {"a = 1 and (b != 'x' or c)", "(([a] = 1) AND (([b] <> 'x') OR [c]))"},
      {"a=1 AND b=2 AND c=3", "(([a] = 1) AND ([b] = 2) AND ([c] = 3))"},
      {"[Data de Emiss\xE3o] >= '2024-01-31'", "([Data de Emiss\xE3o] >= '2024-01-31')"},
      {"Nome = 'O''Brien'", "([Nome] = 'O''Brien')"},
      {"Nome = \"say \"\"hi\"\"\"", "([Nome] = 'say \"hi\"')"},
      {"Nome = 'Jo*'", "([Nome] = 'Jo*')"},
      {"Nome LIKE 'J%' AND Cidade NOT LIKE '?x'",
       "(([Nome] LIKE 'J%') AND ([Cidade] NOT LIKE '?x'))"},
      {"Obs IS NULL OR Obs is not null", "(([Obs] IS NULL) OR ([Obs] IS NOT NULL))"},
      {"Obs = NULL", "([Obs] IS NULL)"},
      {"NULL <> Obs", "([Obs] IS NOT NULL)"},
      {"Qtd > -5 AND Total <= 1.5e3 AND x < .25",
       "(([Qtd] > -5) AND ([Total] <= 1500) AND ([x] < 0.25))"},
      {"Ativo = TRUE or Ativo = false", "(([Ativo] = TRUE) OR ([Ativo] = FALSE))"},
      {"((a))", "[a]"},
      {"a<=b", "([a] <= [b])"},
      {"a>=1 and a>1 and a<1", "(([a] >= 1) AND ([a] > 1) AND ([a] < 1))"},
      {"c\xE7_1$ = 1", "([c\xE7_1$] = 1)"},
  };
  for (const auto& c : cases) {
    const TFilterExpr e = TFilterExpr::Parse(c.input);
    EXPECT_EQ(e.ToText(), c.expected) << c.input;
    EXPECT_EQ(TFilterExpr::Parse(e.ToText()).ToText(), c.expected) << c.input;
  }
  // With no partial compare the star is plain text.
  const TFilterExpr plain = TFilterExpr::Parse("Nome = 'Jo*'", {db::foNoPartialCompare});
  EXPECT_FALSE(plain.Root()->args[1]->prefix);
  EXPECT_EQ(plain.Root()->args[1]->value.AsString(), "Jo*");
  const TFilterExpr partial = TFilterExpr::Parse("Nome = 'Jo*'");
  EXPECT_TRUE(partial.Root()->args[1]->prefix);
  EXPECT_EQ(partial.Root()->args[1]->value.AsString(), "Jo");
  // Only equality makes a prefix.
  EXPECT_FALSE(TFilterExpr::Parse("Nome > 'Jo*'").Root()->args[1]->prefix);
}

TEST(FilterParse, FieldsAreListedOnceWithTheirReferences) {
  const TFilterExpr e = TFilterExpr::Parse("Qtd = 1 and QTD < 5 or [Nome] is null or qtd = Nome");
  ASSERT_EQ(e.FieldNames(), (std::vector<std::string>{"Qtd", "Nome"}));
  const db::TFilterNode* root = e.Root();
  ASSERT_EQ(root->kind, db::TFilterNode::Kind::Or);
  const db::TFilterNode* last = root->args[2].get();
  EXPECT_EQ(last->args[0]->ref, 0);
  EXPECT_EQ(last->args[0]->name, "qtd");
  EXPECT_EQ(last->args[1]->ref, 1);
  EXPECT_EQ(last->args[1]->position, 48);
  EXPECT_TRUE(TFilterExpr::Parse("").IsEmpty());
  EXPECT_TRUE(
      TFilterExpr::Parse("x=1", {db::foCaseInsensitive}).Options().Contains(db::foCaseInsensitive));
}

}  // namespace
