// TCP transport of the wire client with POSIX sockets, and TLS over it with
// OpenSSL.

#include "wire/MysqlVio.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

#include "TlsHandshake.h"
#include "wire/ClientErrors.h"

namespace wire {

namespace {

// Small reads are served from a buffer of this size.
constexpr std::size_t kReadAhead = 65536;
// Closing discards at most this many chunks of late data.
constexpr std::size_t kDrainChunk = 65536;
constexpr int kDrainRounds = 100;

// Monotonic nanoseconds after which every wait ends (InterruptWaits,
// LimitWaits); the largest value while waits run free. Lock-free, so a
// signal handler may set it.
constexpr std::int64_t kNoDeadline = INT64_MAX;
std::atomic<std::int64_t> waitDeadline{kNoDeadline};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

// clock_gettime may be called from a signal handler.
std::int64_t MonotonicNanoseconds() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool PastWaitDeadline() {
  return MonotonicNanoseconds() >= waitDeadline.load(std::memory_order_relaxed);
}

// Waits are cut into slices this long so that an interruption is seen soon.
constexpr int kWaitSliceMs = 200;

enum class Wait { kReady, kTimedOut, kInterrupted };

// Waits for `events` on fd for at most `milliseconds` (negative: no limit).
// An error on the socket counts as ready: the next call reports it.
Wait PollFor(int fd, short events, int milliseconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  for (;;) {
    if (PastWaitDeadline()) return Wait::kInterrupted;
    int slice = kWaitSliceMs;
    if (milliseconds >= 0) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      slice = static_cast<int>(std::clamp<long long>(left, 0, kWaitSliceMs));
    }
    pollfd p{fd, events, 0};
    int rc = ::poll(&p, 1, slice);
    if (rc > 0) return Wait::kReady;
    if (rc < 0 && errno != EINTR) return Wait::kReady;
    if (milliseconds >= 0 && Clock::now() >= deadline) {
      return PastWaitDeadline() ? Wait::kInterrupted : Wait::kTimedOut;
    }
  }
}

int SocketErrorOf(Wait e) {
  return e == Wait::kInterrupted ? ECANCELED : ETIMEDOUT;
}

// A blocking socket call that ran into its socket timeout reports
// would-block; for the callers that is a timeout, never a reason to retry.
int TimedOutAsSuch(int error) {
  return error == EAGAIN || error == EWOULDBLOCK ? ETIMEDOUT : error;
}

// The client certificate and key, and the trusted certificates, when given.
// Failures here do not stop the connector: the server decides whether it
// needs a client certificate, and the peer check reports an untrusted one.
void LoadClientFiles(SSL_CTX* context, const std::string& keyFile, const std::string& certFile,
                     const std::string& caFile, const std::string& caPath) {
  if (!certFile.empty()) {
    const std::string& key = keyFile.empty() ? certFile : keyFile;
    if (SSL_CTX_use_certificate_file(context, certFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
        SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) == 1) {
      SSL_CTX_check_private_key(context);
    }
    ERR_clear_error();
  }
  if (!caFile.empty() || !caPath.empty()) {
    SSL_CTX_load_verify_locations(context, caFile.empty() ? nullptr : caFile.c_str(),
                                  caPath.empty() ? nullptr : caPath.c_str());
    ERR_clear_error();
  }
}

std::once_flag sslInitOnce;
bool sslAvailable = false;

}  // namespace

bool LoadSslLibrary() {
  std::call_once(sslInitOnce, [] {
    sslAvailable =
        OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                         nullptr) == 1;
    // A peer that goes away mid-write must show up as a failed write, not
    // end the process: OpenSSL writes to the socket without MSG_NOSIGNAL.
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      ::signal(SIGPIPE, SIG_IGN);
    }
  });
  return sslAvailable;
}

void UnloadSslLibrary() {
  // OpenSSL releases its state at process exit by itself.
}

void InterruptWaits() {
  waitDeadline.store(MonotonicNanoseconds(), std::memory_order_relaxed);
}

void LimitWaits(int milliseconds) {
  waitDeadline.store(MonotonicNanoseconds() + std::int64_t{milliseconds} * 1000000,
                     std::memory_order_relaxed);
}

void ResumeWaits() {
  waitDeadline.store(kNoDeadline, std::memory_order_relaxed);
}

bool WaitsInterrupted() {
  return waitDeadline.load(std::memory_order_relaxed) != kNoDeadline;
}

struct TMysqlVio::Tls {
  SSL_CTX* context = nullptr;
  SSL* session = nullptr;
  ~Tls() {
    if (session) SSL_free(session);
    if (context) SSL_CTX_free(context);
  }
};

