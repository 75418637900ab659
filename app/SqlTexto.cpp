#include "app/SqlTexto.h"

#include <stdexcept>

#include "app/Catalogo.h"
#include "components/MySQLDatabase.h"
#include "wire/MysqlClient.h"

namespace app {

namespace {

// A CR or LF that is not part of a CR LF pair. The query that runs the
// statement joins its lines again with CR LF, which would change such a
// byte; with backslash escapes it is written as \r or \n instead.
bool TemQuebraAvulsa(std::string_view valor) {
  for (std::size_t i = valor.find_first_of("\r\n"); i != std::string_view::npos;
       i = valor.find_first_of("\r\n", i + 1)) {
    if (valor[i] == '\r' && i + 1 < valor.size() && valor[i + 1] == '\n') {
      ++i;
    } else {
      return true;
    }
  }
  return false;
}

}  // namespace

ModoAspas ModoDe(const components::TmySQLDatabase& banco) {
  return banco.NoBackslashEscapes() ? ModoAspas::Dobradas : ModoAspas::Barras;
}

std::string Aspas(const std::string& valor, ModoAspas modo) {
  return Juntar(EntreAspas(valor, modo));
}

std::string SeparadoPorVirgulas(const std::vector<std::string>& codigos) {
  std::string s;
  for (std::size_t i = 0; i < codigos.size(); ++i) {
    if (i) s += ',';
    s += codigos[i];
  }
  return s;
}

namespace detalhe {

void Acrescentar(std::string& s, const EntreAspas& parte) {
  if (parte.modo == ModoAspas::Dobradas && TemQuebraAvulsa(parte.valor)) {
    throw std::runtime_error(MotivoQuebraDeLinhaAvulsa());
  }
  s += '\'';
  wire::AppendEscaped(s, parte.valor, parte.modo == ModoAspas::Dobradas);
  s += '\'';
}

}  // namespace detalhe

}  // namespace app
