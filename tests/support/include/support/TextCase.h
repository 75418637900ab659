// One case of a table-driven test on texts: what goes in, and what must come
// out of it (a result, a canonical form, or a part of a message).
#pragma once

namespace support {

struct TextCase {
  const char* input;
  const char* expected;
};

}  // namespace support
