// The transport on its own: connecting, refusals, the error fields, waiting
// for data and the draining close.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/FakeServer.h"
#include "wire/ClientErrors.h"
#include "wire/MysqlVio.h"

namespace {

using wire::TMysqlVio;

TEST(WireVio, ConnectsToADottedQuadAndTalks) {
  support::FakeServer s;
  s.Send("hello").ReadBytes(3);
  TMysqlVio v;
  EXPECT_FALSE(v.IsConnected());
  EXPECT_EQ(v.Socket(), -1);
  ASSERT_EQ(v.Connect(wire::kVioTcp, "127.0.0.1", true, 5, s.Port(), ""), 0) << v.ErrorMessage();
  EXPECT_EQ(v.Kind(), wire::kVioTcp);
  EXPECT_FALSE(v.NonBlocking());
  EXPECT_EQ(v.ErrorNumber(), 0);
  EXPECT_TRUE(v.WaitReadable(1));
  char buf[16] = {};
  int got = v.Read(buf, sizeof buf);
  ASSERT_GT(got, 0);
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(got)), std::string("hello").substr(0, got));
  EXPECT_EQ(v.Write("abc", 3), 3);
  ASSERT_TRUE(s.WaitIdle());
  EXPECT_EQ(s.Received(), "abc");
  EXPECT_EQ(v.Close(), 0);
  EXPECT_EQ(v.Kind(), wire::kVioClosed);
  EXPECT_EQ(v.Socket(), -1);
  EXPECT_EQ(v.Read(buf, 1), -1);
  EXPECT_EQ(v.Write("x", 1), -1);
  EXPECT_EQ(v.SetBlocking(true), -1);
  EXPECT_FALSE(v.WaitReadable(0));
}

TEST(WireVio, RefusedAndDefaultAddresses) {
  TMysqlVio v;
  EXPECT_LT(v.Connect(wire::kVioTcp, "127.0.0.1", true, 2, 1, ""), 0);
  EXPECT_EQ(v.ErrorNumber(), wire::CR_CONN_HOST_ERROR);
  EXPECT_EQ(v.ErrorMessage(), "Can't connect to MySQL server on '127.0.0.1' (111)");
  EXPECT_FALSE(v.IsConnected());
  // An empty host is localhost and port 0 is 3306.
  TMysqlVio d;
  if (d.Connect(wire::kVioTcp, "", true, 2, 0, "") != 0) {
    EXPECT_EQ(d.ErrorNumber(), wire::CR_CONN_HOST_ERROR);
    EXPECT_EQ(d.ErrorMessage().rfind("Can't connect to MySQL server on 'localhost' (", 0), 0u)
        << d.ErrorMessage();
  }
}

TEST(WireVio, ErrorFields) {
  TMysqlVio v;
  v.SetErrorMessage(std::string(300, 'm'));
  EXPECT_EQ(v.ErrorMessage(), std::string(200, 'm'));
  v.SetError(2013, "lost");
  EXPECT_EQ(v.ErrorNumber(), 2013);
  EXPECT_EQ(v.ErrorMessage(), "lost");
  v.ClearError();
  EXPECT_EQ(v.ErrorNumber(), 0);
  EXPECT_EQ(v.ErrorMessage(), "");
}

TEST(WireVio, WaitReadableTimesOutWithoutData) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  TMysqlVio v;
  ASSERT_EQ(v.Attach(fds[0]), 0);
  EXPECT_FALSE(v.WaitReadable(0));
  ASSERT_EQ(::send(fds[1], "z", 1, 0), 1);
  EXPECT_TRUE(v.WaitReadable(1));
  EXPECT_EQ(v.Attach(fds[1]), -20);
  v.Close();
  ::close(fds[1]);
}

TEST(WireVio, CloseDiscardsLateDataWithoutWaitingForIt) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  TMysqlVio v;
  ASSERT_EQ(v.Attach(fds[0]), 0);
  // The peer keeps sending until the channel is gone.
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::string chunk(65536, 'd');
    while (!stop && ::send(fds[1], chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
    }
  });
  char buf[10];
  ASSERT_GT(v.Read(buf, sizeof buf), 0);
  EXPECT_EQ(v.Close(), 0);
  EXPECT_FALSE(v.IsConnected());
  stop = true;
  writer.join();
  ::close(fds[1]);
}

}  // namespace
