// Text at the edge of the windows: the agent keeps Windows-1252 bytes in
// std::string, Qt shows Unicode. These two functions are the only place the
// windows convert between them. Pure functions, callable from any thread.
#pragma once

#include <QString>
#include <string>

namespace app::ui {

// Windows-1252 bytes to Unicode. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of
// the same number, so no byte is lost.
QString DeCp1252(const std::string& texto);

// Unicode to Windows-1252 bytes; a character the code page cannot hold
// becomes "?".
std::string ParaCp1252(const QString& texto);

}  // namespace app::ui
