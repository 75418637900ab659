#include "ui/TfrmPincipal.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>

#include "ui/Aplicacao.h"
#include "ui/DownloadSuporte.h"
#include "ui/Icone.h"
#include "ui/Notificacao.h"
#include "ui/Texto.h"
#include "ui/TfrmConfiguracao.h"

namespace app::ui {
namespace {

constexpr int kLargura = 580;
constexpr int kAltura = 462;
constexpr int kAlturaPanel1 = 65;
constexpr int kAlturaPanel2 = 30;
constexpr int kDuracaoBalao = 10000;
// The tooltip and a desktop notification change at most this often; a
// change in between waits and only the latest one is shown. A pass changes
// the balloon's text on every row; redrawing a bubble per row would cost
// more than the row.
constexpr int kPausaBandeja = 200;
// Qt's own balloon cannot change its text: each change is a new popup
// window, drawn anew, so it changes at most once a second.
constexpr int kPausaBalaoQt = 1000;
// Lines written to a pane are laid out and scrolled into view together at
// most this long after the first of them; a pass writes a line per row, and
// laying out each one on its own costs more than the row.
constexpr int kPausaPaineis = 100;

// Texts are kept as Windows-1252 bytes, like every text of the agent.
QString T(const char* cp1252) {
  return DeCp1252(cp1252);
}

TGlowButton* CriarBotao(QWidget* pai, const char* nome, const char* texto, int x, int y) {
  auto* botao = new TGlowButton(T(texto), pai);
  botao->setObjectName(QString::fromLatin1(nome));
  botao->setGeometry(x, y, 100, 25);
  return botao;
}

QPlainTextEdit* Pane(QWidget* pagina, const char* nome) {
  auto* memo = new QPlainTextEdit(pagina);
  memo->setObjectName(QString::fromLatin1(nome));
  memo->setReadOnly(true);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // A read-only log has nothing to undo.
  memo->setUndoRedoEnabled(false);
  auto* layout = new QVBoxLayout(pagina);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(memo);
  return memo;
}

}  // namespace

TfrmPincipal::TfrmPincipal(const OpcoesAgente& opcoes, AmbienteAgente ambiente, QWidget* parent)
    : TfrmModelo(kLargura, kAltura, parent) {
  setObjectName(QStringLiteral("frmPincipal"));
  // The main window lives until the program ends; closing it does not free it.
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle(T("Importa\xE7\xE3o Tolvex PDV"));
  setWindowIcon(IconeAgente());
  CriarControles();
  CriarBandeja();
  if (!ambiente.plataforma.baixarArquivo) ambiente.plataforma.baixarArquivo = BaixarArquivo;
  agente_ = std::make_unique<Agente>(static_cast<AgentView&>(*this), opcoes, std::move(ambiente));
  DBText1->SetDataSource(&agente_->Componentes().dsParametos);
  DBText1->SetDataField("tempoatualizacaoPDV");
}

TfrmPincipal::~TfrmPincipal() {
  Timer1->stop();
  MostrarLinhasNovas();
  notificacao_->Fechar();
  DBText1->SetDataSource(nullptr);
  agente_.reset();
  // The icon goes before the menu it shows.
  TrayIcon1.reset();
  PopupMenu1.reset();
}

void TfrmPincipal::CriarControles() {
  Panel1 = new TPanel(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(0, 0, kLargura, kAlturaPanel1);

  Label1 = new QLabel(T("Intervalo de importa\xE7\xE3o:"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(16, 41);
  Label1->adjustSize();

  DBText1 = new TDBText(Panel1);
  DBText1->setObjectName(QStringLiteral("DBText1"));
  DBText1->setGeometry(141, 41, 84, 17);
  DBText1->setFont(FonteTahoma(10, true));
  QPalette marrom = DBText1->palette();
  marrom.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
  DBText1->setPalette(marrom);

  btnIniciar = CriarBotao(Panel1, "btnIniciar", "Iniciar [F5]", 158, 8);
  btnParar = CriarBotao(Panel1, "btnParar", "Parar [F4]", 264, 8);
  btnEsconder = CriarBotao(Panel1, "btnEsconder", "Esconder [ESC]", 370, 8);
  btnEncerrar = CriarBotao(Panel1, "btnEncerrar", "Encerrar [F11]", 476, 8);
  btnConfig = CriarBotao(Panel1, "btnConfig",
                         "Configura\xE7\xF5"
                         "es [F8]",
                         476, 37);
  btnParar->setEnabled(false);

  connect(btnIniciar, &QPushButton::clicked, this, [this] { agente_->btnIniciarClick(); });
  connect(btnParar, &QPushButton::clicked, this, [this] { agente_->btnPararClick(); });
  connect(btnEsconder, &QPushButton::clicked, this, [this] { agente_->btnEsconderClick(); });
  connect(btnEncerrar, &QPushButton::clicked, this, [this] { agente_->btnEncerrarClick(); });
  connect(btnConfig, &QPushButton::clicked, this, [this] { agente_->btnConfigClick(); });

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setGeometry(0, kAlturaPanel1, kLargura, kAltura - kAlturaPanel1 - kAlturaPanel2);
  TabSheet1 = new QWidget;
  TabSheet2 = new QWidget;
  TabSheet3 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  memoClientes = Pane(TabSheet1, "memoClientes");
  memoProdutos = Pane(TabSheet2, "memoProdutos");
  memoCupons = Pane(TabSheet3, "memoCupons");
  PageControl1->addTab(TabSheet1, QStringLiteral("Clientes"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Produtos"));
  PageControl1->addTab(TabSheet3, QStringLiteral("Cupons"));
  PageControl1->setCurrentIndex(0);
  paineis_[static_cast<std::size_t>(Painel::Clientes)].memo = memoClientes;
  paineis_[static_cast<std::size_t>(Painel::Produtos)].memo = memoProdutos;
  paineis_[static_cast<std::size_t>(Painel::Cupons)].memo = memoCupons;
  pausaPaineis_ = new QTimer(this);
  pausaPaineis_->setSingleShot(true);
  pausaPaineis_->setInterval(kPausaPaineis);
  connect(pausaPaineis_, &QTimer::timeout, this, [this] { MostrarLinhasNovas(); });

  Panel2 = new TPanel(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setGeometry(0, kAltura - kAlturaPanel2, kLargura, kAlturaPanel2);
  gaugeCliente = new TGauge(Panel2);
  gaugeCliente->setObjectName(QStringLiteral("gaugeCliente"));
  auto* layout = new QVBoxLayout(Panel2);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->addWidget(gaugeCliente);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(static_cast<int>(intervaloTimer_));
  connect(Timer1, &QTimer::timeout, this, [this] { agente_->Timer1Timer(); });

  btnIniciar->setFocus();
}

void TfrmPincipal::CriarBandeja() {
  PopupMenu1 = std::make_unique<QMenu>();
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Restaurar1 = PopupMenu1->addAction(QStringLiteral("Restaurar"));
  Restaurar1->setObjectName(QStringLiteral("Restaurar1"));
  EncerrarPrograma1 = PopupMenu1->addAction(QStringLiteral("Encerrar Programa"));
  EncerrarPrograma1->setObjectName(QStringLiteral("EncerrarPrograma1"));
  PopupMenu1->addSeparator();
  connect(Restaurar1, &QAction::triggered, this, [this] { agente_->Restaurar1Click(); });
  connect(EncerrarPrograma1, &QAction::triggered, this,
          [this] { agente_->EncerrarPrograma1Click(); });

  TrayIcon1 = std::make_unique<QSystemTrayIcon>(IconeAgente());
  TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
  TrayIcon1->setToolTip(windowTitle());
  TrayIcon1->setContextMenu(PopupMenu1.get());
  // A notification area of the desktop's own bus (StatusNotifier) sends
  // only an activation, a single click; the menu stays on the other button.
  connect(TrayIcon1.get(), &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason motivo) {
            if (motivo == QSystemTrayIcon::DoubleClick || motivo == QSystemTrayIcon::Trigger)
              agente_->TrayIcon1DblClick();
          });
  connect(TrayIcon1.get(), &QSystemTrayIcon::messageClicked, this,
          [this] { balaoFechado_ = true; });
  TrayIcon1->setVisible(true);

  dicaBandeja_ = windowTitle();
  notificacao_ = new NotificacaoDesktop(this);
  connect(notificacao_, &NotificacaoDesktop::fechadaPeloServico, this,
          [this] { balaoFechado_ = true; });
  fimBalao_ = new QTimer(this);
  fimBalao_->setSingleShot(true);
  fimBalao_->setInterval(kDuracaoBalao);
  // The bubble lives as long as the balloon would: gone by the rule, gone
  // from the screen.
  connect(fimBalao_, &QTimer::timeout, this, [this] {
    balaoFechado_ = true;
    notificacao_->Fechar();
  });
  pausaBalao_ = new QTimer(this);
  pausaBalao_->setSingleShot(true);
  connect(pausaBalao_, &QTimer::timeout, this, [this] { EnviarBalao(); });
  pausaDica_ = new QTimer(this);
  pausaDica_->setSingleShot(true);
  pausaDica_->setInterval(kPausaBandeja);
  connect(pausaDica_, &QTimer::timeout, this, [this] { AtualizarDica(); });
}

bool TfrmPincipal::TemBandeja() const {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TfrmPincipal::FormCreate() {
  return agente_->FormCreate();
}

TGlowButton* TfrmPincipal::BotaoDe(Botao botao) const {
  switch (botao) {
    case Botao::Iniciar:
      return btnIniciar;
    case Botao::Parar:
      return btnParar;
    case Botao::Esconder:
      return btnEsconder;
    case Botao::Encerrar:
      return btnEncerrar;
    case Botao::Configuracoes:
      break;
  }
  return btnConfig;
}

QWidget* TfrmPincipal::PaiDasCaixas() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return this;
}

void TfrmPincipal::AdicionarLinha(Painel painel, const std::string& linha) {
  PainelJanela& p = paineis_[static_cast<std::size_t>(painel)];
  // The line is in the pane's text at once; only the layout and the scroll
  // wait for the edit block to close.
  if (!p.emBloco) {
    p.fim = QTextCursor(p.memo->document());
    p.fim.beginEditBlock();
    p.fim.movePosition(QTextCursor::End);
    p.emBloco = true;
    if (!pausaPaineis_->isActive()) pausaPaineis_->start();
  }
  QString texto = DeCp1252(linha);
  // A paragraph separator starts a block of its own, as a new line does,
  // whatever the line before ends with.
  if (!p.semLinhas) texto.prepend(QChar::ParagraphSeparator);
  p.fim.insertText(texto);
  p.semLinhas = false;
}

void TfrmPincipal::MostrarLinhasNovas() {
  pausaPaineis_->stop();
  for (PainelJanela& p : paineis_) {
    if (!p.emBloco) continue;
    p.fim.endEditBlock();
    p.emBloco = false;
    p.memo->verticalScrollBar()->setValue(p.memo->verticalScrollBar()->maximum());
  }
}

void TfrmPincipal::LimparPainel(Painel painel) {
  MostrarLinhasNovas();
  PainelJanela& p = paineis_[static_cast<std::size_t>(painel)];
  p.memo->clear();
  p.semLinhas = true;
}

void TfrmPincipal::AtivarPagina(Painel painel) {
  PageControl1->setCurrentIndex(static_cast<int>(painel));
}

void TfrmPincipal::MostrarGauge(int maximo, int progresso, int percentual) {
  gaugePedido_ = {maximo, progresso, percentual};
  // A hidden gauge catches up when the window is shown.
  if (gaugeCliente->isVisible()) AtualizarGauge(false);
}

void TfrmPincipal::AtualizarGauge(bool exato) {
  const Gauge& novo = gaugePedido_;
  const Gauge& antes = gaugeMostrado_;
  if (novo == antes) return;
  // The bar moves a pixel every maximo / width steps: a step that moves it
  // less changes nothing on screen, and the bar works out its drawing anew
  // for every value it is given. The text, the range and both ends always
  // go.
  const long long largura = std::max(1, gaugeCliente->width());
  if (!exato && novo.maximo == antes.maximo && novo.percentual == antes.percentual &&
      novo.progresso != 0 && novo.progresso != novo.maximo &&
      std::abs(static_cast<long long>(novo.progresso) - antes.progresso) * largura < novo.maximo)
    return;
  gaugeMostrado_ = novo;
  gaugeCliente->Mostrar(novo.maximo, novo.progresso, novo.percentual);
}

void TfrmPincipal::showEvent(QShowEvent* evento) {
  TfrmModelo::showEvent(evento);
  AtualizarGauge(true);
}

void TfrmPincipal::MostrarBalao(const std::string& titulo, const std::string& texto) {
  tituloBalao_ = DeCp1252(titulo);
  textoBalao_ = DeCp1252(texto);
  ++baloesMostrados_;
  const bool notificacao = notificacao_->Disponivel();
  if (!notificacao && (!TemBandeja() || !TrayIcon1->isVisible())) return;
  // A balloon gone from the screen comes back whatever its text; a new
  // title is the next pass's balloon and goes out at once.
  if (!BalaoNaTela()) relogioEnvio_.invalidate();
  if (tituloBalao_ != tituloEnviado_) pausaBalao_->stop();
  relogioBalao_.start();
  balaoFechado_ = false;
  if (notificacao) fimBalao_->start();
  balaoPendente_ = true;
  EnviarBalao();
}

bool TfrmPincipal::BalaoNaTela() const {
  return !balaoFechado_ && relogioBalao_.isValid() && relogioBalao_.elapsed() < kDuracaoBalao &&
         (notificacao_->Disponivel() || TemBandeja());
}

void TfrmPincipal::BalaoAlterado(const std::string& titulo, const std::string& texto) {
  dicaBandeja_ = titulo.empty() && texto.empty()
                     ? windowTitle()
                     : DeCp1252(titulo) + QLatin1Char('\n') + DeCp1252(texto);
  AtualizarDica();
}

void TfrmPincipal::AtualizarDica() {
  if (pausaDica_->isActive() || dicaBandeja_ == TrayIcon1->toolTip()) return;
  TrayIcon1->setToolTip(dicaBandeja_);
  pausaDica_->start();
}

void TfrmPincipal::EnviarBalao() {
  if (pausaBalao_->isActive() || !balaoPendente_) return;
  balaoPendente_ = false;
  // The same text again only keeps the bubble on screen, as long as the
  // desktop's own balloon has not timed out meanwhile.
  if (tituloBalao_ == tituloEnviado_ && textoBalao_ == textoEnviado_ && relogioEnvio_.isValid() &&
      relogioEnvio_.elapsed() < kDuracaoBalao / 2)
    return;
  const bool notificacao = notificacao_->Disponivel();
  if (notificacao)
    notificacao_->Mostrar(tituloBalao_, textoBalao_, kDuracaoBalao);
  else
    TrayIcon1->showMessage(tituloBalao_, textoBalao_, QSystemTrayIcon::Information, kDuracaoBalao);
  tituloEnviado_ = tituloBalao_;
  textoEnviado_ = textoBalao_;
  relogioEnvio_.start();
  pausaBalao_->start(notificacao ? kPausaBandeja : kPausaBalaoQt);
}

void TfrmPincipal::HabilitarBotao(Botao botao, bool habilitado) {
  BotaoDe(botao)->setEnabled(habilitado);
}

void TfrmPincipal::MostrarIntervalo(const std::string&) {
  // DBText1 follows the settings field through its data link.
}

void TfrmPincipal::MostrarJanela() {
  // Hidden to the tray, the window keeps its minimised state. Shown with
  // it, X11 maps it iconified and reports so only after the restore that
  // follows, as if the user had minimised it, which hides it again.
  if (!isVisible() && (windowState() & Qt::WindowMinimized)) {
    mudandoEstado_ = true;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    mudandoEstado_ = false;
  }
  show();
}

void TfrmPincipal::EsconderJanela() {
  // Without a notification area there would be no way back: the window
  // stays on the task bar and is only minimised.
  if (TemBandeja()) hide();
}

void TfrmPincipal::MinimizarJanela() {
  mudandoEstado_ = true;
  if (isVisible())
    showMinimized();
  else
    setWindowState(windowState() | Qt::WindowMinimized);
  mudandoEstado_ = false;
}

void TfrmPincipal::RestaurarJanela() {
  mudandoEstado_ = true;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  if (isVisible()) showNormal();
  mudandoEstado_ = false;
}

void TfrmPincipal::TrazerParaFrente() {
  raise();
  activateWindow();
}

void TfrmPincipal::IconeBandejaVisivel(bool visivel) {
  TrayIcon1->setVisible(visivel);
}

bool TfrmPincipal::Pergunta(const std::string& titulo, const std::string& texto) {
  QMessageBox caixa(QMessageBox::Question, DeCp1252(titulo), DeCp1252(texto),
                    QMessageBox::Yes | QMessageBox::No, PaiDasCaixas());
  caixa.button(QMessageBox::Yes)->setText(QStringLiteral("&Sim"));
  caixa.button(QMessageBox::No)->setText(T("&N\xE3o"));
  caixa.setDefaultButton(QMessageBox::Yes);
  return caixa.exec() == QMessageBox::Yes;
}

void TfrmPincipal::Informacao(const std::string& titulo, const std::string& texto) {
  QMessageBox caixa(QMessageBox::Information, DeCp1252(titulo), DeCp1252(texto), QMessageBox::Ok,
                    PaiDasCaixas());
  caixa.exec();
}

void TfrmPincipal::MostrarErro(const std::string& texto) {
  MostrarFalha(PaiDasCaixas(), DeCp1252(texto));
}

void TfrmPincipal::DefinirIntervaloTimer(unsigned intervaloMs) {
  if (intervaloMs == intervaloTimer_) return;
  intervaloTimer_ = intervaloMs;
  if (intervaloMs == 0) {
    // An interval of 0 never ticks (a QTimer of 0 would fire continuously).
    Timer1->stop();
    return;
  }
  Timer1->setInterval(static_cast<int>(intervaloMs));
  if (timerHabilitado_) Timer1->start();
}

void TfrmPincipal::HabilitarTimer(bool habilitado) {
  timerHabilitado_ = habilitado;
  if (habilitado && intervaloTimer_ > 0)
    Timer1->start();
  else
    Timer1->stop();
}

void TfrmPincipal::MostrarConfiguracoes() {
  Configuracao* logica = agente_->frmConfiguracao();
  if (logica == nullptr) return;
  QPointer<TfrmConfiguracao> dialogo = new TfrmConfiguracao(*logica, this);
  frmConfiguracao_ = dialogo;
  dialogo->ShowModal();
  frmConfiguracao_ = nullptr;
  // Closing only schedules the dialog's deletion; it goes now unless the
  // event loop was quicker.
  std::unique_ptr<TfrmConfiguracao> fim(dialogo.data());
}

void TfrmPincipal::ProcessarMensagensPendentes() {
  QCoreApplication::processEvents();
}

void TfrmPincipal::EncerrarAplicacao() {
  encerrado_ = true;
  Timer1->stop();
  emit encerramentoSolicitado();
  QCoreApplication::quit();
}

bool TfrmPincipal::FormKeyDown(int tecla) {
  agente_->FormKeyDown(tecla);
  return true;
}

void TfrmPincipal::changeEvent(QEvent* evento) {
  TfrmModelo::changeEvent(evento);
  if (evento->type() != QEvent::WindowStateChange || mudandoEstado_) return;
  auto* mudanca = static_cast<QWindowStateChangeEvent*>(evento);
  const bool minimizada = (windowState() & Qt::WindowMinimized) != 0;
  const bool antes = (mudanca->oldState() & Qt::WindowMinimized) != 0;
  // Minimised from outside (the task bar): hide to the tray like ESC, once
  // the minimising has finished (showMinimized shows the window after
  // changing its state).
  if (minimizada && !antes)
    QMetaObject::invokeMethod(
        this, [this] { agente_->ApplicationEvents1Minimize(); }, Qt::QueuedConnection);
}

void TfrmPincipal::closeEvent(QCloseEvent* evento) {
  if (encerrado_) {
    evento->accept();
    return;
  }
  // A close from outside the agent (the window manager) asks like F11.
  evento->ignore();
  agente_->btnEncerrarClick();
}

}  // namespace app::ui
