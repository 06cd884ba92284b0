#include "platform/TimeZone.h"

#include <ctime>

namespace orvant::platform {

std::optional<int> UtcOffsetMinutesAt(int year, int month, int day, int hour, int minute, int second)
{
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
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
