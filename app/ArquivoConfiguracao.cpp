#include "app/ArquivoConfiguracao.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "app/Opcoes.h"
#include "wire/CodePages.h"

namespace app {

namespace {

// A value a key cannot take; what() says why, to be put after the file,
// line and key.
class ValorInvalido : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a key's value goes: the agent's settings, and for the keys of
// [retaguarda] and [pdv] the section's connection.
struct Destino {
  ConfiguracaoAgente& agente;
  ConfiguracaoConexao* conexao;
};

// --- value readers: each checks the text and returns what the key stores ----

std::string Host(const std::string& v) {
  if (v.empty()) throw ValorInvalido("falta o nome ou endere\xE7o IP do servidor");
  if (v.size() > 255) throw ValorInvalido("nome de servidor longo demais");
  for (unsigned char c : v)
    if (c <= ' ' || c >= 0x7F)
      throw ValorInvalido("nome de servidor com espa\xE7os ou caracteres fora do ASCII");
  return v;
}

// The number of a text of 1 to `digitos` decimal digits; nothing for any
// other text.
std::optional<std::uint32_t> Decimal(const std::string& v, std::size_t digitos) {
  if (v.size() > digitos) return std::nullopt;
  return Natural(v);
}

std::uint32_t Porta(const std::string& v) {
  const std::optional<std::uint32_t> n = Decimal(v, 5);
  if (!n || *n < 1 || *n > 65535)
    throw ValorInvalido("porta \"" + v + "\" inv\xE1lida; use um n\xFAmero de 1 a 65535");
  return *n;
}

unsigned Lote(const std::string& v) {
  const std::optional<std::uint32_t> n = Decimal(v, 4);
  if (!n || *n > kMaximoMarcarEmLote)
    throw ValorInvalido("tamanho de lote \"" + v + "\" inv\xE1lido; use um n\xFAmero de 0 a " +
                        std::to_string(kMaximoMarcarEmLote));
  return *n;
}

std::string Usuario(const std::string& v) {
  if (v.empty()) throw ValorInvalido("falta o nome do usu\xE1rio");
  return v;
}

int Dias(const std::string& v) {
  const std::optional<std::uint32_t> n = Decimal(v, 5);
  if (!n || *n > 36500)
    throw ValorInvalido("n\xFAmero de dias \"" + v + "\" inv\xE1lido; use de 0 a 36500");
  return static_cast<int>(*n);
}

wire::TlsMode ModoTls(const std::string& v) {
  static const std::pair<const char*, wire::TlsMode> kModos[] = {
      {"desligado", wire::TlsMode::Off},
      {"preferido", wire::TlsMode::Preferred},
      {"exigido", wire::TlsMode::Required},
      {"verificar-ca", wire::TlsMode::VerifyCa},
      {"verificar-host", wire::TlsMode::VerifyHost},
  };
  for (const auto& [nome, modo] : kModos)
    if (v == nome) return modo;
  throw ValorInvalido("modo \"" + v +
                      "\" desconhecido; use desligado, preferido, exigido, verificar-ca ou "
                      "verificar-host");
}

// A file the agent will read later: it must be there now.
std::string ArquivoLegivel(const std::string& v) {
  struct stat st {};
  if (v.empty()) throw ValorInvalido("falta o caminho do arquivo");
  if (stat(v.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(v.c_str(), R_OK) != 0)
    throw ValorInvalido("o arquivo " + v + " n\xE3o existe ou n\xE3o pode ser lido");
  return v;
}

wire::TFingerprint Impressao(const std::string& v) {
  if (auto digest = wire::ParseFingerprint(v)) return *digest;
  throw ValorInvalido(
      "impress\xE3o inv\xE1lida; use sha256: e os 32 bytes em hexadecimal, como "
      "tolvex-agent --mostrar-certificado mostra");
}

std::string Arquivo(const std::string& v) {
  if (v.empty()) throw ValorInvalido("falta o caminho do arquivo");
  return v;
}

bool SimNao(const std::string& v) {
  if (v == "sim") return true;
  if (v == "nao" || v == "n\xE3o") return false;
  throw ValorInvalido("valor \"" + v + "\" inv\xE1lido; use sim ou n\xE3o");
}

// --- the known keys ---------------------------------------------------------

// Marks the keys of [retaguarda] and [pdv], which both connections share.
constexpr const char* kConexao = "";

struct Chave {
  const char* secao;  // kConexao for both connections
  const char* nome;
  const char* ajuda;  // for --help: what the key takes
  void (*ler)(Destino&, const std::string&);
};

// Every section and key the file may hold, each with the reader of its
// value. To add a key: give ConfiguracaoAgente (or ConfiguracaoConexao) a
// member for it, add one line here (a section of its own is known as soon as
// one of its keys is), and document the key in the README; --help lists it
// from here.
const Chave kChaves[] = {
    {kConexao, "host", "nome ou IP do servidor",
     [](Destino& d, const std::string& v) { d.conexao->host = Host(v); }},
    {kConexao, "porta", "porta TCP, de 1 a 65535 (padr\xE3o 3306)",
     [](Destino& d, const std::string& v) { d.conexao->porta = Porta(v); }},
    {kConexao, "usuario", "usu\xE1rio do servidor",
     [](Destino& d, const std::string& v) { d.conexao->usuario = Usuario(v); }},
    {kConexao, "senha",
     "senha do usu\xE1rio (o arquivo deve ter permiss\xF5"
     "es 0600)",
     [](Destino& d, const std::string& v) { d.conexao->senha = v; }},
    {kConexao, "chave_publica",
     "arquivo PEM com a chave p\xFA"
     "blica RSA do servidor, para caching_sha2_password sem TLS",
     [](Destino& d, const std::string& v) { d.conexao->chavePublica = Arquivo(v); }},
    {kConexao, "obter_chave_publica",
     "sim ou n\xE3o (padr\xE3o): pedir a chave p\xFA"
     "blica ao servidor, sem TLS e sem chave_publica",
     [](Destino& d, const std::string& v) { d.conexao->obterChavePublica = SimNao(v); }},
    {"importacao", "marcar_em_lote",
     "linhas marcadas na retaguarda com um s\xF3 comando, de 0 a 1000 (padr\xE3o 0: "
     "cada linha com o seu)",
     [](Destino& d, const std::string& v) { d.agente.marcarEmLote = Lote(v); }},
    {"log", "dias", "dias de log de erros guardados em logImportacao (0 guarda todos)",
     [](Destino& d, const std::string& v) { d.agente.diasLog = Dias(v); }},
    {kConexao, "tls",
     "desligado, preferido, exigido, verificar-ca ou verificar-host (padr\xE3o: preferido "
     "na retaguarda, desligado no PDV)",
     [](Destino& d, const std::string& v) { d.conexao->tls = ModoTls(v); }},
    {kConexao, "tls_ca", "arquivo PEM das autoridades aceitas (padr\xE3o: as do sistema)",
     [](Destino& d, const std::string& v) { d.conexao->tlsCa = ArquivoLegivel(v); }},
    {kConexao, "tls_impressao",
     "sha256:AA:BB:... do certificado do servidor, no lugar da autoridade; exige TLS",
     [](Destino& d, const std::string& v) { d.conexao->tlsImpressao = Impressao(v); }},
    {kConexao, "senha_antiga",
     "sim para responder ao embaralhamento anterior ao 4.1 (padr\xE3o nao)",
     [](Destino& d, const std::string& v) { d.conexao->senhaAntiga = SimNao(v); }},
};

const char* const kSecoesConexao[] = {"retaguarda", "pdv"};

bool SecaoDeConexao(const std::string& secao) {
  for (const char* s : kSecoesConexao)
    if (secao == s) return true;
  return false;
}

bool SecaoConhecida(const std::string& secao) {
  if (SecaoDeConexao(secao)) return true;
  for (const Chave& c : kChaves)
    if (secao == c.secao) return true;
  return false;
}

const Chave* ProcurarChave(const std::string& secao, const std::string& nome) {
  const bool conexao = SecaoDeConexao(secao);
  for (const Chave& c : kChaves)
    if (nome == c.nome && (conexao ? c.secao == kConexao : secao == c.secao)) return &c;
  return nullptr;
}

// --- text -------------------------------------------------------------------

// The workstation's code-page byte of a character of U+0080 and above, as
// the wire client converts; 0 when the code page lacks the character.
char ByteCp1252(long c) {
  static const std::uint16_t* const tabela = wire::CodePageTable(wire::WorkstationCodePage());
  for (unsigned b = 0x80; b <= 0xFF; ++b)
    if (tabela[b] != wire::kUndefinedCharacter && tabela[b] == c) return static_cast<char>(b);
  return 0;
}

// The next character of well-formed UTF-8 at `i` (advanced past it), or -1
// for a byte sequence that is not UTF-8 (overlong forms and surrogates too).
long ProximoUtf8(std::string_view s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i]);
  int extra = 0;
  long c = 0;
  long minimo = 0;
  if (b < 0x80) {
    ++i;
    return b;
  } else if (b >= 0xC2 && b <= 0xDF) {
    extra = 1, c = b & 0x1F, minimo = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    extra = 2, c = b & 0x0F, minimo = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    extra = 3, c = b & 0x07, minimo = 0x10000;
  } else {
    return -1;
  }
  if (s.size() - i <= static_cast<std::size_t>(extra)) return -1;
  for (int k = 1; k <= extra; ++k) {
    const auto m = static_cast<unsigned char>(s[i + k]);
    if ((m & 0xC0) != 0x80) return -1;
    c = (c << 6) | (m & 0x3F);
  }
  if (c < minimo || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  i += static_cast<std::size_t>(extra) + 1;
  return c;
}

bool Utf8Valido(std::string_view s) {
  for (std::size_t i = 0; i < s.size();)
    if (ProximoUtf8(s, i) <= 0) return false;  // NUL counts as broken too
  return true;
}

// UTF-8 as Windows-1252; '?' for what it cannot hold when `exato` is null,
// otherwise *exato tells whether every character fitted.
std::string ParaCp1252(std::string_view s, bool* exato = nullptr) {
  std::string saida;
  if (exato) *exato = true;
  for (std::size_t i = 0; i < s.size();) {
    long c = ProximoUtf8(s, i);
    if (c < 0) {
      ++i;
      c = 0xFFFD;
    }
    const char byte = c < 0x80 ? static_cast<char>(c) : ByteCp1252(c);
    const bool cabe = c < 0x80 || byte != 0;
    if (!cabe && exato) *exato = false;
    saida.push_back(cabe ? byte : '?');
  }
  return saida;
}

bool TemControle(std::string_view s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

std::string_view Aparar(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// --- messages ---------------------------------------------------------------

std::string NoArquivo(const std::string& arquivo) {
  return "Arquivo de configura\xE7\xE3o " + ParaCp1252(arquivo);
}

std::string NaLinha(const std::string& arquivo, int linha) {
  return NoArquivo(arquivo) + ", linha " + std::to_string(linha);
}

std::string NaChave(const std::string& arquivo, int linha, const std::string& secao,
                    const std::string& chave) {
  return NaLinha(arquivo, linha) + ", chave " + ParaCp1252(chave) + " em [" + ParaCp1252(secao) +
         "]";
}

std::string Octal(mode_t modo) {
  char texto[8];
  std::snprintf(texto, sizeof texto, "%04o", static_cast<unsigned>(modo & 07777));
  return texto;
}

}  // namespace

std::string Utf8ParaCp1252(std::string_view texto) {
  return ParaCp1252(texto);
}

CaminhosConfiguracao CaminhosPadrao() {
  CaminhosConfiguracao c;
  c.sistema = "/etc/tolvex/agente.conf";
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    std::string casa;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
      casa = home;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') {
      casa = pw->pw_dir;
    }
    if (!casa.empty()) base = casa + "/.config";
  }
  if (!base.empty()) c.usuario = base + "/tolvex/agente.conf";
  return c;
}

int LerTextoConfiguracao(std::string_view texto, const std::string& arquivo,
                         ConfiguracaoAgente& configuracao) {
  ConfiguracaoAgente novo = configuracao;
  std::map<std::pair<std::string, std::string>, int> dadas;  // section and key: line
  std::string secao;
  int linhaSenha = 0;
  if (texto.substr(0, 3) == "\xEF\xBB\xBF") texto.remove_prefix(3);
  int numero = 0;
  while (!texto.empty()) {
    ++numero;
    const std::size_t fim = texto.find('\n');
    std::string_view linha = texto.substr(0, fim);
    texto.remove_prefix(fim == std::string_view::npos ? texto.size() : fim + 1);
    if (!linha.empty() && linha.back() == '\r') linha.remove_suffix(1);
    if (!Utf8Valido(linha))
      throw ErroConfiguracao(NaLinha(arquivo, numero) + ": o texto n\xE3o est\xE1 em UTF-8");
    linha = Aparar(linha);
    if (linha.empty() || linha.front() == '#' || linha.front() == ';') continue;

    if (linha.front() == '[') {
      if (linha.back() != ']')
        throw ErroConfiguracao(NaLinha(arquivo, numero) + ": falta o ']' da se\xE7\xE3o");
      secao = std::string(Aparar(linha.substr(1, linha.size() - 2)));
      if (!SecaoConhecida(secao))
        throw ErroConfiguracao(NaLinha(arquivo, numero) + ": se\xE7\xE3o [" + ParaCp1252(secao) +
                               "] desconhecida");
      continue;
    }

    const std::size_t igual = linha.find('=');
    if (igual == std::string_view::npos)
      throw ErroConfiguracao(NaLinha(arquivo, numero) +
                             ": a linha n\xE3o \xE9 uma se\xE7\xE3o nem chave=valor");
    const std::string nome(Aparar(linha.substr(0, igual)));
    std::string_view valor = Aparar(linha.substr(igual + 1));
    if (secao.empty())
      throw ErroConfiguracao(NaLinha(arquivo, numero) + ": chave " + ParaCp1252(nome) +
                             " fora de uma se\xE7\xE3o");
    const std::string onde = NaChave(arquivo, numero, secao, nome);
    const Chave* chave = ProcurarChave(secao, nome);
    if (!chave) throw ErroConfiguracao(onde + ": chave desconhecida");
    if (auto [it, nova] = dadas.try_emplace({secao, nome}, numero); !nova)
      throw ErroConfiguracao(onde + ": chave repetida (j\xE1 dada na linha " +
                             std::to_string(it->second) + ")");
    if (valor.size() >= 2 && valor.front() == '"' && valor.back() == '"')
      valor = valor.substr(1, valor.size() - 2);
    bool exato = true;
    const std::string cp1252 = ParaCp1252(valor, &exato);
    if (!exato) throw ErroConfiguracao(onde + ": o valor tem caracteres fora do Windows-1252");
    if (TemControle(cp1252)) throw ErroConfiguracao(onde + ": o valor tem caracteres de controle");
    if (nome == "senha" && linhaSenha == 0) linhaSenha = numero;
    Destino destino{novo, nullptr};
    if (secao == "retaguarda") destino.conexao = &novo.retaguarda;
    if (secao == "pdv") destino.conexao = &novo.pdv;
    try {
      chave->ler(destino, cp1252);
    } catch (const ValorInvalido& e) {
      throw ErroConfiguracao(onde + ": " + e.what());
    }
  }
  configuracao = std::move(novo);
  return linhaSenha;
}

void LerArquivoConfiguracao(const std::string& arquivo, bool obrigatorio,
                            ConfiguracaoAgente& configuracao) {
  const int fd = open(arquivo.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT && !obrigatorio) return;
    throw ErroConfiguracao(NoArquivo(arquivo) + ": n\xE3o foi poss\xEDvel abrir (" +
                           ParaCp1252(std::strerror(errno)) + ")");
  }
  struct Fechar {
    int fd;
    ~Fechar() { close(fd); }
  } fechar{fd};
  // The checks and the read are made on the same open file, so a file
  // swapped in between is not read unchecked.
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw ErroConfiguracao(NoArquivo(arquivo) + ": n\xE3o \xE9 um arquivo comum");
  constexpr off_t kMaximo = 1 << 20;
  if (st.st_size > kMaximo) throw ErroConfiguracao(NoArquivo(arquivo) + ": grande demais");
  if (st.st_mode & S_IWOTH)
    throw ErroConfiguracao(NoArquivo(arquivo) + ": pode ser alterado por qualquer usu\xE1rio " +
                           "(permiss\xF5"
                           "es " +
                           Octal(st.st_mode) + "); use chmod o-w " + ParaCp1252(arquivo));
  std::string texto;
  char bloco[8192];
  for (;;) {
    const ssize_t n = read(fd, bloco, sizeof bloco);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw ErroConfiguracao(NoArquivo(arquivo) + ": erro de leitura (" +
                             ParaCp1252(std::strerror(errno)) + ")");
    if (n == 0) break;
    texto.append(bloco, static_cast<std::size_t>(n));
    if (texto.size() > kMaximo) throw ErroConfiguracao(NoArquivo(arquivo) + ": grande demais");
  }
  ConfiguracaoAgente lida = configuracao;
  const int linhaSenha = LerTextoConfiguracao(texto, arquivo, lida);
  if (linhaSenha > 0 && (st.st_mode & (S_IRWXG | S_IRWXO)))
    throw ErroConfiguracao(NaLinha(arquivo, linhaSenha) +
                           ", chave senha: o arquivo guarda uma senha e outros usu\xE1rios "
                           "podem l\xEA-lo (permiss\xF5"
                           "es " +
                           Octal(st.st_mode) + "); use chmod 600 " + ParaCp1252(arquivo));
  configuracao = std::move(lida);
}

