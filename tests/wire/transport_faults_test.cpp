// One transport fault per test, played under the client through a scripted
// transport: what the client reports (error number, connection, status),
// whether it reconnects and repeats the statement, and what the next
// statement does.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scripted_transport.h"
#include "support/FakeServer.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire_test_support.h"

namespace {

using support::Bytes;
using wire::TClientStatus;
using wiretest::ScriptedTransport;
using Fault = ScriptedTransport::Fault;

const std::string kSelect = "select id, nome from t";

// The server's side of a connect: greeting, then the OK to the login.
Bytes Login() {
  return support::Packet(support::GreetingPayload(support::Greeting()), 0) +
         support::Packet(support::OkPayload(), 2);
}

// A two-row result of kSelect, numbered from `first`.
Bytes Rows(std::uint8_t first = 1) {
  support::Column id;
  id.name = id.orgName = "id";
  support::Column nome;
  nome.name = nome.orgName = "nome";
  nome.type = wire::MYSQL_TYPE_VAR_STRING;
  nome.length = 40;
  return support::ResultSet({id, nome}, {{"1", "Ana"}, {"2", std::nullopt}}, first);
}

// The OK to the ping that goes with every statement when reconnect is on.
Bytes PingOk() {
  return support::Packet(support::OkPayload(), 1);
}

// A client over a fresh script, connected when the script's login allows.
class TransportFault : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }
  // A new script under the same client, reconnect on again.
  void Fresh() {
    auto transport = std::make_unique<ScriptedTransport>();
    t_ = transport.get();
    c_.NetForTesting().SetTransportForTesting(std::move(transport));
    c_.SetCompress(false);
    c_.SetConnectTimeout(5);
    c_.SetReconnect(true);
  }
  bool Connect() {
    return c_.ConnectToServer("script", "u", "p", "", 3306, "", true, wiretest::kEngineFlags);
  }

  // Runs kSelect stored: the rows as "id:nome" texts, or nullopt on failure.
  std::optional<std::vector<std::string>> Select() {
    bool ok = false;
    auto r = c_.Query(kSelect, true, ok);
    if (!ok || !r) return std::nullopt;
    std::vector<std::string> rows;
    for (r->First(); !r->AtEnd(); r->Next()) {
      rows.push_back(std::string(r->Value(0)) + ":" + (r->Value(1) ? r->Value(1) : "NULL"));
    }
    return rows;
  }
  // How many times the statement's text went out.
  int TimesSent() const {
    int n = 0;
    for (auto at = t_->Written().find(kSelect); at != std::string::npos;
         at = t_->Written().find(kSelect, at + 1)) {
      ++n;
    }
    return n;
  }

  const std::vector<std::string> kRows{"1:Ana", "2:NULL"};
  wire::TMysqlClient c_;
  ScriptedTransport* t_ = nullptr;
};

TEST_F(TransportFault, ShortReadsMakeWholePackets) {
  for (std::size_t piece : {1, 3, 5}) {
    Fresh();
    t_->Bytes(Login(), piece).Bytes(Rows(), piece);
    ASSERT_TRUE(Connect()) << piece << ": " << c_.ErrorMessage();
    c_.SetReconnect(false);
    EXPECT_EQ(Select(), kRows) << piece;
    EXPECT_EQ(c_.ErrorNumber(), 0);
    EXPECT_EQ(t_->Left(), 0u);
  }
}

TEST_F(TransportFault, InterruptedReadsAreRepeatedUnseen) {
  const Bytes login = Login();
  const Bytes rows = Rows();
  t_->Bytes(login.substr(0, 2)).Inject(Fault::kInterrupted).Bytes(login.substr(2));
  t_->Bytes(rows.substr(0, 9))
      .Inject(Fault::kInterrupted)
      .Inject(Fault::kInterrupted)
      .Bytes(rows.substr(9));
  ASSERT_TRUE(Connect()) << c_.ErrorMessage();
  c_.SetReconnect(false);
  EXPECT_EQ(Select(), kRows);
  EXPECT_EQ(c_.ErrorNumber(), 0);
  EXPECT_EQ(t_->Connects(), 1);
  EXPECT_EQ(TimesSent(), 1);
}

TEST_F(TransportFault, LostReplyWithoutReconnect) {
  // A reset, a read that runs out of time and the server closing mid-packet
  // all lose the reply alike: 2013, the connection closed, the client ready;
  // the next statement fails at once, nothing sent and the 2013 left.
  for (Fault fault : {Fault::kReset, Fault::kTimedOut, Fault::kClosed}) {
    Fresh();
    t_->Bytes(Login()).Bytes(Rows().substr(0, 6)).Inject(fault);
    ASSERT_TRUE(Connect()) << c_.ErrorMessage();
    c_.SetReconnect(false);
    EXPECT_EQ(Select(), std::nullopt) << static_cast<int>(fault);
    EXPECT_EQ(c_.ErrorNumber(), wire::CR_SERVER_LOST) << static_cast<int>(fault);
    EXPECT_FALSE(c_.Connected());
    EXPECT_EQ(c_.Status(), TClientStatus::kReady);
    const std::size_t written = t_->Written().size();
    EXPECT_EQ(Select(), std::nullopt);
    EXPECT_EQ(c_.ErrorNumber(), wire::CR_SERVER_LOST);
    EXPECT_EQ(t_->Written().size(), written);
    EXPECT_EQ(t_->Connects(), 1);
  }
}

