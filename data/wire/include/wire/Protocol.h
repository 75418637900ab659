// The numbers of the MySQL client/server protocol that this client and the
// layers above it name: column type codes and column flags of result
// descriptors, capability flags of the login, server status flags and the
// command bytes.
//
// They live in their own namespace, inline in wire, so that wire code writes
// wire::MYSQL_TYPE_BLOB and a layer above can take the whole set by name with
// one using-directive for wire::protocol, and nothing else of the wire layer.
// Constants only: safe from any thread.
#pragma once

#include <cstdint>

namespace wire {
inline namespace protocol {

// Column type codes.
enum : std::uint8_t {
  MYSQL_TYPE_DECIMAL = 0,
  MYSQL_TYPE_TINY = 1,
  MYSQL_TYPE_SHORT = 2,
  MYSQL_TYPE_LONG = 3,
  MYSQL_TYPE_FLOAT = 4,
  MYSQL_TYPE_DOUBLE = 5,
  MYSQL_TYPE_NULL = 6,
  MYSQL_TYPE_TIMESTAMP = 7,
  MYSQL_TYPE_LONGLONG = 8,
  MYSQL_TYPE_INT24 = 9,
  MYSQL_TYPE_DATE = 10,
  MYSQL_TYPE_TIME = 11,
  MYSQL_TYPE_DATETIME = 12,
  MYSQL_TYPE_YEAR = 13,
  MYSQL_TYPE_NEWDATE = 14,
  MYSQL_TYPE_VARCHAR = 15,
  MYSQL_TYPE_BIT = 16,
  MYSQL_TYPE_NEWDECIMAL = 246,
  MYSQL_TYPE_ENUM = 247,
  MYSQL_TYPE_SET = 248,
  MYSQL_TYPE_TINY_BLOB = 249,
  MYSQL_TYPE_MEDIUM_BLOB = 250,
  MYSQL_TYPE_LONG_BLOB = 251,
  MYSQL_TYPE_BLOB = 252,
  MYSQL_TYPE_VAR_STRING = 253,
  MYSQL_TYPE_STRING = 254,
  MYSQL_TYPE_GEOMETRY = 255,
};

// Column flags, plus NUM_FLAG, which this client computes from the type.
enum : std::uint32_t {
  NOT_NULL_FLAG = 0x1,
  PRI_KEY_FLAG = 0x2,
  UNIQUE_KEY_FLAG = 0x4,
  MULTIPLE_KEY_FLAG = 0x8,
  BLOB_FLAG = 0x10,
  UNSIGNED_FLAG = 0x20,
  ZEROFILL_FLAG = 0x40,
  BINARY_FLAG = 0x80,
  ENUM_FLAG = 0x100,
  AUTO_INCREMENT_FLAG = 0x200,
  TIMESTAMP_FLAG = 0x400,
  SET_FLAG = 0x800,
  NUM_FLAG = 0x8000,
};

// Capability flags.
enum : std::uint32_t {
  CLIENT_LONG_PASSWORD = 0x1,
  CLIENT_FOUND_ROWS = 0x2,
  CLIENT_LONG_FLAG = 0x4,
  CLIENT_CONNECT_WITH_DB = 0x8,
  CLIENT_NO_SCHEMA = 0x10,
  CLIENT_COMPRESS = 0x20,
  CLIENT_ODBC = 0x40,
  CLIENT_LOCAL_FILES = 0x80,
  CLIENT_IGNORE_SPACE = 0x100,
  CLIENT_PROTOCOL_41 = 0x200,
  CLIENT_INTERACTIVE = 0x400,
  CLIENT_SSL = 0x800,
  CLIENT_TRANSACTIONS = 0x2000,
  CLIENT_RESERVED = 0x4000,  // the first 4.1 protocol flag: decides the 4.1 layouts
  CLIENT_SECURE_CONNECTION = 0x8000,
  CLIENT_MULTI_STATEMENTS = 0x10000,
  CLIENT_MULTI_RESULTS = 0x20000,
  CLIENT_PLUGIN_AUTH = 0x80000,  // login methods by name, and the server's switch between them
};

// Flags every login adds, and the initial client flags. CLIENT_LOCAL_FILES
// is not among them: it is offered only with local files turned on.
constexpr std::uint32_t kClientBaseFlags = CLIENT_LONG_PASSWORD | CLIENT_LONG_FLAG |
                                           CLIENT_PROTOCOL_41 | CLIENT_TRANSACTIONS |
                                           CLIENT_RESERVED | CLIENT_SECURE_CONNECTION;
static_assert(kClientBaseFlags == 0xE205);

// Several statements in one query, and their several results: the flags a
// connection that allows multi-statements adds.
constexpr std::uint32_t kMultiStatementFlags = CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS;

// Server status flags.
enum : std::uint32_t {
  SERVER_STATUS_IN_TRANS = 0x1,
  SERVER_STATUS_AUTOCOMMIT = 0x2,
  SERVER_MORE_RESULTS_EXISTS = 0x8,
  // The session reads backslashes in string literals as plain characters.
  SERVER_STATUS_NO_BACKSLASH_ESCAPES = 0x200,
};

// Command bytes.
enum : std::uint8_t {
  COM_QUIT = 1,
  COM_INIT_DB = 2,
  COM_QUERY = 3,
  COM_PING = 14,
};

}  // namespace protocol
}  // namespace wire
