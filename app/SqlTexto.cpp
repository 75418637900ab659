#include "app/SqlTexto.h"

#include "wire/MysqlClient.h"

namespace app {

std::string Aspas(const std::string& valor) {
  return "'" + wire::EscapeString(valor) + "'";
}

}  // namespace app
