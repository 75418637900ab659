// The whole client reading a query reply: a loopback server greets, accepts
// the login, and answers the query with the input (after its
// first byte, which picks stored or streamed reading and compression). The
// result, if any, is walked, searched and sorted.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "wire/MysqlClient.h"

namespace {

std::string Frame(const std::string& payload, std::uint8_t sequence) {
  std::string out(4, '\0');
  out[0] = static_cast<char>(payload.size());
  out[1] = static_cast<char>(payload.size() >> 8);
  out[2] = static_cast<char>(payload.size() >> 16);
  out[3] = static_cast<char>(sequence);
  return out + payload;
}

bool SendAll(int fd, const std::string& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Reads one client packet (plain or compressed framing); false on silence.
bool Skip(int fd, bool compressed) {
  char header[7];
  const std::size_t h = compressed ? 7 : 4;
  std::size_t got = 0;
  while (got < h) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return false;
    ssize_t n = ::recv(fd, header + got, h - got, 0);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  std::size_t length = static_cast<unsigned char>(header[0]) |
                       static_cast<unsigned char>(header[1]) << 8 |
                       static_cast<unsigned char>(header[2]) << 16;
  std::vector<char> body(length + 1);
  got = 0;
  while (got < length) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return false;
    ssize_t n = ::recv(fd, body.data() + got, length - got, 0);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

int Listener(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(fd, 4);
  socklen_t size = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static int port = 0;
  static int listener = Listener(port);
  if (size < 1 || size > 200000) return 0;
  const bool store = data[0] & 1;
  const bool compressed = data[0] & 2;
  const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);

  std::thread server([&] {
    int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) return;
    // Protocol 10, version, thread id, seed, capabilities (4.1, secure,
    // transactions, long flag, connect with db, compression when chosen).
    std::string greeting = std::string(
                               "\x0a"
                               "5.5.5-fuzz",
                               11) +
                           '\0' + std::string("\x01\0\0\0", 4) + "abcdefgh" + '\0';
    const std::uint16_t caps = 0xE20C | (compressed ? 0x20 : 0);
    greeting += static_cast<char>(caps & 0xFF);
    greeting += static_cast<char>(caps >> 8);
    greeting += std::string("\x08\x02\x00", 3) + std::string(13, '\0') + "ijklmnopqrst" + '\0';
    const std::string ok("\0\0\0\x02\0\0\0", 7);
    if (SendAll(fd, Frame(greeting, 0)) && Skip(fd, false) && SendAll(fd, Frame(ok, 2)) &&
        Skip(fd, compressed)) {
      SendAll(fd, reply);
    }
    ::shutdown(fd, SHUT_WR);
    char sink[4096];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 2000) > 0 && ::recv(fd, sink, sizeof sink, 0) > 0) {
    }
    ::close(fd);
  });

  {
    wire::TMysqlClient c;
    c.SetConnectTimeout(5);
    c.SetCompress(compressed);
    // No ping before the query and no reconnect: one connection per input.
    c.SetReconnect(false);
    if (c.ConnectToServer("127.0.0.1", "u", "p", "", port, "", true, 0x30000)) {
      bool ok = false;
      auto r = c.Query("select", store, ok);
      if (r) {
        unsigned sum = 0;
        const int columns = static_cast<int>(r->ColumnCount());
        for (r->First(); !r->AtEnd(); r->Next()) {
          for (int i = 0; i < columns; ++i) {
            const char* v = r->Value(i);
            if (v) sum += static_cast<unsigned char>(v[r->ValueLength(i)]);
          }
        }
        if (sum != 0) __builtin_trap();  // every value ends in a zero byte
        if (r->IsStored() && columns > 0) {
          r->Sort({0, columns - 1}, {false, true});
          r->Locate({0}, {"a%?"}, false, 0, false);
          r->Last();
          r->Prior();
          r->GoToRow(0);
          r->Value(0);
        }
        r.reset();
      }
      while (c.MoreResults() && c.Status() == wire::TClientStatus::kReady) {
        auto next = c.NextResult(store, ok);
        if (!ok && !next) break;
      }
    }
  }
  server.join();
  return 0;
}
