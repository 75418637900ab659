#include "ui/Janelas.h"

#include <QApplication>

#include "ui/Aplicacao.h"
#include "ui/Icone.h"
#include "ui/Texto.h"
#include "ui/TfrmModelo.h"
#include "ui/TfrmPincipal.h"

namespace app::ui {

namespace {

void Identificar() {
  QApplication::setApplicationName(QStringLiteral("tolvex-agent"));
  QApplication::setApplicationDisplayName(DeCp1252("Importa\xE7\xE3o Tolvex PDV"));
  QApplication::setDesktopFileName(QStringLiteral("tolvex-agent"));
  QApplication::setWindowIcon(IconeAgente());
}

}  // namespace

int MostrarErroInicio(int argc, char** argv, const std::string& texto) {
  QApplication aplicacao(argc, argv);
  Identificar();
  TfrmModelo::MostrarFalha(nullptr, DeCp1252(texto));
  return 2;
}

int ExecutarJanelas(int argc, char** argv, const OpcoesAgente& opcoes) {
  QApplication aplicacao(argc, argv);
  Identificar();
  // Hidden in the tray the agent has no visible window, and it keeps running.
  QApplication::setQuitOnLastWindowClosed(false);
  PrepararFontes();

  TfrmPincipal janela(opcoes);
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
