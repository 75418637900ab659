// The tray balloon as one desktop notification: a stand-in
// org.freedesktop.Notifications on the tests' private session bus counts
// what the window sends during a pass, and closes the bubble as a user
// would. Without a session bus the tests are skipped.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSystemTrayIcon>
#include <QTest>
#include <vector>

#include "JanelasTeste.h"
#include "ui/Notificacao.h"
#include "ui/Texto.h"

namespace {

using uiteste::Aguardar;
using uiteste::Tecla;

struct Chamada {
  uint substitui = 0;
  QString titulo;
  QString texto;
  uint id = 0;
};

// Answers Notify and CloseNotification as a desktop's service does, and
// records every call.
class ServicoNotificacoes : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  explicit ServicoNotificacoes(QDBusConnection conexao) : conexao_(conexao) {}

  std::vector<Chamada> chamadas;
  std::vector<uint> fechadas;

  // Closes the bubble as a user's click would (reason 2: dismissed).
  void Dispensar(uint id) {
    QDBusMessage sinal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("NotificationClosed"));
    sinal << id << 2u;
    conexao_.send(sinal);
  }

 public slots:
  uint Notify(const QString&, uint substitui, const QString&, const QString& titulo,
              const QString& texto, const QStringList&, const QVariantMap&, int) {
    const uint id = substitui != 0 ? substitui : ++ultimo_;
    chamadas.push_back({substitui, titulo, texto, id});
    return id;
  }
  void CloseNotification(uint id) { fechadas.push_back(id); }
  QStringList GetCapabilities() { return {QStringLiteral("body")}; }

 private:
  QDBusConnection conexao_;
  uint ultimo_ = 0;
};

const QString kServico = QStringLiteral("org.freedesktop.Notifications");

class Notificacoes : public uiteste::JanelaServidor {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
      GTEST_SKIP() << "no private session bus (dbus-daemon missing)";
    conexao_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("servico-teste")));
    ASSERT_TRUE(conexao_->isConnected());
    servico_ = std::make_unique<ServicoNotificacoes>(*conexao_);
    ASSERT_TRUE(conexao_->registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                         servico_.get(), QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(conexao_->registerService(kServico));
    uiteste::JanelaServidor::SetUp();
  }
  void TearDown() override {
    uiteste::JanelaServidor::TearDown();
    if (conexao_) {
      conexao_->unregisterService(kServico);
      conexao_->unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
      QDBusConnection::disconnectFromBus(QStringLiteral("servico-teste"));
    }
  }

  std::unique_ptr<QDBusConnection> conexao_;
  std::unique_ptr<ServicoNotificacoes> servico_;
};

TEST_F(Notificacoes, APassUpdatesOneBubbleInPlace) {
  InserirClientes(300);
  InserirProdutos(200);
  AbrirJanela("00:00:00");
  QTest::mouseClick(frm->btnIniciar, Qt::LeftButton);
  const QString final =
      QStringLiteral(u"Importação Concluída:  Importados: 200 - Atualizados: 0 - Excluído:0");
  // The last change waits out the pause between two updates.
  ASSERT_TRUE(Aguardar([&] {
    return !servico_->chamadas.empty() && servico_->chamadas.back().texto == final;
  })) << servico_->chamadas.size();

  const auto& chamadas = servico_->chamadas;
  int novasClientes = 0, novasProdutos = 0;
  uint id = 0;
  for (const Chamada& c : chamadas) {
    const bool clientes = c.titulo == QStringLiteral(u"Importação de Clientes");
    ASSERT_TRUE(clientes || c.titulo == QStringLiteral(u"Importação de Produtos"))
        << c.titulo.toStdString();
    if (c.substitui == 0) {
      ++(clientes ? novasClientes : novasProdutos);
    } else {
      // Every other call replaces the bubble on screen.
      EXPECT_EQ(c.substitui, id);
    }
    id = c.id;
  }
  EXPECT_LE(novasClientes, 2);
  EXPECT_LE(novasProdutos, 2);
  EXPECT_EQ(novasClientes + novasProdutos, 1) << "the bubble stayed on screen all the pass";
  EXPECT_EQ(chamadas.front().texto, QStringLiteral("Iniciando..."));
  EXPECT_EQ(chamadas.back().titulo, QStringLiteral(u"Importação de Produtos"));
  // One call per row would be 500; the pause keeps it to a few per second.
  EXPECT_LT(chamadas.size(), 250u);
  // The tray's tooltip shows the same title and text.
  EXPECT_TRUE(Aguardar([&] {
    return frm->TrayIcon1->toolTip() == QStringLiteral(u"Importação de Produtos\n") + final;
  })) << frm->TrayIcon1->toolTip().toStdString();
  EXPECT_TRUE(frm->BalaoNaTela());

  // Dismissed by the user, the balloon is gone: hiding the window shows a
  // new bubble with the last texts.
  const std::size_t antes = chamadas.size();
  servico_->Dispensar(id);
  ASSERT_TRUE(Aguardar([&] { return !frm->BalaoNaTela(); }));
  Tecla(frm.get(), Qt::Key_Escape);
  ASSERT_TRUE(Aguardar([&] { return chamadas.size() > antes; }));
  EXPECT_EQ(chamadas.back().substitui, 0u);
  EXPECT_EQ(chamadas.back().texto, final);
}

TEST_F(Notificacoes, TheBubbleIsClosedWhenTheBalloonsTimeIsUp) {
  app::ui::NotificacaoDesktop notificacao;
  ASSERT_TRUE(notificacao.Disponivel());
  // Shown three times before the first answer: one new bubble, then only
  // the latest text replaces it.
  notificacao.Mostrar(QStringLiteral("T"), QStringLiteral("1"), 100);
  notificacao.Mostrar(QStringLiteral("T"), QStringLiteral("2"), 100);
  notificacao.Mostrar(QStringLiteral("T"), QStringLiteral("3"), 100);
  ASSERT_TRUE(Aguardar([&] { return servico_->chamadas.size() == 2; }));
  QTest::qWait(50);
  ASSERT_EQ(servico_->chamadas.size(), 2u);
  EXPECT_EQ(servico_->chamadas[0].substitui, 0u);
  EXPECT_EQ(servico_->chamadas[1].substitui, servico_->chamadas[0].id);
  EXPECT_EQ(servico_->chamadas[1].texto, QStringLiteral("3"));
  notificacao.Fechar();
  ASSERT_TRUE(Aguardar([&] { return !servico_->fechadas.empty(); }));
  EXPECT_EQ(servico_->fechadas[0], servico_->chamadas[0].id);
  EXPECT_EQ(notificacao.Id(), 0u);
}

}  // namespace

#include "NotificacaoTest.moc"
