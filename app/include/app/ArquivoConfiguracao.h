// The agent's configuration file, agente.conf: the hosts, users, passwords
// and link settings of its two connections, and the settings of the parts
// that have keys of their own.
//
// The file is INI in UTF-8: "[secao]" lines, "chave=valor" lines, blank
// lines and comment lines starting with '#' or ';'. Spaces around a key and
// its value are dropped; a value in double quotes keeps everything between
// them (spaces, '#', ';', '=' and quotes alike), and nothing else in a value
// is special. Every key is optional. Unknown sections and keys, a key given
// twice, a bad value and a file that holds a password but can be read by
// other users are refused with ErroConfiguracao naming the file, the line
// and the key: the program then does not start at all.
//
// The files are read in order, each over the one before: the built-in
// settings, /etc/tolvex/agente.conf, then $XDG_CONFIG_HOME/tolvex/agente.conf
// (~/.config when the variable is unset). --config FILE replaces both files;
// the command line goes over everything (Agente.h). An absent default file
// is skipped; an absent --config file is refused.
//
// Texts reach ConfiguracaoAgente in Windows-1252, like every text inside the
// agent. Pure except for reading the files; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "wire/MysqlTls.h"

namespace app {

// What a configuration file gives one connection ([retaguarda], [pdv]);
// an empty member keeps the built-in setting.
struct ConfiguracaoConexao {
  std::optional<std::string> host;
  std::optional<std::uint32_t> porta;
  std::optional<std::string> usuario;
  std::optional<std::string> senha;
  // caching_sha2_password without TLS: the file of the server's RSA public
  // key, and whether the server may be asked for it.
  std::optional<std::string> chavePublica;
  std::optional<bool> obterChavePublica;
  std::optional<wire::TlsMode> tls;
  std::optional<std::string> tlsCa;
  std::optional<wire::TFingerprint> tlsImpressao;
  std::optional<bool> senhaAntiga;
};

struct ConfiguracaoAgente {
  ConfiguracaoConexao retaguarda;
  ConfiguracaoConexao pdv;
  // [importacao] marcar_em_lote: rows marked with one statement (0 to
  // kMaximoMarcarEmLote of Opcoes.h; 0 marks each row by itself).
  std::optional<unsigned> marcarEmLote;
  // [log] dias: days of daily log files kept (PastaLog.h); the build's
  // setting when absent.
  std::optional<int> diasLog;
};

// A configuration the program must not start with; what() says which file,
// line and key, and why (Windows-1252).
class ErroConfiguracao : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the two default files are.
struct CaminhosConfiguracao {
  std::string sistema;  // /etc/tolvex/agente.conf
  std::string usuario;  // $XDG_CONFIG_HOME/tolvex/agente.conf, empty when there is no home
};
CaminhosConfiguracao CaminhosPadrao();

// Reads the text of one file (named `arquivo` in the messages) over
// `configuracao`. Nothing is changed when it throws. Returns the line of
// the first "senha" key, 0 when the file holds none.
int LerTextoConfiguracao(std::string_view texto, const std::string& arquivo,
                         ConfiguracaoAgente& configuracao);

// Reads one file over `configuracao`. An absent file is skipped unless
// `obrigatorio`; a file it cannot read, a file that other users may change
// and a file with a "senha" key that other users may read are refused.
void LerArquivoConfiguracao(const std::string& arquivo, bool obrigatorio,
                            ConfiguracaoAgente& configuracao);

// The whole chain: `arquivo` (--config) alone when given, else the two
// default files in order.
ConfiguracaoAgente CarregarConfiguracao(const std::optional<std::string>& arquivo,
                                        const CaminhosConfiguracao& caminhos = CaminhosPadrao());

// The keys the file knows, one per line with what each takes, for --help
// (Windows-1252).
std::string TextoChavesConfiguracao();

// UTF-8 from outside the agent (a file's text, a path) as Windows-1252: a
// character the code page lacks, and a byte that is not UTF-8, become '?'.
std::string Utf8ParaCp1252(std::string_view texto);

}  // namespace app
