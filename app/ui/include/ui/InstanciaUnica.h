// One windowed agent per user: a second start hands over to the first,
// which shows its window, and ends.
//
// The first instance listens on a local socket in the user's runtime folder
// ($XDG_RUNTIME_DIR/tolvex-agent.sock; without that folder Qt's own place,
// reachable by this user only). A start first tries to reach it: when a
// first instance answers, the start has handed over. A socket left behind
// by a program that died is removed and taken over. User-interface thread
// only; EntregarAPrimeira waits for the answer (two seconds at most).
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace app::ui {

class InstanciaUnica : public QObject {
  Q_OBJECT

 public:
  explicit InstanciaUnica(QObject* pai = nullptr);

  // The socket's name: a path in $XDG_RUNTIME_DIR when it is set.
  static QString Nome();

  // Asks a running first instance to show its window; true when one is
  // there (this start then ends).
  bool EntregarAPrimeira();
  // Becomes the first instance; false when the socket cannot be made (the
  // program then runs without handing over).
  bool Escutar();

 signals:
  // A later start asked for the window.
  void mostrarSolicitado();

 private:
  QLocalServer* servidor_ = nullptr;
};

}  // namespace app::ui
