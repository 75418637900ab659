// The tray balloon as one desktop notification, where the session has a
// notification service (org.freedesktop.Notifications on the session bus).
//
// The first Mostrar creates the bubble; every later one replaces its title
// and text in place (the id the service returned goes back as replaces_id)
// until the bubble is closed, by Fechar or by the service (timed out,
// dismissed). At most one call is on the bus at a time: what is asked for
// while one is under way waits and only the latest request is sent, so a
// pass that changes the text on every row costs the desktop a handful of
// calls and never creates a second bubble. Calls are asynchronous; the
// replies arrive through the event loop. User-interface thread only.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

class QDBusPendingCallWatcher;

namespace app::ui {

class NotificacaoDesktop : public QObject {
  Q_OBJECT

 public:
  explicit NotificacaoDesktop(QObject* pai = nullptr);

  // True while a notification service is registered on the session bus
  // (followed as services come and go).
  bool Disponivel() const { return disponivel_; }

  // Shows the bubble with this title and text for `duracaoMs`, replacing
  // the one on screen.
  void Mostrar(const QString& titulo, const QString& texto, int duracaoMs);
  // Closes the bubble on screen (nothing when there is none).
  void Fechar();

  // The id of the bubble on screen; 0 when there is none (or its creation
  // has not been answered yet).
  uint Id() const { return id_; }

 signals:
  // The service closed the bubble (timed out, dismissed by the user).
  void fechadaPeloServico();

 private slots:
  void AoFechar(uint id, uint motivo);

 private:
  struct Pedido {
    QString titulo;
    QString texto;
    int duracaoMs = 0;
  };
  void Enviar(const Pedido& pedido);
  void AoResponder(QDBusPendingCallWatcher* chamada);

  QDBusConnection barramento_;
  bool disponivel_ = false;
  uint id_ = 0;
  bool emCurso_ = false;
  bool fecharAoResponder_ = false;
  std::optional<Pedido> pendente_;
};

}  // namespace app::ui
