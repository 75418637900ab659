// Placing back-office values in the statements the agent builds.
//
// Every quoted value goes through Aspas: the value escaped with backslashes
// the way the server reads string literals (NUL, tab, LF, CR, double quote,
// single quote and backslash) and enclosed in single quotes, so that a name
// like O'Neil or a value ending in a backslash stays one value instead of
// breaking the statement. Ordinary values come out exactly as they went in.
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace app {

// `valor` escaped for the inside of a single-quoted string literal.
std::string EscaparValor(std::string_view valor);

// "'" + EscaparValor(valor) + "'".
std::string Aspas(std::string_view valor);

}  // namespace app
