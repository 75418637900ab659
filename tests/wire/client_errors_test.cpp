#include "wire/ClientErrors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using wire::FormatArg;
using wire::FormatClientError;
using wire::FormatPrintf;

// Every catalogue entry, byte for byte, with the arguments its raisers give.
TEST(ClientErrors, FormatsOfEveryNumber) {
  struct Case {
    int number;
    std::initializer_list<FormatArg> args;
    const char* expected;
  };
  const Case cases[] = {
      {2000, {}, "Unknown MySQL error"},
      {2001, {11}, "Can't create UNIX socket (11)"},
      {2002, {"/tmp/s", 2}, "Can't connect to local MySQL server through socket '/tmp/s' (2)"},
      {2003, {"db.example", 10061}, "Can't connect to MySQL server on 'db.example' (10061)"},
      {2004, {10024}, "Can't create TCP/IP socket (10024)"},
      {2005, {"nohost", 11001}, "Unknown MySQL Server Host 'nohost' (11001)"},
      {2006, {}, "MySQL server has gone away"},
      {2007, {8, 10}, "Protocol mismatch. Server Version = 8 Client Version = 10"},
      {2008, {}, "MySQL client run out of memory"},
      {2009, {}, "Wrong host info"},
      {2010, {}, "Localhost via UNIX socket"},
      {2011, {"localhost"}, "localhost via TCP/IP"},
      {2012, {}, "Error in server handshake"},
      {2013, {}, "Lost connection to MySQL server during query"},
      {2014, {}, "Commands out of sync;  You can't run this command now"},
      {2015, {"."}, ". via named pipe"},
      {2016, {".", "MySQL", 231UL}, "Can't wait for named pipe to host: .  pipe: MySQL (231)"},
      {2017, {".", "MySQL", 2U}, "Can't open named pipe to host: .  pipe: MySQL (2)"},
      {2018, {".", "MySQL", 5UL}, "Can't set state of named pipe to host: .  pipe: MySQL (5)"},
      {2019, {"latin9", "c:\\mysql"}, "Can't initialize character set latin9 (path: c:\\mysql)"},
      {2020, {}, "Got packet bigger than 'max_allowed_packet'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatClientError(c.number, c.args), c.expected) << c.number;
  }
}

TEST(ClientErrors, RawFormatsKeepTheirConversions) {
  EXPECT_STREQ(wire::ClientErrorFormat(wire::CR_CONN_HOST_ERROR),
               "Can't connect to MySQL server on '%-.64s' (%d)");
  EXPECT_STREQ(wire::ClientErrorFormat(wire::CR_NAMEDPIPEOPEN_ERROR),
               "Can't open named pipe to host: %-.64s  pipe: %-.32s (%u)");
  EXPECT_EQ(wire::CR_SERVER_LOST, 2013);
  EXPECT_EQ(wire::CR_NET_PACKET_TOO_LARGE, 2020);
  EXPECT_EQ(wire::ER_NET_PACKET_TOO_LARGE, 1153);
}

TEST(ClientErrors, NumbersOutsideTheCatalogueAreUnknown) {
  for (int n : {0, 1153, 1999, 2021, -1, 65535}) {
    EXPECT_EQ(FormatClientError(n, {"x", 1}), "Unknown MySQL error") << n;
  }
}

// Hosts and pipe names are cut to the precision of their conversion.
TEST(ClientErrors, LongTextsAreCut) {
  const std::string host70(64, 'h');
  const std::string host = host70 + "TAIL01";
  ASSERT_EQ(host.size(), 70u);
  EXPECT_EQ(FormatClientError(wire::CR_UNKNOWN_HOST, {host, 11001}),
            "Unknown MySQL Server Host '" + host70 + "' (11001)");
  EXPECT_EQ(FormatClientError(wire::CR_CONN_HOST_ERROR, {host, 111}),
            "Can't connect to MySQL server on '" + host70 + "' (111)");

  const std::string pipe(40, 'p');
  EXPECT_EQ(
      FormatClientError(wire::CR_NAMEDPIPEWAIT_ERROR, {host, pipe, 1UL}),
      "Can't wait for named pipe to host: " + host70 + "  pipe: " + std::string(32, 'p') + " (1)");
  // Exactly 64 characters stay whole.
  EXPECT_EQ(FormatClientError(wire::CR_TCP_CONNECTION, {host70}), host70 + " via TCP/IP");
}

TEST(ClientErrors, PrintfSubset) {
  struct Case {
    const char* format;
    std::initializer_list<FormatArg> args;
    const char* expected;
  };
  const Case cases[] = {
      {"OpenSSL: %s:%s:%d:%s\n", {"ssl_lib.c", "x", 42, "bad"}, "OpenSSL: ssl_lib.c:x:42:bad\n"},
      {"%d/%i", {-5, 7}, "-5/7"},
      {"%u", {-1}, "4294967295"},
      {"%lu", {4294967295UL}, "4294967295"},
      {"100%%", {}, "100%"},
      {"[%5s][%-5s]", {"ab", "cd"}, "[   ab][cd   ]"},
      {"[%-.3s]", {"abcdef"}, "[abc]"},
      {"[%.0s]", {"abc"}, "[]"},
      {"missing %s and %d", {}, "missing  and 0"},
      {"%s", {12}, "12"},
      {"%d", {"text"}, "0"},
      {"trailing %", {}, "trailing %"},
      {"%x then %d", {3}, "%x then 3"},
      {"\xE7%s\xE3", {"\xE9"}, "\xE7\xE9\xE3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatPrintf(c.format, c.args), c.expected) << c.format;
  }
}

}  // namespace
