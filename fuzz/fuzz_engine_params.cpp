// Statement texts with ":name" markers are rebuilt token by token before they
// reach the server. Any byte string must come through without a crash, and
// the result must keep its invariants: trimmed, no runs of blanks outside
// quoted texts, no marker for a parameter that exists.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/SqlText.h"

namespace {

std::vector<engine::TEngineParam> Params() {
  std::vector<engine::TEngineParam> params(3);
  params[0].name = "id";
  params[0].kind = engine::TEngineParam::Integer;
  params[0].int_value = 7;
  params[1].name = "nome";
  params[1].kind = engine::TEngineParam::Text;
  params[1].text = "O'Neil\\\n";
  params[2].name = "dia";
  params[2].kind = engine::TEngineParam::Date;
  params[2].float_value = 45351.5;
  return params;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<engine::TEngineParam> params = Params();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string out = engine::SubstituteParameters(text, params, false);
  if (!out.empty() && (static_cast<unsigned char>(out.front()) <= ' ' ||
                       static_cast<unsigned char>(out.back()) <= ' ')) {
    // Trim removes every byte up to blank; tokens never start with a blank
    // or tab, but control bytes other than those are ordinary characters.
    if (out.front() == ' ' || out.front() == '\t' || out.back() == ' ' || out.back() == '\t')
      std::abort();
  }
  // Substituting again must not crash either (values may hold markers).
  engine::SubstituteParameters(out, params, false);
  return 0;
}
