// The agent program's command line: how it runs (windows, or headless on
// the console, one pass or until a signal), which servers its two
// connections reach, and where the F12 remote-support tool comes from.
//
// LerOpcoes only parses; nothing is opened or changed by it. The result is
// a plain value the program hands to the agent (Agente.h) and to the
// windows. Pure; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ArquivoConfiguracao.h"

namespace app {

// The number a whole text of decimal digits gives; nothing for any other
// text (empty, signed, spaced, too large).
std::optional<unsigned> Natural(const std::string& texto);

// A server given as HOST or HOST:PORT.
struct EnderecoServidor {
  std::string host;
  std::uint32_t porta = 3306;
};

struct OpcoesAgente {
  bool headless = false;                       // --headless: no windows, the console view
  bool once = false;                           // --once: creation, start, one pass, exit
  bool ajuda = false;                          // --help
  bool versao = false;                         // --version
  std::optional<EnderecoServidor> retaguarda;  // --retaguarda HOST[:PORT]
  std::optional<EnderecoServidor> pdv;         // --pdv HOST[:PORT]
  // --suporte-servidor HOST[:PORT]: the HTTPS server F12 downloads from.
  std::optional<std::string> servidorSuporte;
  // --suporte-pasta DIR: the folder the remote-support tool is kept in.
  std::optional<std::string> pastaSuporte;
  // --pasta-log DIR: the folder that receives logImportacao (by default
  // the program's own folder).
  std::optional<std::string> pastaLog;
  // --mostrar-certificado HOST[:PORT]: show the server's TLS certificate
  // and exit.
  std::optional<EnderecoServidor> mostrarCertificado;
  // --config FILE: the configuration file read instead of the default ones.
  std::optional<std::string> arquivoConfiguracao;
  // What the configuration files say (CarregarConfiguracao); the program
  // fills it in after LerOpcoes, and the options above go over it.
  ConfiguracaoAgente configuracao;
  // --marcar-em-lote N: marks up to N written rows with one statement
  // (up to kMaximoMarcarEmLote); 0 marks each row by itself. Goes over
  // [importacao] marcar_em_lote; neither given: 0.
  std::optional<unsigned> marcarEmLote;
};

// The largest batch of markings: one statement stays a few kilobytes.
constexpr unsigned kMaximoMarcarEmLote = 1000;

// A command line the program cannot run with; what() says why.
class ErroOpcoes : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses "HOST" or "HOST:PORT" (port 1 to 65535; default 3306). Throws
// ErroOpcoes for an empty host or a bad port.
EnderecoServidor LerEndereco(const std::string& texto, std::uint32_t portaPadrao = 3306);

// Parses the arguments after the program name. Throws ErroOpcoes for an
// unknown option, a missing value or a bad address. --once implies nothing
// else: without --headless it is still accepted and the windowed program
// may ignore it.
OpcoesAgente LerOpcoes(const std::vector<std::string>& argumentos);
OpcoesAgente LerOpcoes(int argc, char** argv);

// The usage text printed for --help and after a command-line error, with
// the configuration file's keys (Windows-1252).
std::string TextoUso(const std::string& programa);

// "tolvex-agent X.Y.Z" and a line break, printed for --version.
std::string TextoVersao();

}  // namespace app
