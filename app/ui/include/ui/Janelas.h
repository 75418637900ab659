// Entry of the windowed agent: builds the Qt application, the main window
// (which owns the agent), runs its creation steps and the message loop until
// the agent ends the program. The window is the task bar's entry; hiding it
// to the tray does not end the program.
#pragma once

#include <string>

#include "app/Opcoes.h"

namespace app::ui {

// Returns the program's exit code.
int ExecutarJanelas(int argc, char** argv, const OpcoesAgente& opcoes);

// The program cannot start (its configuration is refused): shows `texto`
// (Windows-1252) in an error box and returns the exit code, 2.
int MostrarErroInicio(int argc, char** argv, const std::string& texto);

}  // namespace app::ui
