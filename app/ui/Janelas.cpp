#include "ui/Janelas.h"

#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/ConsoleView.h"
#include "ui/Aplicacao.h"
#include "ui/Icone.h"
#include "ui/InstanciaUnica.h"
#include "ui/Texto.h"
#include "ui/TfrmModelo.h"
#include "ui/TfrmPincipal.h"

namespace app::ui {
namespace {

// Qt's messages while the application is being made: a display that cannot
// be reached ends in a fatal message, which becomes ours and status 2; the
// platform's warnings that come before it are held back and shown only if
// the application is made after all.
struct MensagensDaCriacao {
  static inline bool criando = false;
  static inline QtMessageHandler anterior = nullptr;
  static inline std::vector<std::pair<QtMsgType, QString>> retidas;
  static inline std::string programa;
};

void SemTela(const std::string& programa) {
  const std::string texto = programa + ": " + Cp1252ParaUtf8(TextoSemTela());
  std::fwrite(texto.data(), 1, texto.size(), stderr);
  std::fflush(stderr);
}

void AoMensagemQt(QtMsgType tipo, const QMessageLogContext& contexto, const QString& texto) {
  if (MensagensDaCriacao::criando) {
    if (tipo == QtFatalMsg) {
      SemTela(MensagensDaCriacao::programa);
      _exit(2);
    }
    if (contexto.category != nullptr && std::strncmp(contexto.category, "qt.qpa", 6) == 0) {
      MensagensDaCriacao::retidas.emplace_back(tipo, texto);
      return;
    }
  }
  MensagensDaCriacao::anterior(tipo, contexto, texto);
}

bool Definida(const char* variavel) {
  const char* valor = std::getenv(variavel);
  return valor != nullptr && valor[0] != '\0';
}

// A platform that draws on a display server needs its address.
bool TemTela() {
  const QByteArray plataforma = qgetenv("QT_QPA_PLATFORM");
  if (!plataforma.isEmpty() && !plataforma.startsWith("xcb") && !plataforma.startsWith("wayland"))
    return true;
  return Definida("DISPLAY") || Definida("WAYLAND_DISPLAY");
}

}  // namespace

std::string TextoSemTela() {
  return "nenhuma tela encontrada para abrir as janelas do agente (DISPLAY ou WAYLAND_DISPLAY).\n"
         "Use --headless para rodar o agente no console, sem janelas.\n";
}

namespace {

// The Qt application, or null (after saying so) when there is no display.
// `argc` must outlive the application.
std::unique_ptr<QApplication> CriarAplicacao(int& argc, char** argv) {
  MensagensDaCriacao::programa = argc > 0 ? argv[0] : "tolvex-agent";
  if (!TemTela()) {
    SemTela(MensagensDaCriacao::programa);
    return nullptr;
  }
  MensagensDaCriacao::anterior = qInstallMessageHandler(AoMensagemQt);
  MensagensDaCriacao::criando = true;
  auto aplicacao = std::make_unique<QApplication>(argc, argv);
  MensagensDaCriacao::criando = false;
  qInstallMessageHandler(MensagensDaCriacao::anterior);
  for (const auto& [tipo, texto] : MensagensDaCriacao::retidas)
    MensagensDaCriacao::anterior(tipo, QMessageLogContext(), texto);
  MensagensDaCriacao::retidas.clear();

  QApplication::setApplicationName(QStringLiteral("tolvex-agent"));
  QApplication::setApplicationDisplayName(DeCp1252("Importa\xE7\xE3o Tolvex PDV"));
  QApplication::setDesktopFileName(QStringLiteral("tolvex-agent"));
  QApplication::setWindowIcon(IconeAgente());
  return aplicacao;
}

}  // namespace

int MostrarErroInicio(int argc, char** argv, const std::string& texto) {
  const std::unique_ptr<QApplication> aplicacao = CriarAplicacao(argc, argv);
  // Without a display the reason still reaches whoever started the program.
  if (!aplicacao) {
    const std::string linha = MensagensDaCriacao::programa + ": " + Cp1252ParaUtf8(texto) + "\n";
    std::fwrite(linha.data(), 1, linha.size(), stderr);
    return 2;
  }
  TfrmModelo::MostrarFalha(nullptr, DeCp1252(texto));
  return 2;
}

int ExecutarJanelas(int argc, char** argv, const OpcoesAgente& opcoes) {
  const std::unique_ptr<QApplication> aplicacao = CriarAplicacao(argc, argv);
  if (!aplicacao) return 2;
  // Hidden in the tray the agent has no visible window, and it keeps running.
  QApplication::setQuitOnLastWindowClosed(false);

  // A second start shows the first one's window and ends.
  InstanciaUnica instancia;
  if (instancia.EntregarAPrimeira()) return 0;
  instancia.Escutar();

  PrepararFontes();

  TfrmPincipal janela(opcoes);
  QObject::connect(&instancia, &InstanciaUnica::mostrarSolicitado, &janela,
                   [&janela] { janela.Agent().Restaurar1Click(); });
  // A failed creation step shows its box; the window opens all the same.
  janela.FormCreate();
  janela.show();
  const int codigo = QApplication::exec();
  // A pass may still be on the stack only if exec returned through it; the
  // agent has been told to stop, so the passes end at their next row.
  janela.Agent().PedirEncerramento();
  return codigo;
}

}  // namespace app::ui
