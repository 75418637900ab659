// Byte-level pieces: length-coded values, greeting fields, the row store,
// the password scrambles and the escaping of literals.

#include <gtest/gtest.h>

#include <string>

#include "support/FakeServer.h"
#include "wire/MysqlClient.h"
#include "wire/MysqlProtocol.h"

namespace {

using support::Bytes;
using support::FromHex;
using support::Hex;

const std::uint8_t* U(const Bytes& b) {
  return reinterpret_cast<const std::uint8_t*>(b.data());
}

TEST(WireProtocol, LengthCodedValues) {
  struct Case {
    const char* hex;
    bool valid;
    bool isNull;
    std::uint64_t wide;
    std::uint32_t narrow;
    std::size_t used;
  } cases[] = {
      {"00", true, false, 0, 0, 1},
      {"fa", true, false, 250, 250, 1},
      {"fb", true, true, ~0ull, 0xFFFFFFFFu, 1},
      {"fc 34 12", true, false, 0x1234, 0x1234, 3},
      {"fd 56 34 12", true, false, 0x123456, 0x123456, 4},
      {"fe 01 02 03 04 05 06 07 08", true, false, 0x0807060504030201ull, 0x04030201u, 9},
      {"fc 34", false, false, 0, 0, 0},
      {"fe 01 02 03 04 05 06 07", false, false, 0, 0, 0},
      {"ff 00 00", false, false, 0, 0, 0},
      {"", false, false, 0, 0, 0},
  };
  for (const Case& k : cases) {
    const Bytes b = FromHex(k.hex);
    wire::TPacketReader wide(U(b), b.size());
    std::uint64_t w = 0;
    bool isNull = false;
    EXPECT_EQ(wide.LengthCoded64(w, isNull), k.valid) << k.hex;
    wire::TPacketReader narrow(U(b), b.size());
    std::uint32_t n = 0;
    EXPECT_EQ(narrow.LengthCoded32(n, isNull), k.valid) << k.hex;
    if (!k.valid) continue;
    EXPECT_EQ(isNull, k.isNull) << k.hex;
    EXPECT_EQ(w, k.wide) << k.hex;
    EXPECT_EQ(n, k.narrow) << k.hex;
    EXPECT_EQ(b.size() - narrow.Left(), k.used) << k.hex;
  }
}

TEST(WireProtocol, GreetingFields) {
  support::Greeting g;
  g.capabilities = 0xF7FF;
  g.status = 0x0022;
  {
    const Bytes full = support::GreetingPayload(g);
    wire::TMysqlGreeting out;
    ASSERT_TRUE(wire::ParseGreeting(U(full), full.size(), out));
    EXPECT_EQ(out.protocol, 10);
    EXPECT_EQ(out.serverVersion, "5.0.51a-community");
    EXPECT_EQ(out.threadId, 7u);
    EXPECT_EQ(out.seed, "abcdefgh12345678ijkl");
    EXPECT_EQ(out.capabilities, 0xF7FFu);
    EXPECT_TRUE(out.hasCharsetAndStatus);
    EXPECT_EQ(out.charset, 8u);
    EXPECT_EQ(out.status, 0x22u);
    EXPECT_FALSE(out.is410);
  }
  {
    // Charset and status but no room for the second seed part: no secure
    // login, unless the server is 4.1.0.
    g.layout = support::Greeting::Layout::kNoSecondSeed;
    const Bytes part = support::GreetingPayload(g);
    wire::TMysqlGreeting out;
    ASSERT_TRUE(wire::ParseGreeting(U(part), part.size(), out));
    EXPECT_EQ(out.seed, "abcdefgh");
    EXPECT_EQ(out.capabilities, 0x77FFu);
    g.version = "4.1.0-alpha";
    const Bytes alpha = support::GreetingPayload(g);
    ASSERT_TRUE(wire::ParseGreeting(U(alpha), alpha.size(), out));
    EXPECT_TRUE(out.is410);
    EXPECT_EQ(out.capabilities, 0xF7FFu);
  }
  {
    // Truncations: the version must end inside the packet, the thread id
    // must be there; a missing capability byte reads as 0.
    const Bytes noZero = FromHex("0a 35 2e 30");
    wire::TMysqlGreeting out;
    EXPECT_FALSE(wire::ParseGreeting(U(noZero), noZero.size(), out));
    const Bytes noThread = FromHex("0a 35 00 01 02");
    EXPECT_FALSE(wire::ParseGreeting(U(noThread), noThread.size(), out));
    const Bytes oneCapByte = FromHex("0a 35 00 01 00 00 00 61 62 63 64 65 66 67 68 00 2c");
    ASSERT_TRUE(wire::ParseGreeting(U(oneCapByte), oneCapByte.size(), out));
    EXPECT_EQ(out.capabilities, 0x2Cu);
    EXPECT_FALSE(out.hasCharsetAndStatus);
  }
}

TEST(WireProtocol, RowStoreKeepsValuesNullsAndZeroBytes) {
  wire::TMysqlRowSet rows(3);
  const Bytes row = support::RowPayload({"ab", std::nullopt, Bytes("x\0y", 3)});
  ASSERT_TRUE(rows.Append(U(row), row.size()));
  const Bytes empty = support::RowPayload({"", "", ""});
  ASSERT_TRUE(rows.Append(U(empty), empty.size()));
  const Bytes big = support::RowPayload({Bytes(100000, 'b'), "s", std::nullopt});
  ASSERT_TRUE(rows.Append(U(big), big.size()));
  const Bytes shortRow = support::RowPayload({"only", "two"});
  EXPECT_FALSE(rows.Append(U(shortRow), shortRow.size()));
  ASSERT_EQ(rows.Size(), 3u);

  auto value = [&](std::size_t r, std::uint32_t i) {
    const char* v = wire::TMysqlRowSet::Value(rows.Row(r), 3, i);
    return v ? Bytes(v, wire::TMysqlRowSet::Length(rows.Row(r), 3, i)) : Bytes("NULL");
  };
  EXPECT_EQ(value(0, 0), "ab");
  EXPECT_EQ(value(0, 1), "NULL");
  EXPECT_EQ(value(0, 2), Bytes("x\0y", 3));
  EXPECT_EQ(wire::TMysqlRowSet::Value(rows.Row(0), 3, 0)[2], '\0');
  EXPECT_EQ(value(1, 2), "");
  EXPECT_EQ(value(2, 0), Bytes(100000, 'b'));
  EXPECT_EQ(value(2, 1), "s");
  EXPECT_EQ(value(2, 2), "NULL");

  std::vector<std::uint32_t> record;
  ASSERT_TRUE(wire::TMysqlRowSet::Decode(U(row), row.size(), 3, record));
  EXPECT_STREQ(wire::TMysqlRowSet::Value(record.data(), 3, 0), "ab");
  EXPECT_EQ(wire::TMysqlRowSet::Value(record.data(), 3, 1), nullptr);
  EXPECT_FALSE(wire::TMysqlRowSet::Decode(U(shortRow), shortRow.size(), 3, record));
}

TEST(WireProtocol, PasswordScrambles) {
  // The hash the server keeps for the old-style account's password.
  std::uint32_t a, b;
  wire::OldPasswordHash("velha123", a, b);
  EXPECT_EQ(a, 0x0b3356a8u);
  EXPECT_EQ(b, 0x7310dd75u);
  // Spaces and tabs do not count in the old scramble; in SHA-1 they do.
  EXPECT_EQ(wire::ScrambleOld("velha 1\t23", "abcdefgh"),
            wire::ScrambleOld("velha123", "abcdefgh"));
  EXPECT_NE(wire::ScrambleSha1("velha 123", "abcdefgh12345678ijkl"),
            wire::ScrambleSha1("velha123", "abcdefgh12345678ijkl"));
  const std::string old = wire::ScrambleOld("velha123", "abcdefgh");
  ASSERT_EQ(old.size(), 8u);
  for (char c : old) {
    EXPECT_GE(static_cast<unsigned char>(c), 64 - 31);
    EXPECT_LT(static_cast<unsigned char>(c), 128);
  }
  // The message ends at its first zero byte.
  EXPECT_EQ(wire::ScrambleOld("x", Bytes("abc\0efgh", 8)).size(), 3u);
  // SHA1(seed + SHA1(SHA1(password))) XOR SHA1(password).
  EXPECT_EQ(Hex(wire::ScrambleSha1("kmzq", "cyY3/0FO9oGRFGo|Bs?{")),
            Hex(FromHex("ab dc c0 9b ec 5c 5f 70 6e 9a 25 75 2c 7e b5 20 64 10 d9 1b")));
}

TEST(WireProtocol, EscapeString) {
  // The input, then its escaped form for the usual session and for one with
  // NO_BACKSLASH_ESCAPES, where only the quote is special.
  struct Case {
    Bytes in;
    Bytes out;
    Bytes noBackslash;
  } cases[] = {
      {"O'Brien", "O\\'Brien", "O''Brien"},
      {"a\tb", "a\\tb", "a\tb"},
      {"z", "z", "z"},
      {Bytes("\0", 1), "\\0", Bytes("\0", 1)},
      {"\r\n", "\\r\\n", "\r\n"},
      {"say \"hi\"", "say \\\"hi\\\"", "say \"hi\""},
      {"c:\\bkp", "c:\\\\bkp", "c:\\bkp"},
      {"100% _x_", "100% _x_", "100% _x_"},
      {"Jo\xE3o \x80", "Jo\xE3o \x80", "Jo\xE3o \x80"},
      {"", "", ""},
      {"'a'", "\\'a\\'", "''a''"},
      {"''\\", "\\'\\'\\\\", "''''\\"},
      {"\\'", "\\\\\\'", "\\''"},
  };
  for (const Case& k : cases) {
    for (bool noBackslash : {false, true}) {
      const Bytes& expected = noBackslash ? k.noBackslash : k.out;
      EXPECT_EQ(wire::EscapeString(k.in, noBackslash), expected) << Hex(k.in) << noBackslash;
      std::string appended = "x";
      wire::AppendEscaped(appended, k.in, noBackslash);
      EXPECT_EQ(appended, "x" + expected) << Hex(k.in) << noBackslash;
    }
  }
}

}  // namespace
