#include "app/ErrosDoPasso.h"

#include "app/Catalogo.h"

namespace app {

bool ErrosDoPasso::Registrar(const std::string& contexto, const std::string& mensagem) {
  if (log_.GravarLogErro(contexto, mensagem)) return true;
  if (naoGravados_++ == 0) {
    registro_.Linha(painel_, LinhaFalhaLogErro(log_.UltimoArquivo(), log_.UltimoErro()));
  }
  return false;
}

}  // namespace app
