// Replies and results against scripted servers: column layouts, OK packets,
// joined and split compressed replies, lost connections with the reconnect
// and its retry, navigation, Locate and Sort.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/FakeServer.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire_test_support.h"

namespace {

using namespace wiretest;

using wire::TMysqlResult;
using Row = std::vector<std::optional<std::string>>;

// The ping every query starts with, then the query and the given reply.
void ScriptQuery(FakeServer& s, const Bytes& reply) {
  s.ReadPacket().SendPacket(support::OkPayload(), 1).ReadPacket().Send(reply);
}

support::Column Col(const std::string& name, std::uint8_t type, std::uint32_t length = 11,
                    std::uint16_t flags = 0) {
  support::Column c;
  c.name = name;
  c.orgName = name;
  c.type = type;
  c.length = length;
  c.flags = flags;
  return c;
}

TEST(ClientResults, OlderColumnLayouts) {
  for (bool longFlag : {true, false}) {
    FakeServer s;
    support::Greeting g;
    g.version = "4.0.27";
    g.capabilities = longFlag ? 0x2004 : 0x2000;  // transactions (+ long flag)
    ScriptLogin(s, g);
    support::Column id = Col("id", 3, 11, 0x0203);
    id.decimals = 0;
    support::Column price = Col("preco", 246, 12, 0x0001);
    price.decimals = 2;
    support::Ok ok;
    ok.withWarnings = false;
    s.ReadPacket()
        .SendPacket(support::OkPayload(ok), 1)
        .ReadPacket()
        .Send(support::ResultSet({id, price}, {{"1", "9.90"}}, 1, false, longFlag));
    TMysqlClient c;
    c.SetOldPasswords(true);  // a server this old only knows the pre-4.1 scramble
    ASSERT_TRUE(Connect(s, c)) << c.ErrorMessage();
    EXPECT_EQ(c.ClientFlags() & wire::CLIENT_RESERVED, 0u);
    bool done = false;
    auto r = c.Query("select id, preco from t", true, done);
    ASSERT_TRUE(done) << c.ErrorMessage();
    ASSERT_TRUE(r);
    ASSERT_EQ(r->ColumnCount(), 2u);
    const wire::TMysqlColumn* a = r->Column(0);
    EXPECT_EQ(a->table, "t");
    EXPECT_EQ(a->name, "id");
    EXPECT_EQ(a->orgName, "");
    EXPECT_EQ(a->db, "");
    EXPECT_EQ(a->charsetNr, 0u);
    EXPECT_EQ(a->length, 11u);
    EXPECT_EQ(a->type, 3);
    // With 1-byte flags the high byte (auto-increment) is not there.
    EXPECT_EQ(a->flags, longFlag ? (0x0203u | wire::NUM_FLAG) : (0x03u | wire::NUM_FLAG));
    EXPECT_EQ(r->Column(1)->decimals, 2u);
    EXPECT_EQ(r->Column(1)->length, 12u);
    EXPECT_STREQ(r->Value(1), "9.90");
  }
}

TEST(ClientResults, ComputedColumnFlags) {
  struct Case {
    std::uint8_t type;
    std::uint32_t length;
    bool numeric;
    bool isUnsigned;
  } cases[] = {{7, 19, false, false},  {7, 14, true, false},   {7, 8, true, false},
               {13, 4, true, false},   {16, 1, false, true},   {1, 4, true, false},
               {9, 8, true, false},    {10, 10, false, false}, {253, 40, false, false},
               {246, 12, false, false}};
  std::vector<support::Column> columns;
  Row row;
  for (const Case& k : cases) {
    columns.push_back(Col("c" + std::to_string(columns.size()), k.type, k.length));
    row.push_back("0");
  }
  FakeServer s;
  ScriptLogin(s);
  ScriptQuery(s, support::ResultSet(columns, {row}));
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c));
  bool ok = false;
  auto r = c.Query("select", true, ok);
  ASSERT_TRUE(r);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const wire::TMysqlColumn* col = r->Column(static_cast<int>(i));
    EXPECT_EQ((col->flags & wire::NUM_FLAG) != 0, cases[i].numeric) << int(cases[i].type);
    EXPECT_EQ(wire::IsUnsigned(col), cases[i].isUnsigned) << int(cases[i].type);
    EXPECT_EQ(col->catalog, "def");
    EXPECT_EQ(col->db, "tolvex_test");
    EXPECT_EQ(col->charsetNr, 8u);
  }
  EXPECT_EQ(r->Column(-1), nullptr);
  EXPECT_EQ(r->Column(static_cast<int>(std::size(cases))), nullptr);
  EXPECT_FALSE(wire::IsNotNull(nullptr));
}

