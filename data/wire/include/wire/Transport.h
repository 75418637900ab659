// TTransport: the byte channel the packet layer reads and writes.
//
// The packet layer (TMysqlNet) owns exactly one transport and goes through
// this interface only: open, read, write, the retry questions after a failed
// call, TLS on top, close. The implementation for real connections is
// TMysqlVio (POSIX sockets and OpenSSL); tests put in one that plays a
// script of bytes and failures, so that every error path of the packet layer
// and the client can be reached on purpose, one fault at a time.
//
// The transport also holds the last client error of the connection (number
// and message, the message cut to kVioMaxErrorMessage characters), which the
// packet layer and the client set and read, and what the last TLS start
// reported. Those fields are plain data shared by every implementation.
//
// Ownership and concurrency: one thread at a time per object, as for the
// packet layer that owns it.
#pragma once

#include <cstddef>
#include <cstdint>
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

class TTransport {
 public:
  TTransport() = default;
  virtual ~TTransport() = default;
  TTransport(const TTransport&) = delete;
  TTransport& operator=(const TTransport&) = delete;

  // Opens the channel. kind: kVioTcp or kVioNamedPipe. port 0 means 3306, an
  // empty host "localhost"; timeoutSeconds 0 means no wait for the server's
  // first bytes. Returns 0 on success, a negative number on failure with the
  // error number and message set (2003, 2004, 2005, 2016-2018); -20 when the
  // channel is already open (nothing changes).
  virtual int Connect(int kind, const std::string& host, bool pipeFallback, int timeoutSeconds,
                      int port, const std::string& pipeName) = 0;
  // Closes whatever is open, discarding data still arriving. 0 or -1.
  virtual int Close() = 0;

  // Bytes read (> 0), 0 at orderly end, negative on failure.
  virtual int Read(void* buffer, std::size_t size) = 0;
  // Bytes written (> 0), or negative on failure.
  virtual int Write(const void* buffer, std::size_t size) = 0;
  // True when the channel has data within the given number of seconds.
  virtual bool WaitReadable(int seconds) = 0;
  // The last failed call may be repeated (interrupted, would block, in
  // progress). A wait that ran out or was interrupted by InterruptWaits
  // does not allow it.
  virtual bool ShouldRetry() const = 0;
  // The last failed call was interrupted by a signal.
  virtual bool WasInterrupted() const = 0;
  virtual bool NonBlocking() const = 0;

  // Layers TLS on the open TCP channel; on success the kind becomes kVioTls
  // and cipher receives the negotiated cipher's name. The server certificate
  // is checked as SetTlsVerification asked. On failure the channel is closed
  // and TlsFailure() says why.
  virtual void SslConnect(const std::string& keyFile, const std::string& certFile,
                          const std::string& caFile, const std::string& caPath, std::string& cipher,
                          int timeoutSeconds) = 0;

  virtual std::uint8_t Kind() const = 0;
  bool IsConnected() const { return Kind() != kVioClosed; }
  // The channel's socket descriptor; -1 when it has none.
  virtual int Socket() const = 0;

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

  int ErrorNumber() const { return errorNumber_; }
  void SetErrorNumber(int number) { errorNumber_ = number; }
  const std::string& ErrorMessage() const { return errorMessage_; }
  // Keeps at most kVioMaxErrorMessage characters of the text.
  void SetErrorMessage(const std::string& text) {
    errorMessage_ = text.substr(0, kVioMaxErrorMessage);
  }
  // Sets number and message (cut as above) together.
  void SetError(int number, const std::string& text) {
    errorNumber_ = number;
    SetErrorMessage(text);
  }
  void ClearError() {
    errorNumber_ = 0;
    errorMessage_.clear();
  }

 protected:
  TTlsOptions tlsOptions_;
  std::string tlsHost_;
  std::string tlsFailure_;
  std::string tlsVersion_;
  TCertificateInfo peerCertificate_;

 private:
  std::string errorMessage_;
  int errorNumber_ = 0;
};

}  // namespace wire
