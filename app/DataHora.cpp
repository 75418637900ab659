#include "app/DataHora.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace app {
namespace {

constexpr long long kMsPorDia = 86400000LL;
// Days from 1970-01-01 back to the day count's origin, 1899-12-30.
constexpr long long kDiasAte1970 = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's rule).
long long DiasDesde1970(int ano, int mes, int dia) {
  long long y = ano - (mes <= 2 ? 1 : 0);
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long doy = (153 * (mes + (mes > 2 ? -3 : 9)) + 2) / 5 + dia - 1;
  long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void DataDeDias(long long z, int& ano, int& mes, int& dia) {
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  dia = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  mes = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  ano = static_cast<int>(yoe + era * 400 + (mes <= 2 ? 1 : 0));
}

std::string Dois(int n) {
  char texto[16];
  std::snprintf(texto, sizeof texto, "%02d", n);
  return texto;
}

std::string Quatro(int n) {
  char texto[16];
  std::snprintf(texto, sizeof texto, "%04d", n);
  return texto;
}

}  // namespace

TDateTime Agora() {
  using namespace std::chrono;
  auto agora = system_clock::now();
  std::time_t segundos = system_clock::to_time_t(agora);
  long long ms = duration_cast<milliseconds>(agora.time_since_epoch()).count() % 1000;
  if (ms < 0) ms += 1000;
  std::tm local{};
  localtime_r(&segundos, &local);
  return CodificarDataHora(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                           local.tm_min, local.tm_sec, static_cast<int>(ms));
}

TDateTime CodificarDataHora(int ano, int mes, int dia, int hora, int minuto, int segundo,
                            int milissegundo) {
  double dias = static_cast<double>(DiasDesde1970(ano, mes, dia) + kDiasAte1970);
  double fracao = (((hora * 60.0 + minuto) * 60.0 + segundo) * 1000.0 + milissegundo) / kMsPorDia;
  // Before the origin the fraction still counts forward within the day.
  return dias >= 0 ? dias + fracao : dias - fracao;
}

PartesDataHora DecodificarDataHora(TDateTime valor) {
  // Rounded to the millisecond first, so 23:59:59.9996 becomes the next day.
  long long ms = std::llround(valor * kMsPorDia);
  long long dias = ms / kMsPorDia;  // toward zero, as the day count is read
  long long hora = std::llabs(ms) % kMsPorDia;
  PartesDataHora partes;
  DataDeDias(dias - kDiasAte1970, partes.ano, partes.mes, partes.dia);
  partes.hora = static_cast<int>(hora / 3600000);
  partes.minuto = static_cast<int>(hora / 60000 % 60);
  partes.segundo = static_cast<int>(hora / 1000 % 60);
  partes.milissegundo = static_cast<int>(hora % 1000);
  return partes;
}

std::string CarimboTempo(TDateTime valor) {
  PartesDataHora p = DecodificarDataHora(valor);
  return Dois(p.hora) + ":" + Dois(p.minuto) + ":" + Dois(p.segundo) + " - " + Dois(p.dia) + "/" +
         Dois(p.mes) + "/" + Quatro(p.ano);
}

std::string DataNomeArquivo(TDateTime valor) {
  PartesDataHora p = DecodificarDataHora(valor);
  return Dois(p.dia) + Dois(p.mes) + Quatro(p.ano);
}

std::string DataParaSql(TDateTime valor) {
  PartesDataHora p = DecodificarDataHora(valor);
  return Quatro(p.ano) + Dois(p.mes) + Dois(p.dia);
}

}  // namespace app
