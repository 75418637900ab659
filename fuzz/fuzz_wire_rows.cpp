// Text rows: the first byte is the column count (1-32), the rest packets
// with a two-byte length in front, each stored and decoded; every value is
// read back and checked against the bounds of its record.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wire/MysqlProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint32_t columns = (data[0] & 31) + 1;
  wire::TMysqlRowSet rows(columns);
  std::vector<std::uint32_t> record;
  std::size_t at = 1;
  unsigned sum = 0;
  while (at + 2 <= size) {
    std::size_t n = data[at] | (data[at + 1] << 8);
    at += 2;
    if (n > size - at) n = size - at;
    bool stored = rows.Append(data + at, n);
    bool decoded = wire::TMysqlRowSet::Decode(data + at, n, columns, record);
    if (stored != decoded) __builtin_trap();
    if (decoded) {
      for (std::uint32_t i = 0; i < columns; ++i) {
        const char* v = wire::TMysqlRowSet::Value(record.data(), columns, i);
        std::size_t len = wire::TMysqlRowSet::Length(record.data(), columns, i);
        if (!v) continue;
        if (len > n) __builtin_trap();
        for (std::size_t j = 0; j <= len; ++j) sum += static_cast<unsigned char>(v[j]);
        if (v[len] != 0) __builtin_trap();
      }
    }
    at += n;
  }
  for (std::size_t r = 0; r < rows.Size(); ++r) {
    for (std::uint32_t i = 0; i < columns; ++i) {
      const char* v = wire::TMysqlRowSet::Value(rows.Row(r), columns, i);
      if (v)
        sum += static_cast<unsigned char>(v[wire::TMysqlRowSet::Length(rows.Row(r), columns, i)]);
    }
  }
  return static_cast<int>(sum & 0);
}
