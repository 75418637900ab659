// What a scripted server cannot make the client do. Local files: a file goes
// only when local files are on and the statement itself named it; every
// other request gets the empty transfer and fails the statement, without a
// byte of the file. Escaping: a statement quoted for one backslash mode is
// not sent to a session of the other.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/FakeServer.h"
#include "wire/ClientErrors.h"
#include "wire/LocalFileNames.h"
#include "wire/MysqlClient.h"
#include "wire_test_support.h"

namespace {

using namespace wiretest;

// A file whose contents must never reach a server that did not ask rightly.
class SecretFile {
 public:
  SecretFile() : path_("/tmp/wire_secret_" + std::to_string(::getpid()) + ".txt") {
    std::ofstream(path_, std::ios::binary) << "root:x:0:0:segredo-do-caixa\n";
  }
  ~SecretFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }
  static constexpr const char* kMarker = "segredo-do-caixa";

 private:
  std::string path_;
};

// Login, then the ping and the query, which the server answers with a
// request for `file`; the client's answer (one packet) and then `reply`.
void ScriptRequest(FakeServer& s, const std::string& file, const Bytes& reply) {
  ScriptLogin(s);
  s.ReadPacket()
      .SendPacket(support::OkPayload(), 1)
      .ReadPacket()
      .SendPacket("\xFB" + file, 1)
      .ReadPacket()
      .Send(reply);
}

std::uint32_t LoginFlags(const FakeServer& s) {
  const Bytes login = s.Frames().at(0);
  std::uint32_t flags = 0;
  for (int i = 0; i < 4; ++i) flags |= static_cast<std::uint8_t>(login[4 + i]) << (8 * i);
  return flags;
}

TEST(LocalFiles, RequestsNotNamedByTheStatementAreRefusedWithoutAByteOfTheFile) {
  SecretFile secret;
  const std::string& path = secret.Path();
  struct Case {
    const char* what;
    bool localFiles;
    std::string sql;
  } cases[] = {
      {"local files off, the engine's own statement", false, "SHOW VARIABLES"},
      {"local files off, even for the named file", false,
       "load data local infile '" + path + "' into table t"},
      {"another file named", true, "load data local infile '/tmp/outro.txt' into table t"},
      {"the name only inside a value", true,
       "insert into t values ('load data local infile ''" + path + "''')"},
      {"the name only inside a comment", true,
       "select 1 /* load data local infile '" + path + "' */"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    FakeServer s;
    ScriptRequest(s, path, support::Packet(support::OkPayload(), 3));
    TMysqlClient c;
    c.SetLocalFiles(k.localFiles);
    ASSERT_TRUE(Connect(s, c)) << c.ErrorMessage();
    EXPECT_EQ((LoginFlags(s) & wire::CLIENT_LOCAL_FILES) != 0, k.localFiles);
    bool ok = true;
    EXPECT_EQ(c.Query(k.sql, true, ok), nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(c.ErrorNumber(), wire::CR_UNKNOWN_ERROR);
    EXPECT_EQ(c.ErrorMessage(),
              "Local file request refused: '" + path + "' was not named by the statement");
    ASSERT_TRUE(s.WaitIdle());
    // The answer is the empty packet, numbered after the request.
    EXPECT_EQ(s.Frames().back(), Bytes("\x00\x00\x00\x02", 4));
    EXPECT_EQ(s.Received().find(SecretFile::kMarker), std::string::npos);
    // The server's OK ended the exchange: the connection goes on.
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(c.Status(), wire::TClientStatus::kReady);
  }
}

TEST(LocalFiles, TheNamedFileGoesWhenLocalFilesAreOn) {
  SecretFile secret;
  FakeServer s;
  ScriptRequest(s, secret.Path(), Bytes());
  s.ReadPacket().SendPacket(support::OkPayload(), 4);
  TMysqlClient c;
  c.SetLocalFiles(true);
  ASSERT_TRUE(Connect(s, c)) << c.ErrorMessage();
  bool ok = false;
  c.Query("LOAD DATA LOCAL\n INFILE \"" + secret.Path() + "\" INTO TABLE t", true, ok);
  EXPECT_TRUE(ok) << c.ErrorMessage();
  ASSERT_TRUE(s.WaitIdle());
  const std::vector<Bytes> frames = s.Frames();
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(support::PayloadOf(frames[frames.size() - 2]), "root:x:0:0:segredo-do-caixa\n");
  EXPECT_EQ(frames.back(), Bytes("\x00\x00\x00\x03", 4));
}

TEST(LocalFiles, AReplyOutOfStepAfterARefusalClosesTheConnection) {
  SecretFile secret;
  FakeServer s;
  // A second request instead of the OK.
  ScriptRequest(s, secret.Path(), support::Packet("\xFB" + secret.Path(), 3));
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c)) << c.ErrorMessage();
  bool ok = true;
  c.Query("select 1", true, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.ErrorNumber(), wire::CR_UNKNOWN_ERROR);
  EXPECT_FALSE(c.Connected());
  ASSERT_TRUE(s.WaitIdle());
  EXPECT_EQ(s.Received().find(SecretFile::kMarker), std::string::npos);
}

