#include "app/DefaultPeriod.h"

#include "platform/Utf.h"

namespace orvant::app {

TDefaultPeriod DefaultPeriod(const platform::TLocalDateTime& now)
{
    TDefaultPeriod period;
    for (int i = 0; i < 5; ++i)
        period.YearEntries.push_back(platform::Utf8ToUtf16(std::to_string(now.Year - i)));
    const int previous = now.Month - 2;
    period.MonthIndex = previous >= 0 ? previous : 11;
    return period;
}

TYearMonth PreviousMonth(const platform::TLocalDateTime& now)
{
    if (now.Month == 1)
        return {now.Year - 1, 12};
    return {now.Year, now.Month - 1};
}

} // namespace orvant::app
