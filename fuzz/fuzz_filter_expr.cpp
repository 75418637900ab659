// Filter texts come from users (a dataset's Filter property): parsing any
// byte string must either build a tree or raise the filter error, never
// crash, and a parsed tree must print to a text that parses to the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "db/FilterExpr.h"
#include "rtl/DateTime.h"

namespace {

class FuzzRecord : public db::TFilterRecord {
 public:
  bool GetFieldValue(int ref, std::string_view name, rtl::Variant& value) const override {
    if (name.empty()) return false;
    switch ((ref + static_cast<unsigned char>(name[0])) % 7) {
      case 0:
        value = rtl::Variant("Jo\xE3o da Silva");
        break;
      case 1:
        value = rtl::Variant(42);
        break;
      case 2:
        value = rtl::Variant(-3.25);
        break;
      case 3:
        value = rtl::Variant::Null();
        break;
      case 4:
        value = rtl::Variant::FromDateTime(rtl::EncodeDate(2024, 2, 29));
        break;
      case 5:
        value = rtl::Variant(true);
        break;
      default:
        return false;
    }
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  db::TFilterOptions options;
  if (data[0] & 1) options.Include(db::foCaseInsensitive);
  if (data[0] & 2) options.Include(db::foNoPartialCompare);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    const db::TFilterExpr e = db::TFilterExpr::Parse(text, options);
    (void)e.Evaluate(FuzzRecord());
    const std::string printed = e.ToText();
    const db::TFilterExpr again = db::TFilterExpr::Parse(printed, options);
    if (again.ToText() != printed) std::abort();
    if (again.Evaluate(FuzzRecord()) != e.Evaluate(FuzzRecord())) std::abort();
  } catch (const db::EFilterError& err) {
    if (err.Position() < 1 || static_cast<size_t>(err.Position()) > text.size() + 1) std::abort();
  }
  return 0;
}
