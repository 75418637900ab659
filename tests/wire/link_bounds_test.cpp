// The link's bounds: a silent server ends a read after the connection's
// timeout, an interruption ends a wait that has no limit, the socket
// watches a silent link itself, and the ping leaves with its statement (one
// wait for both, the same bytes, against scripted and real servers).

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/FakeServer.h"
#include "support/Proxy.h"
#include "support/Sandbox.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire_test_support.h"

namespace {

using namespace wiretest;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int TcpOption(int fd, int option) {
  int value = -1;
  socklen_t size = sizeof value;
  ::getsockopt(fd, IPPROTO_TCP, option, &value, &size);
  return value;
}

TEST(WireLink, SilentServerEndsTheStatementAfterTheTimeout) {
  FakeServer s;
  ScriptLogin(s);
  s.StaySilent();
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c, 1)) << c.ErrorMessage();
  // The socket notices a dead link on its own: short keep-alive probes, and
  // unacknowledged data gives up after the timeout.
  const int fd = c.NetForTesting().Vio().Socket();
  EXPECT_EQ(TcpOption(fd, TCP_KEEPIDLE), wire::kKeepAliveIdleSeconds);
  EXPECT_EQ(TcpOption(fd, TCP_KEEPINTVL), wire::kKeepAliveIntervalSeconds);
  EXPECT_EQ(TcpOption(fd, TCP_KEEPCNT), wire::kKeepAliveCount);
  EXPECT_EQ(TcpOption(fd, TCP_USER_TIMEOUT), 1000);

  c.SetReconnect(false);
  bool ok = true;
  const auto start = Clock::now();
  EXPECT_EQ(c.Query("select 1", true, ok), nullptr);
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.ErrorNumber(), wire::CR_SERVER_LOST);
  EXPECT_FALSE(c.Connected());
  const double took = SecondsSince(start);
  EXPECT_GE(took, 0.9);
  EXPECT_LT(took, 10.0);
}

TEST(WireLink, InterruptionEndsAWaitWithoutLimitAndResumeLetsWaitsRun) {
  FakeServer s;
  ScriptLogin(s);
  s.StaySilent();
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c, 0)) << c.ErrorMessage();  // 0: no limit of its own
  c.SetReconnect(false);
  std::thread interrupt([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    wire::InterruptWaits();
  });
  bool ok = true;
  const auto start = Clock::now();
  EXPECT_EQ(c.Query("select 1", true, ok), nullptr);
  interrupt.join();
  EXPECT_EQ(c.ErrorNumber(), wire::CR_SERVER_LOST);
  EXPECT_LT(SecondsSince(start), 5.0);
  EXPECT_TRUE(wire::WaitsInterrupted());

  // While interrupted, a connect gives up at once instead of waiting for
  // the greeting; afterwards a connect works again.
  FakeServer t;
  ScriptLogin(t);
  TMysqlClient d;
  EXPECT_FALSE(Connect(t, d, 5));
  EXPECT_EQ(d.ErrorNumber(), wire::CR_CONN_HOST_ERROR);
  wire::ResumeWaits();
  EXPECT_FALSE(wire::WaitsInterrupted());
  FakeServer u;
  ScriptLogin(u);
  TMysqlClient e;
  EXPECT_TRUE(Connect(u, e, 5)) << e.ErrorMessage();
}

TEST(WireLink, TlsHandshakeWithASilentServerGivesUp) {
  FakeServer s;
  support::Greeting g;
  g.capabilities = 0xFFFF;  // offers TLS
  s.SendPacket(support::GreetingPayload(g), 0).ReadPacket().StaySilent();
  TMysqlClient c;
  c.SetSslMode(true);
  const auto start = Clock::now();
  EXPECT_FALSE(Connect(s, c, 1));
  EXPECT_FALSE(c.Connected());
  EXPECT_LT(SecondsSince(start), 10.0);
}