TMysqlVio::TMysqlVio() = default;

TMysqlVio::~TMysqlVio() {
  if (IsConnected()) Close();
}

void TMysqlVio::FailConnect(int number, const std::string& host, int sysError) {
  SetError(number, FormatClientError(number, {host, sysError}));
}

int TMysqlVio::Connect(int kind, const std::string& host, bool pipeFallback, int timeoutSeconds,
                       int port, const std::string& pipeName) {
  if (IsConnected()) return -20;
  timeout_ = timeoutSeconds;
  if (kind == kVioNamedPipe) {
    // Named pipes exist only on Windows: the open fails as it does there
    // when no server listens on the pipe.
    (void)pipeName;
    SetError(CR_NAMEDPIPEOPEN_ERROR,
             FormatClientError(CR_NAMEDPIPEOPEN_ERROR, {".", "MySQL", static_cast<int>(ENOENT)}));
    if (!pipeFallback) return -9;
  }
  return ConnectTcp(host, port);
}

int TMysqlVio::ConnectTcp(const std::string& givenHost, int port) {
  if (port == 0) port = 3306;
  const std::string host = givenHost.empty() ? std::string("localhost") : givenHost;

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    lastSocketError_ = errno;
    SetError(CR_IPSOCK_ERROR, FormatClientError(CR_IPSOCK_ERROR, {lastSocketError_}));
    return -8;
  }

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &answer);
    if (rc != 0 || !answer) {
      lastSocketError_ = rc == EAI_SYSTEM ? errno : rc;
      FailConnect(CR_UNKNOWN_HOST, host, lastSocketError_);
      ::close(fd);
      return -7;
    }
    address.sin_addr = reinterpret_cast<sockaddr_in*>(answer->ai_addr)->sin_addr;
    ::freeaddrinfo(answer);
  }

  socket_ = fd;
  kind_ = kVioTcp;
  SetBlocking(false);

  auto fail = [&](int sysError, int result) {
    socket_ = 0;
    kind_ = kVioClosed;
    flags_ = 0;
    lastSocketError_ = sysError;
    FailConnect(CR_CONN_HOST_ERROR, host, sysError);
    ::close(fd);
    return result;
  };

  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      errno != EINPROGRESS) {
    return fail(errno, -6);
  }
  SetFastSend();
  SetKeepAlive(true);
  BoundWaits();

  if (timeout_ != 0) {
    // The server speaks first: wait for its greeting. A refused or failed
    // connect also makes the socket readable; its pending error says which.
    Wait e = PollFor(fd, POLLIN, timeout_ * 1000);
    if (e != Wait::kReady) return fail(SocketErrorOf(e), -7);
    int pending = 0;
    socklen_t size = sizeof pending;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) == 0 && pending != 0) {
      return fail(pending, -7);
    }
  }
  SetBlocking(true);
  pipe_ = 0;
  aheadPos_ = aheadEnd_ = 0;
  ClearError();
  return 0;
}

int TMysqlVio::Attach(int fd) {
  if (IsConnected()) return -20;
  socket_ = fd;
  kind_ = kVioTcp;
  flags_ = 0;
  pipe_ = 0;
  aheadPos_ = aheadEnd_ = 0;
  int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0 && (fl & O_NONBLOCK)) flags_ |= 1;
  SetBlocking(true);
  ClearError();
  return 0;
}

int TMysqlVio::Close() {
  int result = 0;
  if (kind_ == kVioTcp || kind_ == kVioTls) {
    if (tls_ && tls_->session) {
      // Say goodbye on the TLS layer while the socket can still send.
      result = SSL_shutdown(tls_->session) < 0 ? -1 : 0;
    }
    if (::shutdown(socket_, SHUT_WR) != 0) result = -1;
    // Discard what is still arriving so the close is orderly, without ever
    // waiting for it: a non-blocking read that finds nothing ends the loop,
    // and a server still pouring out a large reply is cut off after a bound.
    SetBlocking(false);
    auto discard = std::make_unique_for_overwrite<char[]>(kDrainChunk);
    for (int round = 0; round < kDrainRounds; ++round) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (::recv(socket_, discard.get(), kDrainChunk, 0) <= 0) break;
    }
    if (::close(socket_) != 0) result = -1;
  }
  tls_.reset();
  kind_ = kVioClosed;
  socket_ = -1;
  pipe_ = -1;
  flags_ = 0;
  aheadPos_ = aheadEnd_ = 0;
  return result;
}

