// Text forms of date-times: FormatDateTime patterns and reading dates and
// times back from text.
#include <cmath>
#include <string>

#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"

namespace rtl {

namespace {

const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

inline char Up(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (Up(text[at + i]) != Up(word[i])) return false;
  return true;
}

std::string Pad(int value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
  return s;
}

struct Parts {
  int year, month, day, hour, min, sec, msec, dow;
};

// Whether the pattern asks for a 12-hour clock (holds am/pm, a/p or ampm
// outside quotes).
bool UsesTwelveHours(std::string_view p) {
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '\'' || p[i] == '"') {
      const size_t end = p.find(p[i], i + 1);
      if (end == std::string_view::npos) return false;
      i = end;
      continue;
    }
    if (StartsWithNoCase(p, i, "am/pm") || StartsWithNoCase(p, i, "a/p") ||
        StartsWithNoCase(p, i, "ampm"))
      return true;
  }
  return false;
}

// The letter of the next date-time element after `from` (skipping literals),
// upper-cased, or 0.
char NextElement(std::string_view p, size_t from) {
  for (size_t i = from; i < p.size(); ++i) {
    const char c = Up(p[i]);
    if (p[i] == '\'' || p[i] == '"') {
      const size_t end = p.find(p[i], i + 1);
      if (end == std::string_view::npos) return 0;
      i = end;
      continue;
    }
    if (c == 'Y' || c == 'M' || c == 'D' || c == 'H' || c == 'N' || c == 'S' || c == 'Z' ||
        c == 'C' || c == 'T')
      return c;
  }
  return 0;
}

void Append(std::string& out, std::string_view pattern, const Parts& v, TDateTime value,
            const TFormatSettings& fs, int depth);

void AppendCompound(std::string& out, std::string_view pattern, const Parts& v, TDateTime value,
                    const TFormatSettings& fs, int depth) {
  // Compound elements expand to the settings' patterns; those never hold
  // compound elements in turn unless misconfigured, and the depth keeps a
  // self-referring pattern from recursing for ever.
  if (depth < 2) Append(out, pattern, v, value, fs, depth + 1);
}

void Append(std::string& out, std::string_view p, const Parts& v, TDateTime value,
            const TFormatSettings& fs, int depth) {
  const bool twelve = UsesTwelveHours(p);
  char last = 0;  // the previous element, for "m" after "h" meaning minutes
  size_t i = 0;
  while (i < p.size()) {
    const char ch = p[i];
    const char c = Up(ch);
    size_t run = 1;
    while (i + run < p.size() && Up(p[i + run]) == c) ++run;
    switch (c) {
      case '\'':
      case '"': {
        const size_t end = p.find(ch, i + 1);
        const size_t stop = end == std::string_view::npos ? p.size() : end;
        out.append(p.substr(i + 1, stop - i - 1));
        i = stop == p.size() ? stop : stop + 1;
        continue;
      }
      case 'Y':
        out += run <= 2 ? Pad(v.year % 100, 2) : Pad(v.year, 4);
        break;
      case 'M': {
        const char next = NextElement(p, i + run);
        if (run <= 2 && (last == 'H' || next == 'S')) {
          out += run == 1 ? std::to_string(v.min) : Pad(v.min, 2);
          last = 'N';
          i += run;
          continue;
        }
        if (run == 1)
          out += std::to_string(v.month);
        else if (run == 2)
          out += Pad(v.month, 2);
        else if (v.month >= 1)
          out += (run == 3 ? kShortMonths : kLongMonths)[v.month - 1];
        if (run > 4) run = 4;
        break;
      }
      case 'D':
        if (run == 1)
          out += std::to_string(v.day);
        else if (run == 2)
          out += Pad(v.day, 2);
        else if (run == 3)
          out += kShortDays[v.dow - 1];
        else if (run == 4)
          out += kLongDays[v.dow - 1];
        else if (run == 5)
          AppendCompound(out, fs.ShortDateFormat, v, value, fs, depth);
        else {
          AppendCompound(out, fs.LongDateFormat, v, value, fs, depth);
          run = 6;
        }
        break;
      case 'H': {
        int h = v.hour;
        if (twelve) {
          h %= 12;
          if (h == 0) h = 12;
        }
        if (run > 2) run = 2;
        out += run == 1 ? std::to_string(h) : Pad(h, 2);
        break;
      }
      case 'N':
        if (run > 2) run = 2;
        out += run == 1 ? std::to_string(v.min) : Pad(v.min, 2);
        break;
      case 'S':
        if (run > 2) run = 2;
        out += run == 1 ? std::to_string(v.sec) : Pad(v.sec, 2);
        break;
      case 'Z':
        if (run > 3) run = 3;
        out += run < 3 ? std::to_string(v.msec) : Pad(v.msec, 3);
        break;
      case 'T':
        if (run > 2) run = 2;
        AppendCompound(out, run == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, v, value, fs, depth);
        break;
      case 'C':
        run = 1;
        AppendCompound(out, fs.ShortDateFormat, v, value, fs, depth);
        if (v.hour != 0 || v.min != 0 || v.sec != 0 || v.msec != 0) {
          out += ' ';
          AppendCompound(out, fs.LongTimeFormat, v, value, fs, depth);
        }
        break;
      case 'A':
        if (StartsWithNoCase(p, i, "am/pm")) {
          out += v.hour < 12 ? std::string(p.substr(i, 2)) : std::string(p.substr(i + 3, 2));
          i += 5;
        } else if (StartsWithNoCase(p, i, "a/p")) {
          out += v.hour < 12 ? p[i] : p[i + 2];
          i += 3;
        } else if (StartsWithNoCase(p, i, "ampm")) {
          out += v.hour < 12 ? "AM" : "PM";
          i += 4;
        } else {
          out += ch;
          ++i;
        }
        continue;
      case '/':
      case ':':
        // Separators are not elements: "hh:mm" still has "mm" after the hour.
        out += c == '/' ? fs.DateSeparator : fs.TimeSeparator;
        ++i;
        continue;
      default:
        out.append(p.substr(i, run));
        i += run;
        continue;
    }
    last = c;
    i += run;
  }
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  return FormatDateTime(pattern, value, FormatSettings());
}

