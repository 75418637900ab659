#include "ui/Texto.h"

#include <cstdint>

#include "wire/CodePages.h"

namespace app::ui {
namespace {

// The workstation's code page, as the wire client converts with it.
const std::uint16_t* Tabela() {
  static const std::uint16_t* const tabela = wire::CodePageTable(wire::WorkstationCodePage());
  return tabela;
}

// The character of a byte; the bytes the code page leaves undefined keep
// their own number, so that every byte comes back as it went.
char16_t CaractereDe(unsigned char b) {
  const std::uint16_t c = Tabela()[b];
  return c == wire::kUndefinedCharacter ? char16_t{b} : char16_t{c};
}

char ByteDe(char16_t c) {
  if (c < 0x80) return static_cast<char>(c);
  for (unsigned b = 0x80; b <= 0xFF; ++b)
    if (CaractereDe(static_cast<unsigned char>(b)) == c) return static_cast<char>(b);
  return '?';
}

}  // namespace

QString DeCp1252(const std::string& texto) {
  QString saida;
  saida.reserve(static_cast<qsizetype>(texto.size()));
  for (unsigned char b : texto) saida.append(QChar(CaractereDe(b)));
  return saida;
}

std::string ParaCp1252(const QString& texto) {
  std::string saida;
  saida.reserve(static_cast<std::size_t>(texto.size()));
  for (QChar c : texto) saida.push_back(ByteDe(c.unicode()));
  return saida;
}

}  // namespace app::ui
