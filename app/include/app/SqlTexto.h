// Placing back-office values in the statements the agent builds.
//
// Every quoted value goes through Aspas: the value escaped the way the
// server reads string literals (the wire client's EscapeString: NUL, tab,
// LF, CR, double quote, single quote and backslash get a backslash) and
// enclosed in single quotes, so that a name like O'Neil or a value ending in
// a backslash stays one value instead of breaking the statement. Ordinary
// values come out exactly as they went in. Pure; any thread.
#pragma once

#include <string>

namespace app {

// "'" + escaped `valor` + "'".
std::string Aspas(const std::string& valor);

}  // namespace app
