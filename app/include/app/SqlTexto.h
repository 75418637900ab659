// Placing back-office values in the statements the agent builds.
//
// Every quoted value goes through Aspas or EntreAspas: the value escaped the
// way the server that runs the statement reads string literals (the wire
// client's EscapeString) and enclosed in single quotes, so that a name like
// O'Neil or a value ending in a backslash stays one value instead of
// breaking the statement. How the server reads a backslash depends on its
// session (NO_BACKSLASH_ESCAPES), so each statement is built for the mode
// its connection reports. Ordinary values come out exactly as they went in.
// A value that cannot be written so that it arrives whole (a CR or LF on its
// own for a session without backslash escapes) makes the building throw
// std::runtime_error with the reason for the daily log. Pure; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace components {
class TmySQLDatabase;
}

namespace app {

// How the server reads a string literal: backslash escapes (the usual) or,
// with NO_BACKSLASH_ESCAPES, only a doubled quote as an escape.
enum class ModoAspas { Barras, Dobradas };

// The mode of an open connection, as its server last reported it.
ModoAspas ModoDe(const components::TmySQLDatabase& banco);

// "'" + escaped `valor` + "'".
std::string Aspas(const std::string& valor, ModoAspas modo);

// A value that Juntar writes quoted and escaped, as Aspas does. It only
// refers to the value: use it inside the Juntar call that writes it.
struct EntreAspas {
  EntreAspas(std::string_view v, ModoAspas m) : valor(v), modo(m) {}
  std::string_view valor;
  ModoAspas modo;
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

// The codes one after the other with "," between them, for the "in (...)"
// list of a batched marking.
std::string SeparadoPorVirgulas(const std::vector<std::string>& codigos);

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
