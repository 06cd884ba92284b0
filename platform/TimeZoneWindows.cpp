#include "platform/TimeZone.h"

#include <windows.h>

namespace orvant::platform {

namespace {

std::optional<std::int64_t> Ticks(const SYSTEMTIME& time)
{
    FILETIME ft {};
    if (!::SystemTimeToFileTime(&time, &ft))
        return std::nullopt;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

} // namespace

std::optional<int> UtcOffsetMinutesAt(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23
        || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    SYSTEMTIME local {};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    // The zone in force now, with its daylight-saving rules for that year (null: the
    // current zone, as GetTimeZoneInformation reports it).
    SYSTEMTIME utc {};
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc))
        return std::nullopt;
    const auto localTicks = Ticks(local);
    const auto utcTicks = Ticks(utc);
    if (!localTicks || !utcTicks)
        return std::nullopt;
    return static_cast<int>((*localTicks - *utcTicks) / (60LL * 10'000'000LL));
}

} // namespace orvant::platform
