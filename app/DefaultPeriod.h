#pragma once
// The year and month the main window offers when it opens.

#include "platform/Clock.h"

#include <string>
#include <vector>

namespace orvant::app {

struct TDefaultPeriod {
    std::vector<std::u16string> YearEntries; // this year and the four before, newest first
    int YearIndex = 0;                       // always the current year
    int MonthIndex = 0;                      // index into kMonthNames
};

// The previous month's index; in January "Dezembro" (11) while the year stays the
// current one, which is what the store's users have always been shown.
TDefaultPeriod DefaultPeriod(const platform::TLocalDateTime& now);

struct TYearMonth {
    int Year = 0;
    int Month = 0; // 1..12
};

// The calendar's previous month (January 2027 -> December 2026), for scheduled
// runs that must pick the month that has just ended.
TYearMonth PreviousMonth(const platform::TLocalDateTime& now);

} // namespace orvant::app
