#include "ui/InstanciaUnica.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace app::ui {
namespace {

constexpr int kEsperaMs = 2000;
const QByteArray kPedido = QByteArrayLiteral("mostrar\n");
const QByteArray kResposta = QByteArrayLiteral("ok\n");

}  // namespace

InstanciaUnica::InstanciaUnica(QObject* pai) : QObject(pai) {}

QString InstanciaUnica::Nome() {
  const QString pasta = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!pasta.isEmpty() && QDir::isAbsolutePath(pasta))
    return pasta + QStringLiteral("/tolvex-agent.sock");
  return QStringLiteral("tolvex-agent-%1").arg(getuid());
}

bool InstanciaUnica::EntregarAPrimeira() {
  QLocalSocket socket;
  socket.connectToServer(Nome());
  if (!socket.waitForConnected(kEsperaMs)) return false;
  socket.write(kPedido);
  socket.waitForBytesWritten(kEsperaMs);
  // A first instance busy in a modal box still answers (its box runs the
  // event loop); one that does not answer at all is there all the same.
  socket.waitForReadyRead(kEsperaMs);
  return true;
}

bool InstanciaUnica::Escutar() {
  servidor_ = new QLocalServer(this);
  servidor_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!servidor_->listen(Nome())) {
    // Nobody answered on it (EntregarAPrimeira came first): left behind.
    QLocalServer::removeServer(Nome());
    if (!servidor_->listen(Nome())) return false;
  }
  connect(servidor_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = servidor_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) return;
        const QByteArray pedido = socket->readLine();
        socket->write(kResposta);
        socket->disconnectFromServer();
        if (pedido == kPedido) emit mostrarSolicitado();
      });
    }
  });
  return true;
}

}  // namespace app::ui
