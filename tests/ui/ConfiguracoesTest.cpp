// The settings dialog on the sandbox: the interval typed in the data-aware
// edit and saved, a new PDV host reconnecting only that connection, closing
// without saving writing nothing, and passes that keep running on the timer
// while the dialog is open.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "JanelasTeste.h"
#include "ui/TfrmConfiguracao.h"

namespace {

using app::ui::TfrmConfiguracao;
using uiteste::Linhas;
using uiteste::Tecla;

class Configuracoes : public uiteste::JanelaServidor {
 protected:
  // Opens the dialog with F8 and runs `acao` in it; the dialog must be
  // gone when the key handler returns.
  void NoDialogo(const std::function<void(TfrmConfiguracao&)>& acao) {
    bool rodou = false;
    roteiro.Esperar([&](QWidget* w) {
      auto* dlg = qobject_cast<TfrmConfiguracao*>(w);
      ASSERT_NE(dlg, nullptr) << w->metaObject()->className();
      rodou = true;
      acao(*dlg);
      if (dlg->isVisible()) QTest::mouseClick(dlg->btnSair, Qt::LeftButton);
    });
    Tecla(frm.get(), Qt::Key_F8);
    EXPECT_TRUE(rodou);
    EXPECT_EQ(frm->frmConfiguracao(), nullptr);
  }

  void ContarConexoes() {
    frm->Agent().Componentes().dbVidoru.AfterConnect = [this](auto&) { ++conexoesRetaguarda; };
    frm->Agent().Componentes().dbPDV.AfterConnect = [this](auto&) { ++conexoesPdv; };
  }

  static void Digitar(QLineEdit* edit, const char* texto) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromLatin1(texto));
  }

  std::string Intervalo() {
    return Retaguarda().Valor("select tempoatualizacaoPDV from cadparametos where id=1");
  }

  int conexoesRetaguarda = 0;
  int conexoesPdv = 0;
};

