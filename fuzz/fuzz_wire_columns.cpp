// Column definitions: the input is split into packets (a one-byte length in
// front of each), read as definition rows of 7 or 5 values and turned into
// column descriptors.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wire/MysqlProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool protocol41 = data[0] & 1;
  const bool longFlag = data[0] & 2;
  wire::TMysqlRowSet definitions(protocol41 ? 7 : 5);
  std::size_t at = 1;
  while (at < size) {
    std::size_t n = data[at++];
    if (n > size - at) n = size - at;
    definitions.Append(data + at, n);
    at += n;
  }
  std::vector<wire::TMysqlColumn> columns;
  if (wire::MakeColumns(definitions, protocol41, longFlag, columns) &&
      columns.size() != definitions.Size()) {
    __builtin_trap();
  }
  return 0;
}
