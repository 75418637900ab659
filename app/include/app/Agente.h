// The import agent's controller: it owns the component tree, the started
// and busy flags, the activity log, the daily error log and the shared
// window behaviour, and has one operation per event of the main window.
// Agente does no drawing: it drives an AgentView (the Qt windows, or the
// console view of the headless runner) and takes its events back through
// the handlers below.
//
// Configuracao is the logic of the settings dialog: the main window's
// btnConfigClick creates one (frmConfiguracao), runs its opening, asks the
// view to show the dialog modally and destroys it when the view returns.
// While shown, the dialog's buttons call AdvGlowButton1Click and
// btnSairClick; its data-aware edit shows dsParametos /
// tblParametostempoatualizacaoPDV.
//
// Failures: every handler catches what leaves it and shows it with the
// view's default error display (MostrarErro), as a window's event would;
// a silent abort ends the handler without a box. The passes
// (ImportarClientes, ImportarProdutos) handle every failure of a row
// themselves (daily log, next row); they raise only when their source
// query cannot be opened or walked, and always leave the busy flag clear.
//
// Ownership: the agent owns everything it creates; the view is not owned
// and must outlive the agent. Single-threaded: every call comes from the
// user-interface thread, also those made while a pass lets pending messages
// run (AgentView::ProcessarMensagensPendentes).
//
// Naming in this layer: data members camelCase_ with the trailing underscore
// (timerHabilitado_), locals and parameters camelCase, functions and types in
// CamelCase.
#pragma once

#include <memory>
#include <string>

#include "app/AgentView.h"
#include "app/ComponentesAgente.h"
#include "app/DataHora.h"
#include "app/JanelaModelo.h"
#include "app/LogErros.h"
#include "app/Opcoes.h"
#include "app/PastaLog.h"
#include "app/RegistroAtividade.h"

namespace app {

class Configuracao;

// What the agent takes from its surroundings besides the command line;
// tests replace them, the program leaves them empty.
struct AmbienteAgente {
  Relogio relogio;              // the current local time; Agora when empty
  std::string pastaPrograma;    // the folder of logImportacao; empty: the program's
  PlataformaJanela plataforma;  // F10/F12 platform hooks; empty members: the real ones
};

class Agente {
 public:
  // Builds the component tree with the agent's settings, the configuration
  // file's over them; --retaguarda and --pdv replace the host and port of
  // the two connections, the F12 and
  // log folder options the defaults. Nothing is opened yet (FormCreate).
  explicit Agente(AgentView& view, const OpcoesAgente& opcoes = {}, AmbienteAgente ambiente = {});
  ~Agente();
  Agente(const Agente&) = delete;
  Agente& operator=(const Agente&) = delete;

  // --- event handlers of the main window ------------------------------------
  // Creation: opens dbVidoru then dbPDV, clears the panes, opens the settings
  // table and sets the timer interval. True when every step succeeded. When
  // a step failed, every later tick tries the connections and the settings
  // table again (quietly; the interval stays 60 s until the table is read).
  bool FormCreate();
  // F5; ignored while a pass runs. Opens a connection that is closed first;
  // a start refused for a connection is tried again on every tick until
  // both servers answer or Stop is pressed.
  void btnIniciarClick();
  void btnPararClick();  // F4
  // Reopens what is closed, then runs a pass while started.
  void Timer1Timer();
  // The start runs at the next tick that finds both servers (the console
  // runner after a failed creation, without trying them again at once).
  void IniciarQuandoPossivel() { inicioPendente_ = true; }
  void btnEsconderClick();  // ESC
  void ApplicationEvents1Minimize();
  void TrayIcon1DblClick();
  void Restaurar1Click();
  void btnEncerrarClick();  // F11
  void EncerrarPrograma1Click();
  void btnConfigClick();  // F8
  // F10 and F12 first, then F5, F4, ESC, F11, F8 (whatever the buttons'
  // state). Other keys do nothing here.
  void FormKeyDown(int tecla);

  // --- the import pass -------------------------------------------------------
  // The customer pass, then (unless it raised or an end was asked for) the
  // product pass, with their pages made active. Raises what the passes raise.
  void ExecutarImportacao();
  void ImportarClientes();
  void ImportarProdutos();

  // --- state -----------------------------------------------------------------
  bool Iniciado() const { return iniciado_; }
  bool Ocupado() const { return ocupado_; }
  // True from the start of an import pass to its end (also when it finds
  // no rows, which never sets the busy flag).
  bool EmImportacao() const { return emImportacao_; }
  // A refused start waiting for both servers.
  bool InicioPendente() const { return inicioPendente_; }
  // Rows marked with one statement (0: one statement per row).
  unsigned MarcarEmLote() const { return marcarEmLote_; }

