// Calendar arithmetic shared inside the run-time library (not installed):
// the civil date of a time-stamp day number, for code that already holds a
// TTimeStamp and would otherwise convert the value again. Reentrant.
#pragma once

namespace rtl::detail {

// Year, month and day of day number `date` (1 January 0001 = 1); all three
// are 0 for day numbers below 1.
void DecodeDayNumber(int date, int& year, int& month, int& day);

}  // namespace rtl::detail
