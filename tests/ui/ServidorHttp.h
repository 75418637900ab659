// A tiny web server on a loopback port for download tests, plain HTTP or
// HTTPS with a certificate the test made. Each path is answered with the
// exact bytes a test gives it (then the connection is closed); unknown paths
// get a 404. A plain server answers a request that is not HTTP (a TLS
// handshake, say) with a 400, as a real one does. Requests are recorded.
// One thread serves connections one after another until the object is
// destroyed; every read waits at most five seconds.
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/Loopback.h"

namespace uiteste {

// A throwaway certificate authority and server certificates signed by it,
// made with the openssl command in `pasta`: "servidor" for 127.0.0.1 and
// localhost, "outro" for the name outro.exemplo only.
struct CertificadosTeste {
  std::string ca, servidor, chaveServidor, outro, chaveOutro;

  // False when openssl failed.
  bool Gerar(const std::string& pasta) {
    ca = pasta + "/ca.pem";
    servidor = pasta + "/servidor.pem";
    chaveServidor = pasta + "/servidor.key";
    outro = pasta + "/outro.pem";
    chaveOutro = pasta + "/outro.key";
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const std::string calado = " >/dev/null 2>&1";
    if (std::system(("openssl req -x509" + ec + " -days 2 -subj '/CN=Tolvex Teste CA' -keyout '" +
                     pasta + "/ca.key' -out '" + ca + "'" + calado)
                        .c_str()) != 0) {
      return false;
    }
    return Assinar(pasta, "servidor", "IP:127.0.0.1,DNS:localhost", 2) &&
           Assinar(pasta, "outro", "DNS:outro.exemplo", 3);
  }

 private:
  bool Assinar(const std::string& pasta, const std::string& nome, const std::string& nomes,
               int serie) {
    const std::string base = pasta + "/" + nome;
    std::ofstream(base + ".ext") << "subjectAltName=" << nomes
                                 << "\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n";
    const std::string calado = " >/dev/null 2>&1";
    return std::system(("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                        " -subj '/CN=" +
                        nome + "' -keyout '" + base + ".key' -out '" + base + ".csr'" + calado)
                           .c_str()) == 0 &&
           std::system(("openssl x509 -req -in '" + base + ".csr' -CA '" + pasta +
                        "/ca.pem' -CAkey '" + pasta + "/ca.key' -set_serial " +
                        std::to_string(serie) + " -days 2 -extfile '" + base + ".ext' -out '" +
                        base + ".pem'" + calado)
                           .c_str()) == 0;
  }
};

class ServidorHttp {
 public:
  // Plain HTTP without a certificate; HTTPS with one.
  explicit ServidorHttp(const std::string& certificado = "", const std::string& chave = "") {
    if (!certificado.empty()) {
      tls_.reset(SSL_CTX_new(TLS_server_method()));
      SSL_CTX_use_certificate_chain_file(tls_.get(), certificado.c_str());
      SSL_CTX_use_PrivateKey_file(tls_.get(), chave.c_str(), SSL_FILETYPE_PEM);
    }
    servico_ = std::thread([this] { Servir(); });
  }

  ~ServidorHttp() {
    parar_ = true;
    servico_.join();
  }

  int Porta() const { return escuta_.Port(); }
  // HOST:PORT of the server, by its address.
  std::string Servidor() const { return "127.0.0.1:" + std::to_string(Porta()); }

  // The whole answer (status line, header, body) for `caminho`.
  void Responder(const std::string& caminho, const std::string& resposta) {
    std::lock_guard<std::mutex> trava(mutex_);
    respostas_[caminho] = resposta;
  }

  static std::string Ok(const std::string& corpo) {
    return "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(corpo.size()) + "\r\n\r\n" + corpo;
  }
  static std::string Redirecionar(const std::string& destino) {
    return "HTTP/1.1 302 Found\r\nLocation: " + destino + "\r\nContent-Length: 0\r\n\r\n";
  }

  std::vector<std::string> Pedidos() const {
    std::lock_guard<std::mutex> trava(mutex_);
    return pedidos_;
  }

 private:
  struct LiberaSsl {
    void operator()(SSL* s) const { SSL_free(s); }
    void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
  };

  void Servir() {
    // A client that hangs up mid-answer must not end the test program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    while (!parar_) {
      const int conexao = escuta_.Accept(50);
      if (conexao < 0) continue;
      timeval limite{5, 0};
      setsockopt(conexao, SOL_SOCKET, SO_RCVTIMEO, &limite, sizeof limite);
      Atender(conexao);
      close(conexao);
    }
  }

  void Atender(int conexao) {
    std::unique_ptr<SSL, LiberaSsl> ssl;
    if (tls_) {
      ssl.reset(SSL_new(tls_.get()));
      SSL_set_fd(ssl.get(), conexao);
      if (SSL_accept(ssl.get()) != 1) {
        ERR_clear_error();
        return;  // the client refused the certificate
      }
    }
    auto ler = [&](char* buffer, int tamanho) {
      return ssl ? SSL_read(ssl.get(), buffer, tamanho) : recv(conexao, buffer, tamanho, 0);
    };
    std::string pedido;
    char buffer[4096];
    while (pedido.find("\r\n\r\n") == std::string::npos) {
      const auto n = ler(buffer, sizeof buffer);
      if (n <= 0) return;
      pedido.append(buffer, static_cast<size_t>(n));
      if (pedido[0] < 'A' || pedido[0] > 'Z') break;  // not HTTP
    }
    std::string resposta = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
    if (pedido[0] < 'A' || pedido[0] > 'Z') {
      resposta = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    } else {
      std::lock_guard<std::mutex> trava(mutex_);
      pedidos_.push_back(pedido);
      size_t inicio = pedido.find(' ') + 1;
      std::string caminho = pedido.substr(inicio, pedido.find(' ', inicio) - inicio);
      auto achada = respostas_.find(caminho);
      if (achada != respostas_.end()) resposta = achada->second;
    }
    size_t enviado = 0;
    while (enviado < resposta.size()) {
      const char* dados = resposta.data() + enviado;
      const size_t resta = resposta.size() - enviado;
      const auto n = ssl ? SSL_write(ssl.get(), dados, static_cast<int>(resta))
                         : send(conexao, dados, resta, MSG_NOSIGNAL);
      if (n <= 0) break;
      enviado += static_cast<size_t>(n);
    }
    if (ssl) SSL_shutdown(ssl.get());
  }

  std::unique_ptr<SSL_CTX, LiberaSsl> tls_;
  support::LoopbackListener escuta_;
  std::atomic<bool> parar_{false};
  std::thread servico_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> respostas_;
  std::vector<std::string> pedidos_;
};

}  // namespace uiteste
