#include "app/Opcoes.h"

#include <charconv>

namespace app {

EnderecoServidor LerEndereco(const std::string& texto, std::uint32_t portaPadrao) {
  EnderecoServidor e;
  e.porta = portaPadrao;
  const std::size_t doisPontos = texto.rfind(':');
  e.host = texto.substr(0, doisPontos);
  if (doisPontos != std::string::npos) {
    const std::string porta = texto.substr(doisPontos + 1);
    unsigned valor = 0;
    auto [fim, erro] = std::from_chars(porta.data(), porta.data() + porta.size(), valor);
    if (porta.empty() || erro != std::errc() || fim != porta.data() + porta.size() || valor == 0 ||
        valor > 65535)
      throw ErroOpcoes("invalid port in '" + texto + "'");
    e.porta = valor;
  }
  if (e.host.empty()) throw ErroOpcoes("missing host in '" + texto + "'");
  return e;
}

OpcoesAgente LerOpcoes(const std::vector<std::string>& argumentos) {
  OpcoesAgente o;
  for (std::size_t i = 0; i < argumentos.size(); ++i) {
    const std::string& a = argumentos[i];
    auto valor = [&]() -> std::string {
      if (i + 1 >= argumentos.size()) throw ErroOpcoes("option " + a + " needs a value");
      return argumentos[++i];
    };
    if (a == "--headless") {
      o.headless = true;
    } else if (a == "--once") {
      o.once = true;
    } else if (a == "--help" || a == "-h") {
      o.ajuda = true;
    } else if (a == "--retaguarda") {
      o.retaguarda = LerEndereco(valor());
    } else if (a == "--pdv") {
      o.pdv = LerEndereco(valor());
    } else if (a == "--suporte-servidor") {
      o.servidorSuporte = valor();
      if (o.servidorSuporte->empty()) throw ErroOpcoes("option " + a + " needs a value");
    } else if (a == "--suporte-pasta") {
      o.pastaSuporte = valor();
    } else if (a == "--pasta-log") {
      o.pastaLog = valor();
    } else if (a == "--config") {
      o.arquivoConfiguracao = valor();
      if (o.arquivoConfiguracao->empty()) throw ErroOpcoes("option " + a + " needs a value");
    } else if (a == "--marcar-em-lote") {
      const std::string texto = valor();
      unsigned n = 0;
      auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), n);
      if (texto.empty() || erro != std::errc() || fim != texto.data() + texto.size() ||
          n > kMaximoMarcarEmLote)
        throw ErroOpcoes("tamanho de lote inv\xE1lido '" + texto + "' (0 a " +
                         std::to_string(kMaximoMarcarEmLote) + ")");
      o.marcarEmLote = n;
    } else {
      throw ErroOpcoes("unknown option '" + a + "'");
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
  return "usage: " + programa +
         " [--headless [--once]] [--retaguarda HOST[:PORT]] [--pdv HOST[:PORT]]\n"
         "       [--suporte-servidor HOST[:PORT]] [--suporte-pasta DIR] [--pasta-log DIR]\n"
         "       [--config ARQUIVO] [--marcar-em-lote N]\n"
         "\n"
         "  --headless          run without windows; pane lines go to standard output\n"
         "  --once              with --headless: open, start, run one import pass, exit\n"
         "  --retaguarda H[:P]  back-office server (default: the delivered server, port 3306)\n"
         "  --pdv H[:P]         PDV server (default: localhost:3306)\n"
         "  --suporte-servidor  HTTPS server the F12 key downloads /sistema/AA_v3.exe from\n"
         "  --suporte-pasta     folder the remote-support tool is kept in\n"
         "  --pasta-log         folder that receives logImportacao (default: the program's)\n"
         "  --config ARQUIVO    l\xEA s\xF3 este arquivo de configura\xE7\xE3o, no lugar dos dois "
         "abaixo\n"
         "  --marcar-em-lote N  marca at\xE9 N linhas importadas na retaguarda com um s\xF3\n"
         "                      comando (0, o padr\xE3o: cada linha com o seu; at\xE9 1000)\n"
         "\n"
         "Arquivo de configura\xE7\xE3o: /etc/tolvex/agente.conf e depois\n"
         "$XDG_CONFIG_HOME/tolvex/agente.conf (~/.config/tolvex/agente.conf), cada um sobre\n"
         "o anterior; as op\xE7\xF5"
         "es acima valem sobre os dois. INI em UTF-8; toda chave\n"
         "\xE9 opcional; o valor vai at\xE9 o fim da linha e, entre aspas, guarda os espa\xE7os\n"
         "das pontas.\n" +
         TextoChavesConfiguracao();
}

}  // namespace app
