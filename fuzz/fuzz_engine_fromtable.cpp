// The table a statement reads from is found by a small tokenizer over the
// statement text (names, quoted names, literals, comments). Any byte string
// must give a name or nothing without a crash; a name found is never empty
// between its backquotes and is found again in a SELECT built from it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/SqlText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (int version : {32306, 50505}) {
    const std::string name = engine::FindFromTable(text, version);
    if (name.empty()) continue;
    if (version >= engine::kBackquoteVersion && name.front() != '`') std::abort();
    engine::QuoteTableName(name, version);
  }
  return 0;
}
