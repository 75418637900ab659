#include "app/ErrosDoPasso.h"

#include "app/Catalogo.h"
#include "app/Normalizadores.h"

namespace app {

bool FalhaDeConexao(const std::string& mensagem) {
  const std::optional<int> codigo = CodigoErro(mensagem);
  if (!codigo) return false;
  switch (*codigo) {
    case 2002:
    case 2003:
    case 2005:
    case 2006:
    case 2013:
      return true;
    default:
      return false;
  }
}

bool ErrosDoPasso::Registrar(const std::string& contexto, const std::string& mensagem) {
  const bool gravado = log_.GravarLogErro(contexto, mensagem);
  registro_.EntradaLog(log_.UltimaEntrada());
  if (gravado) return true;
  if (naoGravados_++ == 0) {
    registro_.Linha(painel_, LinhaFalhaLogErro(log_.UltimoArquivo(), log_.UltimoErro()));
  }
  return false;
}

}  // namespace app
