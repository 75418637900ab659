// Helpers shared by the benchmarks: command-line options, timers and the
// process's peak memory.
//
// Every benchmark takes --host and --port, defaulting to the sandbox server
// (MYSQL_TEST_HOST / MYSQL_TEST_PORT), and --user / --password, defaulting
// to root. Other options are plain switches ("--drain") or "--name value"
// pairs the benchmark declares. Benchmarks print their figures as
// name=value pairs on their last line (see FormatFigures).
//
// Nothing here is shared between threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct Options {
  std::string host = "127.0.0.1";
  int port = 3306;
  std::string user = "root";
  std::string password = "kmzq";
  bool userGiven = false;                     // --user was on the command line
  std::set<std::string> switches;             // e.g. "drain"
  std::map<std::string, std::string> values;  // e.g. "rows" -> "1000"

  bool Has(const std::string& name) const { return switches.count(name) != 0; }
  std::string Value(const std::string& name, const std::string& fallback) const;
};

// Parses argv. switchNames and valueNames list what the benchmark accepts
// besides --host, --port, --user and --password. On an unknown option or a
// missing value prints the usage to stderr and exits with status 2.
Options ParseOptions(int argc, char** argv, const std::vector<std::string>& switchNames,
                     const std::vector<std::string>& valueNames = {});

// --repeat: how many times a benchmark runs each measurement (default 2, at
// least 1); the best time is kept.
int RepeatOption(const Options& o);

// Wall-clock stopwatch.
class Timer {
 public:
  Timer() : start_(std::chrono::steady_clock::now()) {}
  void Restart() { start_ = std::chrono::steady_clock::now(); }
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

// Peak resident set size of the process in MiB (VmHWM).
double PeakRssMb();
// Resets the peak to the current resident size, so that the next PeakRssMb
// measures one phase. False when the system does not support it.
bool ResetPeakRss();

// "a=1 b=2.50 ..." with doubles printed to the given number of decimals.
std::string FormatFigures(const std::vector<std::pair<std::string, double>>& figures,
                          int decimals = 3);

}  // namespace bench
