// A tiny HTTP server on a loopback port for download tests. Each path is
// answered with the exact bytes a test gives it (then the connection is
// closed); unknown paths get a 404. Requests are recorded. One thread
// serves connections one after another until the object is destroyed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace apptest {

class ServidorHttp {
 public:
  ServidorHttp() {
    escuta_ = socket(AF_INET, SOCK_STREAM, 0);
    int um = 1;
    setsockopt(escuta_, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
    sockaddr_in endereco{};
    endereco.sin_family = AF_INET;
    endereco.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(escuta_, reinterpret_cast<sockaddr*>(&endereco), sizeof endereco);
    listen(escuta_, 8);
    socklen_t tamanho = sizeof endereco;
    getsockname(escuta_, reinterpret_cast<sockaddr*>(&endereco), &tamanho);
    porta_ = ntohs(endereco.sin_port);
    servico_ = std::thread([this] { Servir(); });
  }

  ~ServidorHttp() {
    parar_ = true;
    servico_.join();
    close(escuta_);
  }

  int Porta() const { return porta_; }
  std::string Url(const std::string& caminho) const {
    return "http://127.0.0.1:" + std::to_string(porta_) + caminho;
  }

  // The whole answer (status line, header, body) for `caminho`.
  void Responder(const std::string& caminho, const std::string& resposta) {
    std::lock_guard<std::mutex> trava(mutex_);
    respostas_[caminho] = resposta;
  }

  static std::string Ok(const std::string& corpo) {
    return "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(corpo.size()) + "\r\n\r\n" + corpo;
  }

  std::vector<std::string> Pedidos() const {
    std::lock_guard<std::mutex> trava(mutex_);
    return pedidos_;
  }

 private:
  void Servir() {
    while (!parar_) {
      pollfd p{escuta_, POLLIN, 0};
      if (poll(&p, 1, 50) != 1) continue;
      int conexao = accept(escuta_, nullptr, nullptr);
      if (conexao < 0) continue;
      std::string pedido;
      char buffer[4096];
      while (pedido.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = recv(conexao, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        pedido.append(buffer, static_cast<size_t>(n));
      }
      std::string resposta = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
      {
        std::lock_guard<std::mutex> trava(mutex_);
        pedidos_.push_back(pedido);
        size_t inicio = pedido.find(' ') + 1;
        std::string caminho = pedido.substr(inicio, pedido.find(' ', inicio) - inicio);
        auto achada = respostas_.find(caminho);
        if (achada != respostas_.end()) resposta = achada->second;
      }
      size_t enviado = 0;
      while (enviado < resposta.size()) {
        ssize_t n =
            send(conexao, resposta.data() + enviado, resposta.size() - enviado, MSG_NOSIGNAL);
        if (n <= 0) break;
        enviado += static_cast<size_t>(n);
      }
      close(conexao);
    }
  }

  int escuta_ = -1;
  int porta_ = 0;
  std::atomic<bool> parar_{false};
  std::thread servico_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> respostas_;
  std::vector<std::string> pedidos_;
};

}  // namespace apptest
