// Where the daily error log lives, and how long its days are kept.
//
// The folder logImportacao goes beside the program file when the program
// runs from its build folder and may write there; an installed program, and
// any run that cannot write beside the program, use the user's state folder
// ($XDG_STATE_HOME/tolvex, by default ~/.local/state/tolvex). --pasta-log
// always wins. The file names and their bytes are the same wherever the
// folder is.
//
// When a day's file is created, the daily files of days more than the kept
// number of days before it are removed (only regular files named ddmmyyyy.txt
// with a valid date; anything else in the folder is left alone). Reentrant.
#pragma once

#include <optional>
#include <string>

#include "app/DataHora.h"

namespace app {

// The folder that receives logImportacao, and whether it is the state folder.
struct PastaDoLog {
  std::string pasta;
  bool estado = false;
};

// The user's state folder for the agent: $XDG_STATE_HOME/tolvex when that is
// an absolute path, else $HOME/.local/state/tolvex.
std::string PastaEstado();

// True when `pastaPrograma` is this build's own folder (or inside it): the
// program runs from where it was built, not from an installed copy.
bool NaPastaDoBuild(const std::string& pastaPrograma);

// Chooses the folder: `pastaLog` when given; else `pastaPrograma` when the
// program runs from its build folder and can write there; else PastaEstado().
PastaDoLog EscolherPastaLog(const std::optional<std::string>& pastaLog,
                            const std::string& pastaPrograma);

// The pane line that says where the log is kept (Windows-1252; the path is
// taken as UTF-8, as the file system gives it).
std::string LinhaPastaLog(const std::string& pastaLogImportacao);

// The number of days kept when nothing else says (the build's setting).
int DiasGuardadosPadrao();

// Removes from `pastaLogImportacao` the daily files of days before
// trunc(hoje) - dias. Returns how many were removed; failures to remove
// are skipped (the next new day tries again). Nothing when dias <= 0.
int RemoverDiasAntigos(const std::string& pastaLogImportacao, TDateTime hoje, int dias);

}  // namespace app
