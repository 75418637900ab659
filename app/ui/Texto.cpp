#include "ui/Texto.h"

#include <array>

namespace app::ui {
namespace {

// Unicode of the bytes 0x80-0x9F; everything else equals Latin-1.
constexpr std::array<char16_t, 32> kAltos = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ByteDe(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (std::size_t i = 0; i < kAltos.size(); ++i)
    if (kAltos[i] == c) return static_cast<char>(0x80 + i);
  return '?';
}

}  // namespace

QString DeCp1252(const std::string& texto) {
  QString saida;
  saida.reserve(static_cast<qsizetype>(texto.size()));
  for (unsigned char b : texto)
    saida.append(QChar(b >= 0x80 && b < 0xA0 ? kAltos[b - 0x80] : char16_t{b}));
  return saida;
}

std::string ParaCp1252(const QString& texto) {
  std::string saida;
  saida.reserve(static_cast<std::size_t>(texto.size()));
  for (QChar c : texto) saida.push_back(ByteDe(c.unicode()));
  return saida;
}

}  // namespace app::ui
