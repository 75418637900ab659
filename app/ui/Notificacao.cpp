#include "ui/Notificacao.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QVariantMap>

namespace app::ui {
namespace {

const QString kServico = QStringLiteral("org.freedesktop.Notifications");
const QString kCaminho = QStringLiteral("/org/freedesktop/Notifications");

}  // namespace

NotificacaoDesktop::NotificacaoDesktop(QObject* pai)
    : QObject(pai), barramento_(QDBusConnection::sessionBus()) {
  if (!barramento_.isConnected() || barramento_.interface() == nullptr) return;
  barramento_.connect(kServico, kCaminho, kServico, QStringLiteral("NotificationClosed"), this,
                      SLOT(AoFechar(uint, uint)));
  auto* vigia = new QDBusServiceWatcher(kServico, barramento_,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(vigia, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& novoDono) {
            disponivel_ = !novoDono.isEmpty();
            // A new service knows nothing of the old one's bubble.
            id_ = 0;
          });
  disponivel_ = barramento_.interface()->isServiceRegistered(kServico).value();
}

void NotificacaoDesktop::Mostrar(const QString& titulo, const QString& texto, int duracaoMs) {
  const Pedido pedido{titulo, texto, duracaoMs};
  fecharAoResponder_ = false;
  if (emCurso_) {
    pendente_ = pedido;
    return;
  }
  Enviar(pedido);
}

void NotificacaoDesktop::Enviar(const Pedido& pedido) {
  QDBusMessage chamada =
      QDBusMessage::createMethodCall(kServico, kCaminho, kServico, QStringLiteral("Notify"));
  QVariantMap dicas;
  dicas.insert(QStringLiteral("desktop-entry"), QStringLiteral("tolvex-agent"));
  chamada << QStringLiteral("tolvex-agent") << id_ << QStringLiteral("tolvex-agent")
          << pedido.titulo << pedido.texto << QStringList() << dicas << pedido.duracaoMs;
  emCurso_ = true;
  auto* espera = new QDBusPendingCallWatcher(barramento_.asyncCall(chamada), this);
  connect(espera, &QDBusPendingCallWatcher::finished, this, &NotificacaoDesktop::AoResponder);
}

void NotificacaoDesktop::AoResponder(QDBusPendingCallWatcher* chamada) {
  chamada->deleteLater();
  emCurso_ = false;
  const QDBusPendingReply<uint> resposta = *chamada;
  // A service that failed leaves no bubble: the next show creates one.
  id_ = resposta.isError() ? 0 : resposta.value();
  if (pendente_) {
    const Pedido pedido = *pendente_;
    pendente_.reset();
    Enviar(pedido);
  } else if (fecharAoResponder_) {
    fecharAoResponder_ = false;
    Fechar();
  }
}

void NotificacaoDesktop::Fechar() {
  pendente_.reset();
  if (emCurso_) {
    fecharAoResponder_ = true;
    return;
  }
  if (id_ == 0) return;
  QDBusMessage chamada = QDBusMessage::createMethodCall(kServico, kCaminho, kServico,
                                                        QStringLiteral("CloseNotification"));
  chamada << id_;
  id_ = 0;
  barramento_.asyncCall(chamada);
}

void NotificacaoDesktop::AoFechar(uint id, uint) {
  if (id == 0 || id != id_) return;
  id_ = 0;
  emit fechadaPeloServico();
}

}  // namespace app::ui
