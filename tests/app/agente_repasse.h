// A TCP forwarder on the loopback address for tests: the agent connects to
// it instead of the server, and the test can cut every connection and stop
// listening at once, as a network that went away would.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace agentetest {

class Repasse {
 public:
  // Listens on 127.0.0.1 (a free port) and forwards to destino:porta.
  Repasse(const std::string& destino, int porta);
  ~Repasse();
  Repasse(const Repasse&) = delete;
  Repasse& operator=(const Repasse&) = delete;

  int Porta() const { return porta_; }
  // Closes the listener and every forwarded connection.
  void Derrubar();

 private:
  void Aceitar();
  void Bombear(int a, int b);

  std::string destino_;
  int portaDestino_;
  int escuta_ = -1;
  int porta_ = 0;
  std::atomic<bool> derrubado_{false};
  std::mutex mutex_;
  std::vector<int> sockets_;
  std::vector<std::thread> threads_;
  std::thread aceitador_;
};

}  // namespace agentetest
