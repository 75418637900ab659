// The fake server itself, driven with plain sockets: the bytes it sends are
// the bytes scripted, what it records is what the client sent, and its
// payload builders lay out the protocol's packets byte for byte.
#include "support/FakeServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using support::Bytes;
using support::FakeServer;
using support::FromHex;
using support::Hex;

// A plain blocking client socket.
class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawClient() { Close(); }

  bool Connected() const { return connected_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void Send(const Bytes& bytes) {
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Reads up to n bytes, stopping early at end of stream or after the wait.
  Bytes Read(size_t n, std::chrono::milliseconds wait = 2000ms) {
    Bytes out;
    while (out.size() < n) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) break;
      char buf[4096];
      ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
      if (got <= 0) {
        eof_ = got == 0;  // a reset is not an orderly end
        break;
      }
      out.append(buf, static_cast<size_t>(got));
    }
    return out;
  }
  bool SawEnd() const { return eof_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool eof_ = false;
};

TEST(FakeServer, SendsScriptedBytesAndRecordsClientPackets) {
  FakeServer server;
  support::Greeting g;
  g.version = "5.0.51";
  g.threadId = 0x01020304;
  g.seed = "ABCDEFGHijklmnopqrst";
  g.capabilities = 0xA22C;
  g.charset = 8;
  g.status = 2;
  server.SendPacket(support::GreetingPayload(g), 0).ReadPacket().ReadPacket().Close();

  RawClient client(server.Port());
  ASSERT_TRUE(client.Connected());
  // The greeting exactly as a 5.0 server lays it out: 52 payload bytes.
  const Bytes greeting = FromHex(
      "34 00 00 00 0a 35 2e 30 2e 35 31 00 04 03 02 01 41 42 43 44 45 46 47 48 00"
      " 2c a2 08 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
      " 69 6a 6b 6c 6d 6e 6f 70 71 72 73 74 00");
  EXPECT_EQ(Hex(client.Read(greeting.size())), Hex(greeting));

  const Bytes login = support::Packet(Bytes("login\0bytes", 11), 1);
  const Bytes query = support::Packet(Bytes(1, '\x03') + "select 1", 0);
  client.Send(login + query);
  EXPECT_EQ(client.Read(1), "");
  EXPECT_TRUE(client.SawEnd());
  ASSERT_TRUE(server.WaitIdle());
  EXPECT_EQ(server.Error(), "");
  ASSERT_EQ(server.Frames().size(), 2u);
  EXPECT_EQ(server.Frames()[0], login);
  EXPECT_EQ(server.Frames()[1], query);
  EXPECT_EQ(support::SequenceOf(server.Frames()[1]), 0);
  EXPECT_EQ(support::PayloadOf(server.Frames()[1]), "\x03select 1");
  EXPECT_EQ(server.Received(), login + query);
}

TEST(FakeServer, ReportsStepsThatCannotComplete) {
  {
    FakeServer server;
    server.SetStepTimeout(200ms);
    server.ReadPacket().Send("never sent");
    RawClient client(server.Port());
    ASSERT_TRUE(server.WaitIdle());
    EXPECT_EQ(server.Error(),
              "step 1 (read packet) failed: nothing arrived from the client in time");
    EXPECT_EQ(client.Read(1, 100ms), "");
  }
  {
    FakeServer server;
    server.ReadBytes(10);
    RawClient client(server.Port());
    client.Send("abc");
    client.Close();
    ASSERT_TRUE(server.WaitIdle());
    EXPECT_EQ(server.Error(),
              "step 1 (read 10 bytes) failed: client closed the connection after 3 of 10 bytes");
    EXPECT_EQ(server.Received(), "");
  }
  {
    FakeServer server;
    server.SetStepTimeout(100ms);
    server.Send("x");
    ASSERT_TRUE(server.WaitIdle());
    EXPECT_EQ(server.Error(), "step 1 (send 1 bytes) failed: no client connected");
  }
}

TEST(FakeServer, SilenceSleepAndSuccessiveConnections) {
  FakeServer server;
  server.StaySilent().Accept().Sleep(50ms).Send("second").ReadUntilClosed();

  RawClient first(server.Port());
  EXPECT_EQ(first.Read(1, 200ms), "");  // accepted, nothing sent
  EXPECT_FALSE(first.SawEnd());
  first.Send("ping?");
  first.Close();

  RawClient second(server.Port());
  EXPECT_EQ(second.Read(6), "second");
  second.Send("bye");
  second.Close();
  ASSERT_TRUE(server.WaitIdle());
  EXPECT_EQ(server.Error(), "");
  EXPECT_EQ(server.Connections(), 2);
  EXPECT_EQ(server.Received(), "ping?bye");
  ASSERT_EQ(server.Frames().size(), 1u);
  EXPECT_EQ(server.Frames()[0], "bye");
}

