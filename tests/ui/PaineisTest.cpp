// What the main window makes of a pass's stream of pane lines and gauge
// steps: every line in its pane at once and in order, laid out in blocks of
// lines rather than one by one, and a gauge that shows its ends and catches
// up when the window comes back. No server is needed: the agent is built
// but its creation steps do not run.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "JanelasTeste.h"
#include "ui/Texto.h"
#include "ui/TfrmPincipal.h"

namespace {

using app::Painel;
using uiteste::Aguardar;
using uiteste::Linhas;

TEST(PaineisDaJanela, EveryLineIsInThePaneAtOnceAndLaidOutInBlocks) {
  app::ui::TfrmPincipal frm;
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  app::AgentView& view = frm;
  QPlainTextEdit* memo = frm.memoClientes;
  QSignalSpy mudancas(memo->document(), &QTextDocument::contentsChange);

  // An empty first line is a line of its own; a carriage return inside a
  // line splits it as it always did.
  std::vector<std::string> linhas = {"", "Importa\xE7\xE3o de Clientes", "antes\rdepois\r", ""};
  for (int i = 0; i < 500; ++i) linhas.push_back(">> CLIENTE " + std::to_string(i));
  // What appending each line on its own gives, after a first line that
  // keeps the empty one from being dropped.
  QPlainTextEdit referencia;
  referencia.setPlainText(QStringLiteral("x"));
  for (const std::string& l : linhas) referencia.appendPlainText(app::ui::DeCp1252(l));
  for (const std::string& l : linhas) view.AdicionarLinha(Painel::Clientes, l);
  view.AdicionarLinha(Painel::Produtos, "produto");

  const QStringList texto = Linhas(memo);
  EXPECT_EQ(memo->toPlainText(), referencia.toPlainText().mid(2));
  EXPECT_EQ(memo->document()->blockCount(), referencia.document()->blockCount() - 1);
  ASSERT_EQ(texto.size(), 506);
  EXPECT_EQ(texto[0], QString());
  EXPECT_EQ(texto[1], QStringLiteral(u"Importação de Clientes"));
  EXPECT_EQ(texto.last(), QStringLiteral(">> CLIENTE 499"));
  EXPECT_EQ(Linhas(frm.memoProdutos), QStringList{QStringLiteral("produto")});
  EXPECT_EQ(mudancas.count(), 0) << "the layout was told of each line";

  // One change for the whole block, then the pane shows its last line.
  QScrollBar* barra = memo->verticalScrollBar();
  ASSERT_TRUE(Aguardar([&] { return mudancas.count() > 0; }));
  QApplication::processEvents();
  EXPECT_EQ(mudancas.count(), 1);
  EXPECT_GT(barra->maximum(), 0);
  EXPECT_EQ(barra->value(), barra->maximum());

  // Emptied with lines still waiting: none of them comes back.
  view.AdicionarLinha(Painel::Clientes, "perdida");
  view.LimparPainel(Painel::Clientes);
  view.AdicionarLinha(Painel::Clientes, "");
  view.AdicionarLinha(Painel::Clientes, "nova");
  // Checked once the block that took the new lines is closed.
  const qsizetype antes = mudancas.count();
  ASSERT_TRUE(Aguardar([&] { return mudancas.count() > antes; }));
  EXPECT_EQ(Linhas(memo), (QStringList{QString(), QStringLiteral("nova")}));
  EXPECT_EQ(Linhas(frm.memoProdutos), QStringList{QStringLiteral("produto")});
}

TEST(PaineisDaJanela, TheGaugeShowsBothEndsAndCatchesUpWhenTheWindowIsShown) {
  app::ui::TfrmPincipal frm;
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  app::AgentView& view = frm;
  view.MostrarGauge(4000, 0, 0);
  EXPECT_EQ(frm.gaugeCliente->maximum(), 4000);
  // A step too small to move the bar by a pixel waits for the next one;
  // the last step is always shown.
  view.MostrarGauge(4000, 1, 0);
  view.MostrarGauge(4000, 2000, 50);
  EXPECT_EQ(frm.gaugeCliente->value(), 2000);
  EXPECT_EQ(frm.gaugeCliente->text(), QStringLiteral("50%"));
  view.MostrarGauge(4000, 4000, 100);
  EXPECT_EQ(frm.gaugeCliente->value(), 4000);
  EXPECT_EQ(frm.gaugeCliente->text(), QStringLiteral("100%"));

  // Hidden to the tray the pass goes on; shown again, the gauge is where
  // the pass is.
  frm.hide();
  view.MostrarGauge(7, 0, 0);
  view.MostrarGauge(7, 3, 42);
  frm.show();
  EXPECT_EQ(frm.gaugeCliente->maximum(), 7);
  EXPECT_EQ(frm.gaugeCliente->value(), 3);
  EXPECT_EQ(frm.gaugeCliente->text(), QStringLiteral("42%"));
}

}  // namespace
