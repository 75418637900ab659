// The agent's main window, "Importação Tolvex PDV": the buttons, the
// interval label, the three log pages, the gauge, the window timer and the
// tray icon with its menu.
//
// TfrmPincipal is the AgentView of the windowed program: it owns the agent
// (app::Agente, created with the window and destroyed before its widgets),
// shows what the agent tells it and hands every click, key, tick and tray
// action to the agent's handler of the same name. It holds no import logic.
// The window is not freed by closing it: whoever creates it owns it (the
// program keeps it until the message loop ends). A close request that does
// not come from the agent's exit asks the exit question first.
// User-interface thread only.
#pragma once

#include <QElapsedTimer>
#include <QTextCursor>
#include <QTimer>
#include <array>
#include <memory>
#include <string>

#include "app/AgentView.h"
#include "app/Agente.h"
#include "ui/Controles.h"
#include "ui/TfrmModelo.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSystemTrayIcon;
class QTabWidget;

namespace app::ui {

class NotificacaoDesktop;
class TfrmConfiguracao;

class TfrmPincipal : public TfrmModelo, public AgentView {
  Q_OBJECT

 public:
  explicit TfrmPincipal(const OpcoesAgente& opcoes = {}, AmbienteAgente ambiente = {},
                        QWidget* parent = nullptr);
  ~TfrmPincipal() override;

  // The window's creation steps (opening the connections, the panes, the
  // settings table); a failure is shown in an error box. True when all
  // succeeded.
  bool FormCreate();

  Agente& Agent() { return *agente_; }

  // The settings dialog while it is shown, otherwise null.
  TfrmConfiguracao* frmConfiguracao() const { return frmConfiguracao_; }

  // Whether the desktop has a notification area now (a panel may come and
  // go): without one the window stays on the task bar and minimising only
  // minimises.
  bool TemBandeja() const;
  // The balloon last shown (title, text), and how many were shown.
  const QString& TituloUltimoBalao() const { return tituloBalao_; }
  const QString& TextoUltimoBalao() const { return textoBalao_; }
  int BaloesMostrados() const { return baloesMostrados_; }
  // True once the agent asked the program to end.
  bool Encerrado() const { return encerrado_; }

  // --- AgentView --------------------------------------------------------------
  void AdicionarLinha(Painel painel, const std::string& linha) override;
  void LimparPainel(Painel painel) override;
  void AtivarPagina(Painel painel) override;
  void MostrarGauge(int maximo, int progresso, int percentual) override;
  void MostrarBalao(const std::string& titulo, const std::string& texto) override;
  bool BalaoNaTela() const override;
  void BalaoAlterado(const std::string& titulo, const std::string& texto) override;
  void HabilitarBotao(Botao botao, bool habilitado) override;
  void MostrarIntervalo(const std::string& texto) override;
  void MostrarJanela() override;
  void EsconderJanela() override;
  void MinimizarJanela() override;
  void RestaurarJanela() override;
  void TrazerParaFrente() override;
  void IconeBandejaVisivel(bool visivel) override;
  bool Pergunta(const std::string& titulo, const std::string& texto) override;
  void Informacao(const std::string& titulo, const std::string& texto) override;
  void MostrarErro(const std::string& texto) override;
  void DefinirIntervaloTimer(unsigned intervaloMs) override;
  void HabilitarTimer(bool habilitado) override;
  void MostrarConfiguracoes() override;
  void ProcessarMensagensPendentes() override;
  void EncerrarAplicacao() override;

  // --- the window's controls, named as the agent knows them -------------------
  TPanel* Panel1;
  QLabel* Label1;
  TDBText* DBText1;
  TGlowButton* btnIniciar;
  TGlowButton* btnParar;
  TGlowButton* btnEsconder;
  TGlowButton* btnEncerrar;
  TGlowButton* btnConfig;
  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QWidget* TabSheet3;
  QPlainTextEdit* memoClientes;
  QPlainTextEdit* memoProdutos;
  QPlainTextEdit* memoCupons;
  TPanel* Panel2;
  TGauge* gaugeCliente;
  QTimer* Timer1;
  // Neither has a parent widget: the window owns them.
  std::unique_ptr<QSystemTrayIcon> TrayIcon1;
  std::unique_ptr<QMenu> PopupMenu1;
  QAction* Restaurar1;
  QAction* EncerrarPrograma1;

 signals:
  // The agent asked the program to end (the exit question answered Yes).
  void encerramentoSolicitado();

 protected:
  bool FormKeyDown(int tecla) override;
  void changeEvent(QEvent* evento) override;
  void closeEvent(QCloseEvent* evento) override;
  void showEvent(QShowEvent* evento) override;

 private:
  void CriarControles();
  void CriarBandeja();
  // Closes the panes' open edit blocks: their new lines are laid out and
  // each pane scrolls to its last line.
  void MostrarLinhasNovas();
  // Shows on the gauge what the agent last asked for; unless `exato`, only
  // when that moves the bar by a pixel or changes its text or range.
  void AtualizarGauge(bool exato);
  // Show the balloon and the tooltip last asked for, unless each changed
  // less than its pause ago (then the pause's end shows it): kPausaBandeja
  // for the tooltip and a desktop notification, kPausaBalaoQt for Qt's own
  // balloon.
  void EnviarBalao();
  void AtualizarDica();
  TGlowButton* BotaoDe(Botao botao) const;
  QWidget* PaiDasCaixas();

  // A log pane and the lines written to it since its layout last caught up.
  struct PainelJanela {
    QPlainTextEdit* memo = nullptr;
    QTextCursor fim;  // the end of the text, in an open edit block while emBloco
    bool emBloco = false;
    bool semLinhas = true;  // no line since the pane was created or emptied
  };

  std::unique_ptr<Agente> agente_;
  std::array<PainelJanela, 3> paineis_;
  QTimer* pausaPaineis_ = nullptr;
  // What the gauge was last given, and what the agent last asked it to show.
  struct Gauge {
    int maximo = -1;
    int progresso = -1;
    int percentual = -1;
    bool operator==(const Gauge&) const = default;
  };
  Gauge gaugeMostrado_;
  Gauge gaugePedido_;
  TfrmConfiguracao* frmConfiguracao_ = nullptr;
  bool timerHabilitado_ = false;
  unsigned intervaloTimer_ = 60000;
  bool mudandoEstado_ = false;
  bool encerrado_ = false;
  QString tituloBalao_;
  QString textoBalao_;
  int baloesMostrados_ = 0;
  QElapsedTimer relogioBalao_;
  bool balaoFechado_ = true;
  // The balloon goes out as the desktop's notification where there is a
  // notification service, else as the tray icon's own balloon.
  NotificacaoDesktop* notificacao_ = nullptr;
  QTimer* fimBalao_ = nullptr;
  QTimer* pausaBalao_ = nullptr;
  QTimer* pausaDica_ = nullptr;
  bool balaoPendente_ = false;
  QString dicaBandeja_;
  QString tituloEnviado_;
  QString textoEnviado_;
  QElapsedTimer relogioEnvio_;
};

}  // namespace app::ui