TEST(FakeServer, CloseAfterUnreadBytesIsAnOrderlyEnd) {
  FakeServer server;
  server.Send("hello").Do([](FakeServer::Session&) {
    std::this_thread::sleep_for(100ms);  // let the client's bytes arrive unread
    return true;
  });
  RawClient client(server.Port());
  EXPECT_EQ(client.Read(5), "hello");
  client.Send("unread");
  ASSERT_TRUE(server.WaitIdle());
  server.Close();
  ASSERT_TRUE(server.WaitIdle());
  EXPECT_EQ(client.Read(1), "");
  EXPECT_TRUE(client.SawEnd());
  EXPECT_EQ(server.Received(), "unread");
  EXPECT_TRUE(server.Frames().empty());
}

TEST(FakeServer, CompressedFramesBothWays) {
  const Bytes inner = support::Packet(Bytes(60, 'a'), 0);
  const Bytes packed = support::CompressedPacket(inner, 5, true);
  EXPECT_EQ(support::SequenceOf(packed), 5);
  EXPECT_EQ(Hex(packed.substr(4, 3)), "40 00 00");  // 64 bytes before compression
  EXPECT_LT(packed.size(), 7 + inner.size());
  EXPECT_EQ(support::DecodeCompressed(packed), inner);

  const Bytes plain = support::CompressedPacket(Bytes("\x01\x00\x00\x00\x0e", 5), 2, false);
  EXPECT_EQ(Hex(plain), "05 00 00 02 00 00 00 01 00 00 00 0e");
  EXPECT_EQ(support::DecodeCompressed(plain), Bytes("\x01\x00\x00\x00\x0e", 5));
  EXPECT_FALSE(support::DecodeCompressed(plain.substr(0, 9)).has_value());

  FakeServer server;
  server.ReadCompressedPacket().Send(packed);
  RawClient client(server.Port());
  client.Send(plain);
  EXPECT_EQ(client.Read(packed.size()), packed);
  ASSERT_TRUE(server.WaitIdle());
  ASSERT_EQ(server.Frames().size(), 1u);
  EXPECT_EQ(server.Frames()[0], plain);
}

TEST(FakeServer, CustomStepsSeeTheConnection) {
  FakeServer server;
  server.Do([](FakeServer::Session& s) {
    auto frame = s.ReadPacket();
    return frame && s.Send(support::Packet(support::PayloadOf(*frame) + "!", 1));
  });
  RawClient client(server.Port());
  client.Send(support::Packet("hi", 0));
  EXPECT_EQ(client.Read(7), support::Packet("hi!", 1));
  ASSERT_TRUE(server.WaitIdle());
  EXPECT_EQ(server.Error(), "");
}

// A whole exchange: greeting, login, OK, then a command answered plainly and
// one answered in a compressed packet, numbered on from what the client sent.
TEST(FakeServer, HandshakeAndReplies) {
  FakeServer server;
  support::Greeting g;
  g.version = "4.1.0-alpha";
  server.Handshake(g, support::OkPayload())
      .Reply({support::OkPayload()})
      .ReplyCompressed({support::ResultHeaderPayload(1), support::EofPayload()}, false)
      .ReplyCompressed({Bytes(80, 'r')}, true);

  RawClient client(server.Port());
  const Bytes greeting = support::Packet(support::GreetingPayload(g), 0);
  EXPECT_EQ(client.Read(greeting.size()), greeting);
  client.Send(support::Packet("login", 1));
  EXPECT_EQ(Hex(client.Read(11)), "07 00 00 02 00 00 00 02 00 00 00");

  client.Send(support::Packet("\x0e", 0));
  EXPECT_EQ(Hex(client.Read(11)), "07 00 00 01 00 00 00 02 00 00 00");

  client.Send(support::CompressedPacket(support::Packet("\x0e", 0), 4, false));
  EXPECT_EQ(Hex(client.Read(21)), "0e 00 00 05 00 00 00 01 00 00 05 01 05 00 00 06 fe 00 00 02 00");

  client.Send(support::CompressedPacket(support::Packet("\x03q", 0), 9, false));
  const Bytes head = client.Read(7);
  ASSERT_EQ(head.size(), 7u);
  EXPECT_EQ(support::SequenceOf(head), 10);
  const size_t length = static_cast<uint8_t>(head[0]);
  const auto inner = support::DecodeCompressed(head + client.Read(length));
  EXPECT_EQ(inner, support::Packet(Bytes(80, 'r'), 10));

  ASSERT_TRUE(server.WaitIdle());
  EXPECT_EQ(server.Error(), "");
  ASSERT_EQ(server.Frames().size(), 4u);
  EXPECT_EQ(server.Frames()[0], support::Packet("login", 1));
}

