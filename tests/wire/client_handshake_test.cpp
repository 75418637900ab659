// The connect against scripted servers: login packet layouts byte for byte,
// both password scrambles, the old-password and 4.1.0 exchanges, protocol
// 9 and unknown protocols, the initial database and a silent server.

#include <gtest/gtest.h>

#include <string>

#include "support/FakeServer.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire/MysqlProtocol.h"
#include "wire_test_support.h"

namespace {

using namespace wiretest;

const std::string kSeed = "abcdefgh12345678ijkl";

bool ConnectTo(FakeServer& s, TMysqlClient& c, const std::string& user, const std::string& password,
               const std::string& db, std::uint32_t flags = kEngineFlags) {
  c.SetConnectTimeout(5);
  return c.ConnectToServer(s.Host(), user, password, db, s.Port(), "", true, flags);
}

// The login payload the server received (the first frame recorded).
Bytes LoginPayload(const FakeServer& s) {
  auto frames = s.Frames();
  return frames.empty() ? Bytes() : PayloadOf(frames[0]);
}

Bytes Le4(std::uint32_t v) {
  return support::Int4(v);
}

TEST(ClientHandshake, LoginOfA50ServerWithCompressionAndDatabase) {
  FakeServer s;
  support::Greeting g;  // 5.0.51a, every capability but SSL, latin1
  g.charset = 8;
  s.SendPacket(support::GreetingPayload(g), 0).ReadPacket().SendPacket(support::OkPayload(), 2);
  // From the packet after the OK on, compressed: the ping goes out in a
  // 7-byte header, uncompressed (5 bytes), sequence 0.
  s.ReadCompressedPacket().Send(
      support::CompressedPacket(support::Packet(support::OkPayload(), 1), 1, false));

  TMysqlClient c;
  ASSERT_TRUE(ConnectTo(s, c, "tolve536", "kb71530264809", "t2tipafecf")) << c.ErrorMessage();
  EXPECT_TRUE(c.NetForTesting().Compress());
  EXPECT_EQ(c.ClientFlags(), 0x3E22Du);
  EXPECT_EQ(c.ServerVersion(), "5.0.51a-community");
  EXPECT_EQ(c.ThreadId(), 7u);
  EXPECT_EQ(c.ScrambleSeed(), kSeed);
  EXPECT_TRUE(c.Ping()) << c.ErrorMessage();
  ASSERT_TRUE(s.WaitIdle());
  ASSERT_EQ(s.Error(), "");

  const Bytes expected = Le4(0x3E22D) + Bytes("\x00\x00\x00\x01", 4) + "\x08" + Bytes(23, '\0') +
                         "tolve536" + Bytes(1, '\0') + "\x14" +
                         wire::ScrambleSha1("kb71530264809", kSeed) + "t2tipafecf" + Bytes(1, '\0');
  EXPECT_EQ(Hex(LoginPayload(s)), Hex(expected));
  EXPECT_EQ(support::SequenceOf(s.Frames()[0]), 1);
  EXPECT_EQ(Hex(s.Frames()[1]),
            Hex(Bytes("\x05\x00\x00\x00\x00\x00\x00", 7) + Bytes("\x01\x00\x00\x00\x0e", 5)));
}

TEST(ClientHandshake, OlderServerGetsTheShortHeaderAndThePre41Scramble) {
  FakeServer s;
  support::Greeting g;
  g.version = "3.23.58";
  g.capabilities = 0x000C;  // long flag, connect with database; no 4.1 flags
  g.layout = support::Greeting::Layout::kCapabilities;
  s.SendPacket(support::GreetingPayload(g), 0).ReadPacket().SendPacket(Bytes(1, '\0'), 2);
  TMysqlClient c;
  c.SetOldPasswords(true);  // the pre-4.1 scramble, asked for
  ASSERT_TRUE(ConnectTo(s, c, "u", "segredo", "base")) << c.ErrorMessage();
  ASSERT_TRUE(s.WaitIdle());
  EXPECT_EQ(c.ClientFlags(), 0x200Du);
  const Bytes expected = Bytes("\x0d\x20\x00\x00\x00", 5) + "u" + Bytes(1, '\0') +
                         wire::ScrambleOld("segredo", "abcdefgh") + Bytes(1, '\0') + "base" +
                         Bytes(1, '\0');
  EXPECT_EQ(Hex(LoginPayload(s)), Hex(expected));
  EXPECT_EQ(wire::ScrambleOld("segredo", "abcdefgh").size(), 8u);
}

TEST(ClientHandshake, EmptyPasswordAndCutNamesInBothLayouts) {
  const std::string user40(40, 'u');
  const std::string db80(80, 'd');
  for (bool protocol41 : {true, false}) {
    FakeServer s;
    support::Greeting g;
    if (!protocol41) {
      g.capabilities = 0x000C;
      g.layout = support::Greeting::Layout::kCapabilities;
    }
    s.SendPacket(support::GreetingPayload(g), 0).ReadPacket().SendPacket(Bytes(1, '\0'), 2);
    TMysqlClient c;
    c.SetCompress(false);
    ASSERT_TRUE(ConnectTo(s, c, user40, "", db80)) << c.ErrorMessage();
    ASSERT_TRUE(s.WaitIdle());
    const Bytes login = LoginPayload(s);
    const std::size_t header = protocol41 ? 32 : 5;
    EXPECT_EQ(Hex(login.substr(header)),
              Hex(std::string(32, 'u') + Bytes(2, '\0') + std::string(64, 'd') + Bytes(1, '\0')))
        << "protocol41=" << protocol41;
  }
}

TEST(ClientHandshake, OldPasswordAccountAnswersThe254WithNineBytes) {
  FakeServer s;
  support::Greeting g;
  s.SendPacket(support::GreetingPayload(g), 0)
      .ReadPacket()
      .SendPacket("\xFE", 2)
      .ReadPacket()
      .SendPacket(support::OkPayload(), 4);
  TMysqlClient c;
  c.SetCompress(false);
  c.SetOldPasswords(true);
  ASSERT_TRUE(ConnectTo(s, c, "oldpw", "velha123", "")) << c.ErrorMessage();
  ASSERT_TRUE(s.WaitIdle());
  ASSERT_EQ(s.Frames().size(), 2u);
  EXPECT_EQ(support::SequenceOf(s.Frames()[1]), 3);
  EXPECT_EQ(Hex(PayloadOf(s.Frames()[1])),
            Hex(wire::ScrambleOld("velha123", "abcdefgh") + Bytes(1, '\0')));
}

TEST(ClientHandshake, Server410SecureLoginAndItsChallenge) {
  for (bool starred : {false, true}) {
    FakeServer s;
    support::Greeting g;
    g.version = "4.1.0-alpha";
    g.capabilities = 0xA20C;  // secure connection, 4.1 flags
    Bytes challenge = (starred ? Bytes("*") : Bytes("q")) + "abc" + "01234567890123456789";
    s.SendPacket(support::GreetingPayload(g), 0)
        .ReadPacket()
        .SendPacket(challenge, 2)
        .ReadPacket()
        .SendPacket(support::OkPayload(), 4);
    TMysqlClient c;
    c.SetOldPasswords(true);  // the pre-4.1 scramble, asked for
    ASSERT_TRUE(ConnectTo(s, c, "u", "pass word", "")) << c.ErrorMessage();
    ASSERT_TRUE(s.WaitIdle());
    EXPECT_TRUE(c.ServerIs410());
    const Bytes login = LoginPayload(s);
    EXPECT_EQ(login.substr(34), Bytes("xxxxxxxx\0\0", 10));
    ASSERT_EQ(s.Frames().size(), 2u);
    const Bytes answer = PayloadOf(s.Frames()[1]);
    EXPECT_EQ(answer.size(), 20u);
    EXPECT_EQ(Hex(answer),
              Hex(wire::Scramble410Answer(
                  "pass word", reinterpret_cast<const std::uint8_t*>(challenge.data()))));
  }
}

TEST(ClientHandshake, GreetingOfProtocol9AndItsErrorPackets) {
  FakeServer s;
  s.SendPacket(support::Protocol9GreetingPayload(), 0)
      .ReadPacket()
      .SendPacket(Bytes(1, '\0'), 2)
      .ReadPacket()
      .SendPacket(support::ErrorPayload9("Unknown command"), 1);
  TMysqlClient c;
  c.SetOldPasswords(true);  // the pre-4.1 scramble, asked for
  ASSERT_TRUE(ConnectTo(s, c, "u", "p", "")) << c.ErrorMessage();
  EXPECT_EQ(c.ProtocolVersion(), 9);
  EXPECT_EQ(c.ServerVersion(), "3.22.32");
  EXPECT_EQ(c.ServerCapabilities(), 0u);
  EXPECT_FALSE(c.Ping());
  EXPECT_EQ(c.ErrorNumber(), wire::CR_UNKNOWN_ERROR);
  EXPECT_EQ(c.ErrorMessage(), "Unknown command");
  EXPECT_TRUE(c.Connected());
  ASSERT_TRUE(s.WaitIdle());
  // The older layout with the pre-4.1 scramble.
  EXPECT_EQ(LoginPayload(s).substr(0, 5), Bytes("\x05\x20\x00\x00\x00", 5));
}

TEST(ClientHandshake, UnknownProtocolVersion) {
  FakeServer s;
  support::Greeting g;
  g.protocol = 11;
  s.SendPacket(support::GreetingPayload(g), 0).ReadUntilClosed();
  TMysqlClient c;
  EXPECT_FALSE(ConnectTo(s, c, "u", "p", ""));
  EXPECT_EQ(c.ErrorNumber(), wire::CR_VERSION_ERROR);
  EXPECT_EQ(c.ErrorMessage(), "Protocol mismatch. Server Version = 11 Client Version = 10");
  EXPECT_FALSE(c.Connected());
}

TEST(ClientHandshake, DatabaseSelectedAfterLoginWhenTheServerCannotTakeItInTheLogin) {
  FakeServer s;
  support::Greeting g;
  g.capabilities = 0xF7FF & ~0x0008 & ~0x0020;  // no CONNECT_WITH_DB, no compression
  s.SendPacket(support::GreetingPayload(g), 0)
      .ReadPacket()
      .SendPacket(support::OkPayload(), 2)
      .ReadPacket()
      .SendPacket(support::OkPayload(), 1);
  TMysqlClient c;
  ASSERT_TRUE(ConnectTo(s, c, "u", "", "vendas")) << c.ErrorMessage();
  ASSERT_TRUE(s.WaitIdle());
  ASSERT_EQ(s.Frames().size(), 2u);
  // The login ends with user, empty auth and the empty database name.
  EXPECT_EQ(Hex(LoginPayload(s).substr(32)), Hex(Bytes("u\0\0\0", 4)));
  EXPECT_EQ(Hex(s.Frames()[1]), Hex(support::Packet("\x02vendas", 0)));
  EXPECT_EQ(c.Database(), "vendas");
}

TEST(ClientHandshake, FailuresDuringLogin) {
  {
    // The server refuses the login: its number and text, connection closed.
    FakeServer s;
    support::Greeting g;
    s.SendPacket(support::GreetingPayload(g), 0)
        .ReadPacket()
        .SendPacket(support::ErrorPayload41(1045, "28000", "Access denied for user 'u'"), 2);
    TMysqlClient c;
    EXPECT_FALSE(ConnectTo(s, c, "u", "p", ""));
    EXPECT_EQ(c.ErrorNumber(), 1045);
    EXPECT_EQ(c.ErrorMessage(), "Access denied for user 'u'");
    EXPECT_FALSE(c.Connected());
  }
  {
    // The greeting never completes.
    FakeServer s;
    s.Send(Bytes("\x30\x00\x00\x00\x0a", 5)).Close();
    TMysqlClient c;
    EXPECT_FALSE(ConnectTo(s, c, "u", "p", ""));
    EXPECT_EQ(c.ErrorNumber(), wire::CR_SERVER_LOST);
    EXPECT_EQ(c.ErrorMessage(), "Lost connection to MySQL server during query");
  }
  {
    // A greeting whose version text runs to the end of the packet.
    FakeServer s;
    s.SendPacket(
         "\x0a"
         "5.0.51",
         0)
        .ReadUntilClosed();
    TMysqlClient c;
    EXPECT_FALSE(ConnectTo(s, c, "u", "p", ""));
    EXPECT_EQ(c.ErrorNumber(), wire::CR_SERVER_LOST);
  }
  {
    // An authentication answer this client does not speak.
    FakeServer s;
    support::Greeting g;
    s.SendPacket(support::GreetingPayload(g), 0)
        .ReadPacket()
        .SendPacket(Bytes("\xFE"
                          "client_ed25519\0",
                          16),
                    2)
        .ReadUntilClosed();
    TMysqlClient c;
    EXPECT_FALSE(ConnectTo(s, c, "u", "p", ""));
    EXPECT_EQ(c.ErrorNumber(), wire::CR_SERVER_HANDSHAKE_ERR);
    EXPECT_EQ(c.ErrorMessage(), "Error in server handshake");
    EXPECT_FALSE(c.Connected());
  }
  {
    // No host at all.
    TMysqlClient c;
    EXPECT_FALSE(c.ConnectToServer("", "u", "p", "", 0, "", true, 0));
    EXPECT_EQ(c.ErrorNumber(), wire::CR_UNKNOWN_HOST);
  }
}

TEST(ClientHandshake, SilentServerTimesOutWith2003) {
  FakeServer s;
  s.StaySilent();
  TMysqlClient c;
  c.SetConnectTimeout(1);
  EXPECT_FALSE(c.ConnectToServer(s.Host(), "u", "p", "", s.Port(), "", true, 0));
  EXPECT_EQ(c.ErrorNumber(), wire::CR_CONN_HOST_ERROR);
  EXPECT_EQ(c.ErrorMessage(), "Can't connect to MySQL server on '127.0.0.1' (110)");
  EXPECT_FALSE(c.Connected());
}

TEST(ClientHandshake, LongHostIsCutTo64InTheMessage) {
  TMysqlClient c;
  c.SetConnectTimeout(2);
  const std::string host = std::string(70, 'h') + ".invalid";
  EXPECT_FALSE(c.ConnectToServer(host, "u", "p", "", 3306, "", true, 0));
  EXPECT_EQ(c.ErrorNumber(), wire::CR_UNKNOWN_HOST);
  EXPECT_EQ(c.ErrorMessage().rfind("Unknown MySQL Server Host '" + std::string(64, 'h') + "' (", 0),
            0u)
      << c.ErrorMessage();
}

TEST(ClientHandshake, ConnectOnAnOpenChannelChangesNothing) {
  FakeServer s;
  support::Greeting g;
  s.SendPacket(support::GreetingPayload(g), 0).ReadPacket().SendPacket(support::OkPayload(), 2);
  TMysqlClient c;
  c.SetCompress(false);
  ASSERT_TRUE(ConnectTo(s, c, "u", "p", ""));
  ASSERT_TRUE(s.WaitIdle());
  EXPECT_TRUE(c.ConnectToServer("elsewhere", "x", "y", "", 1, "", true, 0));
  EXPECT_EQ(c.Host(), "127.0.0.1");
  EXPECT_EQ(s.Connections(), 1);
  EXPECT_EQ(c.NetForTesting().Vio().Connect(wire::kVioTcp, "127.0.0.1", true, 1, s.Port(), ""),
            -20);
}

TEST(ClientHandshake, NamedPipeModeFallsBackToTcp) {
  FakeServer s;
  support::Greeting g;
  s.SendPacket(support::GreetingPayload(g), 0).ReadPacket().SendPacket(support::OkPayload(), 2);
  TMysqlClient c;
  c.SetNamedPipeMode(true);
  c.SetCompress(false);
  c.SetConnectTimeout(5);
  ASSERT_TRUE(c.ConnectToServer(s.Host(), "u", "p", "", s.Port(), "MySQL", true, kEngineFlags))
      << c.ErrorMessage();
  EXPECT_EQ(c.NetForTesting().Kind(), wire::kVioTcp);
  EXPECT_EQ(c.PipeName(), "");
  EXPECT_EQ(c.ErrorNumber(), 0);
  // Without the fallback the pipe's own error stands.
  TMysqlClient d;
  d.SetNamedPipeMode(true);
  EXPECT_FALSE(d.ConnectToServer(s.Host(), "u", "p", "", s.Port(), "MySQL", false, 0));
  EXPECT_EQ(d.ErrorNumber(), wire::CR_NAMEDPIPEOPEN_ERROR);
  EXPECT_EQ(d.ErrorMessage(), "Can't open named pipe to host: .  pipe: MySQL (2)");
}

// Without old passwords allowed, a request for the pre-4.1 scramble ends
// the connect and not one byte of the scramble is sent: neither after a
// lone 254, nor in the login packet a greeting without 4.1 authentication
// would get.
TEST(ClientHandshake, OldScrambleIsRefusedUnlessAllowed) {
  {
    FakeServer s;
    s.SendPacket(support::GreetingPayload(support::Greeting()), 0)
        .ReadPacket()
        .SendPacket("\xFE", 2)
        .ReadUntilClosed();
    TMysqlClient c;
    c.SetCompress(false);
    EXPECT_FALSE(ConnectTo(s, c, "oldpw", "velha123", ""));
    ASSERT_TRUE(s.WaitIdle());
    EXPECT_EQ(c.ErrorNumber(), wire::CR_SECURE_AUTH);
    EXPECT_EQ(c.ErrorMessage(),
              "Connection using old (pre-4.1.1) authentication protocol refused (client option "
              "'secure_auth' enabled)");
    EXPECT_FALSE(c.Connected());
    ASSERT_EQ(s.Frames().size(), 2u);  // the login, then what came until the close
    EXPECT_EQ(s.Frames()[1], "");
  }
  {
    FakeServer s;
    support::Greeting g;
    g.capabilities = 0xF7FF & ~0x8000;  // no 4.1 authentication
    s.SendPacket(support::GreetingPayload(g), 0).ReadUntilClosed();
    TMysqlClient c;
    EXPECT_FALSE(ConnectTo(s, c, "oldpw", "velha123", ""));
    ASSERT_TRUE(s.WaitIdle());
    EXPECT_EQ(c.ErrorNumber(), wire::CR_SECURE_AUTH);
    EXPECT_EQ(s.Received(), "");
  }
}

// A greeting without TLS (a server without it, or the bit cleared on the
// way) ends a connect that asked for TLS before any login byte is sent.
TEST(ClientHandshake, TlsRequestedFromAServerWithoutItFailsBeforeTheLogin) {
  const struct {
    bool sslMode;
    wire::TlsMode mode;
    bool pin;
  } casos[] = {{true, wire::TlsMode::Off, false},
               {false, wire::TlsMode::Required, false},
               {false, wire::TlsMode::VerifyCa, false},
               {false, wire::TlsMode::VerifyHost, false},
               {false, wire::TlsMode::Preferred, true}};
  for (const auto& k : casos) {
    FakeServer s;
    support::Greeting g;  // no CLIENT_SSL offered
    s.SendPacket(support::GreetingPayload(g), 0).ReadUntilClosed();
    TMysqlClient c;
    c.SetSslMode(k.sslMode);
    wire::TTlsOptions tls{k.mode, {}, {}};
    if (k.pin) tls.fingerprint = wire::TFingerprint{};
    c.SetTlsOptions(tls);
    EXPECT_FALSE(ConnectTo(s, c, "u", "p", "",
                           kEngineFlags | (k.sslMode ? std::uint32_t{wire::CLIENT_SSL} : 0u)));
    ASSERT_TRUE(s.WaitIdle());
    EXPECT_EQ(c.ErrorNumber(), wire::CR_SSL_CONNECTION_ERROR) << static_cast<int>(k.mode);
    EXPECT_EQ(c.ErrorMessage(), "SSL connection error: the server does not offer TLS");
    EXPECT_EQ(s.Received(), "") << static_cast<int>(k.mode);
    EXPECT_FALSE(c.Connected());
  }
  // Preferred goes on in clear.
  FakeServer s;
  s.SendPacket(support::GreetingPayload(support::Greeting()), 0)
      .ReadPacket()
      .SendPacket(support::OkPayload(), 2);
  TMysqlClient c;
  c.SetCompress(false);
  c.SetTlsOptions({wire::TlsMode::Preferred, {}, {}});
  ASSERT_TRUE(ConnectTo(s, c, "u", "p", "")) << c.ErrorMessage();
  EXPECT_EQ(c.ClientFlags() & wire::CLIENT_SSL, 0u);
  EXPECT_EQ(c.NetForTesting().Kind(), wire::kVioTcp);
}

TEST(ClientHandshake, TlsHandshakeFailureIsReportedWithTheOpenSslError) {
  FakeServer s;
  support::Greeting g;
  g.capabilities = 0xFFFF;  // SSL offered
  // The server takes the TLS request, then answers the client hello with
  // something that is not TLS.
  s.SendPacket(support::GreetingPayload(g), 0)
      .ReadPacket()
      .ReadBytes(5)
      .Send(Bytes(64, 'x'))
      .Close();
  TMysqlClient c;
  c.SetSslMode(true);
  EXPECT_FALSE(ConnectTo(s, c, "u", "p", "", kEngineFlags | wire::CLIENT_SSL));
  ASSERT_TRUE(s.WaitIdle());
  // The request is the 32-byte header part of the login alone.
  EXPECT_EQ(PayloadOf(s.Frames()[0]).size(), 32u);
  EXPECT_EQ(PayloadOf(s.Frames()[0]).substr(0, 4), Le4(0x3EA25));
  EXPECT_EQ(c.ErrorNumber(), wire::CR_SSL_CONNECTION_ERROR);
  EXPECT_EQ(c.ErrorMessage().rfind("SSL connection error: ", 0), 0u) << c.ErrorMessage();
  EXPECT_GT(c.ErrorMessage().size(), std::string("SSL connection error: ").size());
  EXPECT_FALSE(c.SslMode());
  EXPECT_FALSE(c.Connected());
}

}  // namespace
