// Text forms of date-times: FormatDateTime patterns and reading dates and
// times back from text.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DayNumbers.h"
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

// A pattern is compiled once into steps (per thread, per pattern and
// settings) and then run for each value: reading the pattern letter by
// letter for every field value of a large result would cost more than
// writing the digits.

// The parts of a date-time a step prints.
enum class Part : std::uint8_t {
  kYear,
  kYear2,
  kMonth,
  kDay,
  kHour,
  kHour12,
  kMin,
  kSec,
  kMsec,
  kDow
};

enum class StepKind : std::uint8_t {
  kText,            // `text`
  kNumber,          // `part` in decimal, zero-padded to `width`
  kName,            // names[part - 1]; nothing for a month 0
  kAmPm,            // `text` before noon, `alt` from noon on
  kSkipAtMidnight,  // skips the next `skip` steps when the time of day is 0
};

struct Step {
  StepKind kind = StepKind::kText;
  Part part = Part::kYear;
  std::uint8_t width = 0;
  std::size_t skip = 0;
  const char* const* names = nullptr;
  std::string text, alt;
};

struct Program {
  std::string pattern;
  char date_separator = 0;
  char time_separator = 0;
  // Whether the steps came in part from the settings' patterns (c, t, tt,
  // ddddd, dddddd): then those belong to the cache key as well.
  bool uses_formats = false;
  std::string short_date, long_date, short_time, long_time;
  std::vector<Step> steps;
  // The longest text the steps can write.
  std::size_t max_length = 0;

  void Text(std::string_view t) {
    Step s;
    s.text = std::string(t);
    max_length += t.size();
    steps.push_back(std::move(s));
  }
  void Number(Part part, int width) {
    Step s;
    s.kind = StepKind::kNumber;
    s.part = part;
    s.width = static_cast<std::uint8_t>(width);
    max_length += 11;  // any int
    steps.push_back(std::move(s));
  }
  void Name(Part part, const char* const* names) {
    Step s;
    s.kind = StepKind::kName;
    s.part = part;
    s.names = names;
    max_length += 9;  // "September", "Wednesday"
    steps.push_back(std::move(s));
  }
  void AmPm(std::string_view before_noon, std::string_view from_noon) {
    Step s;
    s.kind = StepKind::kAmPm;
    s.text = std::string(before_noon);
    s.alt = std::string(from_noon);
    max_length += std::max(before_noon.size(), from_noon.size());
    steps.push_back(std::move(s));
  }
};

void Compile(std::string_view p, const TFormatSettings& fs, int depth, Program& prog);

void CompileCompound(std::string_view pattern, const TFormatSettings& fs, int depth,
                     Program& prog) {
  // Compound elements expand to the settings' patterns; those never hold
  // compound elements in turn unless misconfigured, and the depth keeps a
  // self-referring pattern from recursing for ever.
  prog.uses_formats = true;
  if (depth < 2) Compile(pattern, fs, depth + 1, prog);
}

// A quoted text from position i (at the quote); answers the position after
// the closing quote (the end when there is none).
size_t CompileQuoted(std::string_view p, size_t i, Program& prog) {
  const size_t end = p.find(p[i], i + 1);
  const size_t stop = end == std::string_view::npos ? p.size() : end;
  prog.Text(p.substr(i + 1, stop - i - 1));
  return stop == p.size() ? stop : stop + 1;
}

// "am/pm", "a/p" or "ampm" from position i; any other "a" is text. Answers
// the position after the element.
size_t CompileAmPm(std::string_view p, size_t i, Program& prog) {
  if (StartsWithNoCase(p, i, "am/pm")) {
    prog.AmPm(p.substr(i, 2), p.substr(i + 3, 2));
    return i + 5;
  }
  if (StartsWithNoCase(p, i, "a/p")) {
    prog.AmPm(p.substr(i, 1), p.substr(i + 2, 1));
    return i + 3;
  }
  if (StartsWithNoCase(p, i, "ampm")) {
    prog.AmPm("AM", "PM");
    return i + 4;
  }
  prog.Text(p.substr(i, 1));
  return i + 1;
}

