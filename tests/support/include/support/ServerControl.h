// A sandbox server of a test's own (scripts/sandbox.sh start DIR), for the
// tests that kill, stop or restart one server while the agent works: the
// shared sandbox of the test run is never touched. The data directory stays
// between runs (the first start bootstraps it); a restart comes back on the
// same port, which lies outside the kernel's ephemeral range.
//
// One object per directory; not thread-safe. Destroying it stops the server
// (SIGCONT first, should it be stopped).
#pragma once

#include <sys/types.h>
#include <string>

namespace support {

class ServerControl {
 public:
  explicit ServerControl(std::string dir);
  ~ServerControl();
  ServerControl(const ServerControl&) = delete;
  ServerControl& operator=(const ServerControl&) = delete;

  // Starts the server (bootstrapping its directory the first time) and waits
  // until it accepts connections; false with Error() set when it did not.
  bool Start();
  // SIGKILL, and waits until the process is gone.
  void Kill();
  // SIGSTOP / SIGCONT: a hung server, and the same one resumed.
  void Pause();
  void Resume();
  // Orderly stop by its pid file.
  void Stop();

  int Port() const { return port_; }
  const std::string& Dir() const { return dir_; }
  const std::string& Error() const { return error_; }

 private:
  pid_t Pid() const;

  std::string dir_;
  int port_ = 0;
  std::string error_;
};

// The project's scripts/sandbox.sh.
std::string SandboxScript();

}  // namespace support
