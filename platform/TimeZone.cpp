#include "platform/TimeZone.h"

#include <ctime>

namespace orvant::platform {

CivilTime LocalTimeNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    CivilTime t;
    t.Year = local.tm_year + 1900;
    t.Month = local.tm_mon + 1;
    t.Day = local.tm_mday;
    t.Hour = local.tm_hour;
    t.Minute = local.tm_min;
    t.Second = local.tm_sec;
    t.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return t;
}

std::optional<int> UtcOffsetMinutesAt(const CivilTime& local)
{
    tm t{};
    t.tm_year = local.Year - 1900;
    t.tm_mon = local.Month - 1;
    t.tm_mday = local.Day;
    t.tm_hour = local.Hour;
    t.tm_min = local.Minute;
    t.tm_sec = local.Second;
    t.tm_isdst = -1; // let the zone rules decide
    // mktime may legitimately return -1 (one second before the epoch), so success is
    // seen in the fields it fills: tm_wday stays out of range only on failure.
    t.tm_wday = -1;
    mktime(&t);
    if (t.tm_wday < 0)
        return std::nullopt;
    return static_cast<int>(t.tm_gmtoff / 60);
}

} // namespace orvant::platform
