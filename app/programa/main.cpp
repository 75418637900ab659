// tolvex-agent: the import agent. With --headless it runs on the console
// (see ConsoleView.h); otherwise it opens its windows when they are built.
#include <unistd.h>

#include <iostream>

#include "app/Certificado.h"
#include "app/ConsoleView.h"
#include "app/Opcoes.h"
#include "app/TravaInstancia.h"

#ifdef TOLVEX_COM_JANELAS
#include "ui/Janelas.h"
#endif

int main(int argc, char** argv) {
  const std::string programa = argc > 0 ? argv[0] : "tolvex-agent";
  app::OpcoesAgente opcoes;
  try {
    opcoes = app::LerOpcoes(argc, argv);
  } catch (const app::ErroOpcoes& e) {
    std::cerr << programa << ": " << app::Cp1252ParaUtf8(e.what()) << "\n"
              << app::Cp1252ParaUtf8(app::TextoUso(programa));
    return 2;
  }
  if (opcoes.ajuda) {
    std::cout << app::Cp1252ParaUtf8(app::TextoUso(programa));
    return 0;
  }
  if (opcoes.versao) {
    std::cout << app::TextoVersao();
    return 0;
  }
  if (opcoes.mostrarCertificado)
    return app::MostrarCertificado(*opcoes.mostrarCertificado, std::cout, std::cerr);
  // Nothing starts half-configured: a file the agent refuses ends the
  // program before any connection is made.
  try {
    opcoes.configuracao = app::CarregarConfiguracao(opcoes.arquivoConfiguracao);
  } catch (const app::ErroConfiguracao& e) {
#ifdef TOLVEX_COM_JANELAS
    if (!opcoes.headless) return app::ui::MostrarErroInicio(argc, argv, e.what());
#endif
    std::cerr << programa << ": " << app::Cp1252ParaUtf8(e.what()) << "\n";
    return 2;
  }
  if (opcoes.headless) {
    const app::TravaInstancia trava(app::ChaveConfiguracao(opcoes));
    if (trava.Ocupada()) {
      std::cerr << programa << ": " << app::Cp1252ParaUtf8(app::TextoOutroAgente(opcoes));
      return 1;
    }
    // A terminal gets each line as it comes; a pipe or a file gets them in
    // blocks (see Descarga). Failures also go to standard error, with their
    // priorities when systemd hands the streams to journald.
    const auto descarga =
        isatty(STDOUT_FILENO) ? app::Descarga::CadaLinha : app::Descarga::Periodica;
    const app::SaidaServico servico{&std::cerr, app::LigadoAoJournal(STDOUT_FILENO),
                                    app::LigadoAoJournal(STDERR_FILENO)};
    return app::ExecutarSemJanela(opcoes, std::cout, {}, descarga, servico);
  }
#ifdef TOLVEX_COM_JANELAS
  return app::ui::ExecutarJanelas(argc, argv, opcoes);
#else
  std::cerr << programa << ": este programa foi gerado sem janelas; use --headless\n";
  return 2;
#endif
}
