// The agent's own icon, drawn in code so that the window, the tray and the
// desktop entry share one picture: a point-of-sale terminal with an arrow
// bringing data in, on a blue tile. ImagemIconeAgente needs no application
// object (the build uses it to write the PNG the desktop entry names);
// IconeAgente needs a QGuiApplication. Any thread for the image, the
// user-interface thread for the icon.
#pragma once

#include <QIcon>
#include <QImage>

namespace app::ui {

// The picture at `lado` × `lado` pixels (64 is the design size).
QImage ImagemIconeAgente(int lado = 64);
// The picture at the usual icon sizes, 16 to 64.
QIcon IconeAgente();

}  // namespace app::ui
