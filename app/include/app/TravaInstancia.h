// One headless agent per user and configuration: a second one started for
// the same two servers would import the same rows at the same time.
//
// The lock is an flock on a file of the user's runtime folder
// ($XDG_RUNTIME_DIR, or /tmp with the user's id in the name), named after a
// hash of the configuration; the kernel lets go of it when the process
// ends, however it ends. A lock file that cannot be opened (a folder that is
// not ours, a link in its place) leaves the agent running without the lock:
// it keeps nothing safe, it only refuses a duplicate. Single-threaded.
#pragma once

#include <string>

#include "app/Opcoes.h"

namespace app {

class TravaInstancia {
 public:
  // Tries to take the lock for `chave` without waiting.
  explicit TravaInstancia(const std::string& chave);
  ~TravaInstancia();
  TravaInstancia(const TravaInstancia&) = delete;
  TravaInstancia& operator=(const TravaInstancia&) = delete;

  // True when another process holds the lock for the same key.
  bool Ocupada() const { return ocupada_; }
  const std::string& Arquivo() const { return arquivo_; }

 private:
  int fd_ = -1;
  bool ocupada_ = false;
  std::string arquivo_;
};

// The configuration a headless agent is identified by: the back-office and
// PDV servers it reaches ("host:port|host:port"; the command line over the
// configuration file over the built-in servers).
std::string ChaveConfiguracao(const OpcoesAgente& opcoes);

// The message of a second headless agent for the same configuration, with a
// final line break (Windows-1252).
std::string TextoOutroAgente(const OpcoesAgente& opcoes);

}  // namespace app