TEST_F(Configuracoes, SalvarUmNovoIntervalo) {
  AbrirJanela("00:01:00");
  // Hours, minutes and seconds added without weighting: 1 second.
  EXPECT_EQ(frm->Timer1->interval(), 1000);
  EXPECT_TRUE(frm->Timer1->isActive());
  EXPECT_EQ(frm->DBText1->text(), QStringLiteral("00:01:00"));

  NoDialogo([&](TfrmConfiguracao& dlg) {
    EXPECT_EQ(dlg.DBEdit1->text(), QStringLiteral("00:01:00"));
    EXPECT_EQ(dlg.DBEdit1->inputMask(), QStringLiteral("09:99:99;_"));
    EXPECT_EQ(dlg.edtIpTolvex->text(), QString());
    EXPECT_EQ(dlg.edtIpPDV->text(), QString());
    EXPECT_EQ(frm->Agent().Componentes().tblParametos.State(), db::dsEdit);
    Digitar(dlg.DBEdit1, "000500");
    EXPECT_EQ(dlg.DBEdit1->text(), QStringLiteral("00:05:00"));
    QTest::mouseClick(dlg.AdvGlowButton1, Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
  });
  EXPECT_EQ(Intervalo(), "00:05:00");
  EXPECT_EQ(frm->Timer1->interval(), 5000);
  EXPECT_TRUE(frm->Timer1->isActive());
  EXPECT_EQ(frm->DBText1->text(), QStringLiteral("00:05:00"));
  EXPECT_EQ(frm->Agent().Componentes().tblParametos.State(), db::dsBrowse);

  // 00:00:00 stops the timer; Start still runs its one pass.
  NoDialogo([&](TfrmConfiguracao& dlg) {
    Digitar(dlg.DBEdit1, "000000");
    QTest::mouseClick(dlg.AdvGlowButton1, Qt::LeftButton);
  });
  EXPECT_EQ(Intervalo(), "00:00:00");
  EXPECT_FALSE(frm->Timer1->isActive());
  InserirClientes(1);
  QTest::mouseClick(frm->btnIniciar, Qt::LeftButton);
  EXPECT_EQ(Pdv().Valor("select count(*) from cliente"), "1");
}

TEST_F(Configuracoes, NovoHostDoPdvReconectaSoOPdv) {
  AbrirJanela();
  ContarConexoes();
  NoDialogo([&](TfrmConfiguracao& dlg) {
    // A blank host field changes nothing.
    Digitar(dlg.edtIpTolvex, "   ");
    Digitar(dlg.edtIpPDV, Host().c_str());
    // Enter from the last field moves on; it does not save.
    QTest::keyClick(dlg.edtIpPDV, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    QTest::mouseClick(dlg.AdvGlowButton1, Qt::LeftButton);
  });
  EXPECT_EQ(conexoesPdv, 1);
  EXPECT_EQ(conexoesRetaguarda, 0);
  EXPECT_EQ(frm->Agent().IpPDV(), Host());
  EXPECT_EQ(frm->Agent().IpRetaguarda(), "");
  EXPECT_TRUE(frm->Agent().Componentes().dbPDV.Connected());
  EXPECT_EQ(frm->Agent().Componentes().dbPDV.Host(), Host());

  // The next opening shows what was saved.
  NoDialogo([&](TfrmConfiguracao& dlg) {
    EXPECT_EQ(dlg.edtIpPDV->text(), QString::fromStdString(Host()));
    EXPECT_EQ(dlg.edtIpTolvex->text(), QString());
  });
  EXPECT_EQ(conexoesPdv, 1);

  // The new connection carries the next pass.
  InserirClientes(2);
  QTest::mouseClick(frm->btnIniciar, Qt::LeftButton);
  EXPECT_EQ(Pdv().Valor("select count(*) from cliente"), "2");
}

TEST_F(Configuracoes, FecharSemSalvarNaoGravaNada) {
  AbrirJanela("00:01:00");
  ContarConexoes();
  // Another program changes the setting: a save would overwrite it.
  Retaguarda().Executar("update cadparametos set tempoatualizacaoPDV='00:00:07'");

  NoDialogo([&](TfrmConfiguracao& dlg) { QTest::mouseClick(dlg.btnSair, Qt::LeftButton); });
  NoDialogo([&](TfrmConfiguracao& dlg) {
    Digitar(dlg.DBEdit1, "000900");
    Digitar(dlg.edtIpPDV, "10.1.1.1");
    QTest::mouseClick(dlg.btnSair, Qt::LeftButton);
  });
  EXPECT_EQ(Intervalo(), "00:00:07");
  EXPECT_EQ(frm->Timer1->interval(), 1000);
  EXPECT_EQ(frm->DBText1->text(), QStringLiteral("00:01:00"));
  EXPECT_EQ(frm->Agent().Componentes().tblParametos.State(), db::dsBrowse);
  EXPECT_EQ(conexoesRetaguarda + conexoesPdv, 0);
  EXPECT_EQ(frm->Agent().IpPDV(), "");
  EXPECT_TRUE(frm->Agent().Componentes().dbVidoru.Connected());
  EXPECT_TRUE(frm->Agent().Componentes().dbPDV.Connected());
}

TEST_F(Configuracoes, PassagensContinuamComODialogoAberto) {
  AbrirJanela("00:00:01");
  Tecla(frm.get(), Qt::Key_F5);
  ASSERT_TRUE(frm->Agent().Iniciado());
  NoDialogo([&](TfrmConfiguracao&) {
    InserirClientes(2);
    // Ticks every second run passes inside the dialog's modal loop.
    EXPECT_TRUE(uiteste::Aguardar(
        [&] { return Pdv().Valor("select count(*) from cliente") == "2"; }, 5000));
    EXPECT_TRUE(uiteste::Aguardar([&] { return !frm->Agent().EmImportacao(); }, 5000));
  });
  EXPECT_TRUE(
      Linhas(frm->memoClientes).contains(QStringLiteral(">> 2 clientes a serem importados")));
}

TEST_F(Configuracoes, HoraInvalidaMostraOErroEODialogoFica) {
  AbrirJanela("00:01:00");
  bool abertoDepois = false;
  NoDialogo([&](TfrmConfiguracao& dlg) {
    Digitar(dlg.DBEdit1, "993000");
    roteiro.Esperar(uiteste::Responder(QMessageBox::Ok));
    QTest::mouseClick(dlg.AdvGlowButton1, Qt::LeftButton);
    abertoDepois = dlg.isVisible();
    // Still editing: the operator may correct the value or close.
    EXPECT_EQ(frm->Agent().Componentes().tblParametos.State(), db::dsEdit);
    EXPECT_EQ(dlg.DBEdit1->text(), QStringLiteral("99:30:00"));
  });
  EXPECT_TRUE(abertoDepois);
  ASSERT_EQ(roteiro.caixas.size(), 1u);
  EXPECT_EQ(roteiro.caixas[0].icone, QMessageBox::Critical);
  EXPECT_TRUE(roteiro.caixas[0].texto.contains(QStringLiteral("99:30:00")))
      << roteiro.caixas[0].texto.toStdString();
  EXPECT_EQ(Intervalo(), "00:01:00");
  EXPECT_EQ(frm->Timer1->interval(), 1000);
  EXPECT_EQ(frm->Agent().Componentes().tblParametos.State(), db::dsBrowse);
}

TEST_F(Configuracoes, HostDaRetaguardaCorrigidoDepoisDeUmaCriacaoFalha) {
  app::OpcoesAgente opcoes;
  // The sandbox listens on 127.0.0.1 only: 127.0.0.2 refuses at once.
  opcoes.retaguarda = app::EnderecoServidor{"127.0.0.2", static_cast<std::uint32_t>(Port())};
  roteiro.Esperar(uiteste::Responder(QMessageBox::Ok));
  AbrirJanela("00:00:30", &opcoes);
  ASSERT_EQ(roteiro.caixas.size(), 1u);
  EXPECT_EQ(frm->DBText1->text(), QString());

  // The settings table is closed: its error first, then the dialog.
  roteiro.Esperar(uiteste::Responder(QMessageBox::Ok));
  NoDialogo([&](TfrmConfiguracao& dlg) {
    EXPECT_EQ(roteiro.caixas.size(), 2u);
    EXPECT_EQ(dlg.DBEdit1->text(), QString());
    // Typing into an interval that cannot be edited changes nothing.
    QTest::keyClicks(dlg.DBEdit1, QStringLiteral("0005"));
    EXPECT_EQ(dlg.DBEdit1->text(), QString());
    Digitar(dlg.edtIpTolvex, Host().c_str());
    // The failed creation never opened the PDV either: give its host too.
    Digitar(dlg.edtIpPDV, Host().c_str());
    QTest::mouseClick(dlg.AdvGlowButton1, Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
  });
  EXPECT_TRUE(frm->Agent().Componentes().dbVidoru.Connected());
  EXPECT_TRUE(frm->Agent().Componentes().dbPDV.Connected());
  EXPECT_EQ(frm->Agent().IpRetaguarda(), Host());
  // The settings table came back with the connection.
  EXPECT_EQ(frm->DBText1->text(), QStringLiteral("00:00:30"));
  EXPECT_EQ(frm->Timer1->interval(), 30000);

  InserirClientes(1);
  QTest::mouseClick(frm->btnIniciar, Qt::LeftButton);
  EXPECT_EQ(Pdv().Valor("select count(*) from cliente"), "1");
  EXPECT_EQ(roteiro.caixas.size(), 2u);
}

}  // namespace
