#include "app/SqlTexto.h"

namespace app {

std::string EscaparValor(std::string_view valor) {
  std::string resultado;
  resultado.reserve(valor.size() + 8);
  for (char c : valor) {
    switch (c) {
      case '\0':
        resultado += "\\0";
        break;
      case '\t':
        resultado += "\\t";
        break;
      case '\n':
        resultado += "\\n";
        break;
      case '\r':
        resultado += "\\r";
        break;
      case '"':
      case '\'':
      case '\\':
        resultado += '\\';
        resultado += c;
        break;
      default:
        resultado += c;
    }
  }
  return resultado;
}

std::string Aspas(std::string_view valor) {
  return "'" + EscaparValor(valor) + "'";
}

}  // namespace app
