// A loopback TCP proxy for tests and benchmarks: clients connect to it
// instead of the server, and the test can delay each direction, hold every
// byte (a link that drops all packets: nothing arrives, nothing fails), cut
// every connection open now, and count request/reply exchanges.
//
// Delays are latency, not bandwidth: every chunk read is passed on once its
// own delay has passed. While the link is held nothing is read or written;
// bytes already read wait, and flow again in order once it is let go, as
// TCP's retransmissions would deliver them. Connections accepted while held
// are opened to the server at once but pass nothing either.
//
// Thread-safe: the controls may be called from any thread while the proxy
// runs its own threads (a listener, and two per direction of a connection).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/Loopback.h"

namespace support {

class Proxy {
 public:
  // Listens on 127.0.0.1 (a free port) and forwards to host:port.
  Proxy(std::string host, int port);
  ~Proxy();
  Proxy(const Proxy&) = delete;
  Proxy& operator=(const Proxy&) = delete;

  int Port() const { return listener_.Port(); }

  // Milliseconds each chunk waits on its way to the server / to the client.
  void SetDelay(int toServerMs, int toClientMs);
  // Holds every byte in both directions while on.
  void Hold(bool on);
  // Closes both sides of every connection open now; later ones pass.
  void Cut();
  // Stops listening and cuts every connection, as a network that went away:
  // later connections are refused.
  void GoAway();
  // Times a client spoke after the server had (or first): one exchange each.
  long long Exchanges() const { return exchanges_; }
  // Connections accepted so far.
  int Accepted() const { return accepted_; }

 private:
  struct Link;
  void Accept();

  std::string host_;
  int serverPort_;
  LoopbackListener listener_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> gone_{false};
  std::atomic<bool> held_{false};
  std::atomic<int> toServerMs_{0};
  std::atomic<int> toClientMs_{0};
  std::atomic<long long> exchanges_{0};
  std::atomic<int> accepted_{0};
  std::mutex mutex_;
  std::vector<std::unique_ptr<Link>> links_;
  std::thread acceptor_;
};

}  // namespace support
