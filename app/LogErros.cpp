#include "app/LogErros.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/Catalogo.h"

namespace app {

LogErros::LogErros(std::string pastaPrograma, Relogio relogio)
    : pastaPrograma_(std::move(pastaPrograma)),
      relogio_(relogio ? std::move(relogio) : Relogio(Agora)) {}

std::string LogErros::Pasta() const {
  return pastaPrograma_ + "/logImportacao";
}

std::string LogErros::Arquivo(TDateTime momento) const {
  return Pasta() + "/" + DataNomeArquivo(momento) + ".txt";
}

bool LogErros::GravarLogErro(const std::string& contexto, const std::string& mensagem) {
  try {
    TDateTime momento = relogio_();
    std::string arquivo = Arquivo(momento);
    ultimoArquivo_ = arquivo;

    std::error_code erro;
    std::filesystem::create_directories(Pasta(), erro);
    if (erro) {
      ultimoErro_ = erro.message();
      return false;
    }

    std::string entrada = EntradaLogErro(CarimboTempo(momento), contexto, mensagem) + "\r\n";
    // "ab" creates the file when missing and appends otherwise; the bytes go
    // out as they are, without any conversion.
    FILE* saida = std::fopen(arquivo.c_str(), "ab");
    if (saida == nullptr) {
      ultimoErro_ = std::strerror(errno);
      return false;
    }
    bool escrito = std::fwrite(entrada.data(), 1, entrada.size(), saida) == entrada.size();
    int errnoEscrita = errno;
    bool fechado = std::fclose(saida) == 0;
    if (!escrito || !fechado) {
      ultimoErro_ = std::strerror(escrito ? errno : errnoEscrita);
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    ultimoErro_ = e.what();
    return false;
  }
}

}  // namespace app
