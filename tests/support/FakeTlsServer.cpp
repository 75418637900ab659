#include "support/FakeTlsServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/FakeServer.h"

namespace support {

namespace {

constexpr std::uint32_t kClientSsl = 0x800;

bool WaitIn(int fd, int milliseconds) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, milliseconds) > 0;
}

bool ReadExact(int fd, std::string& out, std::size_t n) {
  out.clear();
  while (out.size() < n) {
    if (!WaitIn(fd, 5000)) return false;
    char buffer[4096];
    const ssize_t r = ::recv(fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
    if (r <= 0) return false;
    out.append(buffer, static_cast<std::size_t>(r));
  }
  return true;
}

bool ReadPlainPacket(int fd, std::string& payload) {
  std::string header;
  if (!ReadExact(fd, header, 4)) return false;
  const auto* h = reinterpret_cast<const unsigned char*>(header.data());
  return ReadExact(fd, payload, h[0] | (h[1] << 8) | (h[2] << 16));
}

bool TlsReadExact(SSL* ssl, std::string& out, std::size_t n) {
  out.clear();
  while (out.size() < n) {
    char buffer[4096];
    const int r = SSL_read(ssl, buffer, static_cast<int>(std::min(sizeof buffer, n - out.size())));
    if (r <= 0) return false;
    out.append(buffer, static_cast<std::size_t>(r));
  }
  return true;
}

}  // namespace

FakeTlsServer::FakeTlsServer(const std::string& certificate, const std::string& key) {
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (!context || SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1) {
    if (context) SSL_CTX_free(context);
    throw std::runtime_error("FakeTlsServer: cannot load " + certificate);
  }
  context_ = context;
  worker_ = std::thread([this] { Worker(); });
}

FakeTlsServer::~FakeTlsServer() {
  stop_ = true;
  worker_.join();
  SSL_CTX_free(static_cast<SSL_CTX*>(context_));
}

int FakeTlsServer::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

int FakeTlsServer::Handshakes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handshakes_;
}

int FakeTlsServer::Logins() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return logins_;
}

void FakeTlsServer::Worker() {
  while (!stop_) {
    const int fd = listener_.Accept(50);
    if (fd < 0) continue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++connections_;
    }
    Serve(fd);
    ::close(fd);
  }
}

void FakeTlsServer::Serve(int fd) {
  // No read waits for ever, whatever the client does.
  timeval limit{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  Greeting g;
  g.version = "10.11.6-MariaDB";
  g.capabilities = 0xF7FF | kClientSsl;
  const Bytes greeting = Packet(GreetingPayload(g), 0);
  if (::send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL) < 0) return;
  std::string request;
  if (!ReadPlainPacket(fd, request) || request.size() < 4) return;
  const auto* r = reinterpret_cast<const unsigned char*>(request.data());
  const std::uint32_t flags = r[0] | (r[1] << 8) | (r[2] << 16) | (std::uint32_t{r[3]} << 24);
  if (!(flags & kClientSsl) || request.size() != 32) {
    // A login in clear.
    std::lock_guard<std::mutex> lock(mutex_);
    ++logins_;
    return;
  }
  SSL* ssl = SSL_new(static_cast<SSL_CTX*>(context_));
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) == 1) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++handshakes_;
    }
    std::string header, login;
    if (TlsReadExact(ssl, header, 4)) {
      const auto* h = reinterpret_cast<const unsigned char*>(header.data());
      if (TlsReadExact(ssl, login, h[0] | (h[1] << 8) | (h[2] << 16))) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          ++logins_;
        }
        const Bytes ok = Packet(OkPayload(), static_cast<uint8_t>(h[3] + 1));
        SSL_write(ssl, ok.data(), static_cast<int>(ok.size()));
        // Until the client says goodbye or goes.
        std::string rest;
        while (!stop_ && TlsReadExact(ssl, rest, 1)) {
        }
      }
    }
  }
  ERR_clear_error();
  SSL_free(ssl);
}

std::string TlsDirectory() {
  const char* dir = std::getenv("MYSQL_TEST_TLS_DIR");
  return dir ? dir : "";
}

}  // namespace support
