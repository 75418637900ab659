// The failed rows of one import pass: each goes to the daily error log (and
// its entry to the view, which may show it elsewhere too), and when the log cannot be written the
// operator is told on the pass's pane, once per pass, instead of the pass stopping half-way.
//
// Create one object at the start of each pass run. It refers to the log and
// the activity log without owning them; both must outlive it.
// Single-threaded, like the passes.
#pragma once

#include <string>

#include "app/AgentView.h"
#include "app/LogErros.h"
#include "app/RegistroAtividade.h"

namespace app {

// A failure of the connection itself rather than of the statement: client
// errors 2002, 2003, 2005, 2006 and 2013 (read from the message as
// CodigoErro does). The client has already tried one reconnect by then.
bool FalhaDeConexao(const std::string& mensagem);

class ErrosDoPasso {
 public:
  ErrosDoPasso(LogErros& log, RegistroAtividade& registro, Painel painel)
      : log_(log), registro_(registro), painel_(painel) {}

  // Writes the entry; when it cannot be written and this pass has not said
  // so yet, appends the file and the reason to the pane. True when written.
  bool Registrar(const std::string& contexto, const std::string& mensagem);

  // Entries that did not reach the file in this pass.
  int NaoGravados() const { return naoGravados_; }

 private:
  LogErros& log_;
  RegistroAtividade& registro_;
  Painel painel_;
  int naoGravados_ = 0;
};

}  // namespace app
