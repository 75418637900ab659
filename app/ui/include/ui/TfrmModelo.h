// The window base of the agent: a fixed single border without system
// buttons, centred on the desktop, Tahoma 8, key preview (the window's
// FormKeyDown sees every key before the focused control), Enter moving the
// focus to the next control in tab order, the yellow highlight of the edit
// being typed in, and freeing itself when it closes.
//
// The derived windows own their child widgets through Qt's parent tree. A
// window closed by close() is deleted later by the event loop (deleteLater);
// hold it in a QPointer when it may go away under you. ShowModal runs a
// local event loop, so timers and other windows keep working while it waits.
// User-interface thread only.
#pragma once

#include <QPointer>
#include <QWidget>

class QEventLoop;
class QKeyEvent;

namespace app::ui {

// Windows virtual-key code of a Qt key (F1 = 112 … F24, ESC = 27, Enter =
// 13, letters and digits as their upper-case ASCII code); 0 for keys
// without one.
int CodigoTecla(int teclaQt);

class TfrmModelo : public QWidget {
  Q_OBJECT

 public:
  // Client area `largura` × `altura`; the window is not resizable.
  TfrmModelo(int largura, int altura, QWidget* parent = nullptr);
  ~TfrmModelo() override;

  // Shows the window application-modal and returns once it has closed. The
  // window may be deleted by then (close frees it).
  void ShowModal();

  // Every plain edit of the window, then every data-aware edit: yellow
  // background if it has the keyboard focus, white otherwise.
  void DestacarEdicao();

  // Moves the window to the centre of its screen's available area.
  void Centralizar();

  // Shows a failure that left an event handler: the application's default
  // error display.
  static void MostrarFalha(QWidget* pai, const QString& texto);

 protected:
  // The common creation steps: DestacarEdicao becomes the on-enter handler
  // of every edit the window has now; the application-wide hint settings
  // and the short date format. The main window does not run them.
  void FormCreate();

  // Key preview: called with the virtual-key code of every key pressed in
  // the window, before the focused control sees it (once per press). The
  // derived windows hand it to the agent (F10, F12 and their own keys).
  // Returns true when it used the key; the key still reaches the control
  // either way.
  virtual bool FormKeyDown(int tecla);
  // Character keys: Enter moves the focus to the next control.
  virtual void FormKeyPress(int caractere);

  bool eventFilter(QObject* objeto, QEvent* evento) override;
  void closeEvent(QCloseEvent* evento) override;
  void showEvent(QShowEvent* evento) override;

 private:
  // The key press last handed to FormKeyDown and the widget it was sent
  // to. Qt offers an ignored key press to each parent in turn, and may
  // offer it again after a modal loop ran inside the handler; the
  // application-wide filter sees every offer, and only the first one
  // counts. A key release in this window ends the press, so the next press
  // is always new.
  struct TeclaVista {
    const QEvent* evento = nullptr;
    int tecla = 0;
    quint64 momento = 0;
    QPointer<QObject> alvo;
  };
  bool JaVista(const QObject* objeto, const QKeyEvent* evento) const;

  TeclaVista ultimaTecla_;
  bool centrada_ = false;
  QEventLoop* laco_ = nullptr;
};

}  // namespace app::ui
