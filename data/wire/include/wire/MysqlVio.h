// TMysqlVio: the byte channel beneath one MySQL connection.
//
// A TMysqlVio moves raw bytes between the client and one server; it knows
// nothing of packets. It is the transport (Transport.h) the packet layer
// (TMysqlNet) owns unless a test put in another. Channels: a TCP socket (kind 1), TLS on
// top of an open TCP socket (kind 4). The named-pipe kind (3) exists only on
// Windows; on this platform connecting with it fails with the pipe's open
// error, or falls back to TCP when asked to. The object also holds the last
// client error of the connection (number and message, the message cut to 200
// characters), which the packet layer and the client set and read (the
// fields are the transport's).
//
// Every wait is bounded: no read or write waits longer than the connection's
// timeout (the connect timeout; 0 = no limit of its own) for its next byte,
// the socket's keep-alive probes and TCP user timeout notice a link that
// went silent, and InterruptWaits ends every wait of the process at once.
//
// Ownership: the object owns its socket and its TLS session and context;
// destroying an open channel closes it. Concurrency: one thread at a time
// per object; the process-wide OpenSSL initialisation is done once and is
// safe to reach from several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "wire/MysqlTls.h"
#include "wire/Transport.h"

namespace wire {

// Loads (here: initialises the linked) OpenSSL once for the process. Returns
// false when TLS is unavailable.
bool LoadSslLibrary();
// Counterpart of LoadSslLibrary at process end; harmless when not loaded.
void UnloadSslLibrary();

// Ends every wait of every channel in the process within a fraction of a
// second (connect, read, write): the call fails as on a timeout, and so do
// later waits until ResumeWaits. Safe to call from a signal handler.
void InterruptWaits();
// Lets waits run for at most this many milliseconds from now, then ends
// them as InterruptWaits does (a last statement after an interruption).
void LimitWaits(int milliseconds);
void ResumeWaits();
// True after InterruptWaits or LimitWaits until ResumeWaits.
bool WaitsInterrupted();

// Keep-alive probes of every TCP channel: first after this many idle
// seconds, then every interval, the link given up after the count.
constexpr int kKeepAliveIdleSeconds = 15;
constexpr int kKeepAliveIntervalSeconds = 5;
constexpr int kKeepAliveCount = 3;

class TMysqlVio : public TTransport {
 public:
  TMysqlVio();
  ~TMysqlVio() override;

  int Connect(int kind, const std::string& host, bool pipeFallback, int timeoutSeconds, int port,
              const std::string& pipeName) override;
  int Close() override;
  int Read(void* buffer, std::size_t size) override;
  int Write(const void* buffer, std::size_t size) override;
  bool WaitReadable(int seconds) override;
  bool ShouldRetry() const override;
  bool WasInterrupted() const override;
  bool NonBlocking() const override { return (flags_ & 1) != 0; }
  void SslConnect(const std::string& keyFile, const std::string& certFile,
                  const std::string& caFile, const std::string& caPath, std::string& cipher,
                  int timeoutSeconds) override;
  std::uint8_t Kind() const override { return kind_; }
  int Socket() const override { return socket_; }

  int SetBlocking(bool on);
  // Socket keep-alive; on also sets the probe timings above.
  int SetKeepAlive(bool on);
  int SetFastSend();
  int ConnectTimeout() const { return timeout_; }

  // Takes over an already connected stream socket as a TCP channel (used by
  // tools and tests that set up the socket themselves, e.g. a socketpair).
  // Fails with -20 when the channel is open.
  int Attach(int fd);

 private:
  struct Tls;

  int ConnectTcp(const std::string& host, int port);
  void FailConnect(int number, const std::string& host, int sysError);
  // Bounds the waits of the open socket by the timeout (also those inside
  // OpenSSL) and sets its TCP user timeout.
  void BoundWaits();
  // Waits up to the timeout for the socket to be ready for `events`; false
  // (with the socket error set) when the time ran out or waits were
  // interrupted.
  bool WaitFor(short events);
  // Runs the TLS handshake of `tls`'s session on the socket, each wait
  // bounded; OpenSSL's result (1 when it completed).
  int Handshake(Tls& tls, int timeoutSeconds);

  int socket_ = -1;
  std::intptr_t pipe_ = -1;
  std::uint32_t flags_ = 0;
  std::uint8_t kind_ = kVioClosed;
  std::unique_ptr<Tls> tls_;
  int timeout_ = 0;
  bool blockingReads_ = true;
  int lastSocketError_ = 0;
  // Read-ahead: small reads are served from here so that a packet header and
  // its payload cost one system call, not two.
  std::unique_ptr<std::uint8_t[]> ahead_;
  std::size_t aheadPos_ = 0;
  std::size_t aheadEnd_ = 0;
};

}  // namespace wire