TEST(FakeServerPayloads, ByteLayouts) {
  support::Column id;
  id.name = id.orgName = "id";
  id.length = 11;
  id.type = 3;
  id.flags = 0x4203;
  support::Ok ok;
  ok.affectedRows = 3;
  ok.insertId = 3000000;
  ok.info = "Rows matched: 3";
  support::Ok old;
  old.withStatus = false;
  old.withWarnings = false;
  const struct {
    const char* what;
    Bytes actual;
    const char* expected;
  } cases[] = {
      {"length 250", support::LengthCoded(250), "fa"},
      {"length 251", support::LengthCoded(251), "fc fb 00"},
      {"length 65536", support::LengthCoded(65536), "fd 00 00 01"},
      {"length 2^24", support::LengthCoded(1 << 24), "fe 00 00 00 01 00 00 00 00"},
      {"length 8-byte form", support::LengthCoded8(5), "fe 05 00 00 00 00 00 00 00"},
      {"ok", support::OkPayload(ok),
       "00 03 fd c0 c6 2d 02 00 00 00 0f 52 6f 77 73 20 6d 61 74 63 68 65 64 3a 20 33"},
      {"ok pre-4.1", support::OkPayload(old), "00 00 00"},
      {"error short", support::ErrorPayload(1045, ""), "ff 15 04"},
      {"error", support::ErrorPayload(1064, "bad"), "ff 28 04 62 61 64"},
      {"error 4.1", support::ErrorPayload41(1062, "23000", "Dup"),
       "ff 26 04 23 32 33 30 30 30 44 75 70"},
      {"error protocol 9", support::ErrorPayload9("no"), "ff 6e 6f"},
      {"eof 4.1", support::EofPayload(true, 1, 0x22), "fe 01 00 22 00"},
      {"eof old", support::EofPayload(false), "fe"},
      {"column 4.1", support::ColumnPayload41(id),
       "03 64 65 66 0b 74 6f 6c 76 65 78 5f 74 65 73 74 01 74 01 74 02 69 64 02 69 64"
       " 0c 08 00 0b 00 00 00 03 03 42 00 00 00"},
      {"column old long flag", support::ColumnPayloadOld(id, true),
       "01 74 02 69 64 03 0b 00 00 01 03 03 03 42 00"},
      {"column old short flag", support::ColumnPayloadOld(id, false),
       "01 74 02 69 64 03 0b 00 00 01 03 02 03 00"},
      {"row", support::RowPayload({"12", std::nullopt, ""}), "02 31 32 fb 00"},
      {"protocol 9 greeting", support::Protocol9GreetingPayload("3.22", 1, "12345678"),
       "09 33 2e 32 32 00 01 00 00 00 31 32 33 34 35 36 37 38 00"},
      {"packet", support::Packet("\x0e", 0), "01 00 00 00 0e"},
      {"packets wrap", support::Packets({"a", "b"}, 255), "01 00 00 ff 61 01 00 00 00 62"},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(c.actual), c.expected) << c.what;
}

TEST(FakeServerPayloads, GreetingLayoutsAndResultSet) {
  support::Greeting g;
  g.version = "4.0.27";
  const size_t L = g.version.size();
  g.layout = support::Greeting::Layout::kSeedOnly;
  EXPECT_EQ(support::GreetingPayload(g).size(), L + 15);
  g.layout = support::Greeting::Layout::kCapabilities;
  EXPECT_EQ(support::GreetingPayload(g).size(), L + 17);
  g.layout = support::Greeting::Layout::kNoSecondSeed;
  EXPECT_EQ(support::GreetingPayload(g).size(), L + 33);
  g.layout = support::Greeting::Layout::kFull;
  EXPECT_EQ(support::GreetingPayload(g).size(), L + 46);

  support::Column c;
  c.name = "n";
  const Bytes rs = support::ResultSet({c}, {{"1"}, {std::nullopt}}, 1, false, false);
  const Bytes expected = support::Packet("\x01", 1) +
                         support::Packet(support::ColumnPayloadOld(c, false), 2) +
                         support::Packet("\xFE", 3) + support::Packet("\x01\x31", 4) +
                         support::Packet("\xFB", 5) + support::Packet("\xFE", 6);
  EXPECT_EQ(Hex(rs), Hex(expected));
}

}  // namespace
