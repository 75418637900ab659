// The packet layer over a socketpair: framing, sequence numbers, the
// compression threshold, buffer growth and shrinking, the size limits and
// the error handling of SafeRead.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>

#include "support/FakeServer.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlNet.h"

namespace {

using support::Bytes;
using support::Hex;
using wire::TMysqlNet;

// A packet layer on one end of a socketpair; the test plays the server on
// the other end.
class NetPair : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    ASSERT_EQ(net_.Attach(fds[0]), 0);
    peer_ = fds[1];
  }
  void TearDown() override {
    net_.Close();
    if (peer_ >= 0) ::close(peer_);
  }
  void PeerSend(const Bytes& b) {
    ASSERT_EQ(::send(peer_, b.data(), b.size(), MSG_NOSIGNAL), static_cast<ssize_t>(b.size()));
  }
  // Everything the client has sent so far (non-blocking).
  Bytes PeerReceive() {
    Bytes out;
    char buf[65536];
    for (;;) {
      ssize_t n = ::recv(peer_, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }
  std::string Payload(long n) const {
    return std::string(reinterpret_cast<const char*>(net_.ReadPos()), static_cast<std::size_t>(n));
  }

  TMysqlNet net_;
  int peer_ = -1;
};

TEST_F(NetPair, CommandFramingAndSequence) {
  net_.Clear();
  ASSERT_EQ(net_.WriteCommand(3, "select 1", 8), 0);
  EXPECT_EQ(Hex(PeerReceive()), Hex(Bytes("\x09\x00\x00\x00\x03select 1", 13)));
  // Packets run on from the counter; 255 wraps to 0.
  for (int i = 0; i < 255; ++i) ASSERT_EQ(net_.WritePacket("", 0), 0);
  ASSERT_EQ(net_.WritePacket("z", 1), 0);
  ASSERT_EQ(net_.Flush(), 0);
  Bytes sent = PeerReceive();
  ASSERT_EQ(sent.size(), 255u * 4 + 5);
  EXPECT_EQ(static_cast<unsigned char>(sent[3]), 1);
  EXPECT_EQ(static_cast<unsigned char>(sent[254 * 4 + 3]), 255);
  EXPECT_EQ(Hex(sent.substr(255 * 4)), Hex(Bytes("\x01\x00\x00\x00z", 5)));
}

TEST_F(NetPair, CompressionThreshold) {
  net_.SetCompress(true);
  struct Case {
    const char* what;
    Bytes argument;
    bool compressed;
  } cases[] = {
      {"49 bytes with header", Bytes(44, 'a'), false},
      {"50 bytes of repeats", Bytes(45, 'a'), true},
      {"50 bytes that do not shrink", "", false},
  };
  std::mt19937 random(7);
  for (char& c : cases[2].argument = Bytes(45, ' ')) c = static_cast<char>(random());
  for (const Case& k : cases) {
    net_.Clear();
    ASSERT_EQ(net_.WriteCommand(3, k.argument.data(), k.argument.size()), 0);
    Bytes frame = PeerReceive();
    ASSERT_GE(frame.size(), 7u) << k.what;
    auto data = support::DecodeCompressed(frame);
    ASSERT_TRUE(data) << k.what;
    EXPECT_EQ(*data, support::Packet("\x03" + k.argument, 0)) << k.what;
    EXPECT_EQ(static_cast<unsigned char>(frame[3]), 0) << k.what;  // outer sequence
    const std::uint32_t third = static_cast<unsigned char>(frame[4]) |
                                static_cast<unsigned char>(frame[5]) << 8 |
                                static_cast<unsigned char>(frame[6]) << 16;
    if (k.compressed) {
      EXPECT_EQ(third, 50u) << k.what;
      EXPECT_LT(frame.size(), 7u + 50u) << k.what;
    } else {
      EXPECT_EQ(third, 0u) << k.what;
      EXPECT_EQ(frame.size(), 7u + 5u + k.argument.size()) << k.what;
    }
  }
}

TEST_F(NetPair, ReadsPlainPacketsAndChecksTheSequence) {
  net_.Clear();
  PeerSend(support::Packet("hello", 0) + support::Packet("", 1) + support::Packet("x", 3));
  ASSERT_EQ(net_.ReadPacket(), 5);
  EXPECT_EQ(Payload(5), "hello");
  EXPECT_EQ(net_.ReadPos()[5], 0);  // terminated
  // An empty packet or a sequence out of order is a lost connection.
  EXPECT_EQ(net_.SafeRead(0), -1);
  EXPECT_EQ(net_.ErrorNumber(), wire::CR_SERVER_LOST);
  EXPECT_EQ(net_.ErrorMessage(), "Lost connection to MySQL server during query");
  EXPECT_FALSE(net_.IsConnected());
}

TEST_F(NetPair, SequenceOffByOneEndsTheConnection) {
  net_.Clear();
  PeerSend(support::Packet("late", 1));
  EXPECT_EQ(net_.SafeRead(0), -1);
  EXPECT_EQ(net_.ErrorNumber(), wire::CR_SERVER_LOST);
  EXPECT_FALSE(net_.IsConnected());
}

TEST_F(NetPair, ErrorPackets) {
  struct Case {
    const char* what;
    int protocol;
    std::uint32_t flags;
    Bytes payload;
    int number;
    std::string message;
  } cases[] = {
      {"4.1 with state", 10, 0x4000,
       support::ErrorPayload41(1146, "42S02", "Table 'x' doesn't exist"), 1146,
       "Table 'x' doesn't exist"},
      {"4.1 state kept without the flag", 10, 0, support::ErrorPayload41(1146, "42S02", "T"), 1146,
       "#42S02T"},
      {"older", 10, 0x4000, support::ErrorPayload(1064, "syntax"), 1064, "syntax"},
      {"3 bytes", 10, 0x4000, support::ErrorPayload(1064, ""), 2000, "Unknown MySQL error"},
      {"protocol 9", 9, 0, support::ErrorPayload9("old text"), 2000, "old text"},
      {"300 characters", 10, 0, support::ErrorPayload(1105, std::string(300, 'e')), 1105,
       std::string(199, 'e')},
      {"state cut short", 10, 0x4000, support::ErrorPayload(1105, "#42"), 1105, ""},
  };
  for (const Case& k : cases) {
    net_.SetProtocolVersion(k.protocol);
    net_.Clear();
    PeerSend(support::Packet(k.payload, 0));
    EXPECT_EQ(net_.SafeRead(k.flags), -1) << k.what;
    EXPECT_EQ(net_.ErrorNumber(), k.number) << k.what;
    EXPECT_EQ(net_.ErrorMessage(), k.message) << k.what;
    EXPECT_TRUE(net_.IsConnected()) << k.what;
  }
}

TEST_F(NetPair, BufferGrowsInPagesAndShrinksWhenIdle) {
  net_.Clear();
  const Bytes big(20000, 'g');
  PeerSend(support::Packet(big, 0));
  ASSERT_EQ(net_.ReadPacket(), 20000);
  EXPECT_EQ(net_.BufferSize(), 20480u);
  EXPECT_EQ(Payload(20000), big);
  EXPECT_TRUE(net_.Shrink());
  EXPECT_EQ(net_.BufferSize(), wire::kNetBufferLength);
  // Still works after shrinking.
  PeerSend(support::Packet("after", 1));
  ASSERT_EQ(net_.ReadPacket(), 5);
  EXPECT_EQ(Payload(5), "after");
}

TEST_F(NetPair, SizeLimits) {
  net_.Clear();
  // Refused before anything is sent.
  const Bytes huge(0xFFFFFF, 'h');
  EXPECT_EQ(net_.WritePacket(huge.data(), huge.size()), 1);
  EXPECT_EQ(net_.ErrorNumber(), wire::ER_NET_PACKET_TOO_LARGE);
  EXPECT_EQ(net_.WriteCommand(3, huge.data(), huge.size()), 1);
  EXPECT_EQ(PeerReceive(), "");

  // 0xFFFFFE bytes go out.
  std::thread reader([&] {
    std::size_t total = 0;
    char buf[65536];
    while (total < 0xFFFFFE + 4) {
      ssize_t n = ::recv(peer_, buf, sizeof buf, 0);
      if (n <= 0) break;
      total += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(total, 0xFFFFFEu + 4);
  });
  net_.ClearError();
  EXPECT_EQ(net_.WritePacket(huge.data(), 0xFFFFFE), 0);
  EXPECT_EQ(net_.Flush(), 0);
  reader.join();

  // A packet needing a 16 MiB buffer is refused as too large.
  net_.Clear();
  PeerSend(Bytes("\xff\xff\xff\x00", 4));
  EXPECT_EQ(net_.SafeRead(0), -1);
  EXPECT_EQ(net_.ErrorNumber(), wire::CR_NET_PACKET_TOO_LARGE);
  EXPECT_EQ(net_.ErrorMessage(), "Got packet bigger than 'max_allowed_packet'");
  EXPECT_FALSE(net_.IsConnected());
}

TEST_F(NetPair, CompressedRepliesJoinedAndSplit) {
  net_.SetCompress(true);
  net_.Clear();
  // Two replies in one compressed packet: the second needs no further read.
  const Bytes two = support::Packet("first", 1) + support::Packet("second", 2);
  PeerSend(support::CompressedPacket(two, 0, false));
  ASSERT_EQ(net_.ReadPacket(), 5);
  EXPECT_EQ(Payload(5), "first");
  ::shutdown(peer_, SHUT_WR);  // nothing more arrives
  ASSERT_EQ(net_.ReadPacket(), 6);
  EXPECT_EQ(Payload(6), "second");
}

TEST_F(NetPair, CompressedPacketSplitAcrossFramesIsReassembled) {
  net_.SetCompress(true);
  net_.Clear();
  const Bytes row(12000, 'r');
  const Bytes plain = support::Packet(row, 1) + support::Packet("tail", 2);
  PeerSend(support::CompressedPacket(plain.substr(0, 3), 0, false));    // part of a header
  PeerSend(support::CompressedPacket(plain.substr(3, 7000), 1, true));  // compressed middle
  PeerSend(support::CompressedPacket(plain.substr(7003), 2, false));    // the rest
  ASSERT_EQ(net_.ReadPacket(), 12000);
  EXPECT_EQ(Payload(12000), row);
  // Shrinking keeps the unread "tail" packet.
  EXPECT_GT(net_.BufferSize(), wire::kNetBufferLength);
  EXPECT_GT(net_.Remaining(), 0u);
  EXPECT_TRUE(net_.Shrink());
  EXPECT_EQ(net_.BufferSize(), wire::kNetBufferLength);
  ASSERT_EQ(net_.ReadPacket(), 4);
  EXPECT_EQ(Payload(4), "tail");
}

TEST_F(NetPair, BrokenCompressedFrames) {
  struct Case {
    const char* what;
    Bytes frame;
  } cases[] = {
      {"not zlib", support::RawCompressedPacket("garbage!", 0, 100)},
      {"length claimed too long",
       support::RawCompressedPacket(support::ZlibCompress("abc"), 0, 10)},
      {"wrong outer sequence", support::CompressedPacket(support::Packet("x", 0), 5, false)},
  };
  for (const Case& k : cases) {
    TMysqlNet net;
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    ASSERT_EQ(net.Attach(fds[0]), 0);
    net.SetCompress(true);
    net.Clear();
    ASSERT_EQ(::send(fds[1], k.frame.data(), k.frame.size(), 0),
              static_cast<ssize_t>(k.frame.size()));
    EXPECT_EQ(net.SafeRead(0), -1) << k.what;
    EXPECT_EQ(net.ErrorNumber(), wire::CR_SERVER_LOST) << k.what;
    ::close(fds[1]);
  }
}

TEST_F(NetPair, CompressedWritesCarryTheRunningCounter) {
  net_.SetCompress(true);
  net_.Clear();
  // A block larger than the buffer goes out as several compressed frames,
  // numbered 0, 1, ...; the inner packet keeps sequence 0.
  const Bytes data(20000, 'w');
  ASSERT_EQ(net_.WritePacket(data.data(), data.size()), 0);
  ASSERT_EQ(net_.Flush(), 0);
  Bytes sent = PeerReceive();
  Bytes joined;
  int frames = 0;
  for (std::size_t at = 0; at < sent.size(); ++frames) {
    const std::size_t length = static_cast<unsigned char>(sent[at]) |
                               static_cast<unsigned char>(sent[at + 1]) << 8 |
                               static_cast<unsigned char>(sent[at + 2]) << 16;
    EXPECT_EQ(static_cast<unsigned char>(sent[at + 3]), frames);
    auto part = support::DecodeCompressed(sent.substr(at, 7 + length));
    ASSERT_TRUE(part);
    joined += *part;
    at += 7 + length;
  }
  EXPECT_EQ(frames, 3);  // 8192 + 8192 + the rest
  EXPECT_EQ(joined, support::Packet(data, 0));
}

}  // namespace
