#include "os/Connectivity.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace os {
namespace {

constexpr unsigned long kRouteUp = 0x0001;         // RTF_UP
constexpr unsigned long kRouteReject = 0x0200;     // RTF_REJECT
constexpr unsigned long kRouteLocal = 0x80000000;  // RTF_LOCAL (IPv6: an own address)

std::vector<std::string> Columns(std::string_view line) {
  std::vector<std::string> columns;
  std::istringstream in{std::string(line)};
  std::string column;
  while (in >> column) columns.push_back(column);
  return columns;
}

bool ParseHex(const std::string& text, unsigned long& value) {
  if (text.empty()) return false;
  try {
    size_t used = 0;
    value = std::stoul(text, &used, 16);
    return used == text.size();
  } catch (const std::exception&) {
    return false;
  }
}

template <typename Rule>
bool AnyLine(std::string_view table, bool skipHeader, Rule rule) {
  size_t start = 0;
  bool first = true;
  while (start < table.size()) {
    size_t end = table.find('\n', start);
    if (end == std::string_view::npos) end = table.size();
    std::string_view line = table.substr(start, end - start);
    start = end + 1;
    if (first && skipHeader) {
      first = false;
      continue;
    }
    first = false;
    if (rule(Columns(line))) return true;
  }
  return false;
}

std::string ReadWhole(const char* path) {
  std::ifstream in(path);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool Ipv4RouteTableHasUsableRoute(std::string_view table) {
  return AnyLine(table, true, [](const std::vector<std::string>& c) {
    unsigned long flags = 0;
    if (c.size() < 4 || c[0] == "lo" || !ParseHex(c[3], flags)) return false;
    return (flags & kRouteUp) != 0;
  });
}

bool Ipv6RouteTableHasUsableRoute(std::string_view table) {
  return AnyLine(table, false, [](const std::vector<std::string>& c) {
    unsigned long flags = 0;
    if (c.size() < 10 || c[9] == "lo" || !ParseHex(c[8], flags)) return false;
    // Link-local and multicast prefixes exist on every interface that is up,
    // cable or not, so they say nothing about reaching anyone.
    const std::string& destination = c[0];
    if (destination.rfind("fe8", 0) == 0 || destination.rfind("ff", 0) == 0) return false;
    return (flags & kRouteUp) != 0 && (flags & (kRouteReject | kRouteLocal)) == 0;
  });
}

bool HasNetworkConnection() {
  return Ipv4RouteTableHasUsableRoute(ReadWhole("/proc/net/route")) ||
         Ipv6RouteTableHasUsableRoute(ReadWhole("/proc/net/ipv6_route"));
}

}  // namespace os
