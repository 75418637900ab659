// Query text processing without a server: comment removal, parameter
// markers and carrying parameter values over a change of text.
#include <gtest/gtest.h>

#include "components/MySQLQuery.h"
#include "db/Consts.h"

namespace components {
namespace {

TEST(RemoveComments, RulesAsWorded) {
  const TmySQLQueryProcessComments standard{qpcMinusMinus, qpcSlashAsterisk};
  const TmySQLQueryProcessComments all{qpcMinusMinus, qpcSlashAsterisk, qpcSharp};
  struct Case {
    const char* in;
    TmySQLQueryProcessComments options;
    const char* out;
  } cases[] = {
      {"select a -- remark\r\nfrom t", standard, "select a \r\nfrom t\r\n"},
      {"select a--b from t", standard, "select a--b from t\r\n"},
      {"select a /* x */ from t", standard, "select a  from t\r\n"},
      {"select /*! STRAIGHT_JOIN */ a from t", standard,
       "select /*! STRAIGHT_JOIN */ a from t\r\n"},
      {"select /* 1 */ a /* 2 */ from t", standard, "select  a /* 2 */ from t\r\n"},
      {"select a # remark", all, "select a \r\n"},
      {"select a # remark", standard, "select a # remark\r\n"},
      {"select '-- x' from t", standard, "select '\r\n"},
      {"select a /* open\r\nstill */ from t", standard, "select a  from t\r\n"},
      {"select a /* never closed", standard, "select a /* never closed\r\n"},
      {"a */ b /* c", standard, "a */ b /* c\r\n"},
      // The count is taken literally: an unclosed opening mark at the very
      // start loses its first character, and "/*/" counts as closed.
      {"/* x", standard, "* x\r\n"},
      {"/*/ x", standard, " x\r\n"},
      {"select 1 /*", standard, "select 1 /*\r\n"},
      {"select 1", {}, "select 1\r\n"},
      // Without options the lines are still split and joined with CR LF,
      // whether or not the text already is.
      {"select 1\r\n", {}, "select 1\r\n"},
      {"a\r\n\r\nb\r\n", {}, "a\r\n\r\nb\r\n"},
      {"a\nb\r\n", {}, "a\r\nb\r\n"},
      {"a\rb\r\n", {}, "a\r\nb\r\n"},
      {"a\r\nb\n", {}, "a\r\nb\r\n"},
      {"a\r\r\nb\r\n", {}, "a\r\n\r\nb\r\n"},
      {"a\r\n\nb\r\n", {}, "a\r\n\r\nb\r\n"},
      {"\r\n", {}, "\r\n"},
      {"", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(RemoveComments(c.in, c.options), c.out);
  }
}

TEST(QueryText, ANewQueryHasTheDocumentedDefaults) {
  TmySQLQuery q;
  EXPECT_EQ(q.SQL().Count(), 0);
  EXPECT_EQ(q.Params().Count(), 0);
  EXPECT_TRUE(q.ParamCheck());
  EXPECT_FALSE(q.RequestLive());
  EXPECT_FALSE(q.UniDirectional());
  EXPECT_EQ(q.MultiResultsetNo(), 0);
  EXPECT_EQ(q.UpdateMode(), db::upWhereAll);
  EXPECT_EQ(q.UpdateObject(), nullptr);
  EXPECT_EQ(q.DataSource(), nullptr);
  EXPECT_EQ(q.ProcessComments(), (TmySQLQueryProcessComments{qpcMinusMinus, qpcSlashAsterisk}));
  EXPECT_FALSE(q.Prepared());
  EXPECT_EQ(q.AffectedRowCount(), -1);
}

TEST(QueryText, MarkersBecomePlaceholdersOutsideQuotes) {
  TmySQLQuery q;
  q.SQL().Add("update t set hora='10:30', nome=\"a:b\" where id = :id");
  ASSERT_EQ(q.Params().Count(), 1);
  EXPECT_EQ(q.Params()[0].Name(), "id");
  EXPECT_EQ(q.Text(), "update t set hora='10:30', nome=\"a:b\" where id = ?\r\n");

  q.SQL().Clear();
  q.SQL().Add("select '::' as a, x::y from t");
  EXPECT_EQ(q.Params().Count(), 0);
  EXPECT_EQ(q.Text(), "select '::' as a, x:y from t\r\n");
}

TEST(QueryText, ValuesSurviveAChangeOfTextByName) {
  TmySQLQuery q;
  q.SQL().Add("select * from t where a = :a and b = :b");
  q.ParamByName("a").SetAsInteger(1);
  q.ParamByName("b").SetAsString("dois");
  // One change of the whole text (a Clear on its own would be a change to
  // an empty text, which has no parameters to keep).
  q.SQL().SetText("select * from t where b = :b and c = :c");
  ASSERT_EQ(q.Params().Count(), 2);
  EXPECT_EQ(q.ParamByName("b").AsString(), "dois");
  EXPECT_TRUE(q.ParamByName("c").IsNull());
  EXPECT_EQ(q.Params().FindParam("a"), nullptr);
}

TEST(QueryText, ParametersAreCreatedWhenLoadingEnds) {
  TmySQLQuery q;
  q.BeginLoading();
  q.SQL().Add("select * from t where id = :id");
  EXPECT_EQ(q.Params().Count(), 0);
  EXPECT_EQ(q.Text(), "select * from t where id = ?\r\n");
  q.EndLoading();
  ASSERT_EQ(q.Params().Count(), 1);
  EXPECT_EQ(q.Params()[0].Name(), "id");
}

TEST(QueryText, ParamCheckOffKeepsTheText) {
  TmySQLQuery q;
  q.SetParamCheck(false);
  q.SQL().Add("select :x");
  EXPECT_EQ(q.Params().Count(), 0);
  EXPECT_EQ(q.Text(), "select :x\r\n");
}

TEST(QueryText, SharpCommentsFollowTheOption) {
  TmySQLQuery q;
  q.SQL().Add("select 1 # um");
  EXPECT_EQ(q.Text(), "select 1 # um\r\n");
  q.SetProcessComments({qpcSharp});
  EXPECT_EQ(q.Text(), "select 1 \r\n");
}

TEST(QueryText, CircularDataSourceIsRefused) {
  TmySQLQuery q;
  q.SetName("qryCiclo");
  db::TDataSource ds;
  ds.SetDataSet(&q);
  try {
    q.SetDataSource(&ds);
    FAIL();
  } catch (const db::EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "qryCiclo: Circular datalinks are not allowed");
  }
  ds.SetDataSet(nullptr);
}

}  // namespace
}  // namespace components
