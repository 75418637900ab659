// Entry of the windowed agent: builds the Qt application, the main window
// (which owns the agent), runs its creation steps and the message loop until
// the agent ends the program. The window is the task bar's entry; hiding it
// to the tray does not end the program.
//
// Without a display to open (no DISPLAY or WAYLAND_DISPLAY, or one that
// does not answer) the program says so on standard error and ends with
// status 2. A start while the user's agent already runs with its windows
// shows that agent's window and ends with status 0 (InstanciaUnica.h).
//
// Naming in this layer, as in the agent's: data members camelCase_ with the
// trailing underscore (percentual_), locals and parameters camelCase,
// functions and types in CamelCase; the forms' controls and their handlers
// keep the names of the forms (btnIniciar, btnIniciarClick).
#pragma once

#include <string>

#include "app/Opcoes.h"

namespace app::ui {

// Returns the program's exit code.
int ExecutarJanelas(int argc, char** argv, const OpcoesAgente& opcoes);

// The program cannot start (its configuration is refused): shows `texto`
// (Windows-1252) in an error box, or on standard error when there is no
// display, and returns the exit code, 2.
int MostrarErroInicio(int argc, char** argv, const std::string& texto);

// The message of a start without a display (Windows-1252, after the
// program's name and ": ").
std::string TextoSemTela();

}  // namespace app::ui
