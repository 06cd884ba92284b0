#include "mime/IdDateTime.h"

#include <chrono>
#include <cmath>
#include <cstdint>

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

// Day 0 of the date-time scale.
constexpr std::chrono::sys_days kEpoch = std::chrono::sys_days(std::chrono::year(1899) / 12 / 30);

std::int64_t DayNumber(int year, int month, int day)
{
    using namespace std::chrono;
    const sys_days date = sys_days(std::chrono::year(year) / std::chrono::month(static_cast<unsigned>(month))
                                   / std::chrono::day(static_cast<unsigned>(day)));
    return (date - kEpoch).count();
}

} // namespace

TDateTime EncodeDateTime(const TIdDateTimeParts& f)
{
    const std::int64_t days = DayNumber(f.Year, f.Month, f.Day);
    const double time =
        static_cast<double>(((f.Hour * 60 + f.Minute) * 60 + f.Second) * std::int64_t(1000) + f.Millisecond)
        / static_cast<double>(kMillisecondsPerDay);
    return days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    return EncodeDateTime(TIdDateTimeParts{year, month, day, hour, minute, second, millisecond});
}

TDateTime EncodeDateTime(const orvant::platform::TLocalDateTime& local)
{
    return EncodeDateTime(local.Year, local.Month, local.Day, local.Hour, local.Minute, local.Second,
                          local.Millisecond);
}

TIdDateTimeParts DecodeDateTime(TDateTime value)
{
    double whole = std::trunc(value);
    std::int64_t ms = std::llround(std::fabs(value - whole) * static_cast<double>(kMillisecondsPerDay));
    std::int64_t days = static_cast<std::int64_t>(whole);
    if (ms >= kMillisecondsPerDay) { // rounding reached midnight: the next calendar day
        ms -= kMillisecondsPerDay;
        ++days;
    }
    const std::chrono::year_month_day date{kEpoch + std::chrono::days(days)};
    TIdDateTimeParts t;
    t.Year = static_cast<int>(date.year());
    t.Month = static_cast<int>(static_cast<unsigned>(date.month()));
    t.Day = static_cast<int>(static_cast<unsigned>(date.day()));
    t.Hour = static_cast<int>(ms / 3'600'000);
    t.Minute = static_cast<int>(ms / 60'000 % 60);
    t.Second = static_cast<int>(ms / 1000 % 60);
    t.Millisecond = static_cast<int>(ms % 1000);
    return t;
}

int DayOfWeekIndex(TDateTime value)
{
    const TIdDateTimeParts t = DecodeDateTime(value);
    const std::chrono::weekday day{kEpoch + std::chrono::days(DayNumber(t.Year, t.Month, t.Day))};
    return static_cast<int>(day.c_encoding());
}

TDateTime Now()
{
    return EncodeDateTime(orvant::platform::TSystemClock().Now());
}
