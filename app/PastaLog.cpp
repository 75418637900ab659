#include "app/PastaLog.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/ArquivoConfiguracao.h"
#include "rtl/DateTime.h"

#ifndef TOLVEX_PASTA_BUILD
#define TOLVEX_PASTA_BUILD ""
#endif
#ifndef TOLVEX_LOG_DIAS
#define TOLVEX_LOG_DIAS 60
#endif

namespace app {

namespace fs = std::filesystem;

namespace {

bool Absoluta(const char* pasta) {
  return pasta != nullptr && pasta[0] == '/';
}

// Whether the program may create logImportacao beside itself (or write into
// the one there).
bool PodeEscrever(const std::string& pastaPrograma) {
  const std::string log = pastaPrograma + "/logImportacao";
  std::error_code erro;
  if (fs::exists(log, erro)) return access(log.c_str(), W_OK | X_OK) == 0;
  return access(pastaPrograma.c_str(), W_OK | X_OK) == 0;
}

// The date of a file named ddmmyyyy.txt; false for any other name.
bool DataDoNome(const std::string& nome, TDateTime& data) {
  if (nome.size() != 12 || nome.compare(8, 4, ".txt") != 0) return false;
  for (int i = 0; i < 8; ++i)
    if (nome[i] < '0' || nome[i] > '9') return false;
  const int dia = std::stoi(nome.substr(0, 2));
  const int mes = std::stoi(nome.substr(2, 2));
  const int ano = std::stoi(nome.substr(4, 4));
  return rtl::TryEncodeDate(ano, mes, dia, data);
}

}  // namespace

std::string PastaEstado() {
  const char* estado = std::getenv("XDG_STATE_HOME");
  if (Absoluta(estado)) return std::string(estado) + "/tolvex";
  const char* casa = std::getenv("HOME");
  return std::string(Absoluta(casa) ? casa : "") + "/.local/state/tolvex";
}

bool NaPastaDoBuild(const std::string& pastaPrograma) {
  const std::string build = TOLVEX_PASTA_BUILD;
  if (build.empty()) return false;
  return pastaPrograma == build || pastaPrograma.starts_with(build + "/");
}

PastaDoLog EscolherPastaLog(const std::optional<std::string>& pastaLog,
                            const std::string& pastaPrograma) {
  if (pastaLog) return {*pastaLog, false};
  if (NaPastaDoBuild(pastaPrograma) && PodeEscrever(pastaPrograma)) return {pastaPrograma, false};
  return {PastaEstado(), true};
}

std::string LinhaPastaLog(const std::string& pastaLogImportacao) {
  // The path's bytes are the file system's (UTF-8); the pane's are not.
  return "Log de erros da importa\xE7\xE3o em " + Utf8ParaCp1252(pastaLogImportacao);
}

int DiasGuardadosPadrao() {
  return TOLVEX_LOG_DIAS;
}

int RemoverDiasAntigos(const std::string& pastaLogImportacao, TDateTime hoje, int dias) {
  if (dias <= 0) return 0;
  const double limite = std::floor(hoje) - dias;
  int removidos = 0;
  std::error_code erro;
  for (fs::directory_iterator it(pastaLogImportacao, erro), fim; !erro && it != fim;
       it.increment(erro)) {
    TDateTime data = 0;
    if (!DataDoNome(it->path().filename().string(), data) || data >= limite) continue;
    // A link or a folder named like a day is not one of ours.
    std::error_code e;
    if (!fs::is_regular_file(fs::symlink_status(it->path(), e))) continue;
    if (fs::remove(it->path(), e)) ++removidos;
  }
  return removidos;
}

}  // namespace app
