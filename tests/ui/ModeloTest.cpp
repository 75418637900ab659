// The behaviour every window shares: Enter to the next control, the yellow
// edit, key preview with F10 and F12, keys the dialog must not bind, the
// application-wide settings of the creation steps, freeing on close.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include "JanelasTeste.h"
#include "rtl/FormatSettings.h"
#include "ui/Aplicacao.h"
#include "ui/TfrmConfiguracao.h"
#include "ui/TfrmPincipal.h"

namespace {

using app::ui::TfrmConfiguracao;
using app::ui::TfrmPincipal;

// The main window (never created on a server here) with F10 and F12
// counted, and its settings dialog shown without a modal loop.
class JanelaSemServidor : public ::testing::Test {
 protected:
  void SetUp() override {
    app::OpcoesAgente opcoes;
    opcoes.pastaSuporte = pasta.path().toStdString();
    frm = std::make_unique<TfrmPincipal>(
        opcoes,
        uiteste::AmbienteContado(pasta.path().toStdString(), calculadoras, executados, false));
    // The tool the build expects is the empty file.
    app::ConfiguracaoSuporte suporte = frm->Agent().Janela().Suporte();
    suporte.sha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    frm->Agent().Janela().DefinirSuporte(suporte);
    logica = std::make_unique<app::Configuracao>(frm->Agent());
  }

  TfrmConfiguracao* AbrirDialogo() {
    dlg = new TfrmConfiguracao(*logica, frm.get());
    dlg->show();
    dlg->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dlg));
    return dlg;
  }

  void TearDown() override {
    delete dlg.data();
    logica.reset();
    frm.reset();
  }

  QTemporaryDir pasta;
  std::unique_ptr<TfrmPincipal> frm;
  std::unique_ptr<app::Configuracao> logica;
  QPointer<TfrmConfiguracao> dlg;
  int calculadoras = 0;
  std::vector<std::string> executados;
};

QColor Fundo(const QWidget* w) {
  return w->palette().color(QPalette::Base);
}

TEST_F(JanelaSemServidor, EnterPassaAoProximoCampo) {
  TfrmConfiguracao* d = AbrirDialogo();
  d->DBEdit1->setFocus();
  ASSERT_TRUE(d->DBEdit1->hasFocus());
  uiteste::Tecla(d, Qt::Key_Return);
  EXPECT_TRUE(d->edtIpTolvex->hasFocus());
  uiteste::Tecla(d, Qt::Key_Enter);
  EXPECT_TRUE(d->edtIpPDV->hasFocus());
  // Enter moves on once per press, not once per parent that sees the key.
  uiteste::Tecla(d, Qt::Key_Return);
  EXPECT_TRUE(d->AdvGlowButton1->hasFocus());
}

TEST_F(JanelaSemServidor, EdicaoDestacadaEmAmarelo) {
  TfrmConfiguracao* d = AbrirDialogo();
  const QWidget* edits[] = {d->DBEdit1, d->edtIpTolvex, d->edtIpPDV};
  for (int i : {2, 0, 1}) {
    QTest::mouseClick(const_cast<QWidget*>(edits[i]), Qt::LeftButton);
    for (int j = 0; j < 3; ++j)
      EXPECT_EQ(Fundo(edits[j]), j == i ? QColor(Qt::yellow) : QColor(Qt::white))
          << "entered " << i << ", edit " << j;
  }
  // The focus on a button leaves the last edit yellow.
  d->btnSair->setFocus();
  ASSERT_TRUE(d->btnSair->hasFocus());
  EXPECT_EQ(Fundo(d->edtIpTolvex), QColor(Qt::yellow));
  EXPECT_EQ(Fundo(d->edtIpPDV), QColor(Qt::white));
}

TEST_F(JanelaSemServidor, CriacaoComumAjustaDicasEData) {
  rtl::FormatSettings().ShortDateFormat = "yyyy-mm-dd";
  AbrirDialogo();
  EXPECT_EQ(app::ui::AtrasoDica(), 100);
  EXPECT_EQ(app::ui::DuracaoDica(), 7000);
  EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 100);
  EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), QColor(Qt::yellow));
  EXPECT_EQ(rtl::FormatSettings().ShortDateFormat, "dd/mm/yyyy");
}

TEST_F(JanelaSemServidor, DialogoNaoLigaF5NemEsc) {
  TfrmConfiguracao* d = AbrirDialogo();
  d->edtIpPDV->setFocus();
  d->edtIpPDV->setText(QStringLiteral("10.0.0.9"));
  uiteste::Tecla(d, Qt::Key_F5);
  uiteste::Tecla(d, Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_TRUE(d->isVisible());
  EXPECT_FALSE(logica->Fechado());
  EXPECT_EQ(frm->Agent().IpPDV(), "");
}

TEST_F(JanelaSemServidor, FecharLiberaODialogo) {
  TfrmConfiguracao* d = AbrirDialogo();
  QTest::mouseClick(d->btnSair, Qt::LeftButton);
  EXPECT_TRUE(logica->Fechado());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dlg.isNull());
}

TEST_F(JanelaSemServidor, F10EF12NasDuasJanelas) {
  frm->show();
  frm->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
  uiteste::Tecla(frm.get(), Qt::Key_F10);
  EXPECT_EQ(calculadoras, 1);

  // With the remote-support tool present, F12 starts it without a question.
  const std::string ferramenta = frm->Agent().Janela().Suporte().Arquivo();
  QFile arquivo(QString::fromStdString(ferramenta));
  ASSERT_TRUE(arquivo.open(QIODevice::WriteOnly));
  arquivo.close();
  uiteste::Tecla(frm.get(), Qt::Key_F12);
  ASSERT_EQ(executados.size(), 1u);
  EXPECT_EQ(executados[0], ferramenta);

  TfrmConfiguracao* d = AbrirDialogo();
  d->edtIpTolvex->setFocus();
  uiteste::Tecla(d, Qt::Key_F10);
  EXPECT_EQ(calculadoras, 2);
  uiteste::Tecla(d, Qt::Key_F12);
  EXPECT_EQ(executados.size(), 2u);
  // Keys of the dialog do not reach the main window's handler.
  EXPECT_FALSE(frm->Agent().Iniciado());
}

TEST_F(JanelaSemServidor, F12SemFerramentaRespondidoNao) {
  frm->show();
  frm->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
  uiteste::RoteiroModal roteiro;
  roteiro.Esperar(uiteste::Responder(QMessageBox::No));
  uiteste::Tecla(frm.get(), Qt::Key_F12);
  EXPECT_TRUE(roteiro.Concluido());
  ASSERT_EQ(roteiro.caixas.size(), 1u);
  EXPECT_EQ(roteiro.caixas[0].titulo, QStringLiteral(u"Atenção"));
  EXPECT_EQ(roteiro.caixas[0].texto, QStringLiteral("Deseja baixar o programa Ammy Admin?"));
  EXPECT_EQ(roteiro.caixas[0].icone, QMessageBox::Question);
  EXPECT_TRUE(executados.empty());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(frm->Agent().Janela().Suporte().Arquivo())));
}

}  // namespace