TEST(ClientResults, OkPacketFields) {
  FakeServer s;
  ScriptLogin(s);
  const Bytes ok = Bytes(1, '\0') + support::LengthCoded(3) + support::LengthCoded8(20000000) +
                   support::Int2(0x0003) + support::Int2(2) +
                   support::LengthCodedText("Rows matched: 3  Changed: 3  Warnings: 2");
  ScriptQuery(s, support::Packet(ok, 1));
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c));
  bool done = false;
  EXPECT_EQ(c.Query("update t set v = 1", true, done), nullptr);
  EXPECT_TRUE(done);
  EXPECT_EQ(c.AffectedRows(), 3u);
  EXPECT_EQ(c.InsertId(), 20000000u);
  EXPECT_EQ(c.ServerStatus(), 3u);
  EXPECT_EQ(c.WarningCount(), 2u);
  EXPECT_EQ(c.Info(), "Rows matched: 3  Changed: 3  Warnings: 2");
}

TEST(ClientResults, TwoRepliesInOneCompressedPacket) {
  FakeServer s;
  ScriptLogin(s);
  support::Ok first;
  first.status = 2 | 8;  // more results follow
  first.affectedRows = 1;
  support::Ok second;
  second.affectedRows = 2;
  const Bytes joined = support::Packet(support::OkPayload(first), 1) +
                       support::Packet(support::OkPayload(second), 2);
  s.ReadCompressedPacket()
      .Send(support::CompressedPacket(support::Packet(support::OkPayload(), 1), 1, false))
      .ReadCompressedPacket()
      .Send(support::CompressedPacket(joined, 1, true))
      .Close();  // the second reply must come from what was already read
  TMysqlClient c;
  c.SetConnectTimeout(5);
  ASSERT_TRUE(c.ConnectToServer(s.Host(), "u", "p", "", s.Port(), "", true, 0x30020));
  ASSERT_TRUE(c.NetForTesting().Compress());
  bool ok = false;
  EXPECT_EQ(c.Query("insert a; insert b", true, ok), nullptr);
  EXPECT_TRUE(ok) << c.ErrorMessage();
  EXPECT_EQ(c.AffectedRows(), 1u);
  EXPECT_TRUE(c.MoreResults());
  EXPECT_EQ(c.NextResult(true, ok), nullptr);
  EXPECT_TRUE(ok) << c.ErrorMessage();
  EXPECT_EQ(c.AffectedRows(), 2u);
  EXPECT_FALSE(c.MoreResults());
}

TEST(ClientResults, ReplyCutInTheMiddleThenReconnect) {
  FakeServer s;
  ScriptLogin(s);
  const Bytes whole = support::ResultSet({Col("v", 253, 40)}, {{"abcdef"}, {"ghijkl"}});
  ScriptQuery(s, whole.substr(0, whole.size() - 12));
  s.Close().Accept();
  ScriptLogin(s);
  ScriptQuery(s, support::ResultSet({Col("v", 253, 40)}, {{"again"}}));
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c));
  bool ok = true;
  EXPECT_EQ(c.Query("select v from t", true, ok), nullptr);
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.ErrorNumber(), wire::CR_SERVER_LOST);
  EXPECT_FALSE(c.Connected());
  auto r = c.Query("select v from t", true, ok);
  ASSERT_TRUE(r) << c.ErrorMessage();
  EXPECT_STREQ(r->Value(0), "again");
  EXPECT_EQ(s.Connections(), 2);
}

TEST(ClientResults, LostPingIsRetriedOnceOnANewConnection) {
  FakeServer s;
  ScriptLogin(s);
  s.ReadPacket().Close().Accept();  // the ping of the first query gets no answer
  ScriptLogin(s);
  ScriptQuery(s, support::ResultSet({Col("n", 3)}, {{"42"}}));
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c));
  bool ok = false;
  auto r = c.Query("select 42", true, ok);
  ASSERT_TRUE(r) << c.ErrorNumber() << " " << c.ErrorMessage();
  EXPECT_TRUE(ok);
  EXPECT_STREQ(r->Value(0), "42");
  ASSERT_TRUE(s.WaitIdle());
  EXPECT_EQ(s.Error(), "");
}

