#include "support/Proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>

namespace support {

namespace {

using Clock = std::chrono::steady_clock;

// How often the proxy's threads look at the stop and hold flags.
constexpr int kTickMs = 20;

void NonBlocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

// One forwarded connection: for each direction a reader that stamps what it
// reads with its due time and a writer that passes it on when due.
struct Proxy::Link {
  struct Chunk {
    Clock::time_point due;
    std::string bytes;  // empty: the sender closed its side
  };
  struct Direction {
    int from = -1, to = -1;
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Chunk> queue;
    std::thread reader, writer;
  };

  Proxy& proxy;
  int client, server;
  std::atomic<bool> closed{false};
  Direction up, down;  // client -> server, server -> client
  // Which side spoke last, for counting exchanges.
  std::atomic<bool> clientSpoke{false};

  Link(Proxy& p, int c, int s) : proxy(p), client(c), server(s) {
    up.from = c;
    up.to = s;
    down.from = s;
    down.to = c;
    for (Direction* d : {&up, &down}) {
      const bool toServer = d == &up;
      d->reader = std::thread([this, d, toServer] { Read(*d, toServer); });
      d->writer = std::thread([this, d] { Write(*d); });
    }
  }

  ~Link() {
    Close();
    for (Direction* d : {&up, &down}) {
      d->ready.notify_all();
      d->reader.join();
      d->writer.join();
    }
    ::close(client);
    ::close(server);
  }

  bool Stopped() const { return closed || proxy.stop_; }

  void Close() {
    if (closed.exchange(true)) return;
    ::shutdown(client, SHUT_RDWR);
    ::shutdown(server, SHUT_RDWR);
    up.ready.notify_all();
    down.ready.notify_all();
  }

  void Push(Direction& d, std::string bytes, int delayMs) {
    std::lock_guard<std::mutex> lock(d.mutex);
    d.queue.push_back({Clock::now() + std::chrono::milliseconds(delayMs), std::move(bytes)});
    d.ready.notify_all();
  }

  void Read(Direction& d, bool toServer) {
    char buffer[65536];
    while (!Stopped()) {
      if (proxy.held_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
        continue;
      }
      pollfd p{d.from, POLLIN, 0};
      if (::poll(&p, 1, kTickMs) <= 0) continue;
      const ssize_t n = ::recv(d.from, buffer, sizeof buffer, 0);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) {
        Push(d, std::string(), 0);
        return;
      }
      if (toServer && !clientSpoke.exchange(true)) ++proxy.exchanges_;
      if (!toServer) clientSpoke = false;
      Push(d, std::string(buffer, static_cast<std::size_t>(n)),
           toServer ? proxy.toServerMs_.load() : proxy.toClientMs_.load());
    }
  }

  // Sends all of `bytes`; false when the connection went away or stopped.
  bool SendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      if (Stopped()) return false;
      if (proxy.held_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
        continue;
      }
      const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, kTickMs);
      } else {
        return false;
      }
    }
    return true;
  }

  void Write(Direction& d) {
    for (;;) {
      Chunk chunk;
      {
        // Woken by a new chunk, or when the first one falls due.
        std::unique_lock<std::mutex> lock(d.mutex);
        auto until = Clock::now() + std::chrono::milliseconds(kTickMs);
        if (!d.queue.empty() && !proxy.held_) until = std::min(until, d.queue.front().due);
        d.ready.wait_until(lock, until);
        if (Stopped()) return;
        if (proxy.held_ || d.queue.empty() || d.queue.front().due > Clock::now()) continue;
        chunk = std::move(d.queue.front());
        d.queue.pop_front();
      }
      if (chunk.bytes.empty()) {
        // The sender closed: so does this side, and the link with it.
        ::shutdown(d.to, SHUT_WR);
        Close();
        return;
      }
      if (!SendAll(d.to, chunk.bytes)) {
        Close();
        return;
      }
    }
  }
};

Proxy::Proxy(std::string host, int port) : host_(std::move(host)), serverPort_(port) {
  acceptor_ = std::thread([this] { Accept(); });
}

Proxy::~Proxy() {
  stop_ = true;
  listener_.StopListening();
  acceptor_.join();
  std::vector<std::unique_ptr<Link>> links;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    links.swap(links_);
  }
  links.clear();
}

void Proxy::SetDelay(int toServerMs, int toClientMs) {
  toServerMs_ = toServerMs;
  toClientMs_ = toClientMs;
}

void Proxy::Hold(bool on) {
  held_ = on;
}

void Proxy::Cut() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& link : links_) link->Close();
}

void Proxy::GoAway() {
  gone_ = true;
  listener_.StopListening();
  Cut();
}

void Proxy::Accept() {
  while (!stop_ && !gone_) {
    const int client = listener_.Accept(kTickMs);
    if (client < 0) continue;
    ++accepted_;
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(serverPort_));
    ::inet_pton(AF_INET, host_.c_str(), &a.sin_addr);
    if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      // The server refuses: so does the proxy, by closing at once.
      ::close(client);
      ::close(server);
      continue;
    }
    NonBlocking(client);
    NonBlocking(server);
    std::lock_guard<std::mutex> lock(mutex_);
    // Links that ended are let go here, so a long run does not keep them.
    std::erase_if(links_, [](const std::unique_ptr<Link>& l) { return l->closed.load(); });
    links_.push_back(std::make_unique<Link>(*this, client, server));
    // Accepted while the proxy went away: it goes with the others.
    if (gone_) links_.back()->Close();
  }
}

}  // namespace support
