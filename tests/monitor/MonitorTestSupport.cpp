#include "MonitorTestSupport.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "os/MonitorChannel.h"

extern char** environ;

namespace monitor_test {
namespace {

std::atomic<int> g_channelNumber{0};

int ExitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

PrivateChannel::PrivateChannel() {
  prefix_ = "tolvex-mon-test-" + std::to_string(getpid()) + "-" +
            std::to_string(g_channelNumber.fetch_add(1)) + ".";
  os::MonitorChannel::RemoveObjects(prefix_);
}

PrivateChannel::~PrivateChannel() {
  os::MonitorChannel::RemoveObjects(prefix_);
}

const std::string& ProcessChannelPrefix() {
  // Never freed: the clean-up at exit still reads it.
  static const std::string* const prefix = [] {
    auto* name = new std::string("tolvex-mon-test-" + std::to_string(getpid()) + "-process.");
    os::MonitorChannel::RemoveObjects(*name);
    setenv("TOLVEX_MONITOR_PREFIX", name->c_str(), 1);
    std::atexit([] { os::MonitorChannel::RemoveObjects(ProcessChannelPrefix()); });
    return name;
  }();
  return *prefix;
}

MonitorProcess::MonitorProcess(const std::string& prefix,
                               const std::vector<std::string>& arguments) {
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  std::vector<std::string> all = {SQLMONITOR_PATH, "--prefix", prefix};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, SQLMONITOR_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  out_ = outPipe[0];
  err_ = errPipe[0];
}

MonitorProcess::~MonitorProcess() {
  if (pid_ > 0) Interrupt();
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

namespace {

// Appends what arrives on fd to buffer, waiting until the deadline for at
// least one byte; false at the end of the stream or when the time is up.
bool ReadMore(int fd, std::string& buffer, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0 || fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char chunk[4096];
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    return true;
  }
}

}  // namespace

bool MonitorProcess::WaitAttached(int timeoutMs) {
  // The program says so on stderr once its counts are raised.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (errBuffer_.find("attached\n") == std::string::npos) {
    if (!ReadMore(err_, errBuffer_, deadline)) return false;
  }
  return true;
}

bool MonitorProcess::ReadLine(std::string& line, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t end;
  while ((end = buffer_.find('\n')) == std::string::npos) {
    if (!ReadMore(out_, buffer_, deadline)) return false;
  }
  line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  return true;
}

int MonitorProcess::Interrupt() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGINT);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return ExitStatus(status);
}

int MonitorProcess::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) return Interrupt();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  return ExitStatus(status);
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

}  // namespace monitor_test
