#include "platform/Clock.h"

#include <ctime>

namespace orvant::platform {

namespace {

TLocalDateTime Local(std::time_t seconds)
{
    std::tm local {};
    ::localtime_r(&seconds, &local);
    TLocalDateTime now;
    now.Year = local.tm_year + 1900;
    now.Month = local.tm_mon + 1;
    now.Day = local.tm_mday;
    now.Hour = local.tm_hour;
    now.Minute = local.tm_min;
    now.Second = local.tm_sec;
    now.DayOfWeek = local.tm_wday;
    now.UtcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
    return now;
}

} // namespace

TLocalDateTime TSystemClock::Now() const
{
    timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    TLocalDateTime now = Local(ts.tv_sec);
    now.Millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return now;
}

TLocalDateTime LocalDateTimeOf(std::int64_t unixSeconds)
{
    return Local(static_cast<std::time_t>(unixSeconds));
}

TLocalDateTime LocalDate(int year, int month, int day)
{
    std::tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_isdst = -1;
    ::timegm(&t); // normalises and fills the day of the week, without time-zone effects
    TLocalDateTime d;
    d.Year = year;
    d.Month = month;
    d.Day = day;
    d.DayOfWeek = t.tm_wday;
    return d;
}

} // namespace orvant::platform
