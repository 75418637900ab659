// The two windows as drawn: captions, sizes, places, fonts and the state
// the controls start in. No server is needed: the agent is built but its
// creation steps do not run.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>

#include "ui/Texto.h"
#include "ui/TfrmConfiguracao.h"
#include "ui/TfrmPincipal.h"

namespace {

using app::ui::DeCp1252;
using app::ui::TfrmConfiguracao;
using app::ui::TfrmPincipal;

struct Lugar {
  const char* nome;
  QRect geometria;
  const char* texto;  // Windows-1252; null when the control has no caption
};

// Every window of the agent: fixed size, title bar without system buttons.
void ConfereMoldura(const QWidget& janela, QSize cliente) {
  EXPECT_EQ(janela.size(), cliente);
  EXPECT_EQ(janela.minimumSize(), cliente);
  EXPECT_EQ(janela.maximumSize(), cliente);
  const Qt::WindowFlags f = janela.windowFlags();
  EXPECT_TRUE(f & Qt::Window);
  EXPECT_TRUE(f & Qt::CustomizeWindowHint);
  EXPECT_FALSE(f & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(f & Qt::WindowSystemMenuHint);
  EXPECT_EQ(janela.font().family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(janela.font().pointSize(), 8);
}

template <typename Janela>
void ConfereLugares(Janela& janela, const std::vector<Lugar>& lugares) {
  for (const Lugar& l : lugares) {
    auto* w = janela.template findChild<QWidget*>(QString::fromLatin1(l.nome));
    ASSERT_NE(w, nullptr) << l.nome;
    if (l.geometria.size().isEmpty())
      EXPECT_EQ(w->pos(), l.geometria.topLeft()) << l.nome;
    else
      EXPECT_EQ(w->geometry(), l.geometria) << l.nome;
    if (l.texto == nullptr) continue;
    QString texto;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) texto = b->text();
    if (auto* r = qobject_cast<QLabel*>(w)) texto = r->text();
    EXPECT_EQ(texto, DeCp1252(l.texto)) << l.nome;
  }
}

// The next control Tab would reach (the focus chain also holds controls
// that never take the focus).
QWidget* ProximoNaTabulacao(QWidget* w) {
  for (QWidget* n = w->nextInFocusChain(); n != w; n = n->nextInFocusChain())
    if ((n->focusPolicy() & Qt::TabFocus) && n->isEnabled() && n->focusProxy() == nullptr) return n;
  return nullptr;
}

TEST(JanelaPrincipal, CaptionTamanhoELugares) {
  TfrmPincipal frm;
  EXPECT_EQ(frm.windowTitle(), DeCp1252("Importa\xE7\xE3o Tolvex PDV"));
  ConfereMoldura(frm, QSize(580, 462));
  ConfereLugares(frm, {
                          {"Panel1", QRect(0, 0, 580, 65), nullptr},
                          {"Label1", QRect(16, 41, 0, 0), "Intervalo de importa\xE7\xE3o:"},
                          {"DBText1", QRect(141, 41, 84, 17), nullptr},
                          {"btnIniciar", QRect(158, 8, 100, 25), "Iniciar [F5]"},
                          {"btnParar", QRect(264, 8, 100, 25), "Parar [F4]"},
                          {"btnEsconder", QRect(370, 8, 100, 25), "Esconder [ESC]"},
                          {"btnEncerrar", QRect(476, 8, 100, 25), "Encerrar [F11]"},
                          {"btnConfig", QRect(476, 37, 100, 25),
                           "Configura\xE7\xF5"
                           "es [F8]"},
                          {"PageControl1", QRect(0, 65, 580, 367), nullptr},
                          {"Panel2", QRect(0, 432, 580, 30), nullptr},
                      });
  // The controls of Panel1 sit on it, the gauge fills Panel2.
  EXPECT_EQ(frm.btnIniciar->parentWidget(), frm.Panel1);
  EXPECT_EQ(frm.DBText1->parentWidget(), frm.Panel1);
  EXPECT_EQ(frm.gaugeCliente->parentWidget(), frm.Panel2);
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  EXPECT_GE(frm.gaugeCliente->width(), 576);
  EXPECT_GE(frm.gaugeCliente->height(), 26);
  // Centred on the desktop.
  const QRect area = frm.screen()->availableGeometry();
  EXPECT_LE(std::abs(frm.geometry().center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(frm.geometry().center().y() - area.center().y()), 1);
}

TEST(JanelaPrincipal, EstadoInicialDosControles) {
  TfrmPincipal frm;
  EXPECT_TRUE(frm.btnIniciar->isEnabled());
  EXPECT_FALSE(frm.btnParar->isEnabled());
  EXPECT_TRUE(frm.btnEsconder->isEnabled());
  EXPECT_TRUE(frm.btnEncerrar->isEnabled());
  EXPECT_TRUE(frm.btnConfig->isEnabled());

  EXPECT_EQ(frm.DBText1->font().family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(frm.DBText1->font().pointSize(), 10);
  EXPECT_TRUE(frm.DBText1->font().bold());
  EXPECT_EQ(frm.DBText1->palette().color(QPalette::WindowText), QColor(0x80, 0, 0));
  EXPECT_EQ(frm.DBText1->text(), QString());  // the settings table is closed

  ASSERT_EQ(frm.PageControl1->count(), 3);
  EXPECT_EQ(frm.PageControl1->tabText(0), QStringLiteral("Clientes"));
  EXPECT_EQ(frm.PageControl1->tabText(1), QStringLiteral("Produtos"));
  EXPECT_EQ(frm.PageControl1->tabText(2), QStringLiteral("Cupons"));
  EXPECT_EQ(frm.PageControl1->currentIndex(), 0);
  const QPlainTextEdit* panes[] = {frm.memoClientes, frm.memoProdutos, frm.memoCupons};
  for (int i = 0; i < 3; ++i) {
    const QPlainTextEdit* memo = panes[i];
    EXPECT_EQ(memo->parentWidget(), frm.PageControl1->widget(i));
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(memo->toPlainText().isEmpty());  // the panes start empty
  }
  EXPECT_EQ(frm.gaugeCliente->value(), 0);
  EXPECT_EQ(frm.gaugeCliente->text(), QStringLiteral("0%"));
  EXPECT_EQ(frm.Timer1->interval(), 60000);
}

TEST(JanelaPrincipal, IconeDaBandejaEMenu) {
  TfrmPincipal frm;
  EXPECT_TRUE(frm.TrayIcon1->isVisible());
  EXPECT_FALSE(frm.TrayIcon1->icon().isNull());
  EXPECT_TRUE(frm.TrayIcon1->icon().availableSizes().contains(QSize(64, 64)));
  EXPECT_EQ(frm.TrayIcon1->contextMenu(), frm.PopupMenu1.get());
  const QList<QAction*> itens = frm.PopupMenu1->actions();
  ASSERT_EQ(itens.size(), 3);
  EXPECT_EQ(itens[0], frm.Restaurar1);
  EXPECT_EQ(itens[0]->text(), QStringLiteral("Restaurar"));
  EXPECT_EQ(itens[1], frm.EncerrarPrograma1);
  EXPECT_EQ(itens[1]->text(), QStringLiteral("Encerrar Programa"));
  EXPECT_TRUE(itens[2]->isSeparator());
  EXPECT_EQ(frm.TemBandeja(), QSystemTrayIcon::isSystemTrayAvailable());
}

TEST(DialogoConfiguracoes, CaptionTamanhoELugares) {
  TfrmPincipal frm;
  app::Configuracao logica(frm.Agent());
  auto* dlg = new TfrmConfiguracao(logica, &frm);
  EXPECT_EQ(dlg->windowTitle(), DeCp1252("Configura\xE7\xF5"
                                         "es"));
  EXPECT_TRUE(dlg->isWindow());
  ConfereMoldura(*dlg, QSize(393, 299));
  ConfereLugares(*dlg, {
                           {"Panel1", QRect(0, 0, 393, 43), nullptr},
                           {"AdvGlowButton1", QRect(11, 4, 101, 34), "Salvar [F5]"},
                           {"btnSair", QRect(283, 4, 101, 34), "Fechar [ESC]"},
                           {"Panel2", QRect(0, 43, 393, 256), nullptr},
                           {"Label1", QRect(11, 16, 0, 0), "Tempo de Atualiza\xE7\xE3o:"},
                           {"DBEdit1", QRect(168, 14, 121, 21), nullptr},
                           {"Label2", QRect(11, 48, 0, 0), "Ip do servidor Tolvex:"},
                           {"edtIpTolvex", QRect(168, 43, 121, 21), nullptr},
                           {"Label3", QRect(11, 80, 0, 0), "Ip do servidor PDV:"},
                           {"edtIpPDV", QRect(168, 74, 121, 21), nullptr},
                       });
  for (QLabel* rotulo : {dlg->Label1, dlg->Label2, dlg->Label3}) {
    EXPECT_EQ(rotulo->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(rotulo->font().pointSize(), 9);
    EXPECT_TRUE(rotulo->font().bold());
    EXPECT_EQ(rotulo->parentWidget(), dlg->Panel2);
  }
  EXPECT_FALSE(dlg->AdvGlowButton1->icon().isNull());
  EXPECT_FALSE(dlg->btnSair->icon().isNull());
  // Tab order: DBEdit1, edtIpTolvex, edtIpPDV.
  EXPECT_EQ(ProximoNaTabulacao(dlg->DBEdit1), dlg->edtIpTolvex);
  EXPECT_EQ(ProximoNaTabulacao(dlg->edtIpTolvex), dlg->edtIpPDV);
  EXPECT_EQ(dlg->focusWidget(), dlg->DBEdit1);
  delete dlg;
}

}  // namespace
