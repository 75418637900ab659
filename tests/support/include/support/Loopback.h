// A TCP listener on 127.0.0.1 at a port the system picks, for the tests'
// stand-in servers and forwarders.
//
// One thread accepts; StopListening may come from another while it waits.
// The descriptor stays open until the listener is destroyed, so a thread
// still polling it never sees a number the system gave to something else.
#pragma once

namespace support {

class LoopbackListener {
 public:
  // Binds 127.0.0.1 on a free port and listens; throws std::runtime_error
  // when it cannot.
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  int Port() const { return port_; }

  // The next connection (close-on-exec), waiting at most timeoutMs; -1 when
  // none came in that time or the listener no longer listens.
  int Accept(int timeoutMs);

  // Stops listening: connections are refused from now on, as by a server
  // that went away.
  void StopListening();

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace support
