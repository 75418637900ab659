// The daily error log: one text file per calendar day in the folder
// logImportacao beside the program file, receiving one entry per failed row.
//
// Each entry opens the day's file for appending (creating the folder and the
// file when missing), writes "**" + time stamp + " - " + context +
// " Erro do sistema: " + message + CR LF as Windows-1252 bytes, and closes
// the file again, so another program may read it between entries. The folder
// is created 0700 and the files 0600 (only this user reads the rows' data);
// a day file that is a symbolic link, or a folder that is another user's
// symbolic link, is refused, so no one can redirect the entries. Writing
// never throws: GravarLogErro reports whether the entry reached the file and
// keeps the reason of the last failure, so a pass can count the row as failed
// and tell the operator once. Single-threaded: the user-interface thread
// writes all entries.
#pragma once

#include <string>

#include "app/DataHora.h"
#include "os/Shell.h"

namespace app {

class LogErros {
 public:
  // `pastaPrograma` is the folder of the program file (by default the running
  // program's, a scratch folder in tests); `relogio` gives the moment of each
  // entry (Agora when empty).
  explicit LogErros(std::string pastaPrograma = os::ExecutableDirectory(), Relogio relogio = {});

  // Appends one entry; false when the folder or the file could not be
  // created, opened, written or closed (the reason is then in UltimoErro()).
  bool GravarLogErro(const std::string& contexto, const std::string& mensagem);

  // When an entry creates a new day's file, the daily files of days more
  // than `dias` before it are removed (PastaLog.h); 0 keeps them all.
  void DefinirDiasGuardados(int dias) { diasGuardados_ = dias; }
  int DiasGuardados() const { return diasGuardados_; }

  // pastaPrograma + "/logImportacao".
  std::string Pasta() const;
  // The file of the day of `momento`: Pasta() + "/" + ddmmyyyy + ".txt".
  std::string Arquivo(TDateTime momento) const;

  // The file and the reason of the last failed entry.
  const std::string& UltimoArquivo() const { return ultimoArquivo_; }
  const std::string& UltimoErro() const { return ultimoErro_; }
  // The bytes of the last entry, written or not, with its final CR LF.
  const std::string& UltimaEntrada() const { return ultimaEntrada_; }

 private:
  std::string pastaPrograma_;
  Relogio relogio_;
  std::string ultimoArquivo_;
  std::string ultimoErro_;
  std::string ultimaEntrada_;
  int diasGuardados_ = 0;
};

}  // namespace app
