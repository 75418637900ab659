// Application-wide settings the windows share: the Tahoma font, and the
// hint settings and short date format of the common window creation steps.
//
// Everything here acts on the one QApplication and must be called from the
// user-interface thread after it exists.
#pragma once

#include <QFont>

namespace app::ui {

// Registers Tahoma (regular and bold) from the folders that ship a
// metric-compatible copy; where none is found, "Tahoma" is substituted by
// a narrow sans-serif of the system. True when a real Tahoma was
// registered. Safe to call more than once.
bool PrepararFontes();

// Tahoma at the given point size.
QFont FonteTahoma(int pontos, bool negrito = false);

// Hint background yellow, hints appearing after 100 ms and hidden after
// 7000 ms, short date format "dd/mm/yyyy". Safe to call more than once.
void AplicarPadroesDeJanela();

// The hint timings in force (0 until AplicarPadroesDeJanela ran).
int AtrasoDica();
int DuracaoDica();

}  // namespace app::ui
