// Pictures of the two windows for the documentation: the main window after
// a pass and the settings dialog. Runs only when TOLVEX_CAPTURAS_DIR names
// the folder to write them to, under a real display (Xvfb), for example
// from the build folder, with the sandbox's variables set:
//   xvfb-run -a env QT_QPA_PLATFORM=xcb TOLVEX_CAPTURAS_DIR=../docs
//   tests/ui/test_ui --gtest_filter='Capturas.*'
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>

#include "JanelasTeste.h"
#include "ui/TfrmConfiguracao.h"

namespace {

class Capturas : public uiteste::JanelaServidor {
 protected:
  void SetUp() override {
    pastaCapturas = qEnvironmentVariable("TOLVEX_CAPTURAS_DIR");
    if (pastaCapturas.isEmpty()) GTEST_SKIP() << "TOLVEX_CAPTURAS_DIR not set";
    if (QGuiApplication::platformName() == QStringLiteral("offscreen"))
      GTEST_SKIP() << "screenshots need a display (run under Xvfb with QT_QPA_PLATFORM=xcb)";
    uiteste::JanelaServidor::SetUp();
  }

  void Salvar(QWidget* janela, const char* nome) {
    QTest::qWait(200);
    const QPixmap imagem = janela->grab();
    ASSERT_FALSE(imagem.isNull());
    const QString arquivo = QDir(pastaCapturas).filePath(QString::fromLatin1(nome));
    ASSERT_TRUE(imagem.save(arquivo, "PNG")) << arquivo.toStdString();
  }

  QString pastaCapturas;
};

TEST_F(Capturas, JanelaPrincipalEConfiguracoes) {
  InserirClientes(6);
  InserirProdutos(4);
  Retaguarda().Executar("update cadcliente set cliente='MERCADINHO S\xC3O JOS\xC9' where codcli=2");
  AbrirJanela("00:05:00");
  QTest::mouseClick(frm->btnIniciar, Qt::LeftButton);
  frm->PageControl1->setCurrentIndex(0);
  Salvar(frm.get(), "janela-principal.png");

  roteiro.Esperar([&](QWidget* w) {
    auto* dlg = qobject_cast<app::ui::TfrmConfiguracao*>(w);
    ASSERT_NE(dlg, nullptr);
    QTest::keyClicks(dlg->edtIpPDV, QStringLiteral("127.0.0.1"));
    dlg->edtIpTolvex->setFocus();
    Salvar(dlg, "configuracoes.png");
    QTest::mouseClick(dlg->btnSair, Qt::LeftButton);
  });
  QTest::mouseClick(frm->btnParar, Qt::LeftButton);
  QTest::mouseClick(frm->btnConfig, Qt::LeftButton);
  EXPECT_TRUE(roteiro.Concluido());
}

}  // namespace
