#include "app/Opcoes.h"

#include <charconv>
#include <optional>

namespace app {

std::optional<unsigned> Natural(const std::string& texto) {
  unsigned valor = 0;
  auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), valor);
  if (texto.empty() || erro != std::errc() || fim != texto.data() + texto.size())
    return std::nullopt;
  return valor;
}

EnderecoServidor LerEndereco(const std::string& texto, std::uint32_t portaPadrao) {
  EnderecoServidor e;
  e.porta = portaPadrao;
  const std::size_t doisPontos = texto.rfind(':');
  e.host = texto.substr(0, doisPontos);
  if (doisPontos != std::string::npos) {
    const std::optional<unsigned> porta = Natural(texto.substr(doisPontos + 1));
    if (!porta || *porta == 0 || *porta > 65535)
      throw ErroOpcoes("porta inv\xE1lida em '" + texto + "'");
    e.porta = *porta;
  }
  if (e.host.empty()) throw ErroOpcoes("falta o host em '" + texto + "'");
  return e;
}

OpcoesAgente LerOpcoes(const std::vector<std::string>& argumentos) {
  OpcoesAgente o;
  for (std::size_t i = 0; i < argumentos.size(); ++i) {
    const std::string& a = argumentos[i];
    auto valor = [&]() -> std::string {
      if (i + 1 >= argumentos.size())
        throw ErroOpcoes("a op\xE7\xE3o " + a + " precisa de um valor");
      return argumentos[++i];
    };
    auto valorPreenchido = [&]() -> std::string {
      std::string v = valor();
      if (v.empty()) throw ErroOpcoes("a op\xE7\xE3o " + a + " precisa de um valor");
      return v;
    };
    if (a == "--headless") {
      o.headless = true;
    } else if (a == "--once") {
      o.once = true;
    } else if (a == "--help" || a == "-h") {
      o.ajuda = true;
    } else if (a == "--version") {
      o.versao = true;
    } else if (a == "--retaguarda") {
      o.retaguarda = LerEndereco(valor());
    } else if (a == "--pdv") {
      o.pdv = LerEndereco(valor());
    } else if (a == "--suporte-servidor") {
      o.servidorSuporte = valorPreenchido();
    } else if (a == "--suporte-pasta") {
      o.pastaSuporte = valor();
    } else if (a == "--pasta-log") {
      o.pastaLog = valor();
    } else if (a == "--mostrar-certificado") {
      o.mostrarCertificado = LerEndereco(valor());
    } else if (a == "--config") {
      o.arquivoConfiguracao = valorPreenchido();
    } else if (a == "--marcar-em-lote") {
      const std::string texto = valor();
      const std::optional<unsigned> n = Natural(texto);
      if (!n || *n > kMaximoMarcarEmLote)
        throw ErroOpcoes("tamanho de lote inv\xE1lido '" + texto + "' (0 a " +
                         std::to_string(kMaximoMarcarEmLote) + ")");
      o.marcarEmLote = *n;
    } else {
      throw ErroOpcoes("op\xE7\xE3o desconhecida '" + a + "'");
    }
  }
  return o;
}

OpcoesAgente LerOpcoes(int argc, char** argv) {
  std::vector<std::string> argumentos;
  for (int i = 1; i < argc; ++i) argumentos.emplace_back(argv[i]);
  return LerOpcoes(argumentos);
}

std::string TextoUso(const std::string& programa) {
  return "uso: " + programa +
         " [--headless [--once]] [--retaguarda HOST[:PORTA]] [--pdv HOST[:PORTA]]\n"
         "     [--suporte-servidor HOST[:PORTA]] [--suporte-pasta PASTA] [--pasta-log PASTA]\n"
         "     [--config ARQUIVO] [--marcar-em-lote N]\n"
         "uso: " +
         programa +
         " --help | --version | --mostrar-certificado HOST[:PORTA]\n"
         "\n"
         "Importa clientes e produtos da retaguarda para o banco de dados do PDV.\n"
         "\n"
         "  --headless          roda sem janelas: as linhas dos pain\xE9is v\xE3o para a sa\xED"
         "da padr\xE3o,\n"
         "                      as entradas do log de erros tamb\xE9m para a sa\xED"
         "da de erros\n"
         "  --once              com --headless: abre, inicia, faz uma importa\xE7\xE3o e termina\n"
         "  --retaguarda H[:P]  servidor da retaguarda (padr\xE3o: o servidor de entrega, porta "
         "3306)\n"
         "  --pdv H[:P]         servidor do PDV (padr\xE3o: localhost:3306)\n"
         "  --suporte-servidor  servidor HTTPS de onde a tecla F12 baixa /sistema/AA_v3.exe\n"
         "  --suporte-pasta     pasta onde fica a ferramenta de suporte remoto\n"
         "  --pasta-log         pasta que recebe logImportacao (padr\xE3o: a pasta do programa;\n"
         "                      instalado, ou sem permiss\xE3o de escrita nela,\n"
         "                      $XDG_STATE_HOME/tolvex, ou ~/.local/state/tolvex)\n"
         "  --config ARQUIVO    l\xEA s\xF3 este arquivo de configura\xE7\xE3o, no lugar dos dois "
         "abaixo\n"
         "  --marcar-em-lote N  marca at\xE9 N linhas importadas na retaguarda com um s\xF3\n"
         "                      comando (0, o padr\xE3o: cada linha com o seu; at\xE9 1000)\n"
         "  -h, --help          mostra este texto e termina\n"
         "  --version           mostra a vers\xE3o e termina\n"
         "  --mostrar-certificado H[:P]\n"
         "                      mostra o certificado TLS do servidor e a linha tls_impressao\n"
         "                      que o fixa, sem entrar no servidor, e termina\n"
         "\n"
         "Arquivo de configura\xE7\xE3o: /etc/tolvex/agente.conf e depois\n"
         "$XDG_CONFIG_HOME/tolvex/agente.conf (~/.config/tolvex/agente.conf), cada um sobre\n"
         "o anterior; as op\xE7\xF5"
         "es acima valem sobre os dois. INI em UTF-8; toda chave\n"
         "\xE9 opcional; o valor vai at\xE9 o fim da linha e, entre aspas, guarda os espa\xE7os\n"
         "das pontas.\n" +
         TextoChavesConfiguracao() +
         "\n"
         "Status de sa\xED"
         "da: 0 sucesso (ou encerrado por SIGINT/SIGTERM); 1 com --once, falha ao\n"
         "abrir ou iniciar, e sempre que outro agente sem janelas j\xE1 roda com a mesma\n"
         "configura\xE7\xE3o;\n"
         "2 linha de comando ou arquivo de configura\xE7\xE3o inv\xE1lido, ou nenhuma tela para\n"
         "as janelas.\n";
}

std::string TextoVersao() {
  return "tolvex-agent " TOLVEX_VERSAO "\n";
}

}  // namespace app
