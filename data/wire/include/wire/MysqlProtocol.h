// Byte-level pieces of the MySQL protocol used by TMysqlClient: a bounds-
// checked reader over one packet payload, the greeting, OK-packet and column
// definition decoders, the row store of results, the login packet and the
// two password scrambles.
//
// They work on byte buffers only (no socket), so they can be tested and
// fuzzed directly. Every decoder checks each length against the bytes it was
// given and reports malformed input by returning false; none reads past the
// buffer. Everything here is free of shared state: safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wire/MysqlResult.h"

namespace wire {

// Reads integers and length-coded values from one payload.
class TPacketReader {
 public:
  TPacketReader(const std::uint8_t* data, std::size_t length) : p_(data), end_(data + length) {}

  std::size_t Left() const { return static_cast<std::size_t>(end_ - p_); }
  const std::uint8_t* Pos() const { return p_; }
  bool Skip(std::size_t n);
  bool Int1(std::uint32_t& v);
  bool Int2(std::uint32_t& v);
  bool Int3(std::uint32_t& v);
  bool Int4(std::uint32_t& v);
  // 32-bit length-coded value: NULL (251) sets isNull; the 8-byte form keeps
  // its low 4 bytes. False when the value is cut off or starts with 255.
  bool LengthCoded32(std::uint32_t& v, bool& isNull);
  bool LengthCoded64(std::uint64_t& v, bool& isNull);

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

// Login methods by their protocol names.
inline constexpr const char* kAuthNative = "mysql_native_password";
inline constexpr const char* kAuthOld = "mysql_old_password";
inline constexpr const char* kAuthCachingSha2 = "caching_sha2_password";
inline constexpr const char* kAuthEd25519 = "client_ed25519";
inline constexpr const char* kAuthClearText = "mysql_clear_password";

// The server greeting.
struct TMysqlGreeting {
  int protocol = 0;
  std::string serverVersion;
  std::uint32_t threadId = 0;
  std::string seed;  // at most 20 bytes
  std::uint32_t capabilities = 0;
  bool hasCharsetAndStatus = false;
  std::uint32_t charset = 0;
  std::uint32_t status = 0;
  bool is410 = false;
  // Plugin authentication offered (CLIENT_PLUGIN_AUTH in the upper
  // capability flags) and the server's default method.
  bool pluginAuth = false;
  std::string authMethod;
};

// Decodes a greeting of protocol 9 or 10 (the protocol byte itself is not
// judged here). False when the version text or the thread id is cut off.
bool ParseGreeting(const std::uint8_t* data, std::size_t length, TMysqlGreeting& greeting);

// An OK packet (field count 0).
struct TMysqlOkPacket {
  std::uint64_t affectedRows = 0;
  std::uint64_t insertId = 0;
  bool hasStatus = false;
  std::uint32_t status = 0;
  bool hasWarnings = false;
  std::uint32_t warnings = 0;
  std::string info;
};

// Decodes an OK packet; serverCapabilities decides the status field,
// clientFlags (0x4000) the warning count. False when cut off before the
// insert id.
bool ParseOkPacket(const std::uint8_t* data, std::size_t length, std::uint32_t serverCapabilities,
                   std::uint32_t clientFlags, TMysqlOkPacket& ok);

// True for an end-of-data packet (254 and shorter than 8 bytes).
inline bool IsEndOfData(const std::uint8_t* data, long length) {
  return length > 0 && length < 8 && data[0] == 254;
}

// Rows of a result, each a record of column offsets followed by the values,
// kept in large blocks rather than one allocation per value. A record for k
// columns is k + 1 32-bit offsets into the value bytes that follow them;
// offset k is the end. A NULL value has the high bit set in its offset and no
// bytes; every other value is followed by a zero byte.
class TMysqlRowSet {
 public:
  using Record = const std::uint32_t*;

  explicit TMysqlRowSet(std::uint32_t columns);
  ~TMysqlRowSet();
  TMysqlRowSet(const TMysqlRowSet&) = delete;
  TMysqlRowSet& operator=(const TMysqlRowSet&) = delete;

  std::uint32_t Columns() const { return columns_; }
  std::size_t Size() const { return rows_.size(); }
  Record Row(std::size_t i) const { return rows_[i]; }
  std::vector<Record>& Rows() { return rows_; }

  // Decodes one text-row packet (columns length-coded values) and appends
  // it. When maxLengths is given, raises each column's maxLength to the value
  // lengths seen. False when the packet holds fewer values than columns.
  bool Append(const std::uint8_t* data, std::size_t length,
              std::vector<TMysqlColumn>* maxLengths = nullptr);
  // Decodes one row into a reusable record (streamed results) instead.
  static bool Decode(const std::uint8_t* data, std::size_t length, std::uint32_t columns,
                     std::vector<std::uint32_t>& record);

  static const char* Value(Record row, std::uint32_t columns, std::uint32_t i);
  static std::size_t Length(Record row, std::uint32_t columns, std::uint32_t i);

  // Bytes held by the blocks (for memory accounting).
  std::size_t AllocatedBytes() const { return allocated_; }

 private:
  std::uint32_t* Allocate(std::size_t bytes);
  void GiveBack(std::size_t bytes);

  std::uint32_t columns_;
  std::vector<Record> rows_;
  std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
  std::uint8_t* free_ = nullptr;
  std::size_t left_ = 0;
  std::size_t allocated_ = 0;
};

// Makes the column descriptors from column-definition rows: seven values
// each in the 4.1 layout (protocol41), otherwise five; longFlag selects the
// 2-byte flags of the older layout. Adds NUM_FLAG and UNSIGNED_FLAG as the
// client does. False when a definition lacks the table or name.
bool MakeColumns(const TMysqlRowSet& definitions, bool protocol41, bool longFlag,
                 std::vector<TMysqlColumn>& columns);

// Password scrambles.
// 20-byte SHA-1 scramble of the password with the 20-byte seed.
std::string ScrambleSha1(const std::string& password, const std::string& seed);
// The two 31-bit words of the pre-4.1 hash (spaces and tabs skipped).
void OldPasswordHash(const std::string& text, std::uint32_t& first, std::uint32_t& second);
// Pre-4.1 scramble: as many characters as the message (taken up to its first
// zero byte), without the terminating zero.
std::string ScrambleOld(const std::string& password, const std::string& message);
// The 20-byte answer to a 4.1.0 server's 24-byte challenge.
std::string Scramble410Answer(const std::string& password, const std::uint8_t* challenge);

// What goes into a login packet.
struct TLoginRequest {
  std::uint32_t clientFlags = 0;
  std::uint32_t serverCapabilities = 0;
  std::uint32_t serverCharset = 0;
  bool serverIs410 = false;
  std::string user;
  std::string password;
  std::string database;  // sent only when the server offers CLIENT_CONNECT_WITH_DB
  std::string seed;
  // With plugin authentication: the method whose answer the login carries
  // ("caching_sha2_password" or "mysql_native_password") and whose name ends
  // the packet; empty for the classic login.
  std::string authMethod;
};

// Builds the login payload; headerLength receives the size of its header part
// (32 in the 4.1 layout, 5 in the older one), which is what a TLS request sends.
std::string BuildLoginPacket(const TLoginRequest& request, std::size_t& headerLength);

}  // namespace wire
