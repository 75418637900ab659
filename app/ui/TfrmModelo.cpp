#include "ui/TfrmModelo.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <utility>

#include "ui/Aplicacao.h"
#include "ui/Controles.h"

namespace app::ui {
namespace {

constexpr int kEnter = 13;

bool MesmoOuAncestral(const QObject* possivel, const QObject* de) {
  for (const QObject* o = de; o != nullptr; o = o->parent())
    if (o == possivel) return true;
  return false;
}

void Pintar(QLineEdit* edit, const QColor& cor) {
  QPalette paleta = edit->palette();
  if (paleta.color(QPalette::Base) == cor) return;
  paleta.setColor(QPalette::Base, cor);
  edit->setPalette(paleta);
}

}  // namespace

int CodigoTecla(int teclaQt) {
  if (teclaQt >= Qt::Key_F1 && teclaQt <= Qt::Key_F24) return 112 + (teclaQt - Qt::Key_F1);
  if (teclaQt >= Qt::Key_0 && teclaQt <= Qt::Key_9) return teclaQt;
  if (teclaQt >= Qt::Key_A && teclaQt <= Qt::Key_Z) return teclaQt;
  // Qt's key and the virtual-key code of the keys the forms look at.
  static constexpr std::pair<int, int> kTeclas[] = {
      {Qt::Key_Return, kEnter}, {Qt::Key_Enter, kEnter}, {Qt::Key_Escape, 27}, {Qt::Key_Tab, 9},
      {Qt::Key_Backtab, 9},     {Qt::Key_Backspace, 8},  {Qt::Key_Space, 32},  {Qt::Key_Delete, 46},
      {Qt::Key_Insert, 45},     {Qt::Key_Home, 36},      {Qt::Key_End, 35},    {Qt::Key_Left, 37},
      {Qt::Key_Up, 38},         {Qt::Key_Right, 39},     {Qt::Key_Down, 40},
  };
  for (const auto& [qt, codigo] : kTeclas)
    if (qt == teclaQt) return codigo;
  return 0;
}

TfrmModelo::TfrmModelo(int largura, int altura, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  PrepararFontes();
  setFont(FonteTahoma(8));
  setFixedSize(largura, altura);
  setAttribute(Qt::WA_DeleteOnClose);
  qApp->installEventFilter(this);
}

TfrmModelo::~TfrmModelo() {
  qApp->removeEventFilter(this);
  if (laco_ != nullptr) laco_->quit();
}

void TfrmModelo::FormCreate() {
  for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setProperty("tolvexDestacar", true);
  AplicarPadroesDeJanela();
}

void TfrmModelo::DestacarEdicao() {
  const QList<QLineEdit*> edits = findChildren<QLineEdit*>();
  for (bool dadosVinculados : {false, true})
    for (QLineEdit* edit : edits)
      if ((qobject_cast<TDBEdit*>(edit) != nullptr) == dadosVinculados)
        Pintar(edit, edit->hasFocus() ? QColor(Qt::yellow) : QColor(Qt::white));
}

void TfrmModelo::Centralizar() {
  QScreen* tela = screen() ? screen() : QGuiApplication::primaryScreen();
  if (tela == nullptr) return;
  const QRect area = tela->availableGeometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
}

void TfrmModelo::MostrarFalha(QWidget* pai, const QString& texto) {
  QMessageBox caixa(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), texto,
                    QMessageBox::Ok, pai);
  caixa.exec();
}

void TfrmModelo::ShowModal() {
  QPointer<TfrmModelo> eu(this);
  QEventLoop laco;
  laco_ = &laco;
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  activateWindow();
  laco.exec();
  if (eu) {
    laco_ = nullptr;
    setWindowModality(Qt::NonModal);
  }
}

bool TfrmModelo::FormKeyDown(int) {
  return false;
}

void TfrmModelo::FormKeyPress(int caractere) {
  if (caractere == kEnter) focusNextChild();
}

bool TfrmModelo::eventFilter(QObject* objeto, QEvent* evento) {
  const QEvent::Type tipo = evento->type();
  if (tipo != QEvent::KeyPress && tipo != QEvent::KeyRelease && tipo != QEvent::FocusIn)
    return false;
  auto* widget = qobject_cast<QWidget*>(objeto);
  if (widget == nullptr || widget->window() != this) return false;
  if (tipo == QEvent::KeyRelease) {
    ultimaTecla_.evento = nullptr;
    return false;
  }

  if (tipo == QEvent::FocusIn) {
    if (widget->property("tolvexDestacar").toBool()) DestacarEdicao();
    return false;
  }
  if (tipo != QEvent::KeyPress || !isEnabled()) return false;
  // A modal window elsewhere takes the keys; Qt refuses them here anyway.
  if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this)
    return false;
  auto* teclaQt = static_cast<QKeyEvent*>(evento);
  const int tecla = CodigoTecla(teclaQt->key());
  if (tecla == 0 || JaVista(objeto, teclaQt)) return false;
  ultimaTecla_ = {evento, teclaQt->key(), teclaQt->timestamp(), objeto};

  QPointer<TfrmModelo> eu(this);
  FormKeyDown(tecla);
  if (eu && tecla == kEnter) FormKeyPress(kEnter);
  return false;
}

bool TfrmModelo::JaVista(const QObject* objeto, const QKeyEvent* evento) const {
  return evento == ultimaTecla_.evento && evento->key() == ultimaTecla_.tecla &&
         evento->timestamp() == ultimaTecla_.momento && ultimaTecla_.alvo &&
         MesmoOuAncestral(objeto, ultimaTecla_.alvo);
}

void TfrmModelo::closeEvent(QCloseEvent* evento) {
  QWidget::closeEvent(evento);
  if (evento->isAccepted() && laco_ != nullptr) laco_->quit();
}

void TfrmModelo::showEvent(QShowEvent* evento) {
  if (!centrada_) {
    centrada_ = true;
    Centralizar();
  }
  QWidget::showEvent(evento);
}

}  // namespace app::ui