std::string FormatDateTime(std::string_view pattern, TDateTime value,
                           const TFormatSettings& settings) {
  Parts v{};
  DecodeDateTime(value, v.year, v.month, v.day, v.hour, v.min, v.sec, v.msec);
  v.dow = DayOfWeek(value);
  std::string out;
  Append(out, pattern.empty() ? std::string_view("c") : pattern, v, value, settings, 0);
  return out;
}

std::string DateToStr(TDateTime value) {
  return DateToStr(value, FormatSettings());
}
std::string TimeToStr(TDateTime value) {
  return TimeToStr(value, FormatSettings());
}
std::string DateTimeToStr(TDateTime value) {
  return DateTimeToStr(value, FormatSettings());
}

std::string DateToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime(settings.ShortDateFormat, value, settings);
}

std::string TimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime(settings.LongTimeFormat, value, settings);
}

std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("c", value, settings);
}

// --- reading ------------------------------------------------------------------

namespace {

// Reads an unsigned decimal number at `i`; `digits` tells how many there were.
bool ScanNumber(std::string_view t, size_t& i, int& value, int& digits) {
  value = 0;
  digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9' && digits < 9) {
    value = value * 10 + (t[i] - '0');
    ++i;
    ++digits;
  }
  return digits > 0;
}

void SkipBlanks(std::string_view t, size_t& i) {
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
}

// Day, month, year order of the short date format: "DMY", "MDY" or "YMD".
std::string DateOrder(const std::string& format) {
  std::string order;
  for (char ch : format) {
    const char c = Up(ch);
    if ((c == 'D' || c == 'M' || c == 'Y') && order.find(c) == std::string::npos) order += c;
  }
  return order.size() == 3 ? order : "DMY";
}

int CurrentYear() {
  int y, m, d;
  DecodeDate(Now(), y, m, d);
  return y;
}

