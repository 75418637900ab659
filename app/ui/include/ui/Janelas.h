// Entry of the windowed agent: builds the Qt application, the main window
// (which owns the agent), runs its creation steps and the message loop until
// the agent ends the program. The window is the task bar's entry; hiding it
// to the tray does not end the program.
#pragma once

#include "app/Opcoes.h"

namespace app::ui {

// Returns the program's exit code.
int ExecutarJanelas(int argc, char** argv, const OpcoesAgente& opcoes);

}  // namespace app::ui
