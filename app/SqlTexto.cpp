#include "app/SqlTexto.h"

#include "wire/MysqlClient.h"

namespace app {

std::string Aspas(const std::string& valor) {
  return Juntar(EntreAspas(valor));
}

namespace detalhe {

void Acrescentar(std::string& s, const EntreAspas& parte) {
  s += '\'';
  wire::AppendEscaped(s, parte.valor);
  s += '\'';
}

}  // namespace detalhe

}  // namespace app
