#include "app/SqlTexto.h"

#include "wire/MysqlClient.h"

namespace app {

std::string Aspas(const std::string& valor) {
  std::string s;
  s.reserve(valor.size() + valor.size() / 8 + 2);
  s += '\'';
  wire::AppendEscaped(s, valor);
  s += '\'';
  return s;
}

}  // namespace app
