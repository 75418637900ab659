// TMysqlVio: the byte channel beneath one MySQL connection.
//
// A TMysqlVio moves raw bytes between the client and one server; it knows
// nothing of packets. The packet layer (TMysqlNet) owns exactly one and calls
// it to open, read, write and close. Channels: a TCP socket (kind 1), TLS on
// top of an open TCP socket (kind 4). The named-pipe kind (3) exists only on
// Windows; on this platform connecting with it fails with the pipe's open
// error, or falls back to TCP when asked to. The object also holds the last
// client error of the connection (number and message, the message cut to 200
// characters), which the packet layer and the client set and read.
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

namespace wire {

// Channel kinds.
constexpr std::uint8_t kVioClosed = 0;
constexpr std::uint8_t kVioTcp = 1;
constexpr std::uint8_t kVioNamedPipe = 3;
constexpr std::uint8_t kVioTls = 4;

// Longest error message kept; longer texts keep their first 200 characters.
constexpr std::size_t kVioMaxErrorMessage = 200;

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

class TMysqlVio {
 public:
  TMysqlVio();
  ~TMysqlVio();
  TMysqlVio(const TMysqlVio&) = delete;
  TMysqlVio& operator=(const TMysqlVio&) = delete;

  // Opens the channel. kind: kVioTcp or kVioNamedPipe. port 0 means 3306, an
  // empty host "localhost"; timeoutSeconds 0 means no wait for the server's
  // first bytes. Returns 0 on success, a negative number on failure with the
  // error number and message set (2003, 2004, 2005, 2016-2018); -20 when the
  // channel is already open (nothing changes).
  int Connect(int kind, const std::string& host, bool pipeFallback, int timeoutSeconds, int port,
              const std::string& pipeName);
  // Closes whatever is open, discarding data still arriving. 0 or -1.
  int Close();

  // Bytes read (> 0), 0 at orderly end, negative on failure.
  int Read(void* buffer, std::size_t size);
  // Bytes written (> 0), or negative on failure.
  int Write(const void* buffer, std::size_t size);

  int SetBlocking(bool on);
  // Socket keep-alive; on also sets the probe timings above.
  int SetKeepAlive(bool on);
  int SetFastSend();
  // True when the channel has data within the given number of seconds.
  bool WaitReadable(int seconds);
  // The last socket error allows the call to be repeated (interrupted,
  // would block, in progress). A wait that ran out or was interrupted by
  // InterruptWaits does not.
  bool ShouldRetry() const;
  bool WasInterrupted() const;

  // Layers TLS on the open TCP channel; on success the kind becomes kVioTls
  // and cipher receives the negotiated cipher's name. The server certificate
  // is checked as SetTlsVerification asked. On failure the channel is closed
  // and TlsFailure() says why.
  void SslConnect(const std::string& keyFile, const std::string& certFile,
                  const std::string& caFile, const std::string& caPath, std::string& cipher,
                  int timeoutSeconds);

  // What the next SslConnect checks of the server certificate, and the host
  // name or address it checks it for.
  void SetTlsVerification(const TTlsOptions& options, const std::string& host) {
    tlsOptions_ = options;
    tlsHost_ = host;
  }
  // Why the last SslConnect failed; empty after a successful one.
  const std::string& TlsFailure() const { return tlsFailure_; }
  // Of the last successful SslConnect: the protocol ("TLSv1.3") and the
  // server certificate.
  const std::string& TlsVersion() const { return tlsVersion_; }
  const TCertificateInfo& PeerCertificate() const { return peerCertificate_; }

  bool IsConnected() const { return kind_ != kVioClosed; }
  std::uint8_t Kind() const { return kind_; }
  bool NonBlocking() const { return (flags_ & 1) != 0; }
  int Socket() const { return socket_; }
  int ConnectTimeout() const { return timeout_; }

  int ErrorNumber() const { return errorNumber_; }
  void SetErrorNumber(int number) { errorNumber_ = number; }
  const std::string& ErrorMessage() const { return errorMessage_; }
  // Keeps at most kVioMaxErrorMessage characters of the text.
  void SetErrorMessage(const std::string& text);
  // Sets number and message (cut as above) together.
  void SetError(int number, const std::string& text);
  void ClearError();

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

  int socket_ = -1;
  std::intptr_t pipe_ = -1;
  std::uint32_t flags_ = 0;
  std::uint8_t kind_ = kVioClosed;
  std::string errorMessage_;
  int errorNumber_ = 0;
  std::unique_ptr<Tls> tls_;
  TTlsOptions tlsOptions_;
  std::string tlsHost_;
  std::string tlsFailure_;
  std::string tlsVersion_;
  TCertificateInfo peerCertificate_;
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
