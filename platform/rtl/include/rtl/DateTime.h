// Date-times as floating day counts and their text forms.
//
// A TDateTime is a double: the whole part counts days since 30 December 1899
// (day 0), the fraction is the time of day (0.5 = noon). Days before that
// epoch are negative, and for them the fraction still adds time of day
// (-1.25 is 29 December 1899 06:00), as in the classic representation.
//
// TTimeStamp is the native form: Date counts days from 1 January of year 1
// (day 1), so 30 December 1899 is DateDelta = 693594; Time counts
// milliseconds since midnight.
//
// Calendar is the proleptic Gregorian one, years 1 to 9999. Encode functions
// raise EConvertError for out-of-range parts; the Try forms report false.
// Everything here is reentrant; Now/Date/Time read the local clock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/FormatSettings.h"

namespace rtl {

using TDateTime = double;

inline constexpr int HoursPerDay = 24;
inline constexpr int MinsPerDay = 24 * 60;
inline constexpr int SecsPerDay = 24 * 60 * 60;
inline constexpr int MSecsPerSec = 1000;
inline constexpr int MSecsPerDay = SecsPerDay * MSecsPerSec;
// Day number of 30 December 1899 counted from 1 January 0001 = 1.
inline constexpr int DateDelta = 693594;

struct TTimeStamp {
  int Time = 0;  // milliseconds since midnight
  int Date = 0;  // days, 1 January 0001 = 1
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

bool TryEncodeDate(int year, int month, int day, TDateTime& result);
TDateTime EncodeDate(int year, int month, int day);
void DecodeDate(TDateTime value, int& year, int& month, int& day);

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);

// A date and a time of day in one value. Unlike EncodeDate + EncodeTime this
// is also right before 30 December 1899, where the time is subtracted.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec,
                       TDateTime& result);

// Both parts in one go; the time part is rounded to the nearest millisecond.
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec);

// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);

// A value that is not finite or lies beyond 100 million days gives the
// zero time stamp.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);

TDateTime Now();
TDateTime Date();
TDateTime Time();

// Pattern letters (case-insensitive): yyyy / yy year, m / mm month (minutes
// right after an hour element), mmm / mmmm short / long month name, d / dd
// day, ddd / dddd short / long day name, h / hh hour, n / nn minute, s / ss
// second, z / zzz milliseconds, am/pm and a/p (12-hour clock), c (short date
// then long time), "/" and ":" the settings' separators, and text in single
// or double quotes copied as is. Every other character is copied.
// Names are the English ones.
std::string FormatDateTime(std::string_view pattern, TDateTime value);
std::string FormatDateTime(std::string_view pattern, TDateTime value,
                           const TFormatSettings& settings);

// Short date, long time and both ("dd/mm/yyyy hh:nn:ss"; the time is left
// out when it is midnight).
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value);
std::string DateToStr(TDateTime value, const TFormatSettings& settings);
std::string TimeToStr(TDateTime value, const TFormatSettings& settings);
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings);

// Reads a date in the order of the settings' short date format (d, m, y in
// whatever order), separated by the date separator; a two-digit year lands
// in the 50-year window around the current year. A time is hours and minutes
// with optional seconds and milliseconds. The StrTo forms raise
// EConvertError "'<text>' is not a valid date" (time, date and time).
bool TryStrToDate(std::string_view text, TDateTime& value, const TFormatSettings& settings);
bool TryStrToTime(std::string_view text, TDateTime& value, const TFormatSettings& settings);
bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToDate(std::string_view text);
TDateTime StrToTime(std::string_view text);
TDateTime StrToDateTime(std::string_view text);

}  // namespace rtl
