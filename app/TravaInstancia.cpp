#include "app/TravaInstancia.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/ComponentesAgente.h"

namespace app {

namespace {

std::string PastaExecucao() {
  const char* pasta = std::getenv("XDG_RUNTIME_DIR");
  if (pasta != nullptr && pasta[0] == '/') return pasta;
  return "/tmp";
}

std::string Hash(const std::string& texto) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : texto) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

// The server a connection reaches: the command line over the configuration
// file over the built-in host.
std::string Servidor(const std::optional<EnderecoServidor>& e, const ConfiguracaoConexao& arquivo,
                     const std::string& host) {
  if (e) return e->host + ":" + std::to_string(e->porta);
  return arquivo.host.value_or(host) + ":" + std::to_string(arquivo.porta.value_or(3306));
}

std::string Retaguarda(const OpcoesAgente& o) {
  return Servidor(o.retaguarda, o.configuracao.retaguarda, HostRetaguardaPadrao());
}

std::string Pdv(const OpcoesAgente& o) {
  return Servidor(o.pdv, o.configuracao.pdv, "localhost");
}

}  // namespace

TravaInstancia::TravaInstancia(const std::string& chave) {
  const std::string pasta = PastaExecucao();
  // In /tmp every user shares the folder: the name carries the user's id.
  const std::string dono = pasta == "/tmp" ? std::to_string(getuid()) + "-" : "";
  arquivo_ = pasta + "/tolvex-agent-" + dono + Hash(chave) + ".lock";
  fd_ = open(arquivo_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) return;
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ocupada_ = errno == EWOULDBLOCK;
    close(fd_);
    fd_ = -1;
  }
}

TravaInstancia::~TravaInstancia() {
  if (fd_ >= 0) close(fd_);
}

std::string ChaveConfiguracao(const OpcoesAgente& opcoes) {
  return Retaguarda(opcoes) + "|" + Pdv(opcoes);
}

std::string TextoOutroAgente(const OpcoesAgente& opcoes) {
  return "Outro agente sem janelas j\xE1 est\xE1 rodando com esta configura\xE7\xE3o (retaguarda " +
         Retaguarda(opcoes) + ", PDV " + Pdv(opcoes) + "); este termina sem importar.\n";
}

}  // namespace app