TEST(BackslashMode, ComesWithEveryReplyAndAChangeOnReconnectHoldsTheStatement) {
  FakeServer s;
  support::Greeting g;
  s.SendPacket(support::GreetingPayload(g), 0).ReadPacket().SendPacket(support::OkPayload(), 2);
  // The first statement's replies say the mode is on; the ping of the
  // second gets no answer, and the new session's greeting says it is off.
  support::Ok on;
  on.status = 2 | wire::SERVER_STATUS_NO_BACKSLASH_ESCAPES;
  s.ReadPacket().SendPacket(support::OkPayload(on), 1);
  s.ReadPacket().SendPacket(support::OkPayload(on), 1);
  s.ReadPacket().Close().Accept();
  g.status = 2;
  s.SendPacket(support::GreetingPayload(g), 0).ReadPacket().SendPacket(support::OkPayload(), 2);
  TMysqlClient c;
  ASSERT_TRUE(Connect(s, c));
  EXPECT_FALSE(c.NoBackslashEscapes());
  bool ok = false;
  EXPECT_EQ(c.Query("set sql_mode='NO_BACKSLASH_ESCAPES'", true, ok), nullptr);
  EXPECT_TRUE(ok) << c.ErrorMessage();
  EXPECT_TRUE(c.NoBackslashEscapes());
  // Quoted for the old session, the text must not reach the new one.
  EXPECT_EQ(c.Query("update t set v='x\\'' where id=1", true, ok), nullptr);
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.ErrorNumber(), wire::CR_UNKNOWN_ERROR);
  EXPECT_EQ(c.ErrorMessage(),
            "Statement not sent: the server's backslash escaping changed on reconnect");
  EXPECT_FALSE(c.NoBackslashEscapes());
  ASSERT_TRUE(s.WaitIdle());
  EXPECT_EQ(s.Error(), "");
  // It went out once, with the ping, to the session it was quoted for; the
  // retry on the new session never sent it.
  const Bytes received = s.Received();
  const std::size_t first = received.find("update t");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(received.find("update t", first + 1), std::string::npos);
}

TEST(LocalFiles, NamesReadFromTheStatementAsTheServerReadsThem) {
  using Names = std::vector<std::string>;
  struct Case {
    std::string sql;
    bool noBackslashEscapes;
    Names names;
  } cases[] = {
      {"load data local infile '/tmp/a.txt' into table t", false, {"/tmp/a.txt"}},
      {"LOAD XML Local\tInFile \"/tmp/b.xml\" INTO TABLE t", false, {"/tmp/b.xml"}},
      {"load data local infile 'c:\\\\bkp\\\\x.txt' into table t", false, {"c:\\bkp\\x.txt"}},
      {"load data local infile 'c:\\bkp\\x.txt' into table t", true, {"c:\\bkp\\x.txt"}},
      {"load data local infile 'it''s' into table t", false, {"it's"}},
      {"load data local /* here */ infile '/tmp/c' into table t", false, {"/tmp/c"}},
      {"load data local infile '/tmp/d' into table t; load data local infile '/tmp/e' into "
       "table u",
       false,
       {"/tmp/d", "/tmp/e"}},
      {"load data infile '/tmp/server-side' into table t", false, {}},
      {"select 'local infile ''/etc/passwd'''", false, {}},
      {"select `local infile` '/etc/passwd'", false, {}},
      {"select 1 -- load data local infile '/etc/passwd'", false, {}},
      {"select 1 # load data local infile '/etc/passwd'", false, {}},
      {"/*! load data local infile '/etc/passwd' into table t */", false, {}},
      // Quoting that ends where the server thinks it ends.
      {"select 'x\\' local infile ''/etc/passwd'", false, {}},
      {"select 'x\\' local infile '/etc/passwd'", true, {"/etc/passwd"}},
      {"load data local infile", false, {}},
      {"", false, {}},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(wire::LocalFilesNamed(k.sql, k.noBackslashEscapes), k.names) << k.sql;
  }
}

}  // namespace
