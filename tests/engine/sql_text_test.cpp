// Engine text rules that need no server: version numbers, parameter
// substitution, the table after FROM, literals and date texts, the sort's
// comparison count.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/SortRows.h"
#include "engine/SqlText.h"
#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"
#include "rtl/SysUtils.h"
#include "support/TextCase.h"

namespace engine {
namespace {

TEST(ServerVersionNumber, ReadsTheVersionText) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"5.0.51", 50051}, {"5.0.5-beta", 50005}, {"5.5.5-10.11.6-MariaDB-0+deb12u1", 50505},
      {"5.0.5", 5005},   {"4.1.22", 40122},     {"5.1.73-community", 50173},
      {"4.0.27", 40027}, {"3.23.7", 3237},      {"", 0},
      {"-5.0", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ServerVersionNumber(c.text), c.expected) << c.text;
}

TEngineParam Param(const char* name, TEngineParam::Kind kind) {
  TEngineParam p;
  p.name = name;
  p.kind = kind;
  return p;
}

TEST(SubstituteParameters, WritesEachValueKind) {
  std::vector<TEngineParam> params;
  auto i = Param("codigo", TEngineParam::Integer);
  i.int_value = -42;
  auto f = Param("preco", TEngineParam::Float);
  f.float_value = 12.5;
  auto t = Param("nome", TEngineParam::Text);
  t.text = "O'Neil \\ \"x\"";
  auto n = Param("vazio", TEngineParam::Null);
  auto b = Param("ativo", TEngineParam::Boolean);
  b.bool_value = true;
  auto d = Param("dia", TEngineParam::Date);
  d.float_value = rtl::EncodeDate(2024, 2, 29) + rtl::EncodeTime(13, 45, 10, 0);
  d.date_kind = TEngineParam::AsDate;
  auto h = d;
  h.name = "hora";
  h.date_kind = TEngineParam::AsTime;
  auto dt = d;
  dt.name = "quando";
  dt.date_kind = TEngineParam::AsDateTime;
  params = {i, f, t, n, b, d, h, dt};

  // The decimal separator of the process must not leak into statements.
  rtl::TFormatSettings saved = rtl::FormatSettings();
  rtl::FormatSettings().DecimalSeparator = ',';
  const std::string out = SubstituteParameters(
      "select * from t where a=:codigo and b = :preco and c=:nome and d=:vazio and e=:ativo "
      "and f=:dia and g=:hora and h=:quando",
      params, false);
  rtl::FormatSettings() = saved;
  EXPECT_EQ(
      out,
      "select * from t where a=-42 and b = 12.5 and c='O\\'Neil \\\\ \\\"x\\\"' and d=NULL and "
      "e='Y' and f='2024-02-29' and g='13:45:10' and h='2024-02-29 13:45:10'");
  // A session without backslash escapes reads the text with its quote
  // doubled and the rest as it is.
  EXPECT_EQ(SubstituteParameters("c=:nome", params, true), "c='O''Neil \\ \"x\"'");
}

