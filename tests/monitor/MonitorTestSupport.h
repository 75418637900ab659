// Helpers of the monitor tests: a private channel prefix per test, and the
// sqlmonitor program run as a child process whose output lines are read
// back.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace monitor_test {

// Polls `condition` every 10 ms for up to `timeoutMs`; true once it holds.
template <typename Condition>
bool Eventually(Condition condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A name prefix no other test run uses; its objects are removed when the
// value goes.
class PrivateChannel {
 public:
  PrivateChannel();
  ~PrivateChannel();
  const std::string& Prefix() const { return prefix_; }

 private:
  std::string prefix_;
};

// The private prefix of the process's own hook (engine::MonitorHook()): set
// in TOLVEX_MONITOR_PREFIX on the first call, before the hook is made, and
// its objects removed when the process ends.
const std::string& ProcessChannelPrefix();

// sqlmonitor running with the given arguments (the channel's prefix is
// added). The process is stopped with SIGINT when the value goes.
class MonitorProcess {
 public:
  MonitorProcess(const std::string& prefix, const std::vector<std::string>& arguments);
  ~MonitorProcess();

  // Waits until the monitor has attached (its wanted counters and monitor
  // count are raised); false after `timeoutMs`.
  bool WaitAttached(int timeoutMs);
  // The next output line without its newline; false on end or timeout.
  bool ReadLine(std::string& line, int timeoutMs);
  // Sends SIGINT and waits for the exit; returns the exit status (-1 when it
  // did not end normally).
  int Interrupt();
  // Waits for the process to end by itself.
  int Wait(int timeoutMs);

 private:
  pid_t pid_ = -1;
  int out_ = -1;  // its stdout
  int err_ = -1;  // its stderr
  std::string buffer_;
  std::string errBuffer_;
};

// The TAB-separated fields of a line.
std::vector<std::string> SplitFields(const std::string& line);

}  // namespace monitor_test
