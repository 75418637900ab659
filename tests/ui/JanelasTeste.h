// What the window tests share: answering modal boxes and dialogs in order
// while the agent waits in them, a root connection to the sandbox for
// preparing and checking data, and a fixture that opens the main window on
// two scratch databases with the agent's tables.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/MySQLDatabase.h"
#include "support/Sandbox.h"
#include "ui/TfrmPincipal.h"

namespace uiteste {

// A message box as the operator saw it.
struct CaixaVista {
  QString titulo;
  QString texto;
  QMessageBox::Icon icone = QMessageBox::NoIcon;
  QStringList botoes;
};

// Handles the modal windows that open while the test is blocked inside one
// of the agent's handlers. Each new modal window takes the next queued
// action; a modal window nobody expected is recorded and closed after two
// seconds so that a failing test fails instead of hanging.
class RoteiroModal : public QObject {
 public:
  using Acao = std::function<void(QWidget*)>;

  RoteiroModal();
  ~RoteiroModal() override;

  void Esperar(Acao acao) { acoes_.push_back(std::move(acao)); }
  bool Concluido() const { return acoes_.empty(); }

  std::vector<CaixaVista> caixas;
  int inesperadas = 0;

 private:
  void Verificar();

  QTimer timer_;
  std::deque<Acao> acoes_;
  QPointer<QWidget> ultima_;
  int ticksSemAcao_ = 0;
};

// Clicks the message box's button of that role.
RoteiroModal::Acao Responder(QMessageBox::StandardButton botao);

// Sends a key press and release to the focused control of `janela` (or to
// the window itself when nothing has the focus), as the keyboard would.
void Tecla(QWidget* janela, int teclaQt);

// Waits, letting events run, until `condicao` holds or `ms` passed.
bool Aguardar(const std::function<bool()>& condicao, int ms = 5000);

// Text of each line of a pane.
QStringList Linhas(const QWidget* memo);

// The agent's surroundings in a window test: `pastaPrograma` is the
// program's folder, F10's calculator is counted in `calculadoras` and the
// files F12 starts are recorded in `executados`, neither reaching the
// desktop; `internet` is what the connection check answers. The counters
// must outlive the agent.
app::AmbienteAgente AmbienteContado(const std::string& pastaPrograma, int& calculadoras,
                                    std::vector<std::string>& executados, bool internet);

// A root connection to the sandbox, on `banco`.
class BancoTeste {
 public:
  BancoTeste(const std::string& host, int porta, const std::string& banco);
  ~BancoTeste();
  void Executar(const std::string& sql);
  // The first column of the first row, as text ("" for null).
  std::string Valor(const std::string& sql);

 private:
  components::TmySQLDatabase db_;
};

// Scratch databases of these tests (latin1, made by root).
constexpr const char* kRetaguarda = "tolvexui_vidoru";
constexpr const char* kPdv = "tolvexui_pdv";

// The main window on the sandbox: the agent's tables created empty in the
// scratch databases, the interval setting given, both connections pointed at
// them. F10/F12 are counted instead of reaching the desktop.
class JanelaServidor : public support::SandboxTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the window and runs its creation steps; `intervalo` is the
  // setting stored in cadparametos.
  void AbrirJanela(const std::string& intervalo = "00:00:00",
                   const app::OpcoesAgente* opcoes = nullptr);
  void InserirClientes(int quantidade, int primeiro = 1);
  void InserirProdutos(int quantidade);

  BancoTeste& Retaguarda() { return *retaguarda_; }
  BancoTeste& Pdv() { return *pdv_; }

  std::unique_ptr<BancoTeste> retaguarda_;
  std::unique_ptr<BancoTeste> pdv_;
  std::unique_ptr<app::ui::TfrmPincipal> frm;
  RoteiroModal roteiro;
  std::unique_ptr<QTemporaryDir> temporaria_;
  std::string pasta;  // the program folder and the remote-support folder
  int calculadoras = 0;
  std::vector<std::string> executados;
};

}  // namespace uiteste
