// One windowed agent per user: the real program started while this test
// holds the first instance's socket hands over (the first is asked for its
// window) and ends with 0, also when a dead program left its socket behind.
#include "ui/InstanciaUnica.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "JanelasTeste.h"

namespace {

QString Programa() {
  return QCoreApplication::applicationDirPath() + QStringLiteral("/../../app/tolvex-agent");
}

TEST(InstanciaUnica, ASecondStartHandsOverToTheFirstAndEndsWithZero) {
  if (!QFile::exists(Programa())) GTEST_SKIP() << "tolvex-agent is not built";
  QTemporaryDir execucao;
  const QByteArray antes = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", execucao.path().toLocal8Bit());
  // A socket file left by a program that died is taken over.
  QFile resto(app::ui::InstanciaUnica::Nome());
  ASSERT_TRUE(resto.open(QIODevice::WriteOnly));
  resto.close();

  app::ui::InstanciaUnica primeira;
  ASSERT_TRUE(primeira.Escutar());
  QSignalSpy mostrar(&primeira, &app::ui::InstanciaUnica::mostrarSolicitado);

  for (int vez = 0; vez < 2; ++vez) {
    QProcess segunda;
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    segunda.setProcessEnvironment(ambiente);
    // Servers that never answer: a start that did not hand over would hang
    // in its error box instead of ending.
    segunda.start(Programa(), {QStringLiteral("--retaguarda"), QStringLiteral("127.0.0.1:1"),
                               QStringLiteral("--pdv"), QStringLiteral("127.0.0.1:1")});
    ASSERT_TRUE(uiteste::Aguardar([&] { return segunda.state() == QProcess::NotRunning; }, 10000))
        << "the second start did not end";
    EXPECT_EQ(segunda.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(segunda.exitCode(), 0) << segunda.readAllStandardError().toStdString();
    EXPECT_EQ(mostrar.count(), vez + 1);
  }
  if (antes.isNull())
    qunsetenv("XDG_RUNTIME_DIR");
  else
    qputenv("XDG_RUNTIME_DIR", antes);
}

}  // namespace
