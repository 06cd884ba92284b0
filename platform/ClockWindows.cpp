#include "platform/Clock.h"

#include <windows.h>

namespace orvant::platform {

namespace {

// FILETIME counts 100-nanosecond steps from 1601-01-01 UTC.
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;

FILETIME FileTimeOf(std::int64_t ticks)
{
    FILETIME ft {};
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    return ft;
}

std::int64_t TicksOf(const SYSTEMTIME& time)
{
    FILETIME ft {};
    if (!::SystemTimeToFileTime(&time, &ft))
        return 0;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

TLocalDateTime Local(std::int64_t utcTicks)
{
    const FILETIME ft = FileTimeOf(utcTicks);
    SYSTEMTIME utc {};
    SYSTEMTIME local {};
    TLocalDateTime now;
    if (!::FileTimeToSystemTime(&ft, &utc))
        return now;
    // The zone's rules for that moment (daylight saving of that year), not today's offset.
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = utc;
    now.Year = local.wYear;
    now.Month = local.wMonth;
    now.Day = local.wDay;
    now.Hour = local.wHour;
    now.Minute = local.wMinute;
    now.Second = local.wSecond;
    now.Millisecond = local.wMilliseconds;
    now.DayOfWeek = local.wDayOfWeek;
    now.UtcOffsetMinutes = static_cast<int>((TicksOf(local) - TicksOf(utc)) / (60 * kTicksPerSecond));
    return now;
}

} // namespace

TLocalDateTime TSystemClock::Now() const
{
    FILETIME ft {};
    ::GetSystemTimeAsFileTime(&ft);
    return Local(static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime));
}

TLocalDateTime LocalDateTimeOf(std::int64_t unixSeconds)
{
    TLocalDateTime local = Local(unixSeconds * kTicksPerSecond + kUnixEpochTicks);
    local.Millisecond = 0;
    return local;
}

TLocalDateTime LocalDate(int year, int month, int day)
{
    TLocalDateTime d;
    d.Year = year;
    d.Month = month;
    d.Day = day;
    // The day of the week through a round trip, as timegm gives it on Linux.
    SYSTEMTIME date {};
    date.wYear = static_cast<WORD>(year);
    date.wMonth = static_cast<WORD>(month);
    date.wDay = static_cast<WORD>(day);
    const FILETIME ft = FileTimeOf(TicksOf(date));
    SYSTEMTIME back {};
    if (::FileTimeToSystemTime(&ft, &back))
        d.DayOfWeek = back.wDayOfWeek;
    return d;
}

} // namespace orvant::platform