int TMysqlVio::Read(void* buffer, std::size_t size) {
  if (kind_ == kVioClosed || size == 0) return -1;
  if (kind_ == kVioTls) {
    // A record begun but not finished is bounded by the socket's own
    // timeouts (BoundWaits).
    if (SSL_pending(tls_->session) == 0 && !WaitFor(POLLIN)) return -1;
    int n = SSL_read(tls_->session, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
    if (n <= 0) {
      int e = SSL_get_error(tls_->session, n);
      lastSocketError_ = e == SSL_ERROR_SYSCALL ? TimedOutAsSuch(errno) : 0;
      return -e;
    }
    return n;
  }
  if (aheadPos_ < aheadEnd_) {
    std::size_t n = std::min(size, aheadEnd_ - aheadPos_);
    std::memcpy(buffer, ahead_.get() + aheadPos_, n);
    aheadPos_ += n;
    return static_cast<int>(n);
  }
  if (!blockingReads_ && !WaitReadable(timeout_)) return -1;
  // The socket stays in blocking mode; each read first waits, bounded, for
  // data and then takes what is there without blocking.
  const bool direct = size >= kReadAhead;
  if (!direct && !ahead_) ahead_ = std::make_unique_for_overwrite<std::uint8_t[]>(kReadAhead);
  void* into = direct ? buffer : ahead_.get();
  const std::size_t room = direct ? std::min<std::size_t>(size, 1 << 30) : kReadAhead;
  ssize_t n;
  for (;;) {
    if (!WaitFor(POLLIN)) return -1;
    n = ::recv(socket_, into, room, MSG_DONTWAIT);
    if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) break;
  }
  lastSocketError_ = n < 0 ? errno : 0;
  if (n <= 0 || direct) return static_cast<int>(n);
  aheadPos_ = 0;
  aheadEnd_ = static_cast<std::size_t>(n);
  std::size_t take = std::min(size, aheadEnd_);
  std::memcpy(buffer, ahead_.get(), take);
  aheadPos_ = take;
  return static_cast<int>(take);
}

int TMysqlVio::Write(const void* buffer, std::size_t size) {
  if (kind_ == kVioClosed) return -1;
  int limit = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
  if (kind_ == kVioTls) {
    if (!WaitFor(POLLOUT)) return -1;
    int n = SSL_write(tls_->session, buffer, limit);
    if (n <= 0) lastSocketError_ = TimedOutAsSuch(errno);
    return n;
  }
  // What fits goes at once (also after an interruption, so that a closing
  // COM_QUIT still leaves); a full send buffer is waited for, bounded.
  for (;;) {
    ssize_t n =
        ::send(socket_, buffer, static_cast<std::size_t>(limit), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      lastSocketError_ = errno;
      return -1;
    }
    if (!WaitFor(POLLOUT)) return -1;
  }
}

int TMysqlVio::SetBlocking(bool on) {
  if (kind_ == kVioClosed) return -1;
  if (kind_ == kVioNamedPipe) return 0;
  std::uint32_t bit = on ? 0 : 1;
  if ((flags_ & 1) == bit) return 0;
  flags_ = (flags_ & ~1u) | bit;
  int fl = ::fcntl(socket_, F_GETFL);
  if (fl < 0) return -1;
  fl = on ? (fl & ~O_NONBLOCK) : (fl | O_NONBLOCK);
  return ::fcntl(socket_, F_SETFL, fl) < 0 ? -1 : 0;
}

int TMysqlVio::SetKeepAlive(bool on) {
  int value = on ? 1 : 0;
  int rc = ::setsockopt(socket_, SOL_SOCKET, SO_KEEPALIVE, &value, sizeof value);
  if (rc != 0 || !on) return rc;
  // The system's defaults probe a silent link after two hours.
  for (auto [option, seconds] : {std::pair{TCP_KEEPIDLE, kKeepAliveIdleSeconds},
                                 std::pair{TCP_KEEPINTVL, kKeepAliveIntervalSeconds},
                                 std::pair{TCP_KEEPCNT, kKeepAliveCount}}) {
    if (::setsockopt(socket_, IPPROTO_TCP, option, &seconds, sizeof seconds) != 0) rc = -1;
  }
  return rc;
}

void TMysqlVio::BoundWaits() {
  if (timeout_ <= 0) return;
  timeval limit{timeout_, 0};
  ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  // Data sent and not acknowledged for this long ends the connection.
  unsigned milliseconds = static_cast<unsigned>(timeout_) * 1000u;
  ::setsockopt(socket_, IPPROTO_TCP, TCP_USER_TIMEOUT, &milliseconds, sizeof milliseconds);
}

