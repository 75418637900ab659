#include <gtest/gtest.h>

#include <cmath>

#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"
#include "rtl_reading_case.h"
#include "support/TextCase.h"

namespace {

using rtl::TDateTime;
using rtl::TFormatSettings;

TEST(RtlDates, DayCountsRoundTrip) {
  struct Case {
    int y, m, d;
    double days;
  } cases[] = {
      {1899, 12, 30, 0},  {1899, 12, 31, 1},       {1900, 1, 1, 2},      {1900, 3, 1, 61},
      {1899, 12, 29, -1}, {2000, 1, 1, 36526},     {2024, 2, 29, 45351}, {2026, 12, 9, 46365},
      {1, 1, 1, -693593}, {9999, 12, 31, 2958465}, {1970, 1, 1, 25569},  {1600, 2, 29, -109512},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rtl::EncodeDate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    int y, m, d;
    rtl::DecodeDate(c.days, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d) << c.days;
  }
}

TEST(RtlDates, RejectsImpossibleDatesAndTimes) {
  TDateTime v;
  EXPECT_FALSE(rtl::TryEncodeDate(2023, 2, 29, v));
  EXPECT_FALSE(rtl::TryEncodeDate(1900, 2, 29, v));  // not a leap year
  EXPECT_TRUE(rtl::TryEncodeDate(2000, 2, 29, v));
  EXPECT_FALSE(rtl::TryEncodeDate(2024, 13, 1, v));
  EXPECT_FALSE(rtl::TryEncodeDate(2024, 4, 31, v));
  EXPECT_FALSE(rtl::TryEncodeDate(0, 1, 1, v));
  EXPECT_FALSE(rtl::TryEncodeDate(10000, 1, 1, v));
  EXPECT_FALSE(rtl::TryEncodeTime(24, 0, 0, 0, v));
  EXPECT_FALSE(rtl::TryEncodeTime(23, 60, 0, 0, v));
  EXPECT_FALSE(rtl::TryEncodeTime(23, 59, 60, 0, v));
  EXPECT_FALSE(rtl::TryEncodeTime(0, 0, 0, 1000, v));
  EXPECT_THROW(rtl::EncodeDate(2023, 2, 29), rtl::EConvertError);
  EXPECT_THROW(rtl::EncodeTime(25, 0, 0, 0), rtl::EConvertError);
}

TEST(RtlDates, TimesOfDay) {
  struct Case {
    int h, n, s, z;
  } cases[] = {{0, 0, 0, 0},      {12, 0, 0, 0}, {13, 45, 10, 0},
               {23, 59, 59, 999}, {0, 0, 0, 1},  {6, 30, 0, 500}};
  for (const Case& c : cases) {
    const TDateTime t = rtl::EncodeTime(c.h, c.n, c.s, c.z);
    int h, n, s, z;
    rtl::DecodeTime(t, h, n, s, z);
    EXPECT_EQ((((h * 60 + n) * 60 + s) * 1000 + z), (((c.h * 60 + c.n) * 60 + c.s) * 1000 + c.z));
    // The same time on a date before the epoch decodes alike.
    const TDateTime before = rtl::EncodeDateTime(1850, 5, 1, c.h, c.n, c.s, c.z);
    rtl::DecodeTime(before, h, n, s, z);
    EXPECT_EQ((((h * 60 + n) * 60 + s) * 1000 + z), (((c.h * 60 + c.n) * 60 + c.s) * 1000 + c.z));
  }
  EXPECT_DOUBLE_EQ(rtl::EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(rtl::EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
}

TEST(RtlDates, TimeStampsCountDaysFromYearOne) {
  EXPECT_EQ(rtl::DateDelta, 693594);
  EXPECT_EQ(rtl::MSecsPerDay, 86400000);
  struct Case {
    double value;
    int date, time;
  } cases[] = {
      {0.0, 693594, 0},
      {-693593.0, 1, 0},  // 1 January 0001
      {1.5, 693595, 43200000},
      {-1.25, 693593, 21600000},
      {rtl::EncodeDateTime(2024, 2, 29, 13, 45, 10, 0), 693594 + 45351,
       49510000},  // 2024-02-29 13:45:10
  };
  for (const Case& c : cases) {
    const rtl::TTimeStamp ts = rtl::DateTimeToTimeStamp(c.value);
    EXPECT_EQ(ts.Date, c.date) << c.value;
    EXPECT_EQ(ts.Time, c.time) << c.value;
    EXPECT_NEAR(rtl::TimeStampToDateTime(ts), c.value, 1e-8) << c.value;
  }
  // A fraction that rounds up to a whole day carries into the next day.
  const rtl::TTimeStamp ts = rtl::DateTimeToTimeStamp(2.9999999999);
  EXPECT_EQ(ts.Date, 693597);
  EXPECT_EQ(ts.Time, 0);
  // Corrupt values neither overflow nor crash the formatting.
  for (double bad : {1e300, -1e300, std::nan(""), HUGE_VAL}) {
    EXPECT_EQ(rtl::DateTimeToTimeStamp(bad).Date, 0);
    EXPECT_EQ(rtl::FormatDateTime("yyyy-mm-dd hh:nn:ss", bad), "0000-00-00 00:00:00");
  }
  int y, m, d;
  rtl::DecodeDate(2.9999999999, y, m, d);
  EXPECT_EQ(d, 2);
  EXPECT_EQ(m, 1);
}

TEST(RtlDates, FormatPatterns) {
  const TDateTime dt = rtl::EncodeDateTime(2024, 2, 9, 8, 5, 7, 42);
  const TFormatSettings br = TFormatSettings::Brazilian();
  const support::TextCase cases[] = {
      {"hh:mm:ss - dd/mm/yyyy", "08:05:07 - 09/02/2024"},
      {"yyyymmdd", "20240209"},
      {"ddmmyyyy", "09022024"},
      {"yyyy-mm-dd", "2024-02-09"},
      {"hh:nn:ss", "08:05:07"},
      {"yyyy-mm-dd hh:nn:ss", "2024-02-09 08:05:07"},
      {"d/m/yy", "9/2/24"},
      {"h:n:s.zzz", "8:5:7.042"},
      {"h:n:s.z", "8:5:7.42"},
      {"mmm mmmm ddd dddd", "Feb February Fri Friday"},
      {"HH:MM", "08:05"},              // upper case letters work alike
      {"mm:ss", "05:07"},              // minutes before seconds
      {"hh 'h' nn\"m\"", "08 h 05m"},  // quoted literal text
      {"h:nn am/pm", "8:05 am"},
      {"h:nn A/P", "8:05 A"},
      {"c", "09/02/2024 08:05:07"},
      {"ddddd", "09/02/2024"},
      {"tt", "08:05:07"},
      {"[yyyy]", "[2024]"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(rtl::FormatDateTime(c.input, dt, br), c.expected) << c.input;

  const TDateTime evening = rtl::EncodeDateTime(2024, 2, 9, 20, 0, 0, 0);
  EXPECT_EQ(rtl::FormatDateTime("hh:nn AM/PM", evening, br), "08:00 PM");
  EXPECT_EQ(rtl::FormatDateTime("h am/pm", rtl::EncodeTime(0, 30, 0, 0), br), "12 am");
  // The separators follow the settings.
  TFormatSettings other = br;
  other.DateSeparator = '.';
  other.TimeSeparator = 'h';
  EXPECT_EQ(rtl::FormatDateTime("dd/mm hh:nn", dt, other), "09.02 08h05");
  // Day 0 is the date a null date field reads as.
  EXPECT_EQ(rtl::FormatDateTime("yyyymmdd", 0.0, br), "18991230");
  EXPECT_EQ(rtl::FormatDateTime("c", rtl::EncodeDate(2024, 2, 9), br), "09/02/2024");
  EXPECT_EQ(rtl::DateTimeToStr(dt, br), "09/02/2024 08:05:07");
  EXPECT_EQ(rtl::DateToStr(dt, TFormatSettings::Invariant()), "2024-02-09");
  EXPECT_EQ(rtl::TimeToStr(dt, br), "08:05:07");
}

TEST(RtlDates, ReadsDatesAndTimesFromText) {
  const TFormatSettings br = TFormatSettings::Brazilian();
  TFormatSettings us = br;
  us.ShortDateFormat = "m/d/yyyy";
  const ReadingCase cases[] = {
      {"09/02/2024", &br, true, rtl::EncodeDate(2024, 2, 9)},
      {" 9/2/2024 ", &br, true, rtl::EncodeDate(2024, 2, 9)},
      {"2/9/2024", &us, true, rtl::EncodeDate(2024, 2, 9)},
      {"2024-02-09", &br, true, rtl::EncodeDate(2024, 2, 9)},
      {"31/02/2024", &br, false, 0},
      {"09-02-2024", &br, false, 0},
      {"09/02", &br, true, -1},  // current year
      {"", &br, false, 0},
      {"abc", &br, false, 0},
      {"09/02/2024x", &br, false, 0},
  };
  for (const ReadingCase& c : cases) {
    TDateTime v = 0;
    EXPECT_EQ(rtl::TryStrToDate(c.text, v, *c.settings), c.ok) << c.text;
    if (c.ok && c.value >= 0) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  TDateTime v;
  ASSERT_TRUE(rtl::TryStrToDate("01/01/30", v, br));  // two-digit year in the window
  int y, m, d;
  rtl::DecodeDate(v, y, m, d);
  EXPECT_EQ(y, 2030);

  ASSERT_TRUE(rtl::TryStrToTime("13:45:10", v, br));
  EXPECT_NEAR(v, rtl::EncodeTime(13, 45, 10, 0), 1e-12);
  ASSERT_TRUE(rtl::TryStrToTime("1:05", v, br));
  EXPECT_NEAR(v, rtl::EncodeTime(1, 5, 0, 0), 1e-12);
  ASSERT_TRUE(rtl::TryStrToTime("1:05 pm", v, br));
  EXPECT_NEAR(v, rtl::EncodeTime(13, 5, 0, 0), 1e-12);
  EXPECT_FALSE(rtl::TryStrToTime("24:00", v, br));
  EXPECT_FALSE(rtl::TryStrToTime("12", v, br));

  ASSERT_TRUE(rtl::TryStrToDateTime("29/02/2024 13:45:10", v, br));
  EXPECT_NEAR(v, rtl::EncodeDateTime(2024, 2, 29, 13, 45, 10, 0), 1e-9);
  ASSERT_TRUE(rtl::TryStrToDateTime("2024-02-29T13:45", v, br));
  EXPECT_NEAR(v, rtl::EncodeDateTime(2024, 2, 29, 13, 45, 0, 0), 1e-9);
  try {
    rtl::StrToDate("32/01/2024");
    FAIL();
  } catch (const rtl::EConvertError& e) {
    EXPECT_EQ(e.Message(), "'32/01/2024' is not a valid date");
  }
}

TEST(RtlDates, ClockAndWeekdays) {
  EXPECT_EQ(rtl::DayOfWeek(0.0), 7);  // 30 December 1899 was a Saturday
  EXPECT_EQ(rtl::DayOfWeek(rtl::EncodeDate(2024, 2, 9)), 6);
  EXPECT_EQ(rtl::DayOfWeek(rtl::EncodeDate(1, 1, 1)), 2);
  const TDateTime now = rtl::Now();
  EXPECT_GT(now, rtl::EncodeDate(2020, 1, 1));
  EXPECT_EQ(rtl::Date(), std::trunc(rtl::Date()));
  EXPECT_GE(rtl::Time(), 0.0);
  EXPECT_LT(rtl::Time(), 1.0);
}

}  // namespace
