#include "agente_repasse.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace agentetest {

Repasse::Repasse(const std::string& destino, int porta) : destino_(destino), portaDestino_(porta) {
  escuta_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(escuta_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(escuta_, 8);
  socklen_t n = sizeof a;
  getsockname(escuta_, reinterpret_cast<sockaddr*>(&a), &n);
  porta_ = ntohs(a.sin_port);
  aceitador_ = std::thread([this] { Aceitar(); });
}

Repasse::~Repasse() {
  Derrubar();
  if (aceitador_.joinable()) aceitador_.join();
  for (auto& t : threads_) t.join();
}

void Repasse::Derrubar() {
  if (derrubado_.exchange(true)) return;
  shutdown(escuta_, SHUT_RDWR);
  std::lock_guard<std::mutex> l(mutex_);
  for (int s : sockets_) shutdown(s, SHUT_RDWR);
}

void Repasse::Aceitar() {
  while (!derrubado_) {
    const int cliente = accept(escuta_, nullptr, nullptr);
    if (cliente < 0) break;
    const int servidor = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(portaDestino_));
    inet_pton(AF_INET, destino_.c_str(), &a.sin_addr);
    if (connect(servidor, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || derrubado_) {
      close(cliente);
      close(servidor);
      continue;
    }
    std::lock_guard<std::mutex> l(mutex_);
    sockets_.push_back(cliente);
    sockets_.push_back(servidor);
    threads_.emplace_back([this, cliente, servidor] { Bombear(cliente, servidor); });
  }
  close(escuta_);
}

void Repasse::Bombear(int a, int b) {
  pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  char buf[16384];
  while (!derrubado_) {
    if (poll(p, 2, 100) < 0) break;
    bool fim = false;
    for (int i = 0; i < 2 && !fim; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(p[i].fd, buf, sizeof buf);
      if (n <= 0 || write(p[1 - i].fd, buf, static_cast<size_t>(n)) != n) fim = true;
    }
    if (fim) break;
  }
  shutdown(a, SHUT_RDWR);
  shutdown(b, SHUT_RDWR);
}

}  // namespace agentetest