// "d" to "dddddd": day number, day names, the short or the long date.
// Answers the run length the element takes.
size_t CompileDay(size_t run, const TFormatSettings& fs, int depth, Program& prog) {
  if (run <= 2)
    prog.Number(Part::kDay, static_cast<int>(run));
  else if (run == 3)
    prog.Name(Part::kDow, kShortDays);
  else if (run == 4)
    prog.Name(Part::kDow, kLongDays);
  else if (run == 5)
    CompileCompound(fs.ShortDateFormat, fs, depth, prog);
  else {
    CompileCompound(fs.LongDateFormat, fs, depth, prog);
    run = 6;
  }
  return run;
}

// "c": the short date, then the long time unless it is midnight.
void CompileDateAndTime(const TFormatSettings& fs, int depth, Program& prog) {
  CompileCompound(fs.ShortDateFormat, fs, depth, prog);
  const size_t skip_at = prog.steps.size();
  Step skip;
  skip.kind = StepKind::kSkipAtMidnight;
  prog.steps.push_back(std::move(skip));
  prog.Text(" ");
  CompileCompound(fs.LongTimeFormat, fs, depth, prog);
  prog.steps[skip_at].skip = prog.steps.size() - skip_at - 1;
}

void Compile(std::string_view p, const TFormatSettings& fs, int depth, Program& prog) {
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
      case '"':
        i = CompileQuoted(p, i, prog);
        continue;
      case 'Y':
        if (run <= 2)
          prog.Number(Part::kYear2, 2);
        else
          prog.Number(Part::kYear, 4);
        break;
      case 'M': {
        const char next = NextElement(p, i + run);
        if (run <= 2 && (last == 'H' || next == 'S')) {
          prog.Number(Part::kMin, static_cast<int>(run));
          last = 'N';
          i += run;
          continue;
        }
        if (run <= 2)
          prog.Number(Part::kMonth, static_cast<int>(run));
        else
          prog.Name(Part::kMonth, run == 3 ? kShortMonths : kLongMonths);
        if (run > 4) run = 4;
        break;
      }
      case 'D':
        run = CompileDay(run, fs, depth, prog);
        break;
      case 'H':
        if (run > 2) run = 2;
        prog.Number(twelve ? Part::kHour12 : Part::kHour, static_cast<int>(run));
        break;
      case 'N':
        if (run > 2) run = 2;
        prog.Number(Part::kMin, static_cast<int>(run));
        break;
      case 'S':
        if (run > 2) run = 2;
        prog.Number(Part::kSec, static_cast<int>(run));
        break;
      case 'Z':
        if (run > 3) run = 3;
        prog.Number(Part::kMsec, run < 3 ? 1 : 3);
        break;
      case 'T':
        if (run > 2) run = 2;
        CompileCompound(run == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, fs, depth, prog);
        break;
      case 'C':
        run = 1;
        CompileDateAndTime(fs, depth, prog);
        break;
      case 'A':
        i = CompileAmPm(p, i, prog);
        continue;
      case '/':
      case ':':
        // Separators are not elements: "hh:mm" still has "mm" after the hour.
        prog.Text(std::string_view(c == '/' ? &fs.DateSeparator : &fs.TimeSeparator, 1));
        ++i;
        continue;
      default:
        prog.Text(p.substr(i, run));
        i += run;
        continue;
    }
    last = c;
    i += run;
  }
}

bool SameKey(const Program& prog, std::string_view pattern, const TFormatSettings& fs) {
  if (prog.pattern != pattern || prog.date_separator != fs.DateSeparator ||
      prog.time_separator != fs.TimeSeparator)
    return false;
  return !prog.uses_formats ||
         (prog.short_date == fs.ShortDateFormat && prog.long_date == fs.LongDateFormat &&
          prog.short_time == fs.ShortTimeFormat && prog.long_time == fs.LongTimeFormat);
}

// The compiled form of `pattern` under `fs`, from this thread's cache of the
// last few patterns used.
const Program& CompiledPattern(std::string_view pattern, const TFormatSettings& fs) {
  constexpr size_t kCacheSize = 16;
  thread_local std::vector<Program> cache;
  thread_local size_t next_victim = 0;
  for (const Program& prog : cache)
    if (SameKey(prog, pattern, fs)) return prog;
  Program prog;
  prog.pattern = std::string(pattern);
  prog.date_separator = fs.DateSeparator;
  prog.time_separator = fs.TimeSeparator;
  Compile(pattern, fs, 0, prog);
  if (prog.uses_formats) {
    prog.short_date = fs.ShortDateFormat;
    prog.long_date = fs.LongDateFormat;
    prog.short_time = fs.ShortTimeFormat;
    prog.long_time = fs.LongTimeFormat;
  }
  if (cache.size() < kCacheSize) {
    cache.push_back(std::move(prog));
    return cache.back();
  }
  Program& slot = cache[next_victim];
  next_victim = (next_victim + 1) % kCacheSize;
  slot = std::move(prog);
  return slot;
}

