// The agent's clock and the three textual forms it writes date-times in.
//
// A date-time is the run-time library's floating day count (rtl/DateTime.h):
// the whole part counts days since 30 December 1899, the fraction is the
// time of day. The agent formats such values for its log lines
// ("hh:mm:ss - dd/mm/yyyy"), for its daily log file names ("ddmmyyyy") and
// for its statements ("yyyymmdd", TextoData of Normalizadores.h), always with "/" and ":" whatever
// the process-wide format settings say. A clock is a function returning the current local
// date-time, so that tests can fix the moment. All functions are reentrant.
#pragma once

#include <functional>
#include <string>

#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"

namespace app {

using rtl::TDateTime;

// Returns the current local date-time.
using Relogio = std::function<TDateTime()>;

// The Brazilian settings, fixed: "/" between date parts, ":" between time
// parts, "," as decimal separator, whatever the process-wide settings hold.
const rtl::TFormatSettings& FormatoFixo();

// The current local date and time to the millisecond.
TDateTime Agora();

// "hh:mm:ss - dd/mm/yyyy", the time stamp of log lines.
std::string CarimboTempo(TDateTime valor);

// "ddmmyyyy", the date part of the daily log file name.
std::string DataNomeArquivo(TDateTime valor);

}  // namespace app
