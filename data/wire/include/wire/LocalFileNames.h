// The local files a statement itself names.
//
// A server may answer any query with a request for a local file. The client
// sends a file only when the statement it sent asked for exactly that one:
// `LOAD DATA LOCAL INFILE 'name'` (or LOAD XML). This reads those names out of
// the statement text the way the server's lexer would: quoted strings,
// quoted identifiers and comments are skipped, so a value that merely
// contains such words names nothing. Executable comments (/*! ... */) are
// skipped too: a name inside one is not honoured, and such a request is
// refused. Pure; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wire {

// The file names after LOCAL INFILE in `sql`, as the server reads the string
// literal: with backslash escapes unless the session has
// NO_BACKSLASH_ESCAPES, doubled quotes always.
std::vector<std::string> LocalFilesNamed(std::string_view sql, bool noBackslashEscapes);

}  // namespace wire
