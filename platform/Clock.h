#pragma once
// The local date and time, behind an interface so that tests can fix "today".

#include <cstdint>
#include <memory>

namespace orvant::platform {

struct TLocalDateTime {
    int Year = 0;
    int Month = 0;       // 1..12
    int Day = 0;         // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
    int DayOfWeek = 0;   // 0 = Sunday
    int UtcOffsetMinutes = 0; // local time minus UTC
};

class IClock {
public:
    virtual ~IClock() = default;
    virtual TLocalDateTime Now() const = 0;
};

class TSystemClock final : public IClock {
public:
    TLocalDateTime Now() const override;
};

class TFixedClock final : public IClock {
public:
    explicit TFixedClock(const TLocalDateTime& now) : FNow(now) {}
    TLocalDateTime Now() const override { return FNow; }
private:
    TLocalDateTime FNow;
};

// The local date and time of a moment given in seconds since 1970 (UTC), such as a
// file's modification time.
TLocalDateTime LocalDateTimeOf(std::int64_t unixSeconds);

// A fixed local date at midnight, for tests and defaults.
TLocalDateTime LocalDate(int year, int month, int day);

} // namespace orvant::platform
