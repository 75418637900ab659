// Format settings: the separators and patterns that the text forms of numbers
// and dates use (field texts, FloatToStr, DateToStr, StrToFloat...).
//
// One process-wide instance, returned by rtl::FormatSettings(), is what every
// conversion without an explicit settings argument reads. It starts with the
// Brazilian Portuguese settings the agent is written for (decimal comma,
// "dd/mm/yyyy"), whatever the locale of the machine, so that float texts
// always reach the agent's normalisers in the comma form. Code that needs a
// fixed form (SQL literals) passes its own TFormatSettings instead of
// changing the shared one.
//
// The shared instance is not locked: change it at start-up, on the user
// interface thread, before other threads convert values.
#pragma once

#include <string>

namespace rtl {

struct TFormatSettings {
  char DecimalSeparator = ',';
  char ThousandSeparator = '.';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  // Patterns in FormatDateTime notation; "/" and ":" in them stand for the
  // date and time separators above.
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string LongDateFormat = "dd/mm/yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";

  // The Brazilian Portuguese settings (the process-wide default).
  static TFormatSettings Brazilian();
  // Settings with "." as decimal separator, "," as thousands separator and
  // ISO-like date patterns ("yyyy-mm-dd", "hh:nn:ss"): for SQL literals and
  // other texts that must not depend on the locale.
  static TFormatSettings Invariant();
};

// The process-wide settings; mutable.
TFormatSettings& FormatSettings();

}  // namespace rtl
