// The tray on a desktop whose notification area lives on the session bus
// (StatusNotifier: KDE Plasma, GNOME with AppIndicator): a stand-in
// org.kde.StatusNotifierWatcher on the tests' private bus takes the tray
// item's registration, then, as such a host does on a single click, calls
// the item's Activate; the hidden window comes back.
//
// Qt only looks for such a host when the X11 platform starts its desktop
// theme, and only once per program, before the first tray icon: the test
// runs the test program again on an Xvfb display of its own, with only this
// test, and that run does the work.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <memory>

#include "JanelasTeste.h"
#include "ui/TfrmPincipal.h"

namespace {

const QString kVigia = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kCaminhoVigia = QStringLiteral("/StatusNotifierWatcher");
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");
const char* const kFilho = "TOLVEX_TESTE_BANDEJA_SNI";

// The watcher a StatusNotifier host runs, with a host registered. It answers
// from a thread of its own: Qt asks it with blocking calls from the
// user-interface thread.
class VigiaStatusNotifier : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistrado)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ Itens)
  Q_PROPERTY(int ProtocolVersion READ Versao)

 public:
  bool HostRegistrado() const { return true; }
  int Versao() const { return 0; }
  QStringList Itens() const {
    QMutexLocker trava(&trava_);
    return itens_;
  }

 public slots:
  // An item names its service (Qt) or only its path (others): either way
  // the caller's bus name is where it answers.
  void RegisterStatusNotifierItem(const QString& item, const QDBusMessage& pedido) {
    const QString servico = item.startsWith(QLatin1Char('/')) ? pedido.service() : item;
    QMutexLocker trava(&trava_);
    itens_.append(servico);
  }
  void RegisterStatusNotifierHost(const QString&) {}

 private:
  mutable QMutex trava_;
  QStringList itens_;
};

// The watcher on its own connection and thread, for the test's lifetime.
class Vigia {
 public:
  Vigia() {
    objeto_.moveToThread(&thread_);
    thread_.start();
    conexao_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("vigia-sni")));
  }
  ~Vigia() {
    conexao_->unregisterService(kVigia);
    QMetaObject::invokeMethod(
        &objeto_, [&] { conexao_->unregisterObject(kCaminhoVigia); }, Qt::BlockingQueuedConnection);
    QDBusConnection::disconnectFromBus(QStringLiteral("vigia-sni"));
    thread_.quit();
    thread_.wait();
  }
  // Registered from the watcher's thread, where its calls are answered.
  bool Registrar() {
    if (!conexao_->isConnected()) return false;
    bool registrado = false;
    QMetaObject::invokeMethod(
        &objeto_,
        [&] {
          registrado = conexao_->registerObject(
              kCaminhoVigia, &objeto_,
              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
        },
        Qt::BlockingQueuedConnection);
    return registrado && conexao_->registerService(kVigia);
  }
  QStringList Itens() const { return objeto_.Itens(); }
  // A call to the registered item, answered through the event loop.
  QDBusPendingCall Chamar(const QString& servico, const QString& interface, const QString& metodo,
                          const QVariantList& argumentos) {
    QDBusMessage m = QDBusMessage::createMethodCall(servico, QStringLiteral("/StatusNotifierItem"),
                                                    interface, metodo);
    m.setArguments(argumentos);
    return conexao_->asyncCall(m);
  }

 private:
  QThread thread_;
  VigiaStatusNotifier objeto_;
  std::unique_ptr<QDBusConnection> conexao_;
};

// Runs this test again in a program of its own on a fresh Xvfb display;
// the output of that run, or why it could not run.
struct Rodada {
  bool rodou = false;
  int status = -1;
  QString saida;
};

Rodada RodarNoXvfb(const QString& teste) {
  Rodada r;
  QProcess xvfb;
  xvfb.start(QStringLiteral("Xvfb"),
             {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
              QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
              QStringLiteral("640x480x24")});
  if (!xvfb.waitForStarted(5000)) {
    r.saida = QStringLiteral("Xvfb did not start");
    return r;
  }
  QByteArray tela;
  while (!tela.contains('\n') && xvfb.waitForReadyRead(10000)) tela += xvfb.readAllStandardOutput();
  if (!tela.contains('\n')) {
    r.saida = QStringLiteral("Xvfb named no display");
  } else {
    QProcess filho;
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(QStringLiteral("DISPLAY"),
                    QLatin1Char(':') + QString::fromLatin1(tela.trimmed()));
    ambiente.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    ambiente.insert(QString::fromLatin1(kFilho), QStringLiteral("1"));
    // Neither a desktop nor a theme of its own: the plain X11 one.
    ambiente.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    ambiente.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
    filho.setProcessEnvironment(ambiente);
    filho.setProcessChannelMode(QProcess::MergedChannels);
    filho.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=") + teste});
    r.rodou = filho.waitForFinished(60000);
    if (!r.rodou) filho.kill();
    filho.waitForFinished();
    r.status = filho.exitCode();
    r.saida = QString::fromLocal8Bit(filho.readAll());
  }
  xvfb.terminate();
  xvfb.waitForFinished(5000);
  return r;
}

TEST(BandejaStatusNotifier, TheHostsActivationShowsTheHiddenWindow) {
  if (access("/usr/bin/dbus-daemon", X_OK) != 0 ||
      QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
    GTEST_SKIP() << "needs dbus-daemon and Xvfb";
  if (qEnvironmentVariableIsEmpty(kFilho)) {
    const QString nome =
        QStringLiteral("BandejaStatusNotifier.TheHostsActivationShowsTheHiddenWindow");
    const Rodada r = RodarNoXvfb(nome);
    EXPECT_TRUE(r.rodou) << "the run under Xvfb did not end";
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.saida.contains(QStringLiteral("[       OK ] ") + nome)) << r.saida.toStdString();
    return;
  }
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"));
  Vigia vigia;
  ASSERT_TRUE(vigia.Registrar());

  app::ui::TfrmPincipal frm;
  ASSERT_TRUE(uiteste::Aguardar([&] { return !vigia.Itens().isEmpty(); }))
      << "the tray item never registered with the watcher";
  const QString item = vigia.Itens().first();
  EXPECT_TRUE(frm.TemBandeja());

  // The menu stays for the other button: the item exports it.
  QDBusPendingReply<QDBusVariant> menu =
      vigia.Chamar(item, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                   {kItem, QStringLiteral("Menu")});
  ASSERT_TRUE(uiteste::Aguardar([&] { return menu.isFinished(); }));
  ASSERT_FALSE(menu.isError()) << menu.error().message().toStdString();
  EXPECT_NE(menu.value().variant().value<QDBusObjectPath>().path(), QStringLiteral("/"));

  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  frm.Agent().btnEsconderClick();
  ASSERT_TRUE(uiteste::Aguardar([&] { return !frm.isVisible(); })) << "ESC did not hide it";

  QDBusPendingCall ativar =
      vigia.Chamar(item, kItem, QStringLiteral("Activate"), {QVariant(10), QVariant(10)});
  ASSERT_TRUE(uiteste::Aguardar([&] { return ativar.isFinished(); }));
  EXPECT_FALSE(ativar.isError()) << ativar.error().message().toStdString();
  EXPECT_TRUE(uiteste::Aguardar([&] { return frm.isVisible(); }));
  EXPECT_FALSE(frm.isMinimized());
}

}  // namespace

#include "BandejaStatusNotifierTest.moc"
