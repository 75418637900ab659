#include "app/JanelaModelo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "app/Catalogo.h"
#include "os/Connectivity.h"
#include "os/Download.h"
#include "os/Shell.h"

#ifndef TOLVEX_SUPORTE_SERVIDOR
#define TOLVEX_SUPORTE_SERVIDOR "www.tolvex.com.br"
#endif

namespace app {
namespace {

bool EhArquivo(const std::string& caminho) {
  std::error_code erro;
  return std::filesystem::is_regular_file(caminho, erro);
}

}  // namespace

ConfiguracaoSuporte ConfiguracaoSuportePadrao() {
  ConfiguracaoSuporte c;
  c.pasta = os::UserDataDirectory() + "/tolvex/suporte";
  c.endereco = std::string("http://") + TOLVEX_SUPORTE_SERVIDOR + "/sistema/AA_v3.exe";
  return c;
}

bool TemConexaoInternet() {
  try {
    return os::HasNetworkConnection();
  } catch (...) {
    return false;
  }
}

bool BaixarArquivo(const std::string& endereco, const std::string& arquivo) {
  try {
    return os::HttpDownload(endereco, arquivo).ok;
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
  if (!plataforma_.baixarArquivo) plataforma_.baixarArquivo = BaixarArquivo;
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

void JanelaModelo::SuporteRemoto() {
  std::error_code erro;
  std::filesystem::create_directories(suporte_.pasta, erro);
  const std::string arquivo = suporte_.Arquivo();

  if (!EhArquivo(arquivo)) {
    if (!view_.Pergunta(TituloAtencao(), TextoPerguntaBaixarSuporte())) return;
    if (plataforma_.temConexaoInternet()) {
      std::filesystem::remove(arquivo, erro);
      // A failed download is silent: the tool is still missing, so nothing
      // is started and the next F12 asks again.
      if (plataforma_.baixarArquivo(suporte_.endereco, arquivo)) {
        view_.Informacao(TituloAtencao(), TextoSuporteBaixado(suporte_.pasta + "/"));
      }
    } else {
      view_.Informacao(TituloAtencao(), TextoSemInternet());
    }
  }

  if (EhArquivo(arquivo)) {
    try {
      plataforma_.executarArquivo(arquivo, "");
    } catch (...) {
      // Starting the tool is best effort; the operator sees whether it came up.
    }
  }
}

}  // namespace app
