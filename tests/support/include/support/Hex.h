// Bytes written as hex digits and read back, for the tests' expectations and
// their failure messages.
#pragma once

#include <string>
#include <string_view>

namespace support {

// Lowercase hex with a blank between bytes, for readable failure messages.
std::string Hex(std::string_view bytes);
// Uppercase hex without blanks, as the server's hex() writes it.
std::string ServerHex(std::string_view bytes);
// Bytes from hex digits; blanks are ignored.
std::string FromHex(std::string_view hex);

}  // namespace support
