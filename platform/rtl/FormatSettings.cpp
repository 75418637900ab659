#include "rtl/FormatSettings.h"

namespace rtl {

TFormatSettings TFormatSettings::Brazilian() {
  return TFormatSettings{};
}

TFormatSettings TFormatSettings::Invariant() {
  TFormatSettings s;
  s.DecimalSeparator = '.';
  s.ThousandSeparator = ',';
  s.DateSeparator = '-';
  s.TimeSeparator = ':';
  s.ShortDateFormat = "yyyy-mm-dd";
  s.LongDateFormat = "yyyy-mm-dd";
  s.ShortTimeFormat = "hh:nn";
  s.LongTimeFormat = "hh:nn:ss";
  return s;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = TFormatSettings::Brazilian();
  return settings;
}

}  // namespace rtl