TEST(ClientResults, MalformedReplies) {
  struct Case {
    const char* what;
    Bytes reply;
  } cases[] = {
      {"row shorter than its columns",
       support::Packets({support::ResultHeaderPayload(2), support::ColumnPayload41(Col("a", 3)),
                         support::ColumnPayload41(Col("b", 3)), support::EofPayload(),
                         support::RowPayload({"1"}), support::EofPayload()},
                        1)},
      {"value length past the packet",
       support::Packets({support::ResultHeaderPayload(1), support::ColumnPayload41(Col("a", 3)),
                         support::EofPayload(),
                         Bytes("\x05"
                               "ab",
                               3),
                         support::EofPayload()},
                        1)},
      {"fewer definitions than announced",
       support::Packets({support::ResultHeaderPayload(3), support::ColumnPayload41(Col("a", 3)),
                         support::EofPayload(), support::EofPayload()},
                        1)},
      {"OK cut short", support::Packet(Bytes("\x00\xfc", 2), 1)},
      {"error packet of 2 bytes", support::Packet("\xff\xff", 1)},
  };
  for (const Case& k : cases) {
    FakeServer s;
    ScriptLogin(s);
    ScriptQuery(s, k.reply);
    TMysqlClient c;
    ASSERT_TRUE(Connect(s, c));
    bool ok = true;
    EXPECT_EQ(c.Query("select", true, ok), nullptr) << k.what;
    EXPECT_FALSE(ok) << k.what;
    EXPECT_NE(c.ErrorNumber(), 0) << k.what;
    EXPECT_EQ(c.Status(), wire::TClientStatus::kReady) << k.what;
  }
}

// A stored result of the rows below, for navigation, Locate and Sort.
class StoredRows : public ::testing::Test {
 protected:
  void Load(const std::vector<support::Column>& columns, const std::vector<Row>& rows) {
    ScriptLogin(server_);
    ScriptQuery(server_, support::ResultSet(columns, rows));
    ASSERT_TRUE(Connect(server_, client_));
    bool ok = false;
    result_ = client_.Query("select", true, ok);
    ASSERT_TRUE(result_);
  }
  std::string Column(int index) {
    std::string out;
    for (result_->First(); !result_->AtEnd(); result_->Next()) {
      const char* v = result_->Value(index);
      out += (v ? v : "NULL");
      out += ",";
    }
    return out;
  }

  FakeServer server_;
  TMysqlClient client_;
  std::unique_ptr<TMysqlResult> result_;
};

TEST_F(StoredRows, Navigation) {
  Load({Col("n", 3)}, {{"1"}, {"2"}, {"3"}});
  TMysqlResult& r = *result_;
  EXPECT_EQ(r.RowCount(), 3u);
  r.Last();
  EXPECT_TRUE(r.AtEnd());
  EXPECT_EQ(r.CurrentRow(), 2);
  EXPECT_STREQ(r.Value(0), "3");
  r.Prior();
  EXPECT_STREQ(r.Value(0), "2");
  EXPECT_FALSE(r.AtStart());
  r.Prior();
  r.Prior();
  EXPECT_TRUE(r.AtStart());
  EXPECT_EQ(r.CurrentRow(), 0);
  r.GoToRow(2);
  EXPECT_STREQ(r.Value(0), "3");
  EXPECT_FALSE(r.AtEnd());
  r.GoToRow(3);  // outside: nothing changes
  EXPECT_EQ(r.CurrentRow(), 2);
  r.Next();
  EXPECT_TRUE(r.AtEnd());
  EXPECT_STREQ(r.Value(0), "3");
  EXPECT_FALSE(r.First());
  EXPECT_STREQ(r.Value(0), "1");
  EXPECT_EQ(r.Value(1), nullptr);
  EXPECT_EQ(r.ColumnByName("N", false), r.Column(0));
  EXPECT_EQ(r.ColumnByName("N", true), nullptr);
}

TEST_F(StoredRows, Locate) {
  Load({Col("nome", 253, 40), Col("id", 3), Col("codigo", 3, 6, 64), Col("foto", 252),
        Col("preco", 5)},
       {{"Ana", "1", "000012", "x", "1.5"},
        {"silvia", "10", "000100", "y", "2"},
        {"SILVA", "2", "000001", "z", "2.50"},
        {"Sil", "3", "000002", std::nullopt, "3"},
        {std::nullopt, "4", "000003", "w", "4"}});
  auto locate = [&](int column, const std::string& key, bool exact) {
    return result_->Locate({column}, {key}, false, 0, exact);
  };
  EXPECT_EQ(locate(0, "SIL", false), 1);   // first beginning with sil, any case
  EXPECT_EQ(locate(0, "SIL", true), 3);    // equal apart from case
  EXPECT_EQ(locate(0, "s?lv", false), 1);  // "?" is one character
  EXPECT_EQ(locate(0, "S%VA", false), 2);  // "%" any run
  EXPECT_EQ(locate(0, "", true), 4);       // NULL is an empty text
  EXPECT_EQ(locate(0, "zz", false), -1);
  EXPECT_EQ(locate(1, "1", false), 0);  // integers compare whole
  EXPECT_EQ(locate(1, "10", false), 1);
  EXPECT_EQ(locate(2, "00010", false), 1);  // zero-filled integers by prefix
  EXPECT_EQ(locate(3, "x", false), -1);     // blobs never match
  EXPECT_EQ(locate(4, "2", false), 1);      // floating values by prefix
  EXPECT_EQ(result_->Locate({0, 1}, {"sil", "3"}, false, 0, false), 3);
  EXPECT_EQ(result_->Locate({0}, {"sil"}, true, 0, true), -1);  // case-sensitive
}

