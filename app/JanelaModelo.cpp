#include "app/JanelaModelo.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "app/Catalogo.h"
#include "os/Connectivity.h"
#include "os/Shell.h"

#ifndef TOLVEX_SUPORTE_SERVIDOR
#define TOLVEX_SUPORTE_SERVIDOR "www.tolvex.com.br"
#endif
#ifndef TOLVEX_SUPORTE_SHA256
#define TOLVEX_SUPORTE_SHA256 ""
#endif

namespace app {
namespace {

bool EhArquivo(const std::string& caminho) {
  std::error_code erro;
  return std::filesystem::is_regular_file(caminho, erro);
}

// Creates every missing folder of `pasta` with 0700.
void CriarPastas(const std::string& pasta) {
  for (size_t barra = pasta.find('/', 1); barra != std::string::npos;
       barra = pasta.find('/', barra + 1)) {
    ::mkdir(pasta.substr(0, barra).c_str(), 0700);
  }
  ::mkdir(pasta.c_str(), 0700);
}

// Makes `pasta` a folder of this user that nobody else may write to: a tool
// planted there by another user would be started as this one.
bool PrepararPasta(const std::string& pasta) {
  CriarPastas(pasta);
  struct stat info {};
  if (::stat(pasta.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    return false;
  }
  return (info.st_mode & 022) == 0 || ::chmod(pasta.c_str(), 0700) == 0;
}

}  // namespace

ConfiguracaoSuporte ConfiguracaoSuportePadrao() {
  ConfiguracaoSuporte c;
  const std::string dados = os::UserDataDirectory();
  if (!dados.empty()) c.pasta = dados + "/tolvex/suporte";
  c.endereco = EnderecoSuporte(TOLVEX_SUPORTE_SERVIDOR, c.nomeArquivo);
  c.sha256 = TOLVEX_SUPORTE_SHA256;
  return c;
}

std::string EnderecoSuporte(const std::string& servidor, const std::string& nomeArquivo) {
  return "https://" + servidor + "/sistema/" + nomeArquivo;
}

std::string Sha256DoArquivo(const std::string& arquivo) {
  const int fd = ::open(arquivo.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> contexto(EVP_MD_CTX_new(),
                                                                   EVP_MD_CTX_free);
  bool ok = contexto && EVP_DigestInit_ex(contexto.get(), EVP_sha256(), nullptr) == 1;
  char bloco[65536];
  while (ok) {
    const ssize_t n = ::read(fd, bloco, sizeof bloco);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = EVP_DigestUpdate(contexto.get(), bloco, static_cast<size_t>(n)) == 1;
  }
  ::close(fd);
  unsigned char resumo[EVP_MAX_MD_SIZE];
  unsigned int tamanho = 0;
  if (!ok || EVP_DigestFinal_ex(contexto.get(), resumo, &tamanho) != 1) return "";
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < tamanho; ++i) {
    hex += kHex[resumo[i] >> 4];
    hex += kHex[resumo[i] & 0x0F];
  }
  return hex;
}

bool TemConexaoInternet() {
  try {
    return os::HasNetworkConnection();
  } catch (...) {
    return false;
  }
}

bool ExecutarArquivo(const std::string& programa, const std::string& parametros) {
  try {
    std::error_code erro;
    if (!std::filesystem::exists(programa, erro)) return false;
    if (access(programa.c_str(), X_OK) == 0 && EhArquivo(programa)) {
      std::vector<std::string> argumentos;
      std::istringstream palavras(parametros);
      std::string palavra;
      while (palavras >> palavra) argumentos.push_back(palavra);
      // A relative path must not be looked up on PATH.
      std::string caminho = programa.find('/') == std::string::npos ? "./" + programa : programa;
      return os::StartProgram(caminho, argumentos);
    }
    return os::OpenWithDefaultHandler(programa);
  } catch (...) {
    return false;
  }
}

JanelaModelo::JanelaModelo(AgentView& view, ConfiguracaoSuporte suporte,
                           PlataformaJanela plataforma)
    : view_(view), suporte_(std::move(suporte)), plataforma_(std::move(plataforma)) {
  if (!plataforma_.temConexaoInternet) plataforma_.temConexaoInternet = TemConexaoInternet;
  if (!plataforma_.baixarArquivo) {
    plataforma_.baixarArquivo = [](const ConfiguracaoSuporte&, const std::string&) {
      return ResultadoDownload{};
    };
  }
  if (!plataforma_.executarArquivo) plataforma_.executarArquivo = ExecutarArquivo;
  if (!plataforma_.abrirCalculadora) plataforma_.abrirCalculadora = os::StartCalculator;
}

bool JanelaModelo::FormKeyDown(int tecla) {
  if (tecla == Tecla::F10) {
    AbrirCalculadora();
    return true;
  }
  if (tecla == Tecla::F12) {
    SuporteRemoto();
    return true;
  }
  return false;
}

void JanelaModelo::AbrirCalculadora() {
  try {
    plataforma_.abrirCalculadora();
  } catch (...) {
    // A calculator that does not start is not worth a message.
  }
}

bool JanelaModelo::Confere(const std::string& arquivo) const {
  // An unreadable file hashes to "": a setting of the wrong length never matches.
  if (suporte_.sha256.size() != 64) return false;
  std::string esperado = suporte_.sha256;
  for (char& c : esperado) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return Sha256DoArquivo(arquivo) == esperado;
}

void JanelaModelo::SuporteRemoto() {
  if (suporte_.pasta.empty()) {
    view_.Informacao(TituloAtencao(), TextoSuporteSemPastaPessoal());
    return;
  }
  if (!PrepararPasta(suporte_.pasta)) {
    view_.Informacao(TituloAtencao(), TextoSuportePastaRecusada(suporte_.pasta + "/"));
    return;
  }
  if (suporte_.sha256.empty()) {
    view_.Informacao(TituloAtencao(), TextoSuporteSemSha256());
    return;
  }
  const std::string arquivo = suporte_.Arquivo();

  bool guardado = EhArquivo(arquivo);
  if (guardado && !Confere(arquivo)) {
    view_.Informacao(TituloAtencao(), TextoSuporteNaoConfere(suporte_.pasta + "/"));
    guardado = false;
  }
  if (!guardado) {
    if (!view_.Pergunta(TituloAtencao(), TextoPerguntaBaixarSuporte())) return;
    if (plataforma_.temConexaoInternet()) {
      std::error_code erro;
      std::filesystem::remove(arquivo, erro);
      // An ordinary failed download is silent: the tool is still missing, so
      // nothing is started and the next F12 asks again. A failed check is
      // told.
      ResultadoDownload r;
      try {
        r = plataforma_.baixarArquivo(suporte_, arquivo);
      } catch (...) {
        r = ResultadoDownload{};
      }
      if (r.ok && !Confere(arquivo)) {
        std::filesystem::remove(arquivo, erro);
        r = ResultadoDownload{false, MotivoSuporteSha256()};
      }
      if (r.ok) {
        view_.Informacao(TituloAtencao(), TextoSuporteBaixado(suporte_.pasta + "/"));
      } else if (!r.recusa.empty()) {
        view_.Informacao(TituloAtencao(), TextoSuporteRecusado(r.recusa));
      }
    } else {
      view_.Informacao(TituloAtencao(), TextoSemInternet());
    }
  }

  if (EhArquivo(arquivo) && Confere(arquivo)) {
    try {
      plataforma_.executarArquivo(arquivo, "");
    } catch (...) {
      // Starting the tool is best effort; the operator sees whether it came up.
    }
  }
}

}  // namespace app
