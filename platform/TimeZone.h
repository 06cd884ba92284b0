#pragma once
// Local time and its distance from UTC, standing in for the Windows clock and
// time-zone calls. The zone is the C library's (TZ, else /etc/localtime).

#include <optional>

namespace orvant::platform {

// A wall-clock date and time, as a calendar shows it.
struct CivilTime {
    int Year = 0;
    int Month = 0; // 1..12
    int Day = 0;   // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// The local date and time now.
CivilTime LocalTimeNow();

// Local time minus UTC, in minutes, in force at the given local time (daylight
// saving included). A time that falls into a daylight-saving gap is taken as the
// C library normalises it. Empty when the C library cannot place the time.
// A system without zone rules answers 0 (the C library then keeps UTC).
std::optional<int> UtcOffsetMinutesAt(const CivilTime& local);

} // namespace orvant::platform
