// Placing back-office values in the statements the agent builds.
//
// Every quoted value goes through Aspas or EntreAspas: the value escaped the
// way the server reads string literals (the wire client's EscapeString: NUL,
// tab, LF, CR, double quote, single quote and backslash get a backslash) and
// enclosed in single quotes, so that a name like O'Neil or a value ending in
// a backslash stays one value instead of breaking the statement. Ordinary
// values come out exactly as they went in. Pure; any thread.
#pragma once

#include <string>
#include <string_view>

namespace app {

// "'" + escaped `valor` + "'".
std::string Aspas(const std::string& valor);

// A value that Juntar writes quoted and escaped, as Aspas does. It only
// refers to the value: use it inside the Juntar call that writes it.
struct EntreAspas {
  explicit EntreAspas(std::string_view v) : valor(v) {}
  std::string_view valor;
};

namespace detalhe {
inline std::size_t Tamanho(std::string_view parte) {
  return parte.size();
}
inline std::size_t Tamanho(const EntreAspas& parte) {
  return parte.valor.size() + 2;
}
inline void Acrescentar(std::string& s, std::string_view parte) {
  s.append(parte);
}
void Acrescentar(std::string& s, const EntreAspas& parte);
}  // namespace detalhe

// The pieces one after the other in a single string, allocated once for the
// usual case (values without characters to escape).
template <typename... Partes>
std::string Juntar(const Partes&... partes) {
  std::string s;
  s.reserve((detalhe::Tamanho(partes) + ...) + 16);
  (detalhe::Acrescentar(s, partes), ...);
  return s;
}

}  // namespace app
