// A transport that plays a script instead of talking to a socket, so that a
// test can put exactly one fault where it wants it: the server's bytes in
// pieces of any size (short reads), a read interrupted by a signal, a
// connection reset, a read that runs out of time, the server closing, a
// write that fails, a connect that is refused.
//
// Reads take the events from the front of the script in order; each read
// returns at most the rest of one Bytes event, so pieces arrive as short
// reads. A write takes a WriteFails event when one is at the front and
// otherwise succeeds whole and is recorded. Connect takes a Refused event
// when one is at the front. A read that finds no read event at the front
// (the script is used up, or a write event waits) ends as the server's
// orderly close. TLS is not offered: SslConnect fails and closes.
//
// The test keeps a pointer to the transport after handing it to the packet
// layer: it lives as long as the client it was put into.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

#include "wire/Transport.h"

namespace wiretest {

class ScriptedTransport : public wire::TTransport {
 public:
  // --- The script; each returns *this for chaining. ------------------------

  // The bytes arrive in pieces of at most `piece` bytes (0: all at once).
  ScriptedTransport& Bytes(const std::string& bytes, std::size_t piece = 0);
  // One fault where the script has got to.
  enum class Fault {
    kInterrupted,  // a read fails as interrupted by a signal (EINTR)
    kReset,        // a read fails with a reset connection (ECONNRESET)
    kTimedOut,     // a read runs out of time (ETIMEDOUT)
    kClosed,       // a read finds the server gone (orderly end of stream)
    kWriteFails,   // the next write fails with a broken pipe (EPIPE)
    kRefused,      // the next connect is refused (2003)
  };
  ScriptedTransport& Inject(Fault fault);

  // --- What happened. -------------------------------------------------------

  // Every byte written so far, across connections.
  const std::string& Written() const { return written_; }
  int Connects() const { return connects_; }
  // Script events not yet played.
  std::size_t Left() const { return script_.size(); }

  // --- The transport. -------------------------------------------------------

  int Connect(int kind, const std::string& host, bool pipeFallback, int timeoutSeconds, int port,
              const std::string& pipeName) override;
  int Close() override;
  int Read(void* buffer, std::size_t size) override;
  int Write(const void* buffer, std::size_t size) override;
  bool WaitReadable(int seconds) override;
  bool ShouldRetry() const override;
  bool WasInterrupted() const override { return lastError_ == Fault::kInterrupted; }
  bool NonBlocking() const override { return false; }
  void SslConnect(const std::string& keyFile, const std::string& certFile,
                  const std::string& caFile, const std::string& caPath, std::string& cipher,
                  int timeoutSeconds) override;
  std::uint8_t Kind() const override { return open_ ? wire::kVioTcp : wire::kVioClosed; }
  int Socket() const override { return -1; }

 private:
  // Bytes, or a fault.
  struct Event {
    std::string bytes;
    std::optional<Fault> fault;
  };
  // Takes the front event when it is this fault.
  bool Take(Fault fault);
  // A failed call: the fault the retry questions look at, and -1.
  int Fail(Fault fault);

  std::deque<Event> script_;
  std::string written_;
  int connects_ = 0;
  bool open_ = false;
  // What made the last call fail (none when it did not).
  std::optional<Fault> lastError_;
};

}  // namespace wiretest