// Writes `value` zero-padded to `width` digits at `o`; returns the end.
char* WriteNumber(char* o, int value, int width) {
  if (value >= 0 && value < 100 && width <= 2) {
    if (value >= 10 || width == 2) *o++ = static_cast<char>('0' + value / 10);
    *o++ = static_cast<char>('0' + value % 10);
    return o;
  }
  char digits[16];
  const auto r = std::to_chars(digits, digits + sizeof digits, value);
  const int n = static_cast<int>(r.ptr - digits);
  if (n < width) o = std::fill_n(o, width - n, '0');
  return std::copy(digits, r.ptr, o);
}

char* WriteText(char* o, const std::string& text) {
  // Mostly a single separator: not worth a call to copy memory.
  if (text.size() == 1) {
    *o = text[0];
    return o + 1;
  }
  return std::copy(text.begin(), text.end(), o);
}

// The hour on a 12-hour clock: 12, 1, ..., 11, 12, 1, ...
int Hour12(int hour) {
  const int h = hour % 12;
  return h == 0 ? 12 : h;
}

std::string Run(const Program& prog, const TTimeStamp& ts) {
  int year, month, day;
  detail::DecodeDayNumber(ts.Date, year, month, day);
  const int t = ts.Time;
  const int hour = t / 3600000;
  const int dow = (ts.Date % 7 + 7) % 7 + 1;
  // The value of each Part, in its order.
  const int numbers[] = {year,         year % 100,     month,         day,      hour,
                         Hour12(hour), t / 60000 % 60, t / 1000 % 60, t % 1000, dow};
  static_assert(std::size(numbers) == static_cast<size_t>(Part::kDow) + 1);
  // The text is written into the stack, so the result is allocated once.
  char local[128];
  std::unique_ptr<char[]> heap;
  char* const out = prog.max_length <= sizeof local
                        ? local
                        : (heap = std::make_unique<char[]>(prog.max_length)).get();
  char* o = out;
  const std::vector<Step>& steps = prog.steps;
  for (size_t k = 0; k < steps.size(); ++k) {
    const Step& s = steps[k];
    switch (s.kind) {
      case StepKind::kText:
        o = WriteText(o, s.text);
        break;
      case StepKind::kNumber:
        o = WriteNumber(o, numbers[static_cast<size_t>(s.part)], s.width);
        break;
      case StepKind::kName:
        if (s.part == Part::kDow || month >= 1) {
          const char* name = s.names[(s.part == Part::kDow ? dow : month) - 1];
          o = std::copy(name, name + std::strlen(name), o);
        }
        break;
      case StepKind::kAmPm:
        o = WriteText(o, hour < 12 ? s.text : s.alt);
        break;
      case StepKind::kSkipAtMidnight:
        if (t == 0) k += s.skip;
        break;
    }
  }
  return std::string(out, static_cast<size_t>(o - out));
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  return FormatDateTime(pattern, value, FormatSettings());
}

std::string FormatDateTime(std::string_view pattern, TDateTime value,
                           const TFormatSettings& settings) {
  const Program& prog =
      CompiledPattern(pattern.empty() ? std::string_view("c") : pattern, settings);
  return Run(prog, DateTimeToTimeStamp(value));
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

// The whole text, blanks around it aside, read by `scan` (ScanDate or
// ScanTime); `value` is set only when it reads.
bool ScanWhole(bool (*scan)(std::string_view, size_t&, TDateTime&, const TFormatSettings&),
               std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  size_t i = 0;
  TDateTime v;
  if (!scan(text, i, v, settings) || !AtEnd(text, i)) return false;
  value = v;
  return true;
}

[[noreturn]] void Invalid(std::string_view text, const char* what) {
  throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
}

}  // namespace

bool TryStrToDate(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  return ScanWhole(ScanDate, text, value, settings);
}

bool TryStrToTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  return ScanWhole(ScanTime, text, value, settings);
}

bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  size_t i = 0;
  TDateTime d = 0, t = 0;
  const bool has_date = ScanDate(text, i, d, settings);
  if (!has_date) return ScanWhole(ScanTime, text, value, settings);
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
