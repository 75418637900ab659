#include "common/BenchCommon.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bench {

std::string Options::Value(const std::string& name, const std::string& fallback) const {
  auto it = values.find(name);
  return it == values.end() ? fallback : it->second;
}

int RepeatOption(const Options& o) {
  return std::max(1, std::atoi(o.Value("repeat", "2").c_str()));
}

namespace {

[[noreturn]] void Usage(const char* program, const std::vector<std::string>& switchNames,
                        const std::vector<std::string>& valueNames, const std::string& why) {
  std::fprintf(stderr, "%s: %s\nusage: %s [--host H] [--port P] [--user U] [--password W]", program,
               why.c_str(), program);
  for (const auto& s : switchNames) std::fprintf(stderr, " [--%s]", s.c_str());
  for (const auto& v : valueNames) std::fprintf(stderr, " [--%s V]", v.c_str());
  std::fprintf(stderr, "\n");
  std::exit(2);
}

}  // namespace

Options ParseOptions(int argc, char** argv, const std::vector<std::string>& switchNames,
                     const std::vector<std::string>& valueNames) {
  Options o;
  if (const char* h = std::getenv("MYSQL_TEST_HOST"); h && *h) o.host = h;
  if (const char* p = std::getenv("MYSQL_TEST_PORT"); p && *p) o.port = std::atoi(p);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) Usage(argv[0], switchNames, valueNames, "unexpected " + arg);
    std::string name = arg.substr(2);
    bool isSwitch = false;
    for (const auto& s : switchNames) isSwitch = isSwitch || s == name;
    if (isSwitch) {
      o.switches.insert(name);
      continue;
    }
    bool isValue = name == "host" || name == "port" || name == "user" || name == "password";
    for (const auto& v : valueNames) isValue = isValue || v == name;
    if (!isValue) Usage(argv[0], switchNames, valueNames, "unknown option " + arg);
    if (i + 1 >= argc) Usage(argv[0], switchNames, valueNames, "missing value for " + arg);
    std::string value = argv[++i];
    if (name == "host") {
      o.host = value;
    } else if (name == "port") {
      o.port = std::atoi(value.c_str());
    } else if (name == "user") {
      o.user = value;
      o.userGiven = true;
    } else if (name == "password") {
      o.password = value;
    } else {
      o.values[name] = value;
    }
  }
  return o;
}

double PeakRssMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
}

bool ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear);
}

std::string FormatFigures(const std::vector<std::pair<std::string, double>>& figures,
                          int decimals) {
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(decimals);
  bool first = true;
  for (const auto& [name, value] : figures) {
    if (!first) out << ' ';
    first = false;
    out << name << '=' << value;
  }
  return out.str();
}

}  // namespace bench
