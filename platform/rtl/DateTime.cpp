#include "rtl/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "DayNumbers.h"
#include "rtl/SysUtils.h"

namespace rtl {

namespace {

// Days from 1 January 1970 of a proleptic Gregorian date (and back); the
// classic era-based algorithms, exact for every year from 1 to 9999.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

// Days from 1970-01-01 to 1899-12-30.
constexpr int64_t kEpochOffset = -25569;

}  // namespace

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  result = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    return false;
  result = (((hour * 60 + min) * 60 + sec) * 1000 + msec) / static_cast<double>(MSecsPerDay);
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime r;
  if (!TryEncodeTime(hour, min, sec, msec, r))
    throw EConvertError("Invalid argument to time encode");
  return r;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec,
                       TDateTime& result) {
  TDateTime d, t;
  if (!TryEncodeDate(year, month, day, d) || !TryEncodeTime(hour, min, sec, msec, t)) return false;
  result = d < 0 ? d - t : d + t;
  return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
  TDateTime r;
  if (!TryEncodeDateTime(year, month, day, hour, min, sec, msec, r))
    throw EConvertError("Invalid argument to date encode");
  return r;
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  // Values far outside the calendar (or not numbers at all) come only from
  // corrupt data; they map to day 0 of the count rather than overflowing.
  if (!std::isfinite(value) || std::fabs(value) > 1e8) return TTimeStamp{};
  const double whole = std::trunc(value);
  double ms = std::round(std::fabs(value - whole) * MSecsPerDay);
  int64_t date = DateDelta + static_cast<int64_t>(whole);
  // A fraction a hair below a whole day rounds up to it: that is the next
  // day's midnight (a later day for positive values, as the time is added;
  // for negative values the time is added to the earlier day as well).
  if (ms >= MSecsPerDay) {
    ms -= MSecsPerDay;
    ++date;
  }
  TTimeStamp ts;
  ts.Date = static_cast<int>(date);
  ts.Time = static_cast<int>(ms);
  return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& stamp) {
  const double days = static_cast<double>(stamp.Date) - DateDelta;
  const double frac = stamp.Time / static_cast<double>(MSecsPerDay);
  return days < 0 ? days - frac : days + frac;
}

void detail::DecodeDayNumber(int date, int& year, int& month, int& day) {
  if (date <= 0) {
    year = month = day = 0;
    return;
  }
  CivilFromDays(static_cast<int64_t>(date) - DateDelta + kEpochOffset, year, month, day);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  detail::DecodeDayNumber(DateTimeToTimeStamp(value).Date, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
  const int t = DateTimeToTimeStamp(value).Time;
  hour = t / 3600000;
  min = t / 60000 % 60;
  sec = t / 1000 % 60;
  msec = t % 1000;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec) {
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
}

int DayOfWeek(TDateTime value) {
  const int date = DateTimeToTimeStamp(value).Date;
  // Day 1 (1 January 0001) was a Monday.
  return (date % 7 + 7) % 7 + 1;
}

TDateTime Now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&secs, &local);
  const int ms =
      static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, ms < 0 ? 0 : ms);
}

TDateTime Date() {
  return std::trunc(Now());
}

TDateTime Time() {
  const TDateTime n = Now();
  return n - std::trunc(n);
}

}  // namespace rtl