bool TMysqlVio::WaitFor(short events) {
  Wait e = PollFor(socket_, events, timeout_ > 0 ? timeout_ * 1000 : -1);
  if (e == Wait::kReady) return true;
  lastSocketError_ = SocketErrorOf(e);
  return false;
}

int TMysqlVio::SetFastSend() {
  int value = 1;
  return ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

bool TMysqlVio::WaitReadable(int seconds) {
  if (kind_ == kVioNamedPipe) return true;
  if (kind_ == kVioClosed) return false;
  if (aheadPos_ < aheadEnd_) return true;
  if (kind_ == kVioTls && SSL_pending(tls_->session) > 0) return true;
  return PollFor(socket_, POLLIN, std::max(seconds, 0) * 1000) == Wait::kReady;
}

bool TMysqlVio::ShouldRetry() const {
  return IsConnected() && (lastSocketError_ == EINTR || lastSocketError_ == EAGAIN ||
                           lastSocketError_ == EWOULDBLOCK || lastSocketError_ == EINPROGRESS);
}

bool TMysqlVio::WasInterrupted() const {
  return lastSocketError_ == EINTR;
}

void TMysqlVio::SslConnect(const std::string& keyFile, const std::string& certFile,
                           const std::string& caFile, const std::string& caPath,
                           std::string& cipher, int timeoutSeconds) {
  tlsFailure_.clear();
  tlsVersion_.clear();
  peerCertificate_ = {};
  if (kind_ != kVioTcp) return;
  // Every way out below that is not a TLS channel closes the socket, so the
  // client can never go on in clear after asking for TLS.
  auto fail = [&](std::unique_ptr<Tls>& tls, const std::string& reason) {
    tlsFailure_ = reason.empty() ? TlsFailureReason(tls ? tls->session : nullptr) : reason;
    tls.reset();
    ::close(socket_);
    socket_ = -1;
    pipe_ = -1;
    flags_ = 0;
    kind_ = kVioClosed;
  };
  std::unique_ptr<Tls> tls;
  if (!LoadSslLibrary()) return fail(tls, "TLS is not available");

  // The connector. Version-flexible method with TLS 1.2 as the floor: TLS 1.0
  // alone no longer reaches current servers.
  tls = std::make_unique<Tls>();
  tls->context = SSL_CTX_new(TLS_client_method());
  if (!tls->context) return fail(tls, "");
  SSL_CTX_set_min_proto_version(tls->context, TLS1_2_VERSION);
  std::string failure;
  if (!PrepareTlsContext(tls->context, tlsOptions_, failure)) return fail(tls, failure);
  LoadClientFiles(tls->context, keyFile, certFile, caFile, caPath);

  tls->session = SSL_new(tls->context);
  if (!tls->session) return fail(tls, "");
  if (!PrepareTlsSession(tls->session, tlsOptions_, tlsHost_, failure)) return fail(tls, failure);

  const int rc = Handshake(*tls, timeoutSeconds);
  if (rc == 1 && CheckTlsPeer(tls->session, tlsOptions_, failure)) {
    tls_ = std::move(tls);
    kind_ = kVioTls;
    SetFastSend();
    SetKeepAlive(true);
    if (const SSL_CIPHER* c = SSL_get_current_cipher(tls_->session)) {
      cipher = SSL_CIPHER_get_name(c);
    }
    tlsVersion_ = SSL_get_version(tls_->session);
    if (X509* peer = SSL_get1_peer_certificate(tls_->session)) {
      peerCertificate_ = DescribeCertificate(peer);
      X509_free(peer);
    }
    return;
  }
  fail(tls, rc == 1 ? failure : "");
}

int TMysqlVio::Handshake(Tls& tls, int timeoutSeconds) {
  SSL* const session = tls.session;
  // Nothing may sit in the read-ahead: the server sends nothing between our
  // TLS request and its handshake, so whatever is there is not for TLS.
  aheadPos_ = aheadEnd_ = 0;
  kind_ = kVioClosed;
  SSL_clear(session);
  if (SSL_SESSION* s = SSL_get_session(session)) {
    SSL_SESSION_set_timeout(s, timeoutSeconds);
  }
  SSL_set_fd(session, socket_);
  SSL_set_connect_state(session);
  int rc = 0;
  while (!SSL_is_init_finished(session)) {
    rc = SSL_do_handshake(session);
    if (rc > 0) break;
    int e = SSL_get_error(session, rc);
    if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) break;
    // On this blocking socket "want" means its timeout ran out or a signal
    // came: one more bounded wait, then the handshake gives up.
    if (!WaitFor(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT)) break;
  }
  return rc;
}

}  // namespace wire
