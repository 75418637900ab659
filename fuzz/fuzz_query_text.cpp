// What a query component does to its text before the engine sees it:
// comment removal by the chosen options, then the parameter markers. Any
// byte string must come through without a crash. Without options the text
// must come out as its lines joined with CR LF, whether the shortcut for an
// already joined text was taken or not, and comment removal never adds
// anything but line breaks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "components/MySQLQuery.h"
#include "db/Params.h"
#include "rtl/Classes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  components::TmySQLQueryProcessComments options;
  if (data[0] & 1) options.Include(components::qpcMinusMinus);
  if (data[0] & 2) options.Include(components::qpcSharp);
  if (data[0] & 4) options.Include(components::qpcSlashAsterisk);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::string out = components::RemoveComments(text, options);

  rtl::TStringList lines;
  lines.SetText(text);
  std::string joined;
  for (int i = 0; i < lines.Count(); ++i) {
    joined += lines.Strings(i);
    joined += "\r\n";
  }
  if (options.Empty() && out != joined) std::abort();
  std::size_t breaks = 0;
  for (char c : out) breaks += c == '\r' || c == '\n';
  if (out.size() - breaks > text.size()) std::abort();

  db::TParams params;
  (void)params.ParseSQL(out, true);
  return 0;
}
