#include "app/Normalizadores.h"

#include <array>
#include <cmath>

#include "rtl/SysUtils.h"

namespace app {
namespace {

bool EhBranco(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// Byte → replacement for LimparTexto; 0 keeps the byte.
constexpr std::array<char, 256> TabelaLimpeza() {
  std::array<char, 256> t{};
  auto marcar = [&t](const char* bytes, char por) {
    for (const char* b = bytes; *b != '\0'; ++b) t[static_cast<unsigned char>(*b)] = por;
  };
  marcar("'#,|", ' ');
  marcar("\xE1\xE0\xE2\xE4\xE3", 'a');
  marcar("\xE9\xE8\xEA\xEB", 'e');
  marcar("\xED\xEC\xEE\xEF", 'i');
  marcar("\xF3\xF2\xF4\xF6\xF5", 'o');
  marcar("\xFA\xF9\xFB\xFC", 'u');
  marcar("\xF1", 'n');
  marcar("\xE7", 'c');
  marcar("\xC1\xC0\xC2\xC4\xC3", 'A');
  marcar("\xC9\xC8\xCA\xCB", 'E');
  marcar("\xCD\xCC\xCE\xCF", 'I');
  marcar("\xD3\xD2\xD4\xD6\xD5", 'O');
  marcar("\xDA\xD9\xDB\xDC", 'U');
  marcar("\xD1", 'N');
  marcar("\xC7", 'C');
  return t;
}

constexpr std::array<char, 256> kLimpeza = TabelaLimpeza();

}  // namespace

bool EhVazio(std::string_view texto) {
  for (char c : texto) {
    if (!EhBranco(c)) return false;
  }
  return true;
}

std::string Aparar(std::string_view texto) {
  size_t inicio = 0;
  size_t fim = texto.size();
  while (inicio < fim && EhBranco(texto[inicio])) ++inicio;
  while (fim > inicio && EhBranco(texto[fim - 1])) --fim;
  return std::string(texto.substr(inicio, fim - inicio));
}

std::string LimparTexto(std::string_view texto) {
  std::string resultado(texto);
  for (char& c : resultado) {
    char novo = kLimpeza[static_cast<unsigned char>(c)];
    if (novo != 0) c = novo;
  }
  return resultado;
}

std::string SomenteNumeros(std::string_view texto) {
  std::string digitos;
  for (char c : texto) {
    if (c >= '0' && c <= '9') digitos += c;
  }
  if (digitos.empty()) return "00000000000";
  return digitos;
}

std::string RemoverPontos(std::string_view texto) {
  std::string resultado;
  resultado.reserve(texto.size());
  for (char c : texto) {
    if (c != '.') resultado += c;
  }
  return resultado;
}

std::string VirgulaParaPonto(std::string_view texto) {
  std::string resultado(texto);
  for (char& c : resultado) {
    if (c == ',') c = '.';
  }
  return resultado;
}

int TempoEmSegundos(TDateTime hora) {
  // Only the time of day counts; a value no date field can hold gives 0.
  if (!std::isfinite(hora) || std::fabs(hora) > 1e7) return 0;
  int horas = 0, minutos = 0, segundos = 0, milissegundos = 0;
  rtl::DecodeTime(hora, horas, minutos, segundos, milissegundos);
  return horas + minutos + segundos;
}

std::string VazioParaNull(std::string_view texto) {
  if (EhVazio(texto)) return "null";
  return std::string(texto);
}

std::string Truncar(std::string_view texto, size_t tamanho) {
  return std::string(texto.substr(0, tamanho));
}

std::optional<int> LerInteiro(std::string_view texto) {
  // rtl's integer reading without the hexadecimal forms it also takes
  // ("$1F", "0x1F").
  int valor = 0;
  if (texto.find_first_of("$xX") != std::string_view::npos || !rtl::TryStrToInt(texto, valor))
    return std::nullopt;
  return valor;
}

std::string CstParaCsosn(std::string_view cst) {
  if (EhVazio(cst)) return "";
  std::optional<int> numero = LerInteiro(cst);
  if (!numero) return "";
  switch (*numero) {
    case 0:
      return "101";
    case 10:
      return "102";
    case 20:
      return "103";
    case 30:
      return "201";
    case 40:
      return "202";
    case 41:
      return "203";
    case 50:
      return "300";
    case 51:
      return "400";
    case 60:
      return "500";
    case 70:
      return "900";
    default:
      return "";
  }
}

std::string CodigoUnidade(std::string_view unidade) {
  if (EhVazio(unidade)) return "1";
  static constexpr std::array<std::string_view, 8> kUnidades = {"KG", "UN",  "MT", "M2",
                                                                "M3", "PCT", "CX", "LT"};
  std::string maiuscula(unidade);
  for (char& c : maiuscula) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (size_t i = 0; i < kUnidades.size(); ++i) {
    if (kUnidades[i] == maiuscula) return std::to_string(i);
  }
  return "-1";
}

std::optional<int> CodigoErro(std::string_view mensagem) {
  // "MySQL Error Code: (" has 19 characters; the number starts at the 20th.
  constexpr size_t kInicio = 19;
  size_t fecha = mensagem.find(')');
  if (fecha == std::string_view::npos || fecha <= kInicio) return std::nullopt;
  return LerInteiro(mensagem.substr(kInicio, fecha - kInicio));
}

std::string TextoNumero(std::string_view texto) {
  return VazioParaNull(VirgulaParaPonto(RemoverPontos(texto)));
}

std::string TextoData(TDateTime data) {
  return rtl::FormatDateTime("yyyymmdd", data, FormatoFixo());
}

}  // namespace app
