// The benchmark table shared by the wire, engine and component benchmarks.
//
// tolvex_test.bench_rows holds 1,000,000 rows of eight columns:
//   id INT primary key (1..1000000), codigo BIGINT, estoque INT,
//   nome VARCHAR(40), preco DECIMAL(10,2), data DATE, momento DATETIME,
//   obs TEXT NULL (NULL on every third row).
// It is filled on the server from MariaDB's sequence engine and kept between
// runs; EnsureBenchTable rebuilds it only when it is missing or its row count
// is wrong. The contents are deterministic (a function of id).
#pragma once

#include <cstdint>
#include <string>

#include "wire/Protocol.h"

namespace wire {
class TMysqlClient;
}

namespace bench {

constexpr const char* kBenchDatabase = "tolvex_test";
// The flags the engine connects with.
constexpr std::uint32_t kClientFlags = wire::kMultiStatementFlags;
constexpr const char* kBenchTable = "bench_rows";
constexpr std::uint64_t kBenchRows = 1000000;
// The statement every benchmark times: the whole table.
inline const std::string kBenchSelect = std::string("select * from ") + kBenchTable;

// Makes sure the table exists with kBenchRows rows, using the connected
// client (any database). Returns false with a message in error.
bool EnsureBenchTable(wire::TMysqlClient& client, std::string& error);

// Runs kBenchSelect into a stored result and reads every value, adding each
// value's length and first byte to checksum; false when the query failed.
bool WalkStoredResult(wire::TMysqlClient& client, std::uint64_t& rows, std::uint64_t& checksum);

}  // namespace bench
