// The main window driving the agent against the sandbox: creation with an
// unreachable back office, a start and its pass, a stop during a pass,
// every key of the key table (also on disabled buttons), the tray, and the
// exit question.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>

#include "JanelasTeste.h"
#include "ui/Texto.h"
#include "ui/TfrmConfiguracao.h"

namespace {

using uiteste::Linhas;
using uiteste::Responder;
using uiteste::Tecla;

const QString kIniciando = QStringLiteral(u"INICIANDO Tolvex Integração");
const QRegularExpression kIniciado(
    QStringLiteral(R"(^\*\* INICIADO COM SUCESSO \d\d:\d\d:\d\d - \d\d/\d\d/\d{4}$)"));

class JanelaAgente : public uiteste::JanelaServidor {
 protected:
  void ConfereBotoes(bool iniciar, bool parar, bool config) {
    EXPECT_EQ(frm->btnIniciar->isEnabled(), iniciar);
    EXPECT_EQ(frm->btnParar->isEnabled(), parar);
    EXPECT_EQ(frm->btnConfig->isEnabled(), config);
    EXPECT_TRUE(frm->btnEsconder->isEnabled());
    EXPECT_TRUE(frm->btnEncerrar->isEnabled());
  }
};

TEST_F(JanelaAgente, RetaguardaInacessivel) {
  app::OpcoesAgente opcoes;
  // Nothing listens on port 1: the connection is refused at once.
  opcoes.retaguarda = app::EnderecoServidor{"127.0.0.1", 1};
  roteiro.Esperar(Responder(QMessageBox::Ok));
  AbrirJanela("00:00:30", &opcoes);
  ASSERT_TRUE(roteiro.Concluido()) << "no error box at creation";
  ASSERT_EQ(roteiro.caixas.size(), 1u);
  EXPECT_EQ(roteiro.caixas[0].icone, QMessageBox::Critical);
  EXPECT_TRUE(roteiro.caixas[0].texto.contains(QStringLiteral("(2003)")))
      << roteiro.caixas[0].texto.toStdString();
  EXPECT_TRUE(roteiro.caixas[0].texto.contains(
      QStringLiteral("Can't connect to MySQL server on '127.0.0.1'")));
  // The remaining creation steps did not run; the panes are empty all the
  // same, never showing their names.
  for (QPlainTextEdit* memo : {frm->memoClientes, frm->memoProdutos, frm->memoCupons})
    EXPECT_TRUE(memo->toPlainText().isEmpty());
  EXPECT_EQ(frm->Timer1->interval(), 60000);
  EXPECT_EQ(frm->DBText1->text(), QString());
  EXPECT_FALSE(frm->Agent().Componentes().tblParametos.Active());

  QTest::mouseClick(frm->btnIniciar, Qt::LeftButton);
  const QStringList esperado = {kIniciando,
                                QStringLiteral("Erro ao conectar ao banco de dados retaguarda")};
  EXPECT_EQ(Linhas(frm->memoClientes), esperado);
  EXPECT_EQ(Linhas(frm->memoProdutos), esperado);
  EXPECT_TRUE(frm->memoCupons->toPlainText().isEmpty());
  EXPECT_EQ(roteiro.caixas.size(), 1u) << "the refused start shows no box";
  EXPECT_FALSE(frm->Agent().Iniciado());
  ConfereBotoes(false, true, false);
}

TEST_F(JanelaAgente, IniciarImportaEMostraOProgresso) {
  InserirClientes(3);
  InserirProdutos(2);
  AbrirJanela("00:00:00");
  EXPECT_TRUE(roteiro.caixas.empty());
  for (QPlainTextEdit* memo : {frm->memoClientes, frm->memoProdutos, frm->memoCupons})
    EXPECT_EQ(memo->toPlainText(), QString());
  EXPECT_EQ(frm->DBText1->text(), QStringLiteral("00:00:00"));
  EXPECT_FALSE(frm->Timer1->isActive()) << "an interval of 0 never ticks";

  QTest::mouseClick(frm->btnIniciar, Qt::LeftButton);
  const QStringList clientes = Linhas(frm->memoClientes);
  ASSERT_GE(clientes.size(), 12);
  EXPECT_EQ(clientes[0], kIniciando);
  EXPECT_TRUE(kIniciado.match(clientes[1]).hasMatch()) << clientes[1].toStdString();
  EXPECT_EQ(clientes[2], QString());
  EXPECT_EQ(clientes[3], QString());
  EXPECT_TRUE(clientes[4].startsWith(QStringLiteral(u"Importação de Clientes INICIADA em ")));
  EXPECT_EQ(clientes[5], QStringLiteral(">> 3 clientes a serem importados"));
  EXPECT_EQ(clientes[6], QStringLiteral(">> CLIENTE 1 - CLIENTE 1 *INSERIDO COM SUCESSO"));
  EXPECT_EQ(clientes[8], QStringLiteral(">> CLIENTE 3 - CLIENTE 3 *INSERIDO COM SUCESSO"));
  EXPECT_EQ(clientes.last(), QStringLiteral("*** Importados: 3 - Atualizados: 0"));
  EXPECT_TRUE(clientes[clientes.size() - 2].startsWith(
      QStringLiteral(u"** IMPORTAÇÃO CONCLUÍDA COM SUCESSO ")));

  const QStringList produtos = Linhas(frm->memoProdutos);
  EXPECT_EQ(produtos[0], kIniciando);
  EXPECT_TRUE(produtos.contains(QStringLiteral("2 a serem importados!")));
  EXPECT_TRUE(produtos.contains(QStringLiteral("Produto INSERIDO: 1 - PRODUTO 1")));
  EXPECT_EQ(produtos.last(),
            QStringLiteral(u"*** Importados: 2 - Atualizados: 0 - Excluído:0 - Erros: 0"));

  // The pass ends on the Produtos page, the gauge full, the balloon final.
  EXPECT_EQ(frm->PageControl1->currentIndex(), 1);
  EXPECT_EQ(frm->gaugeCliente->text(), QStringLiteral("100%"));
  EXPECT_EQ(frm->gaugeCliente->maximum(), 2);
  // The balloon was shown at the start of each pass; its text then follows
  // the pass (shown again only while the balloon is on screen).
  EXPECT_EQ(frm->BaloesMostrados() >= 2, true);
  EXPECT_EQ(frm->TituloUltimoBalao(), QStringLiteral(u"Importação de Produtos"));
  const app::Balao& balao = frm->Agent().Registro().ObterBalao();
  EXPECT_EQ(app::ui::DeCp1252(balao.Texto()),
            QStringLiteral(u"Importação Concluída:  Importados: 2 - Atualizados: 0 - Excluído:0"));
  if (frm->TemBandeja()) {
    // On screen since the pass began: every change showed it again.
    EXPECT_EQ(frm->TextoUltimoBalao(), app::ui::DeCp1252(balao.Texto()));
  } else {
    EXPECT_EQ(frm->TextoUltimoBalao(), QStringLiteral("Iniciando"));
  }
  EXPECT_EQ(Pdv().Valor("select count(*) from cliente"), "3");
  EXPECT_EQ(Pdv().Valor("select count(*) from produto"), "2");
  EXPECT_EQ(Retaguarda().Valor("select count(*) from cadcliente where importado='S'"), "3");
  EXPECT_TRUE(frm->Agent().Iniciado());
  ConfereBotoes(false, true, false);
}

TEST_F(JanelaAgente, PararDuranteAPassagem) {
  InserirClientes(15);
  AbrirJanela("00:00:00");
  int linhasNoClique = -1;
  // Runs at the first pending-message processing, after the first row.
  QTimer::singleShot(0, frm.get(), [&] {
    linhasNoClique = static_cast<int>(Linhas(frm->memoClientes).size());
    QTest::mouseClick(frm->btnParar, Qt::LeftButton);
  });
  QTest::mouseClick(frm->btnIniciar, Qt::LeftButton);

  const QStringList clientes = Linhas(frm->memoClientes);
  ASSERT_GT(linhasNoClique, 0) << "the stop never ran inside the pass";
  EXPECT_LT(linhasNoClique, clientes.size());
  // The pass went on to its end.
  EXPECT_EQ(clientes.last(), QStringLiteral("*** Importados: 15 - Atualizados: 0"));
  EXPECT_EQ(Retaguarda().Valor("select count(*) from cadcliente where importado='N'"), "0");
  EXPECT_FALSE(frm->Agent().Iniciado());
  ConfereBotoes(true, false, true);

  // Later ticks run no pass, even with work waiting.
  InserirClientes(1, 16);
  const QString antes = frm->memoClientes->toPlainText();
  for (int i = 0; i < 3; ++i) QMetaObject::invokeMethod(frm->Timer1, "timeout");
  QApplication::processEvents();
  EXPECT_EQ(frm->memoClientes->toPlainText(), antes);
  EXPECT_EQ(Retaguarda().Valor("select importado from cadcliente where codcli=16"), "N");
}

TEST_F(JanelaAgente, TeclasAgemMesmoComBotaoDesabilitado) {
  AbrirJanela("00:00:00");
  ConfereBotoes(true, false, true);
  // F4 with "Parar" disabled: the stop runs anyway and leaves the agent idle.
  Tecla(frm.get(), Qt::Key_F4);
  EXPECT_FALSE(frm->Agent().Iniciado());
  ConfereBotoes(true, false, true);

  Tecla(frm.get(), Qt::Key_F5);
  EXPECT_TRUE(frm->Agent().Iniciado());
  ConfereBotoes(false, true, false);
  EXPECT_EQ(Linhas(frm->memoClientes).count(kIniciando), 1);

  // F5 with "Iniciar" disabled starts again.
  Tecla(frm.get(), Qt::Key_F5);
  EXPECT_EQ(Linhas(frm->memoClientes).count(kIniciando), 2);
  EXPECT_EQ(Linhas(frm->memoProdutos).count(kIniciando), 2);

  // F8 with "Configurações" disabled opens the dialog.
  QString titulo;
  roteiro.Esperar([&](QWidget* w) {
    auto* dlg = qobject_cast<app::ui::TfrmConfiguracao*>(w);
    ASSERT_NE(dlg, nullptr) << w->metaObject()->className();
    EXPECT_EQ(frm->frmConfiguracao(), dlg);
    titulo = dlg->windowTitle();
    QTest::mouseClick(dlg->btnSair, Qt::LeftButton);
  });
  Tecla(frm.get(), Qt::Key_F8);
  EXPECT_TRUE(roteiro.Concluido());
  EXPECT_EQ(titulo, QStringLiteral(u"Configurações"));
  EXPECT_EQ(frm->frmConfiguracao(), nullptr);
  EXPECT_EQ(frm->Agent().frmConfiguracao(), nullptr);

  Tecla(frm.get(), Qt::Key_F4);
  EXPECT_FALSE(frm->Agent().Iniciado());
  ConfereBotoes(true, false, true);

  // F11: the exit question, answered No.
  roteiro.Esperar(Responder(QMessageBox::No));
  Tecla(frm.get(), Qt::Key_F11);
  EXPECT_TRUE(roteiro.Concluido());
  EXPECT_FALSE(frm->Encerrado());

  // ESC: the hide of "Esconder [ESC]".
  Tecla(frm.get(), Qt::Key_Escape);
  if (frm->TemBandeja())
    EXPECT_FALSE(frm->isVisible());
  else
    EXPECT_TRUE(frm->isMinimized());
}

TEST_F(JanelaAgente, EscParaABandejaEDuploCliqueDeVolta) {
  AbrirJanela("00:00:00");
  Tecla(frm.get(), Qt::Key_Escape);
  EXPECT_TRUE(frm->TrayIcon1->isVisible());
  // Before any pass the balloon has nothing to show.
  EXPECT_EQ(frm->BaloesMostrados(), 0);
  if (frm->TemBandeja()) {
    EXPECT_FALSE(frm->isVisible());
  } else {
    // No notification area: the window stays on the task bar, minimised.
    EXPECT_TRUE(frm->isVisible());
    EXPECT_TRUE(frm->isMinimized());
  }
  emit frm->TrayIcon1->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(frm->isVisible());
  EXPECT_FALSE(frm->isMinimized());

  // A single click (all a StatusNotifier host sends) restores too, and so
  // does the menu's "Restaurar"; the menu's button only opens the menu.
  Tecla(frm.get(), Qt::Key_Escape);
  emit frm->TrayIcon1->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(frm->isVisible());
  EXPECT_FALSE(frm->isMinimized());
  Tecla(frm.get(), Qt::Key_Escape);
  emit frm->TrayIcon1->activated(QSystemTrayIcon::Context);
  EXPECT_TRUE(frm->isMinimized() || !frm->isVisible());
  frm->Restaurar1->trigger();
  EXPECT_TRUE(frm->isVisible());
  EXPECT_FALSE(frm->isMinimized());

  // After a pass, hiding shows the balloon with the pass's last texts.
  Tecla(frm.get(), Qt::Key_F5);
  const int baloes = frm->BaloesMostrados();
  EXPECT_GE(baloes, 1);
  Tecla(frm.get(), Qt::Key_Escape);
  EXPECT_EQ(frm->BaloesMostrados(), baloes + 1);
  EXPECT_EQ(frm->TituloUltimoBalao(), QStringLiteral(u"Importação de Produtos"));
  EXPECT_EQ(frm->TextoUltimoBalao(), QStringLiteral("Iniciando"));
}

TEST_F(JanelaAgente, MinimizarDeForaEscondeComoEsc) {
  AbrirJanela("00:00:00");
  frm->showMinimized();
  QApplication::processEvents();
  if (frm->TemBandeja())
    EXPECT_FALSE(frm->isVisible());
  else
    EXPECT_TRUE(frm->isMinimized());
  emit frm->TrayIcon1->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(frm->isVisible());
  EXPECT_FALSE(frm->isMinimized());
}

TEST_F(JanelaAgente, PerguntaDeEncerramento) {
  AbrirJanela("00:00:00");
  QSignalSpy encerrar(frm.get(), &app::ui::TfrmPincipal::encerramentoSolicitado);

  roteiro.Esperar(Responder(QMessageBox::No));
  QTest::mouseClick(frm->btnEncerrar, Qt::LeftButton);
  ASSERT_EQ(roteiro.caixas.size(), 1u);
  const uiteste::CaixaVista caixa = roteiro.caixas[0];
  EXPECT_EQ(caixa.titulo, QStringLiteral("Pergunta"));
  EXPECT_EQ(caixa.texto, QStringLiteral(u"Tem certeza que deseja encerrar a aplicação?"));
  EXPECT_EQ(caixa.icone, QMessageBox::Question);
  EXPECT_EQ(caixa.botoes.size(), 2);
  EXPECT_FALSE(frm->Encerrado());
  EXPECT_EQ(encerrar.count(), 0);
  EXPECT_TRUE(frm->Agent().Componentes().dbPDV.Connected());

  // The tray menu asks the same question; Yes ends the program.
  roteiro.Esperar(Responder(QMessageBox::Yes));
  frm->EncerrarPrograma1->trigger();
  ASSERT_EQ(roteiro.caixas.size(), 2u);
  EXPECT_EQ(roteiro.caixas[1].texto, caixa.texto);
  EXPECT_TRUE(frm->Encerrado());
  EXPECT_EQ(encerrar.count(), 1);
  EXPECT_FALSE(frm->Timer1->isActive());
}

}  // namespace