TEST(WireLink, PingAndStatementLeaveTogetherWithTheirOwnBytes) {
  FakeServer s;
  ScriptLogin(s);
  // Both packets are read before the ping is answered: a client that waited
  // for the ping's reply would never send the statement.
  s.ReadPacket().ReadPacket();
  support::Ok three;
  three.affectedRows = 3;
  s.SendPacket(support::OkPayload(), 1).SendPacket(support::OkPayload(three), 1);
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c, 5)) << c.ErrorMessage();
  bool ok = false;
  EXPECT_EQ(c.Query("update t set v=1", true, ok), nullptr);
  EXPECT_TRUE(ok) << c.ErrorMessage();
  EXPECT_EQ(c.AffectedRows(), 3u);
  ASSERT_TRUE(s.WaitIdle()) << s.Error();
  const std::vector<support::Bytes> frames = s.Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1], support::Bytes("\x01\x00\x00\x00\x0e", 5));
  EXPECT_EQ(frames[2], support::Packet("\x03update t set v=1", 0));
}

TEST(WireLink, RefusedPingDropsTheConnectionWithTheStatementsReply) {
  FakeServer s;
  ScriptLogin(s);
  s.ReadPacket().ReadPacket();
  s.SendPacket(support::ErrorPayload41(1047, "08S01", "Unknown command"), 1);
  s.SendPacket(support::OkPayload(), 1);
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c, 5)) << c.ErrorMessage();
  c.SetReconnect(true);
  bool ok = true;
  EXPECT_EQ(c.Query("do 1", true, ok), nullptr);
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.ErrorNumber(), 1047);
  // The statement's reply is not left for the next command to read.
  EXPECT_FALSE(c.Connected());
}

class WireLinkSandbox : public support::SandboxTest {};

TEST_F(WireLinkSandbox, OneExchangePerStatementPlainAndCompressed) {
  support::Proxy proxy(Host(), Port());
  const std::string big = "select '" + std::string(20000, 'x') + "'";
  for (bool compress : {false, true}) {
    TMysqlClient c;
    c.SetConnectTimeout(5);
    c.SetCompress(compress);
    ASSERT_TRUE(c.ConnectToServer("127.0.0.1", kRootUser, kRootPassword, kTestDatabase,
                                  proxy.Port(), "", false, 0))
        << c.ErrorMessage();
    const long long before = proxy.Exchanges();
    for (int i = 0; i < 10; ++i) {
      bool ok = false;
      auto r = c.Query("select " + std::to_string(i), true, ok);
      ASSERT_TRUE(ok && r) << c.ErrorMessage();
      EXPECT_EQ(r->Value(0), std::to_string(i));
    }
    // A statement longer than the packet buffer goes out in several blocks
    // (in compressed mode several numbered packets) and still in one wait.
    bool ok = false;
    auto r = c.Query(big, true, ok);
    ASSERT_TRUE(ok && r) << compress << ": " << c.ErrorMessage();
    EXPECT_EQ(std::string(r->Value(0)), std::string(20000, 'x'));
    EXPECT_EQ(proxy.Exchanges() - before, 11) << "compress=" << compress;
  }
}

TEST_F(WireLinkSandbox, CutLinkIsReconnectedAndTheStatementRunsOnce) {
  support::Proxy proxy(Host(), Port());
  TMysqlClient c;
  c.SetConnectTimeout(5);
  ASSERT_TRUE(c.ConnectToServer("127.0.0.1", kRootUser, kRootPassword, kTestDatabase, proxy.Port(),
                                "", false, 0))
      << c.ErrorMessage();
  bool ok = false;
  c.Query("create or replace table link_once (id int auto_increment primary key)", true, ok);
  ASSERT_TRUE(ok) << c.ErrorMessage();
  proxy.Cut();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  c.Query("insert into link_once values ()", true, ok);
  EXPECT_TRUE(ok) << c.ErrorMessage();
  auto r = c.Query("select count(*) from link_once", true, ok);
  ASSERT_TRUE(ok && r) << c.ErrorMessage();
  EXPECT_EQ(std::string(r->Value(0)), "1");
  EXPECT_EQ(proxy.Accepted(), 2);
  c.Query("drop table link_once", true, ok);
}

}  // namespace
