// Date-time values of the agent and the three textual forms it writes.
//
// A date-time is a floating day count: the whole part counts days since
// 30 December 1899, the fraction is the time of day. The agent formats such
// values for its log lines ("hh:mm:ss - dd/mm/yyyy"), for its daily log file
// names ("ddmmyyyy") and for its statements ("yyyymmdd"). A clock is a
// function returning the current local date-time, so that tests can fix the
// moment. Everything here is a pure function except Agora(), which reads the
// system clock; all may be called from any thread.
#pragma once

#include <functional>
#include <string>

namespace app {

using TDateTime = double;

// Returns the current local date-time.
using Relogio = std::function<TDateTime()>;

// The current local date and time to the millisecond.
TDateTime Agora();

// The day count of a calendar date and time of day (no range checks beyond
// what the calendar needs; month 1-12, day 1-31).
TDateTime CodificarDataHora(int ano, int mes, int dia, int hora = 0, int minuto = 0,
                            int segundo = 0, int milissegundo = 0);

struct PartesDataHora {
  int ano = 1899;
  int mes = 12;
  int dia = 30;
  int hora = 0;
  int minuto = 0;
  int segundo = 0;
  int milissegundo = 0;
};

// Splits a day count into its calendar parts, rounded to the millisecond.
PartesDataHora DecodificarDataHora(TDateTime valor);

// "hh:mm:ss - dd/mm/yyyy", the time stamp of log lines.
std::string CarimboTempo(TDateTime valor);

// "ddmmyyyy", the date part of the daily log file name.
std::string DataNomeArquivo(TDateTime valor);

// "yyyymmdd", the date form placed in statements (day 0 gives 18991230).
std::string DataParaSql(TDateTime valor);

}  // namespace app
