// FormatDateTime keeps the compiled form of recent patterns per thread: a
// pattern used again must still follow the settings it is given this time,
// and many patterns in turn must not mix up their compiled forms.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "rtl/DateTime.h"

namespace {

using rtl::TDateTime;
using rtl::TFormatSettings;

const TDateTime kMorning = rtl::EncodeDateTime(2024, 2, 9, 8, 5, 7, 42);

TEST(RtlDateFormatReuse, SamePatternFollowsChangedSettings) {
  TFormatSettings fs = TFormatSettings::Brazilian();
  struct Step {
    void (*change)(TFormatSettings&);
    const char* pattern;
    const char* text;
  } steps[] = {
      {[](TFormatSettings&) {}, "c", "09/02/2024 08:05:07"},
      {[](TFormatSettings& s) { s.DateSeparator = '.'; }, "c", "09.02.2024 08:05:07"},
      {[](TFormatSettings& s) { s.TimeSeparator = 'h'; }, "c", "09.02.2024 08h05h07"},
      {[](TFormatSettings& s) { s.ShortDateFormat = "yyyy/mm/dd"; }, "c", "2024.02.09 08h05h07"},
      {[](TFormatSettings& s) { s.LongTimeFormat = "h:n am/pm"; }, "c", "2024.02.09 8h5 am"},
      {[](TFormatSettings& s) { s.ShortTimeFormat = "hh"; }, "t", "08"},
      {[](TFormatSettings& s) { s.ShortTimeFormat = "nn"; }, "t", "05"},
      {[](TFormatSettings& s) { s.LongDateFormat = "dddd"; }, "dddddd", "Friday"},
      {[](TFormatSettings& s) { s.LongDateFormat = "mmmm"; }, "dddddd", "February"},
      {[](TFormatSettings& s) { s.DateSeparator = '-'; }, "dd/mm", "09-02"},
  };
  for (const Step& s : steps) {
    s.change(fs);
    EXPECT_EQ(rtl::FormatDateTime(s.pattern, kMorning, fs), s.text) << s.pattern;
  }
  // The process-wide settings are read afresh as well.
  TFormatSettings& shared = rtl::FormatSettings();
  const TFormatSettings saved = shared;
  EXPECT_EQ(rtl::DateToStr(kMorning), "09/02/2024");
  shared.ShortDateFormat = "yyyy-mm-dd";
  EXPECT_EQ(rtl::DateToStr(kMorning), "2024-02-09");
  shared = saved;
  EXPECT_EQ(rtl::DateToStr(kMorning), "09/02/2024");
}

TEST(RtlDateFormatReuse, ManyPatternsInTurnKeepTheirOwnForm) {
  // More patterns than are kept, so older ones are compiled again.
  const TFormatSettings br = TFormatSettings::Brazilian();
  std::vector<std::string> patterns, expected;
  for (int n = 0; n < 40; ++n) {
    patterns.push_back("'" + std::to_string(n) + "' yyyy" + std::string(n % 3 + 1, 'd'));
    expected.push_back(std::to_string(n) + " 2024" +
                       (n % 3 == 0   ? "9"
                        : n % 3 == 1 ? "09"
                                     : "Fri"));
  }
  for (int round = 0; round < 3; ++round)
    for (size_t i = 0; i < patterns.size(); ++i)
      ASSERT_EQ(rtl::FormatDateTime(patterns[i], kMorning, br), expected[i]) << patterns[i];
}

TEST(RtlDateFormatReuse, ThreadsFormatIndependently) {
  TFormatSettings dots = TFormatSettings::Brazilian();
  dots.DateSeparator = '.';
  const TFormatSettings iso = TFormatSettings::Invariant();
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      const TFormatSettings& fs = t % 2 ? dots : iso;
      const char* want = t % 2 ? "09.02.2024 08:05:07" : "2024-02-09 08:05:07";
      for (int i = 0; i < 2000; ++i)
        if (rtl::FormatDateTime("c", kMorning, fs) != want) ++wrong[t];
    });
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[t], 0) << t;
}

}  // namespace