TEST_F(StoredRows, Sort) {
  Load({Col("n", 3), Col("t", 253, 10), Col("h", 11, 10), Col("f", 5), Col("g", 255)},
       {{"9", "9", "10:00:00", "2.5", "b"},
        {"10", "10", "-01:00:00", "10", "a"},
        {std::nullopt, "b", "9:59:59", "x", "c"},
        {"-3", std::nullopt, "100:00:00", "-1e2", "d"},
        {"9", "a", std::nullopt, "2.5", "e"}});
  TMysqlResult& r = *result_;
  r.Sort({0}, {false});
  EXPECT_EQ(Column(0), "NULL,-3,9,9,10,");
  EXPECT_EQ(Column(4), "c,d,b,e,a,");  // the two 9s keep their order
  r.Sort({0}, {true});
  EXPECT_EQ(Column(0), "10,9,9,-3,NULL,");
  EXPECT_EQ(Column(4), "a,b,e,d,c,");
  r.Sort({1}, {false});
  EXPECT_EQ(Column(1), "NULL,10,9,a,b,");
  r.Sort({2}, {false});
  EXPECT_EQ(Column(2), "NULL,-01:00:00,9:59:59,10:00:00,100:00:00,");
  r.Sort({0, 1}, {true, false});
  EXPECT_EQ(Column(1), "10,9,a,NULL,b,");
  r.Sort({4}, {false});  // type 255 has no order: nothing moves
  EXPECT_EQ(Column(4), "a,b,e,d,c,");
}

TEST(ClientResults, StreamedResultNavigation) {
  FakeServer s;
  ScriptLogin(s);
  ScriptQuery(s, support::ResultSet({Col("n", 3)}, {{"1"}, {"2"}, {"3"}, {"4"}}));
  ScriptQuery(s, support::ResultSet({Col("n", 3)}, {{"5"}, {"6"}}));
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c));
  bool ok = false;
  auto r = c.Query("select", false, ok);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->AtStart());
  EXPECT_STREQ(r->Value(0), "1");
  EXPECT_EQ(r->CurrentRow(), 0);
  r->Next();
  EXPECT_STREQ(r->Value(0), "2");
  EXPECT_EQ(c.Status(), wire::TClientStatus::kStreaming);
  r->Last();  // reads the rest, counting
  EXPECT_TRUE(r->AtEnd());
  EXPECT_EQ(r->RowCount(), 4u);
  EXPECT_EQ(r->CurrentRow(), 3);
  EXPECT_EQ(c.Status(), wire::TClientStatus::kReady);
  EXPECT_EQ(c.AffectedRows(), 4u);
  r->Next();  // no client any more
  EXPECT_TRUE(r->AtEnd());
  auto again = c.Query("select", true, ok);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->RowCount(), 2u);
}

TEST(ClientResults, StreamedResultOutlivesItsConnection) {
  FakeServer s;
  ScriptLogin(s);
  ScriptQuery(s, support::ResultSet({Col("n", 3)}, {{"1"}, {"2"}, {"3"}}));
  s.ReadUntilClosed();
  auto c = std::make_unique<TMysqlClient>();
  ASSERT_TRUE(Connect(s, *c));
  bool ok = false;
  auto r = c->Query("select", false, ok);
  ASSERT_TRUE(r);
  c->Disconnect();  // the result loses its client
  r->Next();
  EXPECT_TRUE(r->AtEnd());
  EXPECT_EQ(r->ReadState(), -1);
  c.reset();
  r.reset();  // nothing left to drain, nothing to touch
  ASSERT_TRUE(s.WaitIdle());
  // COM_QUIT was the last thing sent.
  EXPECT_EQ(support::Hex(s.Frames().back().substr(s.Frames().back().size() - 5)),
            support::Hex(support::Packet("\x01", 0)));
}

}  // namespace