TEST(SubstituteParameters, TokenRules) {
  auto p = Param("id", TEngineParam::Integer);
  p.int_value = 7;
  auto q = Param("my name", TEngineParam::Text);
  q.text = "x";
  const std::vector<TEngineParam> params = {p, q};
  const support::TextCase cases[] = {
      // Runs of blanks and tabs become one blank, the result is trimmed.
      {"  select\t\t*   from t  ", "select * from t"},
      // A marker whose parameter does not exist disappears with its name.
      {"update t set a=:missing where id=:id", "update t set a= where id=7"},
      // Names in brackets or quotes lose them; names compare ignoring case.
      {"select :[my name], :\"ID\", :'id'", "select 'x', 7, 7"},
      // Quoted texts are one token, escaped quotes included; markers inside
      // stay.
      {"select ':id', \"a\\\"b:id\" from t", "select ':id', \"a\\\"b:id\" from t"},
      // Punctuation stands alone; no blank is invented between tokens.
      {"select a+:id*(b-1) from t", "select a+7*(b-1) from t"},
      // A marker at the very end without a name vanishes.
      {"select 1 :", "select 1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SubstituteParameters(c.input, params, false), c.expected) << c.input;
}

TEST(FindFromTable, FindsTheFirstTableAfterFrom) {
  const struct {
    const char* sql;
    int version;
    const char* table;
  } cases[] = {
      {"select * from cadcliente where bloqueado='N'", 50505, "`cadcliente`"},
      {"SELECT a FROM db1.produto p", 50505, "`db1`.`produto`"},
      {"select a from `my table` where x", 50505, "`my table`"},
      {"select a from db.`t 1`", 50505, "`db`.`t 1`"},
      {"select * from cadcliente", 32306, "cadcliente"},
      {"select 'from x' as a, b /* from y */ -- from z\n from real_t", 50505, "`real_t`"},
      {"# comment from a\nselect * from b", 50505, "`b`"},
      {"show index from t", 50505, ""},
      {"select 1", 50505, ""},
      {"select count(*) from\n\tvendas", 50505, "`vendas`"},
  };
  for (const auto& c : cases) EXPECT_EQ(FindFromTable(c.sql, c.version), c.table) << c.sql;
  EXPECT_EQ(QuoteTableName("t", 50505), "`t`");
  EXPECT_EQ(QuoteTableName("`t`", 50505), "`t`");
  EXPECT_EQ(QuoteTableName("t", 32306), "t");
}

TEST(SqlLiterals, DatesTimesAndFloats) {
  const double day = rtl::EncodeDate(2024, 2, 29);
  const double time = rtl::EncodeTime(13, 45, 10, 0);
  EXPECT_EQ(SqlDateText(day + time), "2024-02-29");
  EXPECT_EQ(SqlDateText(0.5), "0000-00-00");
  EXPECT_EQ(SqlTimeText(day + time), "13:45:10");
  EXPECT_EQ(SqlTimeText(day), "00:00:00");
  EXPECT_EQ(SqlDateTimeText(day + time), "2024-02-29 13:45:10");
  EXPECT_EQ(SqlDateTimeText(0.25), "0000-00-00 00:00:00");

  rtl::TFormatSettings saved = rtl::FormatSettings();
  rtl::FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(SqlFloatText(12.5), "12.5");
  EXPECT_EQ(SqlFloatText(-0.001), "-0.001");
  EXPECT_EQ(SqlFloatText(3), "3");
  rtl::FormatSettings() = saved;
}

TEST(DateTexts, ServerTextsBecomeDayCounts) {
  const double leap = rtl::EncodeDate(2024, 2, 29);
  const double t = rtl::EncodeTime(13, 45, 10, 0);
  EXPECT_DOUBLE_EQ(DateTimeTextToValue("2024-02-29"), leap);
  EXPECT_DOUBLE_EQ(DateTimeTextToValue("2024-02-29 13:45:10"), leap + t);
  EXPECT_DOUBLE_EQ(DateTimeTextToValue("0000-00-00"), 0);
  EXPECT_DOUBLE_EQ(DateTimeTextToValue("0000-00-00 00:00:00"), 0);
  EXPECT_DOUBLE_EQ(DateTimeTextToValue("13:45:10"), t);
  EXPECT_THROW(DateTimeTextToValue("2023-02-29"), rtl::EConvertError);
  EXPECT_THROW(DateTimeTextToValue("2023-13-01"), rtl::EConvertError);
  EXPECT_THROW(DateTimeTextToValue("24:00:00"), rtl::EConvertError);

  EXPECT_DOUBLE_EQ(TimestampTextToValue("20240229134510"), leap + t);
  EXPECT_DOUBLE_EQ(TimestampTextToValue("2024-02-29 13:45:10"), leap + t);
  EXPECT_DOUBLE_EQ(TimestampTextToValue("  "), 0);
  // A zero timestamp reads as 1 January of year 1.
  EXPECT_DOUBLE_EQ(TimestampTextToValue("0000-00-00 00:00:00"), rtl::EncodeDate(1, 1, 1));
  EXPECT_DOUBLE_EQ(TimestampTextToValue("00000000000000"), rtl::EncodeDate(1, 1, 1));
  // An impossible combination gives 0.
  EXPECT_DOUBLE_EQ(TimestampTextToValue("2023-02-30 00:00:00"), 0);
}

TEST(SortRowOrder, StaysWithinNLogNComparisonsAndIsStable) {
  const std::int64_t n = 100000;
  std::mt19937 gen(12345);
  std::uniform_int_distribution<int> dist(0, 999);
  std::vector<int> keys(n);
  for (auto& k : keys) k = dist(gen);
  std::uint64_t comparisons = 0;
  auto order = SortRowOrder(
      n,
      [&](std::int64_t a, std::int64_t b) { return keys[a] < keys[b] ? -1 : (keys[a] > keys[b]); },
      comparisons);
  ASSERT_EQ(order.size(), static_cast<size_t>(n));
  for (std::int64_t i = 1; i < n; ++i) {
    ASSERT_LE(keys[order[i - 1]], keys[order[i]]);
    if (keys[order[i - 1]] == keys[order[i]]) {
      ASSERT_LT(order[i - 1], order[i]);
    }
  }
  EXPECT_LE(comparisons, static_cast<std::uint64_t>(n * std::log2(static_cast<double>(n)) * 3));
  EXPECT_GT(comparisons, 0u);
}

}  // namespace
}  // namespace engine