TEST_F(TransportFault, LostPingReplyRepeatsTheStatementOnANewConnection) {
  t_->Bytes(Login()).Inject(Fault::kReset);
  t_->Bytes(Login()).Bytes(PingOk()).Bytes(Rows());
  ASSERT_TRUE(Connect()) << c_.ErrorMessage();
  EXPECT_EQ(Select(), kRows);
  EXPECT_EQ(c_.ErrorNumber(), 0);
  EXPECT_EQ(t_->Connects(), 2);
  EXPECT_EQ(TimesSent(), 2);
}

TEST_F(TransportFault, SecondLossIsReportedWithoutAThirdConnection) {
  t_->Bytes(Login()).Inject(Fault::kReset);
  t_->Bytes(Login()).Bytes(PingOk()).Inject(Fault::kReset);
  ASSERT_TRUE(Connect()) << c_.ErrorMessage();
  EXPECT_EQ(Select(), std::nullopt);
  EXPECT_EQ(c_.ErrorNumber(), wire::CR_SERVER_LOST);
  EXPECT_FALSE(c_.Connected());
  EXPECT_EQ(t_->Connects(), 2);
}

TEST_F(TransportFault, LossInsideATransactionIsNotRepeated) {
  support::Ok inTransaction;
  inTransaction.status = wire::SERVER_STATUS_IN_TRANS | wire::SERVER_STATUS_AUTOCOMMIT;
  t_->Bytes(Login()).Bytes(PingOk()).Bytes(support::Packet(support::OkPayload(inTransaction), 1));
  t_->Inject(Fault::kReset);
  t_->Bytes(Login()).Bytes(PingOk()).Bytes(Rows());
  ASSERT_TRUE(Connect()) << c_.ErrorMessage();
  bool ok = false;
  EXPECT_EQ(c_.Query("start transaction", true, ok), nullptr);
  ASSERT_TRUE(ok) << c_.ErrorMessage();
  ASSERT_TRUE(c_.ServerStatus() & wire::SERVER_STATUS_IN_TRANS);
  // The transaction died with its connection: the caller hears of it.
  EXPECT_EQ(Select(), std::nullopt);
  EXPECT_EQ(c_.ErrorNumber(), wire::CR_SERVER_LOST);
  EXPECT_EQ(t_->Connects(), 1);
  EXPECT_EQ(TimesSent(), 1);
  // The next statement runs on a new connection, outside any transaction.
  EXPECT_EQ(Select(), kRows);
  EXPECT_EQ(t_->Connects(), 2);
  EXPECT_FALSE(c_.ServerStatus() & wire::SERVER_STATUS_IN_TRANS);
}

TEST_F(TransportFault, FailedWrite) {
  // Without reconnect: 2006 and the connection closed.
  t_->Bytes(Login()).Inject(Fault::kWriteFails);
  ASSERT_TRUE(Connect()) << c_.ErrorMessage();
  c_.SetReconnect(false);
  EXPECT_EQ(Select(), std::nullopt);
  EXPECT_EQ(c_.ErrorNumber(), wire::CR_SERVER_GONE_ERROR);
  EXPECT_FALSE(c_.Connected());
  EXPECT_EQ(TimesSent(), 0);

  // With reconnect: the statement goes once, on a new connection.
  Fresh();
  t_->Bytes(Login()).Inject(Fault::kWriteFails).Bytes(Login()).Bytes(PingOk()).Bytes(Rows());
  ASSERT_TRUE(Connect()) << c_.ErrorMessage();
  EXPECT_EQ(Select(), kRows);
  EXPECT_EQ(t_->Connects(), 2);
  EXPECT_EQ(TimesSent(), 1);
}

TEST_F(TransportFault, RefusedReconnectReportsTheConnectError) {
  t_->Bytes(Login()).Inject(Fault::kReset).Inject(Fault::kRefused);
  ASSERT_TRUE(Connect()) << c_.ErrorMessage();
  EXPECT_EQ(Select(), std::nullopt);
  EXPECT_EQ(c_.ErrorNumber(), wire::CR_CONN_HOST_ERROR);
  EXPECT_FALSE(c_.Connected());
  EXPECT_EQ(c_.Status(), TClientStatus::kReady);
}

TEST_F(TransportFault, LostGreetingFailsTheConnect) {
  t_->Bytes(Login().substr(0, 10)).Inject(Fault::kReset);
  EXPECT_FALSE(Connect());
  EXPECT_EQ(c_.ErrorNumber(), wire::CR_SERVER_LOST);
  EXPECT_FALSE(c_.Connected());
}

}  // namespace
