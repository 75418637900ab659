#include "support/ServerControl.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#ifndef TOLVEX_SOURCE_DIR
#error "TOLVEX_SOURCE_DIR must name the project's root"
#endif

namespace support {

namespace {

// Runs the command and returns its output (empty when it failed).
std::string Run(const std::string& command, bool& ok) {
  std::string out;
  ok = false;
  if (std::FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    ok = ::pclose(p) == 0;
  }
  return out;
}

std::string Quoted(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

std::string SandboxScript() {
  return std::string(TOLVEX_SOURCE_DIR) + "/scripts/sandbox.sh";
}

ServerControl::ServerControl(std::string dir) : dir_(std::move(dir)) {}

ServerControl::~ServerControl() {
  Resume();
  Stop();
}

bool ServerControl::Start() {
  bool ok = false;
  const std::string out = Run(SandboxScript() + " start " + Quoted(dir_) + " 2>&1", ok);
  const std::size_t at = out.rfind("MYSQL_TEST_PORT=");
  if (!ok || at == std::string::npos) {
    error_ = out;
    return false;
  }
  port_ = std::atoi(out.c_str() + at + 16);
  return port_ > 0;
}

pid_t ServerControl::Pid() const {
  std::ifstream f(dir_ + "/mariadbd.pid");
  pid_t pid = 0;
  f >> pid;
  return pid;
}

void ServerControl::Kill() {
  const pid_t pid = Pid();
  if (pid <= 0) return;
  ::kill(pid, SIGCONT);
  ::kill(pid, SIGKILL);
  for (int i = 0; i < 300 && ::kill(pid, 0) == 0; ++i) {
    // Nobody here is its parent: once it is a zombie it is gone for us.
    std::ifstream status("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(status, text);
    if (text.find(") Z ") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // A zombie still answers kill(0): without its pid file the script knows
  // the server is down.
  std::remove((dir_ + "/mariadbd.pid").c_str());
}

void ServerControl::Pause() {
  if (const pid_t pid = Pid(); pid > 0) ::kill(pid, SIGSTOP);
}

void ServerControl::Resume() {
  if (const pid_t pid = Pid(); pid > 0) ::kill(pid, SIGCONT);
}

void ServerControl::Stop() {
  bool ok = false;
  Run(SandboxScript() + " stop " + Quoted(dir_) + " >/dev/null 2>&1", ok);
}

}  // namespace support
