// A stand-in MySQL server that speaks TLS with a certificate the test
// chooses, for the certificate checks no single real server can show at
// once (a wrong name, a self-signed certificate).
//
// It listens on a free loopback port and serves one connection after the
// other on its own thread: a greeting offering TLS, the client's TLS
// request, the TLS handshake with the given certificate, then the login
// packet over TLS, answered with OK; then it waits until the client goes.
// It counts what arrived, so a test can tell that a refused certificate
// got no login packet.
//
// Threads: the getters lock internally; the destructor stops the worker.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "support/Loopback.h"

namespace support {

class FakeTlsServer {
 public:
  // certificate and key: PEM files.
  FakeTlsServer(const std::string& certificate, const std::string& key);
  ~FakeTlsServer();
  FakeTlsServer(const FakeTlsServer&) = delete;
  FakeTlsServer& operator=(const FakeTlsServer&) = delete;

  const std::string& Host() const { return host_; }
  int Port() const { return listener_.Port(); }

  int Connections() const;
  int Handshakes() const;  // TLS handshakes completed
  int Logins() const;      // login packets received (in clear or over TLS)

 private:
  void Worker();
  void Serve(int fd);

  std::string host_ = "127.0.0.1";
  LoopbackListener listener_;
  void* context_ = nullptr;  // SSL_CTX
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  int connections_ = 0;
  int handshakes_ = 0;
  int logins_ = 0;
  std::thread worker_;
};

// The folder of the sandbox's certificates (MYSQL_TEST_TLS_DIR), empty when
// the variable is not set.
std::string TlsDirectory();

}  // namespace support
