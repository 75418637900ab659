// SQL renderings of engine values: the literals of generated statements and
// the plain texts rows are compared with.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Descriptors.h"

namespace engine {

class TNativeConnect;

// Whether texts quoted for this connection are written for a session with
// NO_BACKSLASH_ESCAPES (false without a connection).
bool NoBackslashEscapes(const TNativeConnect* connection);

// The value of `field` stored at `value` (the bytes after the presence byte)
// as a statement literal (`quoted`: strings, dates and booleans in single
// quotes, strings escaped) or as the plain text a row value is compared with
// (`quoted` false: nothing escaped). `for_insert` writes SET values as their
// member bitmask. Unsigned 64-bit values are written as unsigned decimals.
// Texts are escaped for the session's backslash mode.
std::string RenderValue(const TmySQLField& field, const std::uint8_t* value, bool quoted,
                        bool for_insert, bool no_backslash_escapes);

// The member text a boolean field stores for true or false.
std::string BooleanMemberText(const std::string& members, bool value);

// Whether a server column type holds numbers, which are compared by value.
bool IsNumericColumnType(int type);

// Compares a key text with a row value: numbers by value when both read as
// numbers, anything else case-insensitively. True when equal.
bool KeyTextMatches(int column_type, const std::string& key, const char* value);

}  // namespace engine