  // Asks the running pass to stop after its current row (with its closing
  // lines) and keeps later ticks from starting one. Used when the program
  // is told to end (a signal, or the windows closing).
  void PedirEncerramento();
  bool EncerramentoPedido() const { return encerramentoPedido_; }
  // Closes every dataset and both connections.
  void FecharConexoes();

  // --- settings ----------------------------------------------------------------
  // The hosts last saved in the settings dialog (empty at program start).
  const std::string& IpRetaguarda() const { return ipRetaguarda_; }
  const std::string& IpPDV() const { return ipPDV_; }
  void DefinirIpRetaguarda(const std::string& ip) { ipRetaguarda_ = ip; }
  void DefinirIpPDV(const std::string& ip) { ipPDV_ = ip; }

  // Sets the timer interval from the settings field: 1000 × TempoEmSegundos
  // of tempoatualizacaoPDV (0, which stops the timer, when the table is
  // closed or the value null). Also refreshes the interval shown.
  void AplicarIntervalo();
  // The interval last given to the view's timer, in milliseconds.
  unsigned IntervaloTimer() const { return intervaloMs_; }
  // Opens the settings table (when closed) and applies its interval.
  void AbrirParametros();

  // The settings dialog while it is shown, otherwise null.
  Configuracao* frmConfiguracao() const { return frmConfiguracao_.get(); }

  // --- parts ---------------------------------------------------------------------
  AgentView& View() { return view_; }
  ComponentesAgente& Componentes() { return *componentes_; }
  RegistroAtividade& Registro() { return registro_; }
  LogErros& Log() { return log_; }
  JanelaModelo& Janela() { return janela_; }

 private:
  void AtualizarBotoes(bool iniciar, bool parar, bool config);
  // Opens each connection that is closed, and after a failed creation the
  // settings table; failures are left for the caller to see in Connected().
  // True when both connections are open.
  bool ReabrirConexoes();
  // After a row failed for a lost server that the client's reconnect did
  // not bring back: the pass stops there, says so in the daily log and on
  // its pane, and the rest of the import waits for the next pass.
  void InterromperPasso(Painel painel, long long aguardando);

  AgentView& view_;
  std::unique_ptr<ComponentesAgente> componentes_;
  RegistroAtividade registro_;
  PastaDoLog pastaLog_;
  LogErros log_;
  JanelaModelo janela_;
  std::unique_ptr<Configuracao> frmConfiguracao_;

  bool iniciado_ = false;
  bool ocupado_ = false;
  bool emImportacao_ = false;
  bool encerramentoPedido_ = false;
  bool criado_ = false;          // every creation step has succeeded once
  bool inicioPendente_ = false;  // a start was refused for a connection
  bool passoInterrompido_ = false;
  unsigned marcarEmLote_ = 0;
  unsigned intervaloMs_ = 60000;
  std::string ipRetaguarda_;
  std::string ipPDV_;
};

// The settings dialog's logic (caption "Configurações").
class Configuracao {
 public:
  explicit Configuracao(Agente& agente);
  ~Configuracao();

  // Opening: puts the settings table into edit state and fills the two host
  // texts. A failure is shown by the default error display and the dialog
  // still opens; false then.
  bool FormCreate();

  // The texts the host edits start with (IpRetaguarda and IpPDV).
  const std::string& TextoIpTolvex() const { return textoIpTolvex_; }
  const std::string& TextoIpPDV() const { return textoIpPDV_; }

  // "Salvar [F5]": posts the interval, applies it, reconnects a connection
  // whose host changed, and closes the dialog. A failure is shown and the
  // dialog stays open; a host change while a pass runs is refused with an
  // information box. The post is skipped only when the opening could not
  // edit the settings table. True when the dialog has closed.
  bool AdvGlowButton1Click(const std::string& textoIpTolvex, const std::string& textoIpPDV);
  // "Fechar [ESC]": cancels the edit of the interval and closes the dialog.
  void btnSairClick();
  bool Fechado() const { return fechado_; }

  // The data-aware edit's source and field.
  db::TDataSource& dsParametos();
  db::TField& tblParametostempoatualizacaoPDV();
  const std::string& IpRetaguarda() const { return agente_.IpRetaguarda(); }
  const std::string& IpPDV() const { return agente_.IpPDV(); }

  // F10 and F12, as in every window of the agent.
  void FormKeyDown(int tecla);

 private:
  Agente& agente_;
  std::string textoIpTolvex_;
  std::string textoIpPDV_;
  bool editandoIntervalo_ = false;  // the opening put the settings table into edit state
  bool fechado_ = false;
};

// The information box shown when a host change is saved during a pass.
std::string TextoAlteracaoDuranteImportacao();

}  // namespace app