ConfiguracaoAgente CarregarConfiguracao(const std::optional<std::string>& arquivo,
                                        const CaminhosConfiguracao& caminhos) {
  ConfiguracaoAgente c;
  if (arquivo) {
    LerArquivoConfiguracao(*arquivo, true, c);
    return c;
  }
  if (!caminhos.sistema.empty()) LerArquivoConfiguracao(caminhos.sistema, false, c);
  if (!caminhos.usuario.empty()) LerArquivoConfiguracao(caminhos.usuario, false, c);
  return c;
}

std::string TextoChavesConfiguracao() {
  std::string texto;
  std::vector<std::string> secoes;
  for (const Chave& c : kChaves) {
    bool nova = true;
    for (const auto& s : secoes) nova = nova && s != c.secao;
    if (nova) secoes.emplace_back(c.secao);
  }
  for (const auto& s : secoes) {
    texto += s == kConexao ? "  [retaguarda] e [pdv]:\n" : "  [" + s + "]:\n";
    for (const Chave& c : kChaves) {
      if (s != c.secao) continue;
      std::string linha = "    " + std::string(c.nome);
      linha.resize(std::max<std::size_t>(linha.size() + 1, 22), ' ');
      texto += linha + c.ajuda + "\n";
    }
  }
  return texto;
}

}  // namespace app