bool ScanDate(std::string_view t, size_t& i, TDateTime& value, const TFormatSettings& fs) {
  SkipBlanks(t, i);
  int n[3];
  int len[3];
  int count = 0;
  // Four digits then "-": the ISO order, whatever the settings say.
  bool iso = false;
  for (; count < 3; ++count) {
    if (!ScanNumber(t, i, n[count], len[count])) return false;
    if (count == 0 && len[0] == 4 && i < t.size() && t[i] == '-') iso = true;
    const char sep = iso ? '-' : fs.DateSeparator;
    if (count == 2 || i >= t.size() || t[i] != sep) {
      ++count;
      break;
    }
    ++i;
  }
  int year, month, day;
  int year_len;
  if (iso) {
    if (count != 3) return false;
    year = n[0], month = n[1], day = n[2], year_len = len[0];
  } else {
    const std::string order = DateOrder(fs.ShortDateFormat);
    if (count == 2) {
      // Day and month only, in the format's order: the current year.
      std::string dm = order;
      dm.erase(dm.find('Y'), 1);
      const bool day_first = dm[0] == 'D';
      day = n[day_first ? 0 : 1];
      month = n[day_first ? 1 : 0];
      year = CurrentYear();
      year_len = 4;
    } else if (count == 3) {
      int* slot[3];
      for (int k = 0; k < 3; ++k)
        slot[k] = order[k] == 'D' ? &day : (order[k] == 'M' ? &month : &year);
      for (int k = 0; k < 3; ++k) *slot[k] = n[k];
      year_len = len[order.find('Y')];
    } else {
      return false;
    }
  }
  if (year_len <= 2) {
    // Two-digit years land within 50 years of the current one.
    const int base = CurrentYear() - 50;
    year += base / 100 * 100;
    if (year < base) year += 100;
  }
  return TryEncodeDate(year, month, day, value);
}

bool ScanTime(std::string_view t, size_t& i, TDateTime& value, const TFormatSettings& fs) {
  SkipBlanks(t, i);
  int h, m = 0, s = 0, ms = 0, len;
  if (!ScanNumber(t, i, h, len)) return false;
  if (i >= t.size() || t[i] != fs.TimeSeparator) return false;
  ++i;
  if (!ScanNumber(t, i, m, len)) return false;
  if (i < t.size() && t[i] == fs.TimeSeparator) {
    ++i;
    if (!ScanNumber(t, i, s, len)) return false;
    if (i < t.size() && (t[i] == '.' || t[i] == fs.DecimalSeparator)) {
      ++i;
      if (!ScanNumber(t, i, ms, len) || len > 3) return false;
      for (; len < 3; ++len) ms *= 10;
    }
  }
  SkipBlanks(t, i);
  if (StartsWithNoCase(t, i, "am") || StartsWithNoCase(t, i, "pm")) {
    if (h < 1 || h > 12) return false;
    const bool pm = Up(t[i]) == 'P';
    h = h % 12 + (pm ? 12 : 0);
    i += 2;
  }
  return TryEncodeTime(h, m, s, ms, value);
}

bool AtEnd(std::string_view t, size_t i) {
  SkipBlanks(t, i);
  return i == t.size();
}

[[noreturn]] void Invalid(std::string_view text, const char* what) {
  throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
}

}  // namespace

bool TryStrToDate(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  size_t i = 0;
  TDateTime d;
  if (!ScanDate(text, i, d, settings) || !AtEnd(text, i)) return false;
  value = d;
  return true;
}

bool TryStrToTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  size_t i = 0;
  TDateTime t;
  if (!ScanTime(text, i, t, settings) || !AtEnd(text, i)) return false;
  value = t;
  return true;
}

bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  size_t i = 0;
  TDateTime d = 0, t = 0;
  const bool has_date = ScanDate(text, i, d, settings);
  if (!has_date) {
    i = 0;
    if (!ScanTime(text, i, t, settings) || !AtEnd(text, i)) return false;
    value = t;
    return true;
  }
  if (!AtEnd(text, i)) {
    // ISO date-times may separate the parts with a "T".
    if (i < text.size() && (text[i] == 'T' || text[i] == 't')) ++i;
    if (!ScanTime(text, i, t, settings) || !AtEnd(text, i)) return false;
  }
  value = d < 0 ? d - t : d + t;
  return true;
}

TDateTime StrToDate(std::string_view text) {
  TDateTime v;
  if (!TryStrToDate(text, v, FormatSettings())) Invalid(text, "date");
  return v;
}

TDateTime StrToTime(std::string_view text) {
  TDateTime v;
  if (!TryStrToTime(text, v, FormatSettings())) Invalid(text, "time");
  return v;
}

TDateTime StrToDateTime(std::string_view text) {
  TDateTime v;
  if (!TryStrToDateTime(text, v, FormatSettings())) Invalid(text, "date and time");
  return v;
}

}  // namespace rtl
